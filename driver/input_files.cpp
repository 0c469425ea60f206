#include "input_files.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>

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

// Reads one of the two value files; returns false and sets error when the
// file cannot be opened or read.
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
    const std::size_t got = read(f.get());
    if (std::ferror(f.get())) {
        report.error = "cannot read " + role + " file " + quoted(path) + ": " + reasonOf(errno);
        return false;
    }
    if (got < expected) {
        report.notes.push_back("warning: " + role + " file " + quoted(path) + ": read " +
                               std::to_string(got) + " of " + std::to_string(expected) +
                               " values; the rest keep their built-in values");
    }
    return true;
}

} // namespace

bool readWord(std::FILE* stream, std::string& word)
{
    word.clear();
    int c = std::fgetc(stream);
    while (c != EOF && std::isspace(c)) {
        c = std::fgetc(stream);
    }
    if (c == EOF) {
        return false;
    }
    bool ended = false; // a NUL inside the word ends the name, as in a C string
    while (c != EOF && !std::isspace(c)) {
        if (c == '\0') {
            ended = true;
        }
        if (!ended) {
            word.push_back(static_cast<char>(c));
        }
        c = std::fgetc(stream);
    }
    if (c != EOF) {
        std::ungetc(c, stream);
    }
    return true;
}

std::size_t readReals(std::FILE* stream, double* values, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        double value = 0.0;
        if (std::fscanf(stream, "%lf", &value) != 1) {
            return i;
        }
        values[i] = value;
    }
    return count;
}

std::size_t readControl(std::FILE* stream, ControlFiles& files)
{
    std::string* names[3] = {&files.geometry, &files.parameters, &files.result};
    for (std::size_t i = 0; i < 3; ++i) {
        if (!readWord(stream, *names[i])) {
            return i;
        }
    }
    return 3;
}

std::size_t readParameters(std::FILE* stream, RateInputs& inputs)
{
    double values[kParameterCount] = {inputs.groundFlashDensity, inputs.slopeAngle, inputs.minCurrent,
                                      inputs.currentScale, inputs.currentExponent};
    const std::size_t got = readReals(stream, values, kParameterCount);
    inputs.groundFlashDensity = values[0];
    inputs.slopeAngle = values[1];
    inputs.minCurrent = values[2];
    inputs.currentScale = values[3];
    inputs.currentExponent = values[4];
    return got;
}

std::size_t readGeometry(std::FILE* stream, RateInputs& inputs)
{
    return readReals(stream, inputs.geometry.data(), kGeometryCount);
}

LoadReport loadControlledInputs(const std::string& controlPath, RateInputs& inputs)
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

std::string writeResultFile(const std::string& path, double rate)
{
    std::random_device entropy;
    std::string temporary;
    File out;
    for (int attempt = 0; attempt < 100 && !out; ++attempt) {
        temporary = path + ".tmp" + std::to_string(entropy());
        errno = 0;
        out.reset(std::fopen(temporary.c_str(), "wx"));
        if (!out && errno != EEXIST) {
            return reasonOf(errno);
        }
    }
    if (!out) {
        return "no free temporary name beside it";
    }
    errno = 0;
    const bool written = std::fprintf(out.get(), "%lf", rate) > 0 && std::fflush(out.get()) == 0;
    int error = errno;
    const bool closed = std::fclose(out.release()) == 0;
    if (!closed && error == 0) {
        error = errno;
    }
    if (!written || !closed) {
        std::remove(temporary.c_str());
        return reasonOf(error);
    }
    errno = 0;
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        error = errno;
        std::remove(temporary.c_str());
        return reasonOf(error);
    }
    return {};
}

std::string minCurrentProblem(double minCurrent)
{
    std::int32_t loop = 0;
    std::int32_t storage = 0;
    if (integrationStepCounts(minCurrent, loop, storage)) {
        return {};
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.17g", minCurrent);
    if (!std::isfinite(minCurrent)) {
        return std::string("minimum current ") + text + " kA is not a finite number";
    }
    return std::string("minimum current ") + text +
           " kA cannot be stepped through in steps of 1 kA in double precision";
}
