#include "input_files.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>

#include "numbers.h"

namespace egm::io {

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

std::string quoted(const std::string& name)
{
    return "'" + name + "'";
}

std::string reasonOf(int error)
{
    return error != 0 ? std::strerror(error) : "read error";
}

// Opens a named input file; a folder is refused here, since opening one for
// reading succeeds on some systems and only the reading fails.
File openInput(const std::string& path, std::string& reason)
{
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        reason = std::strerror(EISDIR);
        return nullptr;
    }
    errno = 0;
    File f(std::fopen(path.c_str(), "r"));
    if (!f) {
        reason = reasonOf(errno);
    }
    return f;
}

// The values a file gave are given on purpose, as a layer of inputs (see
// egm::resolveInputs); those it lacked keep their defaults and are not.
void markGiven(Inputs& inputs, const char* const* names, std::size_t count)
{
    for (std::size_t k = 0; k < count; ++k) {
        inputs.given.add(names[k]);
    }
}

ValuesRead readValues(std::FILE* stream, double* const* values, std::size_t count)
{
    io::WordReader words(stream);
    ValuesRead read;
    std::string word;
    while (read.count < count && words.next(word)) {
        double value = 0.0;
        if (!io::parseReal(word, value)) {
            read.stoppedAtText = true;
            read.text = word;
            return read;
        }
        if (!std::isfinite(value)) {
            read.stoppedAtNonFinite = true;
            read.text = word;
            return read;
        }
        *values[read.count++] = value;
    }
    if (read.count == count) {
        while (words.next(word)) {
            ++read.extraWords;
        }
    }
    return read;
}

// Reads one of the two value files; returns false and sets error when the
// file cannot be opened or read, or holds text where a value belongs.
template <class Reader>
bool readValueFile(const std::string& role, const std::string& path, std::size_t expected, Reader read,
                   LoadReport& report)
{
    std::string reason;
    File f = openInput(path, reason);
    if (!f) {
        report.error = "cannot open " + role + " file " + quoted(path) + ": " + reason;
        return false;
    }
    errno = 0;
    const ValuesRead got = read(f.get());
    if (std::ferror(f.get())) {
        report.error = "cannot read " + role + " file " + quoted(path) + ": " + reasonOf(errno);
        return false;
    }
    if (got.stoppedAtText || got.stoppedAtNonFinite) {
        report.error = role + " file " + quoted(path) + ": value " + std::to_string(got.count + 1) + " of " +
                       std::to_string(expected) + " is '" + io::printable(got.text) + "', not " +
                       (got.stoppedAtText ? "a number" : "a finite number");
        return false;
    }
    if (got.count == 0) {
        // Computing the built-in values instead would look like success.
        report.error =
            role + " file " + quoted(path) + " holds no value; it needs " + std::to_string(expected);
        return false;
    }
    if (got.extraWords > 0) {
        report.notes.push_back("warning: " + role + " file " + quoted(path) + ": " +
                               std::to_string(got.extraWords) + (got.extraWords == 1 ? " word" : " words") +
                               " after its " + std::to_string(expected) + " values ignored");
    }
    if (got.count < expected) {
        report.notes.push_back("warning: " + role + " file " + quoted(path) + ": read " +
                               std::to_string(got.count) + " of " + std::to_string(expected) +
                               " values; the rest keep their built-in values");
    }
    return true;
}

} // namespace

std::size_t readControl(std::FILE* stream, ControlFiles& files)
{
    io::WordReader words(stream);
    std::string* names[3] = {&files.geometry, &files.parameters, &files.result};
    for (std::size_t i = 0; i < 3; ++i) {
        if (!words.next(*names[i])) {
            return i;
        }
        // A NUL inside the word ends the name, as in a C string.
        names[i]->resize(std::strlen(names[i]->c_str()));
    }
    return 3;
}

ValuesRead readParameters(std::FILE* stream, Inputs& inputs)
{
    double* values[kParameterCount] = {&inputs.flashDensity, &inputs.slope, &inputs.lowestCurrent,
                                       &inputs.distribution.scale, &inputs.distribution.exponent};
    const ValuesRead read = readValues(stream, values, kParameterCount);
    const char* names[kParameterCount] = {"flash-density", "slope", "min-current", "current-scale",
                                          "current-exponent"};
    markGiven(inputs, names, read.count);
    return read;
}

ValuesRead readGeometry(std::FILE* stream, Inputs& inputs)
{
    // The geometry file holds the four-wire line; values it lacks keep the
    // built-in line's.
    const bool line = isFourWireLine(inputs.tower);
    Line l = line ? lineOf(inputs.tower) : Line{};
    const double voltageTerm = line ? inputs.tower.wires[2].voltageTerm : Inputs{}.tower.wires[2].voltageTerm;
    double* values[kGeometryCount] = {&l.groundWire1.x,     &l.groundWire2.x,      &l.conductor1.x,
                                      &l.conductor2.x,      &l.groundWire1.height, &l.groundWire2.height,
                                      &l.conductor1.height, &l.conductor2.height};
    const ValuesRead read = readValues(stream, values, kGeometryCount);
    inputs.tower = towerOf(l, voltageTerm);
    const char* names[kGeometryCount] = {"x1", "x2", "x3", "x4", "h1", "h2", "h3", "h4"};
    markGiven(inputs, names, read.count);
    return read;
}

LoadReport loadControlledInputs(const std::string& controlPath, Inputs& inputs)
{
    LoadReport report;
    errno = 0;
    File control(std::fopen(controlPath.c_str(), "r"));
    if (!control) {
        report.notFoundReason = reasonOf(errno);
        return report;
    }
    report.found = true;
    errno = 0;
    const std::size_t names = readControl(control.get(), report.files);
    if (std::ferror(control.get())) {
        report.error = "cannot read control file " + quoted(controlPath) + ": " + reasonOf(errno);
        return report;
    }
    control.reset();
    if (names < 3) {
        report.error = "control file " + quoted(controlPath) + " names " + std::to_string(names) +
                       " of its 3 files (geometry, parameters, result)";
        return report;
    }
    // The parameter file is read first, although the control file names the
    // geometry file first.
    if (!readValueFile(
            "parameter", report.files.parameters, kParameterCount,
            [&](std::FILE* f) { return readParameters(f, inputs); }, report)) {
        return report;
    }
    readValueFile(
        "geometry", report.files.geometry, kGeometryCount,
        [&](std::FILE* f) { return readGeometry(f, inputs); }, report);
    return report;
}

} // namespace egm::io
