// Ground profiles: one point a row of a CSV file (see csv.h) under a header
// naming the columns x and elevation (m), and optionally cover (m, trees or
// buildings standing on the ground; empty for 0), in any order and letter
// case; other columns are left alone.
#pragma once

#include <istream>
#include <string>

#include "egm/ground_profile.h"
#include "egm/types.h"

namespace egm::io {

// A profile that cannot be used. what(): one line naming the file, the line
// and the reason.
class GroundFileError : public egm::InputError {
  public:
    using egm::InputError::InputError;
};

// Reads a profile from in; file names it in messages. Throws GroundFileError
// for a missing column, a value that is not a number, and points that are
// no profile (GroundProfile::fault).
egm::GroundProfile readGroundProfile(std::istream& in, const std::string& file);

// The same from the file at path, also for a file that cannot be opened.
egm::GroundProfile readGroundProfileFile(const std::string& path);

} // namespace egm::io
