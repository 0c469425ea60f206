// Every record of a CSV text, for the tests of egm-study's output.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "csv.h"

inline std::vector<egm::io::CsvRecord> csvRecords(const std::string& text)
{
    std::istringstream in(text);
    std::vector<egm::io::CsvRecord> records;
    int line = 0;
    egm::io::CsvRecord r;
    while (egm::io::readCsvRecord(in, line, r)) {
        records.push_back(r);
    }
    return records;
}

// A double-circuit tower: one ground wire over two circuits of three
// phases, named; the tower file the study tests share.
inline constexpr const char* kDoubleCircuit = "name,kind,x,height,voltage-term\n"
                                              "earth,ground wire,0,55,\n"
                                              "a1,conductor,6,45,0\n"
                                              "b1,conductor,8,37,0\n"
                                              "c1,conductor,6.5,29,0\n"
                                              "a2,conductor,-6,45,0\n"
                                              "b2,conductor,-8,37,0\n"
                                              "c2,conductor,-6.5,29,0\n";
