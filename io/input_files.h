// Reading the control, parameter and geometry files of egm-shielding (which
// egm-study's --control reads the same way). Words and values are separated
// by white space; a UTF-8 byte-order mark at the start of a file is skipped.
// A file that ends before all its values keeps the built-in values for the
// rest, with a warning; words after all its values are ignored, with a
// warning. A value that is not a finite number, or a value file that holds no
// value at all, stops the run.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "egm/shielding.h"

namespace egm::io {

// The control file the program reads when given no argument.
inline constexpr const char* kDefaultControlFile = "rizi_dodUV.txt";

inline constexpr std::size_t kParameterCount = 5; // flash density, slope, min current, scale, exponent
inline constexpr std::size_t kGeometryCount = 8;  // x of wires 1-4, then their heights

// The three names a control file gives, in its order.
struct ControlFiles {
    std::string geometry;
    std::string parameters;
    std::string result;
};

// How reading a value file went: how many values were read; when the
// reading stopped at a word that is not a number, or at a number that is not
// finite (nan, inf, 1e999), that word; and how many words follow the values
// the file is read for.
struct ValuesRead {
    std::size_t count = 0;
    bool stoppedAtText = false;
    bool stoppedAtNonFinite = false;
    std::string text;
    std::size_t extraWords = 0;
};

// The three names of a control file; returns how many were read (3 when
// all). A name ends at a NUL byte inside it, as a C string does.
std::size_t readControl(std::FILE* stream, ControlFiles& files);

// Five parameters into flash density, slope, lowest current, current scale
// and exponent, in that order; eight reals into the line (x of ground wire
// 1, ground wire 2, conductor 1, conductor 2, then their heights). The
// inputs read are added to inputs.given, as a layer (see
// egm::resolveInputs); the voltage term is not among them.
ValuesRead readParameters(std::FILE* stream, Inputs& inputs);
ValuesRead readGeometry(std::FILE* stream, Inputs& inputs);

// What loading a control file gave.
struct LoadReport {
    bool found = false;             // the control file could be opened
    std::string notFoundReason;     // why it could not, when not found
    ControlFiles files;             // its names, when found
    std::string error;              // one line when the run must stop, else empty
    std::vector<std::string> notes; // warnings: files with fewer or more values than expected
};

// If the control file opens, reads its three names, then the parameter
// file, then the geometry file (in that order) into inputs. A missing name,
// a named file that cannot be opened or read, a file without any value, or
// a value that is not a finite number sets error.
LoadReport loadControlledInputs(const std::string& controlPath, Inputs& inputs);

} // namespace egm::io
