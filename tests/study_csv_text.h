// Every record of a CSV text, for the tests of egm-study's output.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "study_csv.h"

inline std::vector<study::CsvRecord> csvRecords(const std::string& text)
{
    std::istringstream in(text);
    std::vector<study::CsvRecord> records;
    int line = 0;
    study::CsvRecord r;
    while (study::readCsvRecord(in, line, r)) {
        records.push_back(r);
    }
    return records;
}
