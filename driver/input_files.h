// Reading the control, parameter and geometry files and writing the result
// file. Values are read as the C library's formatted input reads them: words
// as "%s" (any length), reals as "%lf" (decimal, exponent, hexadecimal, nan,
// inf). Reading stops at the first token that is not a number; that value and
// the later ones of the file keep what they held.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "EGMs2x.h"

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

// One whitespace-delimited word, as "%s" reads it; the name ends at a NUL byte
// inside the word. False at the end of the stream or on a read error.
bool readWord(std::FILE* stream, std::string& word);

// Reads up to count reals with "%lf" into values, in order; returns how many
// were read.
std::size_t readReals(std::FILE* stream, double* values, std::size_t count);

// The three names of a control file; returns how many were read (3 when all).
std::size_t readControl(std::FILE* stream, ControlFiles& files);

// Five parameters into flash density, slope, minimum current, current scale and
// exponent, in that order; returns how many were read.
std::size_t readParameters(std::FILE* stream, RateInputs& inputs);

// Eight reals into the line geometry, in order; returns how many were read.
std::size_t readGeometry(std::FILE* stream, RateInputs& inputs);

// What loading a control file gave.
struct LoadReport {
    bool found = false;             // the control file could be opened
    std::string notFoundReason;     // why it could not, when not found
    ControlFiles files;             // its names, when found
    std::string error;              // one line when the run must stop, else empty
    std::vector<std::string> notes; // warnings: files with fewer values than expected
};

// exist(): the control file opens for reading. If so, reads its three names,
// then the parameter file, then the geometry file (in that order) into
// inputs. A missing name, or a named file that cannot be opened or read,
// sets error.
LoadReport loadControlledInputs(const std::string& controlPath, RateInputs& inputs);

// Writes the total rate with "%lf" and no newline to path, through a temporary
// file beside it that is renamed into place, so that no half-written result is
// ever left. Returns an empty string on success, else the reason.
std::string writeResultFile(const std::string& path, double rate);

// Refusal of a minimum current the integration cannot step through; empty
// when the current is usable.
std::string minCurrentProblem(double minCurrent);
