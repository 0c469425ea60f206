// Fuzz target: the input is cut into the contents of a control file, a
// parameter file, a geometry file, a tower file and a ground profile (at
// each two bytes 0x00 0x00, or what is missing is empty). The first three
// are read with egm-shielding's own reading code and the rates computed as
// the program computes them; the tower file is read with the tower file
// reader of egm-study and, when it holds a usable tower, computed on it
// through the validating entry, then over the ground profile when that is
// one.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <string_view>

#include "circleCrosspoint_initialize.h"
#include "egm/shielding.h"
#include "ground_file.h"
#include "input_files.h"
#include "integration.h"
#include "tower_file.h"

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

// The validating entry without the maximum-current searches, for more runs.
void computeValidated(const egm::Inputs& inputs)
{
    try {
        egm::Options options;
        options.classicalMaxCurrents = false;
        options.maxCurrents = false;
        egm::computeRates(inputs, options);
    } catch (const egm::InputError&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    egm::numeric::circleCrosspoint_initialize();
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    const std::string_view control = nextPart(rest);
    const std::string_view parameters = nextPart(rest);
    const std::string_view geometry = nextPart(rest);
    const std::string_view towerFile = nextPart(rest);
    const std::string_view groundFile = rest;

    egm::io::ControlFiles files;
    readFrom(control, [&](std::FILE* f) { egm::io::readControl(f, files); });
    egm::Inputs inputs;
    readFrom(parameters, [&](std::FILE* f) { egm::io::readParameters(f, inputs); });
    readFrom(geometry, [&](std::FILE* f) { egm::io::readGeometry(f, inputs); });

    // As egm-shielding computes it (the model's rules, nothing refused but a
    // lowest current that cannot be stepped through) ...
    if (egm::isFourWireLine(inputs.tower)) {
        egm::model::IntegrationCase c;
        c.flashDensity = inputs.flashDensity;
        c.slopeAngle = inputs.slope;
        c.minCurrent = inputs.lowestCurrent;
        const egm::Line l = egm::lineOf(inputs.tower);
        c.geometry = {l.groundWire1.x,      l.groundWire2.x,      l.conductor1.x,      l.conductor2.x,
                      l.groundWire1.height, l.groundWire2.height, l.conductor1.height, l.conductor2.height};
        c.voltageTerm = inputs.tower.wires[2].voltageTerm;
        c.distribution = inputs.distribution;
        egm::model::IntegrationTotals totals;
        egm::model::integrate(c, egm::model::StrokeRule::compat, totals);
        char text[512];
        std::snprintf(text, sizeof text, "%f", totals.rateTotal);
    }
    // ... and as the studies do, through the validating entry.
    computeValidated(inputs);

    // The tower file, read as egm-study reads it; a usable tower computed.
    std::istringstream in{std::string(towerFile)};
    try {
        inputs.tower = egm::io::readTower(in, "fuzz");
    } catch (const egm::io::TowerFileError&) {
        return 0;
    }
    computeValidated(inputs);

    // The ground profile, read as egm-study reads it, under the same tower.
    std::istringstream ground{std::string(groundFile)};
    try {
        inputs.ground = egm::io::readGroundProfile(ground, "fuzz");
    } catch (const egm::io::GroundFileError&) {
        return 0;
    }
    inputs.slope = 0.0;
    computeValidated(inputs);
    return 0;
}
