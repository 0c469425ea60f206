// Case files: one case per row of a CSV file whose header names the
// columns: inputs by their names in the input table (any letter case), an
// optional "name", and whatever extra columns the caller accepts (a route's
// span length, say). Missing columns and empty fields keep the defaults.
#pragma once

#include <istream>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "egm/input_table.h"
#include "egm/shielding.h"
#include "study_csv.h"

namespace study {

// A case file that cannot be used at all (no header, an unknown column).
class CaseFileError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct Case {
    int line = 0; // where the row starts
    std::string name;
    egm::Inputs inputs;
    std::string error;                        // "line 4: slope 'steep' is not a number"
    std::map<std::string, std::string> extra; // extra columns, trimmed
};

class CaseFile {
  public:
    // Reads the header. Throws CaseFileError.
    CaseFile(std::istream& in, std::vector<std::string> extraColumns = {});

    // The next row on top of defaults; false at the end of the file. With a
    // law other than the built-in one, the voltage term is 0 unless the row
    // gives it or voltageTermGiven says the defaults gave it on purpose.
    bool next(const egm::Inputs& defaults, bool voltageTermGiven, Case& c);

  private:
    struct Column {
        std::string name;                       // as the table names it, or "name", or an extra
        const egm::InputField* field = nullptr; // null for "name", extras and an empty header
    };

    std::istream& in_;
    int line_ = 0;
    std::vector<Column> columns_;
    bool emptyLast_ = false; // the header ends in an empty column
};

} // namespace study
