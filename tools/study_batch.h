// Many cases from a CSV file, computed in parallel, results in the same
// order. Each case runs the single-threaded computation on its own; the
// threads only share out the cases.
#pragma once

#include <functional>
#include <istream>
#include <ostream>
#include <stdexcept>

#include "study_core.h"

namespace study {

// A case file that cannot be used at all (no header, an unknown column).
struct CaseFileError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct BatchSummary {
    int cases = 0;
    int failed = 0; // rows that got an error message instead of results
};

// Called now and then with the cases done so far and the total.
using BatchProgress = std::function<void(int done, int total)>;

// Reads the cases (a header naming columns from inputNames() and "name";
// missing columns and empty fields take the values of defaults), computes
// them on jobs threads (0: one per core) and writes one result row per case,
// in order. A row that cannot be read gets its message in the error column;
// every other row is still computed.
BatchSummary runBatch(std::istream& cases, std::ostream& results, const RateInputs& defaults, unsigned jobs,
                      const BatchProgress& progress = {});

} // namespace study
