// Tower files: one wire a row of a CSV file (see csv.h), under a header
// naming the columns in any order and letter case:
//   name          the wire's name (optional column; empty: the default name)
//   kind          "ground wire" or "conductor", any letter case
//   x             m across the line, positive towards the downhill side of
//                 a positive slope
//   height        m above the ground at the tower
//   voltage-term  the conductor's voltage term of the built-in law
//                 (optional column; empty: 0)
//   sag           m the wire hangs below its height at the tower at
//                 mid-span (optional column; empty: 0); computed at the
//                 average height, height - 2/3 sag
// The wires keep the file's order, which is the order of the results.
#pragma once

#include <istream>
#include <string>

#include "egm/shielding.h"

namespace egm::io {

// A tower file that cannot be used. what(): one line naming the file, the
// line and the reason: "tower file 'dc.csv', line 4: kind 'phase': must be
// ground wire, conductor or other wire".
class TowerFileError : public egm::InputError {
  public:
    using egm::InputError::InputError;
};

// Reads a tower from in; file names it in messages. The tower is validated
// (egm::validate): a tower without a conductor, more than kMaxTowerWires
// wires, a value that is not a number, non-finite or out of range, an
// unknown kind, a voltage term on a ground wire, two wires of the same name,
// a missing or unknown column each throw TowerFileError naming the row at
// fault (the header for the columns and for a tower with no wire at all); a
// header separated by semicolons is told that columns are separated by
// commas.
egm::Tower readTower(std::istream& in, const std::string& file);

// The same from the file at path. Throws TowerFileError, also for a file
// that cannot be opened.
egm::Tower readTowerFile(const std::string& path);

} // namespace egm::io
