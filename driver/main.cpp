// egm-shielding: the shielding failure rate of the line that the control file
// describes (or of the built-in example line), printed and written to the
// result file.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "egm/input_table.h"
#include "egm/shielding.h"
#include "input_files.h"
#include "output_file.h"

namespace {

constexpr const char* kProgram = "egm-shielding";

constexpr const char* kUsage =
    "usage: egm-shielding [CONTROL-FILE]\n"
    "\n"
    "Lightning shielding failure rate of an overhead line with two ground wires above\n"
    "two conductors, by the electrogeometric model, in strokes per 100 km per year.\n"
    "\n"
    "CONTROL-FILE (default rizi_dodUV.txt in the working directory) names three files:\n"
    "  the geometry file: x of ground wire 1, ground wire 2, conductor 1, conductor 2,\n"
    "    then their heights, metres (ground wire 1 and conductor 1 on the +x side);\n"
    "  the parameter file: ground flash density (per km^2 per year), ground slope\n"
    "    (degrees), lowest current (kA), current scale (kA), current exponent;\n"
    "  the result file, which receives the total rate.\n"
    "Without CONTROL-FILE and without rizi_dodUV.txt the built-in example line is\n"
    "computed and nothing is written. The total rate goes to standard output with six\n"
    "decimals and no newline. Exit status 0, or 1 with one line on standard error.\n";

int fail(const std::string& message)
{
    std::fprintf(stderr, "%s: %s\n", kProgram, message.c_str());
    return 1;
}

// "%lf" of the rate: at most 309 digits before the point, six after.
std::string formatted(double rate)
{
    char text[400];
    std::snprintf(text, sizeof text, "%lf", rate);
    return text;
}

// A line naming the result file and the input it would replace when the
// result file is one of the control file's inputs or the control file
// itself; empty otherwise.
std::string inputReplacedByResult(const std::string& control, const egm::io::ControlFiles& files)
{
    const struct {
        const char* role;
        const std::string& path;
    } inputs[] = {
        {"control file", control}, {"geometry file", files.geometry}, {"parameter file", files.parameters}};
    for (const auto& input : inputs) {
        if (egm::io::sameFile(files.result, input.path)) {
            return "result file '" + files.result + "' is the same file as the " + input.role + " '" +
                   input.path + "'; nothing written";
        }
    }
    return {};
}

// A line naming a parameter no line on the ground can have; empty when all
// are possible. Values that are not finite never get this far.
std::string impossibleValue(const egm::Inputs& inputs)
{
    if (inputs.flashDensity < 0.0) {
        return "ground flash density " + egm::shortestText(inputs.flashDensity) +
               " per km^2 per year is below 0";
    }
    if (!(std::fabs(inputs.slope) < 90.0)) {
        return "ground slope " + egm::shortestText(inputs.slope) + " degrees is not between -90 and 90";
    }
    return {};
}

int run(int argc, char** argv)
{
    if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        std::string reason;
        return egm::io::standardOutputWritten(reason) ? 0 : fail("cannot write standard output: " + reason);
    }
    if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("%s %s\n", kProgram, egm::version().data());
        std::string reason;
        return egm::io::standardOutputWritten(reason) ? 0 : fail("cannot write standard output: " + reason);
    }

    egm::Inputs inputs;
    const std::string control = argc > 1 ? argv[1] : egm::io::kDefaultControlFile;

    const egm::io::LoadReport report = egm::io::loadControlledInputs(control, inputs);
    if (!report.found && argc > 1) {
        // A control file named on purpose must be there: computing the
        // built-in line instead would look like success.
        return fail("cannot open control file '" + control + "': " + report.notFoundReason);
    }
    if (!report.error.empty()) {
        return fail(report.error);
    }
    if (report.found) {
        const std::string replaced = inputReplacedByResult(control, report.files);
        if (!replaced.empty()) {
            return fail(replaced);
        }
    }
    const std::string impossible = impossibleValue(inputs);
    if (!impossible.empty()) {
        return fail((report.found ? "parameter file '" + report.files.parameters + "': " : "") + impossible);
    }
    for (const std::string& note : report.notes) {
        std::fprintf(stderr, "%s: %s\n", kProgram, note.c_str());
    }
    const egm::Line line = egm::lineOf(inputs.tower);
    if (line.groundWire1.x < line.groundWire2.x) {
        std::fprintf(
            stderr,
            "%s: warning: ground wire 1 lies on the -x side (x1 < x2); the computation expects ground "
            "wire 1 and conductor 1 on the +x side\n",
            kProgram);
    }
    const egm::FourWireRates rates = egm::fourWireRates(inputs);
    if (rates.currentSteps == 0) {
        return fail("minimum current " + egm::shortestText(inputs.lowestCurrent) +
                    " kA cannot be stepped through in steps of 1 kA");
    }
    const double rateTotal = rates.total;

    const std::string text = formatted(rateTotal);
    std::fputs(text.c_str(), stdout);
    int status = 0;
    std::string reason;
    if (!egm::io::standardOutputWritten(reason)) {
        status = fail("cannot write standard output: " + reason);
    }
    if (report.found) {
        try {
            egm::io::writeOutput(report.files.result, text, "result file");
        } catch (const egm::io::FileError& e) {
            status = fail(e.what());
        }
    }
    if (!std::isfinite(rateTotal)) {
        status = fail("the inputs give no finite rate");
    }
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        return fail(e.what());
    }
}
