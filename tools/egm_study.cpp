// egm-study: per-conductor rates, maximum shielding failure currents, the
// per-stroke table, sweeps of one input and batches of cases, all computed by
// the same integration and per-stroke evaluation as egm-shielding.
#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

#include "circleCrosspoint_initialize.h"
#include "input_files.h"
#include "study_batch.h"
#include "study_core.h"
#include "study_draw.h"
#include "study_format.h"

namespace {

constexpr const char* kProgram = "egm-study";

// An input that cannot be used: exit status 1.
struct InputError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The inputs of a computation, from a control file or from flags.
struct InputFlags {
    std::string control;
    std::vector<double> geometry;
    RateInputs values;
};

void addInputFlags(CLI::App* app, InputFlags& f)
{
    CLI::Option* control = app->add_option(
        "--control", f.control,
        "control file naming the geometry, parameter and result files, as egm-shielding reads it");
    const auto excl = [control](CLI::Option* o) { return o->excludes(control); };
    excl(
        app->add_option("--geometry", f.geometry,
                        "x of ground wire 1, ground wire 2, conductor 1, conductor 2, then their heights (m)")
            ->expected(8)
            ->type_name("X1 X2 X3 X4 H1 H2 H3 H4"));
    excl(app->add_option("--flash-density", f.values.groundFlashDensity,
                         "ground flash density, per km^2 per year")
             ->capture_default_str());
    excl(app->add_option("--slope", f.values.slopeAngle, "ground slope, degrees")->capture_default_str());
    excl(app->add_option("--min-current", f.values.minCurrent, "lowest current integrated, kA")
             ->capture_default_str());
    excl(app->add_option("--voltage-term", f.values.voltageTerm,
                         "conductors' voltage term of the striking distance")
             ->capture_default_str());
    excl(app->add_option("--current-scale", f.values.currentScale, "scale of the current distribution, kA")
             ->capture_default_str());
    excl(app->add_option("--current-exponent", f.values.currentExponent,
                         "exponent of the current distribution")
             ->capture_default_str());
}

RateInputs resolveInputs(const InputFlags& f)
{
    RateInputs inputs = f.values;
    if (!f.control.empty()) {
        inputs = RateInputs{};
        const LoadReport report = loadControlledInputs(f.control, inputs);
        if (!report.found) {
            throw InputError("cannot open control file '" + f.control + "': " + report.notFoundReason);
        }
        if (!report.error.empty()) {
            throw InputError(report.error);
        }
        for (const std::string& note : report.notes) {
            std::fprintf(stderr, "%s: %s\n", kProgram, note.c_str());
        }
    } else if (!f.geometry.empty()) {
        std::copy(f.geometry.begin(), f.geometry.end(), inputs.geometry.begin());
    }
    return inputs;
}

void requireUsableCurrent(const RateInputs& inputs)
{
    const std::string problem = minCurrentProblem(inputs.minCurrent);
    if (!problem.empty()) {
        throw InputError(problem);
    }
}

int runRate(const InputFlags& flags, const std::string& format)
{
    const RateInputs inputs = resolveInputs(flags);
    requireUsableCurrent(inputs);
    const study::CaseResult result = study::analyseCase(inputs);
    if (format == "json") {
        std::cout << study::caseJson(inputs, result, flags.control).dump(2) << '\n';
    } else if (format == "csv") {
        std::cout << study::caseCsvHeader() << ",terrainFactor,collectionWidth,currentFrom,currentTo,steps\n"
                  << study::caseCsvFields(result) << ',' << study::shortest(result.rates.terrainFactor) << ','
                  << study::shortest(result.rates.collectionWidth) << ','
                  << study::shortest(result.currentFrom) << ',' << study::shortest(result.currentTo) << ','
                  << result.rates.steps << '\n';
    } else {
        std::cout << study::caseText(result);
    }
    return 0;
}

int runStrokes(const InputFlags& flags, const std::vector<double>& current)
{
    const RateInputs inputs = resolveInputs(flags);
    std::vector<study::StrokeRow> rows;
    if (current.empty()) {
        requireUsableCurrent(inputs);
        rows = study::strokeTable(inputs);
    } else {
        rows = study::strokesAtCurrent(inputs, current.front());
    }
    std::string out = "current,theta,degrees,groundWire1,groundWire2,conductor1,conductor2\n";
    for (const study::StrokeRow& r : rows) {
        out += study::shortest(r.current) + ',' + study::shortest(r.theta) + ',' +
               std::to_string(r.angleStep + 1);
        for (double w : r.widths) {
            out += ',' + study::shortest(w);
        }
        out += '\n';
    }
    std::cout << out;
    return 0;
}

struct SweepFlags {
    std::string param;
    double from = 0.0;
    double to = 0.0;
    double step = 0.0;
};

// The values of a sweep: from, from + step, ... up to to (within a millionth
// of a step, so that a decimal step ends where it should).
std::vector<double> sweepValues(const SweepFlags& s)
{
    if (!(s.step > 0.0) || !std::isfinite(s.from) || !std::isfinite(s.to) || s.to < s.from) {
        throw CLI::ValidationError("--step", "needs a positive step and --from no greater than --to");
    }
    const double count = std::floor((s.to - s.from) / s.step + 1e-6) + 1.0;
    if (!(count <= 100000.0)) {
        throw CLI::ValidationError("--step", "more than 100000 values in the sweep");
    }
    std::vector<double> values;
    for (int k = 0; k < static_cast<int>(count); ++k) {
        values.push_back(s.from + k * s.step);
    }
    return values;
}

int runSweep(const InputFlags& flags, const SweepFlags& sweep)
{
    const std::vector<double> values = sweepValues(sweep);
    const RateInputs base = resolveInputs(flags);
    std::cout << sweep.param << ',' << study::caseCsvHeader() << ",error\n";
    for (const study::SweepRow& row : study::sweepCases(base, sweep.param, values)) {
        std::cout << study::shortest(row.value) << ',';
        if (row.result) {
            std::cout << study::caseCsvFields(*row.result) << ",\n";
        } else {
            std::cout << ",,,,," << study::csvField(row.error) << '\n';
        }
    }
    return 0;
}

void requireImageName(const std::string& path)
{
    if (!study::imageFormatOf(path)) {
        throw CLI::ValidationError("--output", "'" + path + "' must end in .svg, .png or .pdf");
    }
}

int runDraw(const InputFlags& flags, double current, double angleDegrees, const std::string& output)
{
    requireImageName(output);
    const RateInputs inputs = resolveInputs(flags);
    study::renderStrokeScene(study::strokeScene(inputs, current, angleDegrees), output);
    return 0;
}

int runPlotExposure(const InputFlags& flags, const std::string& output)
{
    requireImageName(output);
    const RateInputs inputs = resolveInputs(flags);
    requireUsableCurrent(inputs);
    study::renderChart(study::exposureChart(inputs), output);
    return 0;
}

int runPlotSweep(const InputFlags& flags, const SweepFlags& sweep, const std::string& output)
{
    requireImageName(output);
    const std::vector<double> values = sweepValues(sweep);
    const RateInputs base = resolveInputs(flags);
    study::renderChart(study::sweepChart(sweep.param, study::sweepCases(base, sweep.param, values)), output);
    return 0;
}

void addSweepFlags(CLI::App* app, SweepFlags& sweep)
{
    app->add_option("--param", sweep.param, "the input to vary: a flag name or x1..x4, h1..h4")
        ->required()
        ->check(CLI::IsMember(study::inputNames()));
    app->add_option("--from", sweep.from, "first value")->required();
    app->add_option("--to", sweep.to, "last value")->required();
    app->add_option("--step", sweep.step, "step between values")->required();
}

void drawProgress(int done, int total)
{
    constexpr int kWidth = 40;
    const int filled = total > 0 ? done * kWidth / total : kWidth;
    std::fprintf(stderr, "\r[%s%s] %d/%d", std::string(filled, '#').c_str(),
                 std::string(kWidth - filled, ' ').c_str(), done, total);
    if (done == total) {
        std::fputc('\n', stderr);
    }
}

int runBatch(const InputFlags& flags, const std::string& casesPath, const std::string& resultsPath,
             unsigned jobs)
{
    const RateInputs defaults = resolveInputs(flags);
    std::ifstream cases(casesPath);
    if (!cases) {
        throw InputError("cannot open case file '" + casesPath + "'");
    }
    const std::string temporary = resultsPath + ".partial";
    study::BatchSummary summary;
    {
        std::ofstream results(temporary, std::ios::trunc);
        if (!results) {
            throw InputError("cannot write results file '" + resultsPath + "'");
        }
        try {
            summary = study::runBatch(cases, results, defaults, jobs,
                                      ::isatty(STDERR_FILENO) ? study::BatchProgress(drawProgress)
                                                              : study::BatchProgress());
        } catch (const study::CaseFileError& e) {
            results.close();
            std::remove(temporary.c_str());
            throw InputError("case file '" + casesPath + "', " + e.what());
        }
        results.flush();
        if (!results) {
            std::remove(temporary.c_str());
            throw InputError("cannot write results file '" + resultsPath + "'");
        }
    }
    if (std::rename(temporary.c_str(), resultsPath.c_str()) != 0) {
        std::remove(temporary.c_str());
        throw InputError("cannot write results file '" + resultsPath + "'");
    }
    if (summary.failed > 0) {
        std::fprintf(stderr, "%s: %d of %d cases could not be computed; see the error column of '%s'\n",
                     kProgram, summary.failed, summary.cases, resultsPath.c_str());
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    circleCrosspoint_initialize();
    CLI::App app{"Lightning shielding failure studies of a line with two ground wires above two conductors.",
                 kProgram};
    app.set_version_flag("--version", EGM_VERSION);
    app.require_subcommand(1);

    InputFlags flags;
    std::string format = "text";
    CLI::App* rate = app.add_subcommand("rate", "rates per conductor, maximum shielding failure currents");
    addInputFlags(rate, flags);
    rate->add_option("--format", format, "text, json or csv")
        ->check(CLI::IsMember({"text", "json", "csv"}))
        ->capture_default_str();

    std::vector<double> strokeCurrent;
    CLI::App* strokes = app.add_subcommand("strokes", "widths of every stroke of the integration, as CSV");
    addInputFlags(strokes, flags);
    strokes->add_option("--current", strokeCurrent, "only the 180 strokes of this current, kA")->expected(1);

    SweepFlags sweep;
    CLI::App* sweepCommand =
        app.add_subcommand("sweep", "rates and maximum currents as one input varies, as CSV");
    addInputFlags(sweepCommand, flags);
    addSweepFlags(sweepCommand, sweep);

    std::string casesPath;
    std::string resultsPath;
    unsigned jobs = 0;
    CLI::App* batch =
        app.add_subcommand("batch", "one case per row of a CSV file, in parallel, results in order");
    addInputFlags(batch, flags);
    batch->add_option("cases", casesPath, "CSV file, a header naming the columns (flag names, x1..h4, name)")
        ->required();
    batch->add_option("-o,--output", resultsPath, "CSV file of results, one row per case")->required();
    batch->add_option("--jobs", jobs, "threads; 0 for one per core")->capture_default_str();

    double drawCurrent = 0.0;
    double drawAngle = 0.0;
    std::string picture;
    CLI::App* draw =
        app.add_subcommand("draw", "picture of one stroke: striking circles, exposed arcs, shadows");
    addInputFlags(draw, flags);
    draw->add_option("--current", drawCurrent, "lightning current, kA")->required();
    draw->add_option("--angle", drawAngle, "incidence angle, degrees from +x (90: vertical)")->required();
    draw->add_option("-o,--output", picture, "picture file: .svg, .png or .pdf")->required();

    CLI::App* plot = app.add_subcommand("plot", "charts of the exposure against current or of a sweep");
    plot->require_subcommand(1);
    CLI::App* plotExposure =
        plot->add_subcommand("exposure", "each conductor's angle-weighted exposure against current");
    addInputFlags(plotExposure, flags);
    plotExposure->add_option("-o,--output", picture, "picture file: .svg, .png or .pdf")->required();
    CLI::App* plotSweep = plot->add_subcommand("sweep", "the rates against one swept input");
    addInputFlags(plotSweep, flags);
    addSweepFlags(plotSweep, sweep);
    plotSweep->add_option("-o,--output", picture, "picture file: .svg, .png or .pdf")->required();

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) {
            return app.exit(e); // --help, --version
        }
        std::fprintf(stderr, "%s: %s (see --help)\n", kProgram, e.what());
        return 2;
    }

    try {
        if (rate->parsed()) {
            return runRate(flags, format);
        }
        if (strokes->parsed()) {
            return runStrokes(flags, strokeCurrent);
        }
        if (sweepCommand->parsed()) {
            return runSweep(flags, sweep);
        }
        if (draw->parsed()) {
            return runDraw(flags, drawCurrent, drawAngle, picture);
        }
        if (plotExposure->parsed()) {
            return runPlotExposure(flags, picture);
        }
        if (plotSweep->parsed()) {
            return runPlotSweep(flags, sweep, picture);
        }
        return runBatch(flags, casesPath, resultsPath, jobs);
    } catch (const CLI::ValidationError& e) {
        std::fprintf(stderr, "%s: %s\n", kProgram, e.what());
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", kProgram, e.what());
        return 1;
    }
}
