// Current tables: P(peak > I) from a lightning location system, one point a
// row of a CSV file (see csv.h) under the header "current,probability" (any
// letter case, either order): current in kA, probability the share of
// strokes whose peak current exceeds it.
#pragma once

#include <istream>
#include <string>

#include "egm/current_table.h"
#include "egm/types.h"

namespace egm::io {

// A current table that cannot be used. what(): one line naming the file,
// the line and the reason.
class CurrentTableFileError : public egm::InputError {
  public:
    using egm::InputError::InputError;
};

// Reads a table from in; file names it in messages. Throws
// CurrentTableFileError for a missing or unknown column, a value that is not
// a number, and points that are no distribution (CurrentTable::check).
egm::CurrentTable readCurrentTable(std::istream& in, const std::string& file);

// The same from the file at path, also for a file that cannot be opened.
egm::CurrentTable readCurrentTableFile(const std::string& path);

} // namespace egm::io
