// egm-shielding: the shielding failure rate of the line that the control file
// describes (or of the built-in example line), printed and written to the
// result file.
#include <cstdio>
#include <exception>
#include <string>

#include "EGMs2x.h"
#include "circleCrosspoint_initialize.h"
#include "circleCrosspoint_terminate.h"
#include "input_files.h"

namespace {

constexpr const char* kProgram = "egm-shielding";

int fail(const std::string& message)
{
    std::fprintf(stderr, "%s: %s\n", kProgram, message.c_str());
    return 1;
}

int run(int argc, char** argv)
{
    circleCrosspoint_initialize();
    RateInputs inputs;
    const std::string control = argc > 1 ? argv[1] : kDefaultControlFile;

    const LoadReport report = loadControlledInputs(control, inputs);
    if (!report.error.empty()) {
        return fail(report.error);
    }
    if (!report.found && argc > 1) {
        // Without a readable control file the built-in line is computed, as
        // with no argument; a name given on purpose deserves a word.
        std::fprintf(stderr, "%s: warning: cannot open control file '%s': %s; computing the built-in line\n",
                     kProgram, control.c_str(), report.notFoundReason.c_str());
    }
    for (const std::string& note : report.notes) {
        std::fprintf(stderr, "%s: %s\n", kProgram, note.c_str());
    }
    const std::string refusal = minCurrentProblem(inputs.minCurrent);
    if (!refusal.empty()) {
        return fail(refusal);
    }

    double rateC1 = 0.0;
    double rateC2 = 0.0;
    double rateTotal = 0.0;
    EGMs2x(inputs.groundFlashDensity, inputs.slopeAngle, inputs.minCurrent, inputs.geometry,
           inputs.voltageTerm, inputs.currentScale, inputs.currentExponent, rateC1, rateC2, rateTotal);

    std::printf("%f", rateTotal);
    std::fflush(stdout);
    int status = 0;
    if (report.found) {
        const std::string problem = writeResultFile(report.files.result, rateTotal);
        if (!problem.empty()) {
            status = fail("cannot write result file '" + report.files.result + "': " + problem);
        }
    }
    circleCrosspoint_terminate();
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
