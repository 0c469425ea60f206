// Case files: one case per row of a CSV file whose header names the
// columns: inputs by their names in the input table (any letter case), an
// optional "name", an optional "tower" (a tower file, relative to the case
// file's folder), an optional "current-table" (a current table file for
// --distribution table, relative likewise), an optional "ground" (a ground
// profile file, relative likewise) and whatever extra columns the caller
// accepts (a route's span length, say). Missing columns and empty fields keep the defaults.
#pragma once

#include <fstream>
#include <istream>
#include <map>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include "csv.h"
#include "egm/input_table.h"
#include "egm/shielding.h"

namespace study {

// A case file that cannot be used at all (no header, an unknown column).
class CaseFileError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Opens a case file (role: "case file", "route file") for reading. Throws
// egm::InputError with the system's reason: "cannot read case file 'x': Is
// a directory".
void openCaseFile(std::ifstream& in, const std::string& path, const std::string& role);

struct Case {
    int line = 0; // where the row starts
    std::string name;
    std::string towerFile;                    // as the row names it; empty: none
    std::string currentTableFile;             // as the row names it; empty: none
    std::string groundFile;                   // as the row names it; empty: none
    egm::CaseInputs inputs;                   // error: "line 4: slope 'steep' is not a number"
    std::map<std::string, std::string> extra; // extra columns, trimmed
    // The row's inputs as written: each input column and tower with a
    // value, by the header's name, in the header's order.
    std::vector<std::pair<std::string, std::string>> given;
};

class CaseFile {
  public:
    // Reads the header. folder: where tower files named by the rows are
    // looked for (the case file's folder). Throws CaseFileError.
    CaseFile(std::istream& in, std::string folder, std::vector<std::string> extraColumns = {});

    // The next row as the layer on top of defaults, through
    // egm::resolveCase; false at the end of the file. A row that cannot be read,
    // names a tower file that cannot be used or cannot be resolved carries
    // its message, starting with its line.
    bool next(const egm::Inputs& defaults, Case& c);

    // The tower files the rows named, as read (relative to the folder).
    std::vector<std::string> towerPaths() const;
    // The current table files the rows named, as read.
    std::vector<std::string> currentTablePaths() const;
    // The ground profile files the rows named, as read.
    std::vector<std::string> groundPaths() const;

  private:
    struct Column {
        // as the table names it, or "name", "tower", "current-table", "ground", or an extra
        std::string name;
        const egm::InputField* field =
            nullptr; // null for "name", "tower", "current-table", "ground" and extras
    };
    // Each tower file read once: its tower or its message.
    const std::variant<egm::Tower, std::string>& tower(const std::string& file);
    std::string towerPath(const std::string& file) const;

    std::istream& in_;
    std::string folder_;
    int line_ = 0;
    std::vector<Column> columns_;
    bool emptyLast_ = false; // the header ends in an empty column
    std::map<std::string, std::variant<egm::Tower, std::string>> towers_;
    std::map<std::string, std::variant<egm::CurrentTable, std::string>> tables_;
    std::map<std::string, std::variant<egm::GroundProfile, std::string>> grounds_;
};

} // namespace study
