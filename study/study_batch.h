// Many cases from a CSV file, computed in parallel, results in the same
// order, one row per case: case, line, name, the result columns, error.
#pragma once

#include <istream>
#include <string>
#include <vector>

#include "egm/shielding.h"
#include "study_cases.h"

namespace study {

struct BatchSummary {
    int cases = 0;
    int failed = 0;                             // rows that got an error message instead of results
    std::vector<std::string> towerFiles;        // the tower files the rows read
    std::vector<std::string> currentTableFiles; // the current table files the rows read
    std::vector<std::string> groundFiles;       // the ground profile files the rows read
};

// Reads the cases on top of defaults (see CaseFile; tower files are looked
// for in folder), computes them on jobs threads (0: one per core) and
// appends the result rows, header first, to results. The result columns
// name the union of the rows' conductors in order of first appearance; a
// row without a conductor of a name leaves its fields empty. A row that
// cannot be read or computed gets its message in the error column; every
// other row is still computed. Throws CaseFileError.
BatchSummary runBatch(std::istream& cases, std::string& results, const egm::Inputs& defaults, unsigned jobs,
                      const egm::Progress& progress = {}, const std::string& folder = ".");

} // namespace study
