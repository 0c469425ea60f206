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
