// egm-study run end to end in a scratch folder, and the numbers and fields
// of the CSV it writes, for the study tests.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "program_run.h"
#include "study_csv_text.h"

// egm-study with these arguments in dir, no standard input.
inline ProgramRun runStudy(const std::vector<std::string>& args, const ScratchDir& dir)
{
    return runProgram(EGM_STUDY_EXE, dir.path(), args, "", "");
}

inline double real(const std::string& text)
{
    return std::strtod(text.c_str(), nullptr);
}

// The field under the header's column of that name; fails the test when
// there is none.
inline std::string field(const std::vector<egm::io::CsvRecord>& rows, std::size_t row,
                         const std::string& column)
{
    const std::vector<std::string>& header = rows.at(0).fields;
    const auto at = std::find(header.begin(), header.end(), column);
    EXPECT_NE(header.end(), at) << "no column " << column;
    return at == header.end() ? std::string() : rows.at(row).fields.at(at - header.begin());
}
