// Fuzz target: the input is cut into the contents of a control file, a
// parameter file and a geometry file (at the first two bytes 0x00 0x00, or
// what is missing is empty), read with the program's own reading code, and
// the rates are computed as the program would compute them.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "EGMs2x.h"
#include "circleCrosspoint_initialize.h"
#include "input_files.h"

namespace {

std::string_view nextPart(std::string_view& rest)
{
    const std::size_t cut = rest.find(std::string_view("\0\0", 2));
    if (cut == std::string_view::npos) {
        const std::string_view part = rest;
        rest = {};
        return part;
    }
    const std::string_view part = rest.substr(0, cut);
    rest.remove_prefix(cut + 2);
    return part;
}

// Reads text with reader through a memory stream, as from a file.
template <class Reader> void readFrom(std::string_view text, Reader read)
{
    std::string copy(text);
    std::FILE* stream = copy.empty() ? std::tmpfile() : fmemopen(copy.data(), copy.size(), "r");
    if (stream == nullptr) {
        return;
    }
    read(stream);
    std::fclose(stream);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    circleCrosspoint_initialize();
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    const std::string_view control = nextPart(rest);
    const std::string_view parameters = nextPart(rest);
    const std::string_view geometry = rest;

    ControlFiles files;
    readFrom(control, [&](std::FILE* f) { readControl(f, files); });
    RateInputs inputs;
    readFrom(parameters, [&](std::FILE* f) { readParameters(f, inputs); });
    readFrom(geometry, [&](std::FILE* f) { readGeometry(f, inputs); });
    if (!minCurrentProblem(inputs.minCurrent).empty()) {
        return 0; // the program refuses such a current
    }
    RateResult result;
    integrateShieldingFailure(inputs, StrokeEvaluation::split, result);
    char text[64];
    std::snprintf(text, sizeof text, "%f", result.rateTotal);
    return 0;
}
