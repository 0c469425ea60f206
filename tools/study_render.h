// Drawing a laid-out picture with cairo to SVG, PNG or PDF.
#pragma once

#include <string>

#include "study_charts.h"

namespace study {

// Renders the picture in the format of the path's extension and writes it
// as every output is written (whole, beside-then-rename). Throws
// egm::io::FileError, or std::runtime_error for an unknown extension.
void renderPicture(const Picture& picture, const std::string& path);

} // namespace study
