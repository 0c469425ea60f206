// egm-study: per-conductor rates, maximum shielding failure currents, the
// per-stroke table, sweeps, batches, comparisons of striking-distance laws
// and pictures, all through the library's public interface.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <list>
#include <string>
#include <unistd.h>
#include <vector>

#include "egm/input_table.h"
#include "egm/shielding.h"
#include "output_file.h"
#include "study_batch.h"
#include "study_core.h"
#include "study_design.h"
#include "study_format.h"
#include "study_inputs.h"
#include "study_route.h"
#ifdef EGM_HAVE_CAIRO
#include "study_render.h"
#endif

namespace {

using egm::shortestText;

constexpr const char* kProgram = "egm-study";

constexpr const char* kConventions = R"(Conventions of every subcommand:
  The four-wire line (the default): two ground wires above two conductors.
  Ground wire 1 and conductor 1 are the wires on the +x side of the line,
  ground wire 2 and conductor 2 those on the -x side; x across the line and
  heights above the ground at the tower, in metres.
  --tower FILE: any tower of up to 16 wires instead, one wire a row under the
  header name,kind,x,height,voltage-term (kind: ground wire or conductor; name
  and voltage-term may be left out); results per conductor, named by the file.
  --slope: the ground at the tower slopes by this angle, degrees; positive: it
  falls towards +x, so ground wire 1 and conductor 1 stand on the downhill side.
  Built-in striking-distance law, I in kA: ground wires 1.63 (5.015 I^0.578)^1.125 m,
  conductor 1 1.63 (5.015 I^0.578 + U)^1.125 m, conductor 2 1.63 (5.015 I^0.578 - U)^1.125 m,
  with U the voltage term (--voltage-term, in the unit of 5.015 I^0.578; default 0.8);
  the ground's striking line at k_g times the ground wires' distance, k_g =
  0.36 + 0.17 ln(43 - h) below a mean ground-wire height h of 40 m, else 0.55.
  Other laws (--law): ieee-1992, love, brown-whitehead, armstrong-whitehead, custom.
  Current distribution (built-in): probability density of P(>I) = 1/(1 + (I/scale)^exponent),
  scale 31 kA, exponent 2.8; or log-normal (--distribution log-normal).
  Rates integrate the currents from --min-current to 200 kA above it in steps
  of 1 kA and 180 incidence angles; strokes per 100 km of line per year.
  Evaluation (--evaluation): first-contact (default: each stroke is caught by
  the first striking disk its path enters, or by the ground when it meets the
  ground's striking line first; any tower); compat (--compat): as egm-shielding
  computes it, to the last bit; two ground wires and two conductors only.
  Exit status: 0; 1 when inputs cannot be computed or rows failed; 2 for
  usage errors. Errors are one line on standard error.)";

constexpr const char* kResultColumns = R"(Result columns (CSV), one per conductor, named by it (conductor1 and
conductor2 on the four-wire line; a tower file's names with --tower):
  conductor1, conductor2, ..., total: shielding failure rates, strokes per 100 km per year
  maxCurrentConductor1, ...: largest current, kA, at which the conductor has a width for
    some incidence angle within the integrated range (to 0.01 kA; empty: never)
  maxCurrentAtTopConductor1, ...: true when it is still exposed at the top of the range,
    so the figure is the range's end, not a computed maximum
  classicalMaxCurrentConductor1, ...: largest current, kA, with a width for vertical
    strokes, searched from 0.1 to 1000 kA (empty: never)
  classicalMaxCurrentAtTopConductor1, ...: true when still exposed at 1000 kA
  evaluation, law, distribution: how the case was computed)";

int fail(const std::string& message, int status)
{
    std::fprintf(stderr, "%s: %s\n", kProgram, message.c_str());
    return status;
}

void printNotes(const std::vector<std::string>& notes)
{
    for (const std::string& note : notes) {
        std::fprintf(stderr, "%s: %s\n", kProgram, note.c_str());
    }
}

void requireImageName(const std::string& path)
{
#ifdef EGM_HAVE_CAIRO
    if (!study::imageFormatOf(path)) {
        throw study::UsageError("--output '" + path + "' must end in .svg, .png or .pdf");
    }
#else
    (void)path;
    throw study::UsageError("this egm-study was built without cairo: no pictures (install libcairo2-dev)");
#endif
}

void writePicture(const study::Picture& picture, const std::string& path)
{
#ifdef EGM_HAVE_CAIRO
    study::renderPicture(picture, path);
#else
    (void)picture;
    (void)path;
#endif
}

// The one-line summary of rows that failed; exit status 1 when any did.
int summarise(int failed, int total, const std::string& where)
{
    if (failed == 0) {
        return 0;
    }
    return fail(std::to_string(failed) + " of " + std::to_string(total) +
                    " cases could not be computed; see the error column" +
                    (where == "-" ? std::string() : " of '" + where + "'"),
                1);
}

void drawProgress(std::size_t done, std::size_t total)
{
    constexpr std::size_t kWidth = 40;
    const std::size_t filled = total > 0 ? done * kWidth / total : kWidth;
    std::fprintf(stderr, "\r[%s%s] %zu/%zu", std::string(filled, '#').c_str(),
                 std::string(kWidth - filled, ' ').c_str(), done, total);
    if (done == total) {
        std::fputc('\n', stderr);
    }
}

egm::Progress progressOnTerminal()
{
    return ::isatty(STDERR_FILENO) ? egm::Progress(drawProgress) : egm::Progress();
}

struct Output {
    std::string path = "-";
    void addTo(CLI::App* app, bool required = false,
               const char* help = "output file; - (the default) is standard output")
    {
        CLI::Option* o = app->add_option("-o,--output", path, help)->option_text(" FILE");
        if (required) {
            o->required();
        }
    }
    void write(const std::string& text, const char* role = "results file") const
    {
        egm::io::writeOutput(path, text, role);
    }
};

struct Sweep {
    std::string param;
    double from = 0.0;
    double to = 0.0;
    double step = 0.0;
    unsigned jobs = 0;

    void addTo(CLI::App* app)
    {
        std::vector<std::string> names;
        for (const egm::InputField& f : egm::inputFields()) {
            if (f.kind != egm::InputField::Kind::choice) {
                names.emplace_back(f.name);
            }
        }
        app->add_option(
               "--param", param,
               "the input to vary: any input's flag name (slope, h1, ...) or a group: ground-wire-height "
               "(h1 = h2), conductor-height (h3 = h4), ground-wire-spread (x1 = -x2 = value/2), "
               "conductor-spread (x3 = -x4 = value/2)")
            ->required()
            ->check(CLI::IsMember(names))
            ->option_text(" NAME");
        app->add_option("--from", from, "first value")->required()->option_text(" X");
        app->add_option("--to", to,
                        "last value (kept when a whole number of steps reaches it, up to rounding)")
            ->required()
            ->option_text(" X");
        app->add_option("--step", step, "step between values, from + i step")->required()->option_text(" X");
        app->add_option("--jobs", jobs, "threads; 0 (the default) for one per core")->option_text(" N");
    }
    std::vector<study::SweepPoint> run(const egm::Inputs& base) const
    {
        return study::sweepCases(base, *egm::inputField(param), study::sweepValues(from, to, step), jobs);
    }
};

int runRate(const study::InputFlags& flags, const std::string& format, const Output& out)
{
    const egm::Inputs inputs = flags.resolve();
    const egm::Result r = egm::computeRates(inputs);
    printNotes(r.notes);
    std::string text;
    if (format == "json") {
        text = study::resultJson(inputs, r, flags.control(), flags.towerFile()).dump(2) + "\n";
    } else if (format == "csv") {
        const std::vector<std::string> names = study::conductorNames(r);
        text = study::resultCsvHeader(names) +
               ",terrainFactor,collectionWidth,currentFrom,currentTo,steps\n" +
               study::resultCsvFields(r, names) + "," + shortestText(r.terrainFactor) + "," +
               shortestText(r.collectionWidth) + "," + shortestText(r.currentFrom) + "," +
               shortestText(r.currentTo) + "," + std::to_string(r.currentSteps) + "\n";
    } else {
        text = study::resultText(r);
    }
    out.write(text);
    return 0;
}

std::string strokeRow(double current, int l, const std::vector<double>& widths, const std::string& how)
{
    std::string row =
        shortestText(current) + "," + shortestText(egm::incidenceAngle(l)) + "," + std::to_string(l + 1);
    for (double w : widths) {
        row += "," + shortestText(w);
    }
    return row + "," + how + "\n";
}

int runStrokes(const study::InputFlags& flags, const std::vector<double>& current, const Output& out)
{
    const egm::Inputs inputs = flags.resolve();
    printNotes(egm::layoutNotes(inputs));
    const std::string how = std::string(egm::evaluationName(inputs.evaluation)) + "," +
                            std::string(egm::lawName(inputs.law.kind));
    std::string text = "current,theta,degrees";
    for (const std::string& name : inputs.tower.names()) {
        text += "," + study::csvField(name);
    }
    text += ",evaluation,law\n";
    if (current.empty()) {
        egm::Options options;
        options.strokeTable = true;
        options.maxCurrents = false;
        options.classicalMaxCurrents = false;
        const egm::Result r = egm::computeRates(inputs, options);
        const egm::StrokeTable& table = *r.strokes;
        for (std::size_t j = 0; j < table.currentCount(); ++j) {
            for (int l = 0; l < egm::kAngleSteps; ++l) {
                text += strokeRow(table.current(j), l, table.widths(j, l), how);
            }
        }
    } else {
        const std::vector<std::vector<double>> rows = egm::strokesAtCurrent(inputs, current.front());
        for (int l = 0; l < egm::kAngleSteps; ++l) {
            text += strokeRow(current.front(), l, rows[l], how);
        }
    }
    out.write(text);
    return 0;
}

int runSweep(const study::InputFlags& flags, const Sweep& sweep, const Output& out)
{
    const egm::Inputs base = flags.resolve();
    printNotes(egm::layoutNotes(base));
    const std::vector<study::SweepPoint> points = sweep.run(base);
    std::vector<std::string> names = study::conductorNames(base.tower);
    std::string text = sweep.param + "," + study::resultCsvHeader(names) + ",error\n";
    int failed = 0;
    for (const study::SweepPoint& p : points) {
        text += shortestText(p.value) + ",";
        if (p.result) {
            text += study::resultCsvFields(*p.result, names) + ",\n";
        } else {
            ++failed;
            text += study::resultCsvEmptyFields(names) + "," + study::csvField(p.error) + "\n";
        }
    }
    out.write(text);
    return summarise(failed, static_cast<int>(points.size()), out.path);
}

int runBatch(const study::InputFlags& flags, const std::string& casesPath, const Output& out, unsigned jobs)
{
    const egm::Inputs defaults = flags.resolve();
    std::ifstream cases(casesPath);
    if (!cases) {
        throw egm::InputError("cannot open case file '" + casesPath + "'");
    }
    // Opened first, so that an output that cannot be written fails before
    // the cases are computed; the temporary file goes on interruption.
    egm::io::OutputFile results(out.path, "results file");
    std::string text;
    study::BatchSummary summary;
    try {
        summary = study::runBatch(cases, text, defaults, flags.voltageTermGiven(), jobs, progressOnTerminal(),
                                  std::filesystem::path(casesPath).parent_path().string());
    } catch (const study::CaseFileError& e) {
        throw egm::InputError("case file '" + casesPath + "', " + e.what());
    }
    results.write(text);
    results.commit();
    return summarise(summary.failed, summary.cases, out.path);
}

std::string currentCell(const egm::MaxCurrent& m)
{
    return m.current ? shortestText(*m.current) + (m.exposedAtTop ? "+" : "") : "none";
}

int runCompare(const study::InputFlags& flags, const std::string& format, const Output& out)
{
    const egm::Inputs base = flags.resolve();
    printNotes(egm::layoutNotes(base));
    const std::vector<study::LawComparison> rows = study::compareLaws(base, flags.voltageTermGiven());
    const std::vector<std::string> names = study::conductorNames(base.tower);
    std::string text;
    int failed = 0;
    if (format == "json") {
        nlohmann::json j = nlohmann::json::array();
        for (const study::LawComparison& row : rows) {
            nlohmann::json entry;
            if (row.result) {
                entry = study::resultJson(base, *row.result, flags.control(), flags.towerFile());
                entry.erase("inputs");
            } else {
                entry["error"] = row.error;
                ++failed;
            }
            entry["law"] = std::string(egm::lawName(row.law.kind));
            j.push_back(entry);
        }
        text = j.dump(2) + "\n";
    } else if (format == "csv") {
        text = "law," + study::resultCsvHeader(names) + ",error\n";
        for (const study::LawComparison& row : rows) {
            text += std::string(egm::lawName(row.law.kind)) + ",";
            if (row.result) {
                text += study::resultCsvFields(*row.result, names) + ",\n";
            } else {
                ++failed;
                text += study::resultCsvEmptyFields(names) + "," + study::csvField(row.error) + "\n";
            }
        }
    } else {
        // One block per law: each conductor's rate, maximum and classical
        // maximum current, then the total.
        char line[256];
        text = "Shielding failure rate by striking-distance law, strokes per 100 km per year\n";
        std::snprintf(line, sizeof line, "%-20s %-16s %12s %10s %10s\n", "law", "conductor", "rate", "max I",
                      "classic");
        text += line;
        for (const study::LawComparison& row : rows) {
            const std::string law(egm::lawName(row.law.kind));
            if (!row.result) {
                ++failed;
                text += law + ": " + row.error + "\n";
                continue;
            }
            const egm::Result& r = *row.result;
            for (const egm::ConductorResult& c : r.conductors) {
                std::snprintf(line, sizeof line, "%-20s %-16s %12.6g %10s %10s\n", law.c_str(),
                              c.name.c_str(), c.rate, currentCell(c.maxCurrent).c_str(),
                              currentCell(c.classicalMaxCurrent).c_str());
                text += line;
            }
            std::snprintf(line, sizeof line, "%-20s %-16s %12.6g\n", law.c_str(), "total", r.totalRate);
            text += line;
        }
        text += "Maximum currents in kA; + marks a conductor still exposed at the top of the range.\n";
        text += "evaluation " + std::string(egm::evaluationName(base.evaluation)) +
                ", current distribution " + std::string(egm::distributionName(base.distribution.kind)) + "\n";
    }
    out.write(text);
    return summarise(failed, static_cast<int>(rows.size()), out.path);
}

void requireDrawCurrent(double current, double angle)
{
    if (!(std::isfinite(current) && current > 0.0)) {
        throw egm::InputError("--current " + shortestText(current) + " kA: must be greater than 0 kA");
    }
    if (!(angle > 0.0 && angle <= 180.0)) {
        throw egm::InputError("--angle " + shortestText(angle) +
                              " degrees: must be greater than 0 and at most 180 degrees");
    }
}

// An argument that names no subcommand, said by name.
bool unknownSubcommand(const CLI::App& app, int argc, char** argv, std::string& name)
{
    if (argc < 2 || argv[1][0] == '-') {
        return false;
    }
    name = argv[1];
    for (const CLI::App* sub : app.get_subcommands({})) {
        if (sub->get_name() == name) {
            return false;
        }
    }
    return true;
}

// A subcommand with the line's inputs and an output file.
struct Command {
    CLI::App* app = nullptr;
    study::InputFlags inputs;
    Output out;
};

constexpr const char* kPictureHelp = "picture file: .svg, .png or .pdf";

} // namespace

int main(int argc, char** argv)
{
    CLI::App app{"Lightning shielding failure studies of an overhead line, by the electrogeometric model: "
                 "two ground wires above two conductors, or any tower of ground wires and conductors.",
                 kProgram};
    app.footer(kConventions);
    app.set_version_flag("--version", std::string(kProgram) + " " + std::string(egm::version()));
    app.require_subcommand(1);
    app.get_formatter()->column_width(34);

    std::list<Command> commands;
    // The subcommand's own options go in between its inputs and its output.
    const auto command = [&commands](CLI::App* parent, const char* name, const char* description,
                                     const std::function<void(CLI::App*)>& own = {},
                                     const char* pictureHelp = nullptr) -> Command& {
        Command& c = commands.emplace_back();
        c.app = parent->add_subcommand(name, description);
        c.inputs.addTo(c.app);
        if (own) {
            own(c.app);
        }
        if (pictureHelp != nullptr) {
            c.out.addTo(c.app, true, pictureHelp);
        } else {
            c.out.addTo(c.app);
        }
        return c;
    };
    std::string format = "text";
    const auto addFormat = [&format](CLI::App* sub) {
        sub->add_option("--format", format, "text (the default), json or csv")
            ->check(CLI::IsMember({"text", "json", "csv"}))
            ->option_text(" text|json|csv");
    };

    Command& rate =
        command(&app, "rate", "rates per conductor, maximum shielding failure currents", addFormat);
    rate.app->footer(kResultColumns);

    std::vector<double> strokeCurrent;
    Command& strokes =
        command(&app, "strokes", "widths of every stroke of the integration, as CSV", [&](CLI::App* a) {
            a->add_option("--current", strokeCurrent, "only the 180 strokes of this current, kA")
                ->expected(1)
                ->option_text(" KA");
        });
    strokes.app->footer(
        "Columns: current (kA), theta (rad, from +x; below pi/2 the stroke comes from the +x side), "
        "degrees (1 to 180), then one per wire named by it (groundWire1, groundWire2, conductor1, "
        "conductor2 on the four-wire line): the width of the stroke paths the wire catches, across the "
        "stroke direction, m; evaluation, law.");

    Sweep sweep;
    Command& sweepCommand = command(&app, "sweep", "rates and maximum currents as one input varies, as CSV",
                                    [&](CLI::App* a) { sweep.addTo(a); });
    sweepCommand.app->footer(
        std::string("Columns: the swept input, the result columns, error (why a value could not "
                    "be computed). Exit status 1 when any value failed; every other row is "
                    "still written.\n") +
        kResultColumns);

    std::string casesPath;
    unsigned jobs = 0;
    Command& batch = command(
        &app, "batch", "one case per row of a CSV file, in parallel, results in order",
        [&](CLI::App* a) {
            a->add_option("cases", casesPath, "CSV file: a header naming the columns, then one case per row")
                ->required()
                ->option_text(" CASES");
            a->add_option("--jobs", jobs, "threads; 0 (the default) for one per core")->option_text(" N");
        },
        "CSV file of results, one row per case (- for standard output)");
    batch.app->footer(
        std::string("Case file: columns named like the flags (slope, h1, x3, law, ...; any letter case), "
                    "an optional name and an optional tower (a tower file, relative to the case file's "
                    "folder; read once however many rows name it); missing columns and empty fields take "
                    "the flags' values. With towers of different conductors the result columns name "
                    "every conductor in order of first appearance, empty where a row has none of the "
                    "name. "
                    "Lines starting with # are skipped.\nResults: case (1, 2, ...), line (in the case "
                    "file), name, the result columns, error. A row that cannot be computed gets its "
                    "message in the error column and the others are still computed; exit status 1 "
                    "when any row failed.\n") +
        kResultColumns);

    Command& compare = command(&app, "compare", "the line under every striking-distance law", addFormat);
    compare.app->footer(
        std::string("One row per law: built-in (with the voltage term), ieee-1992, love, "
                    "brown-whitehead, armstrong-whitehead, and custom when --law custom is given.\n") +
        kResultColumns);

    study::DesignRequest design;
    Command& designCommand = command(
        &app, "design", "solve for a ground-wire position or height that meets a target", [&](CLI::App* a) {
            design.addTo(a);
            addFormat(a);
        });
    designCommand.app->footer(study::kDesignHelp);

    study::RouteRequest route;
    Command& routeCommand =
        command(&app, "route", "expected shielding failures of a whole line, span by span", [&](CLI::App* a) {
            route.addTo(a);
            addFormat(a);
        });
    routeCommand.app->footer(study::kRouteHelp);

    double drawCurrent = 0.0;
    double drawAngle = 0.0;
    Command& draw = command(
        &app, "draw", "picture of one stroke: striking circles, the paths each wire catches",
        [&](CLI::App* a) {
            a->add_option("--current", drawCurrent, "lightning current, kA")->required()->option_text(" KA");
            a->add_option(
                 "--angle", drawAngle,
                 "incidence angle, degrees from +x (90: vertical; below 90 the stroke comes from the +x "
                 "side)")
                ->required()
                ->option_text(" DEG");
        },
        kPictureHelp);

    CLI::App* plot = app.add_subcommand("plot", "charts: exposure, sweep, compare, design, route");
    plot->require_subcommand(1);
    Command& plotExposure = command(
        plot, "exposure", "each conductor's angle-weighted exposure against current", {}, kPictureHelp);
    Sweep plotSweep;
    Command& plotSweepCommand = command(
        plot, "sweep", "the rates against one swept input", [&](CLI::App* a) { plotSweep.addTo(a); },
        kPictureHelp);
    Command& plotCompare =
        command(plot, "compare", "the rates under every striking-distance law", {}, kPictureHelp);
    study::DesignRequest plotDesign;
    Command& plotDesignCommand = command(
        plot, "design", "the rate against the design variable, solution marked",
        [&](CLI::App* a) { plotDesign.addTo(a); }, kPictureHelp);
    study::RouteRequest plotRoute;
    Command& plotRouteCommand = command(
        plot, "route", "the rate along the route's chainage, flagged stretches marked",
        [&](CLI::App* a) { plotRoute.addTo(a); }, kPictureHelp);

    std::string unknown;
    if (unknownSubcommand(app, argc, argv, unknown)) {
        return fail("unknown subcommand '" + unknown +
                        "' (rate, strokes, sweep, batch, compare, design, route, draw, plot; see --help)",
                    2);
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) {
            app.exit(e); // --help, --version
            std::string reason;
            return egm::io::standardOutputWritten(reason) && std::cout.flush()
                       ? 0
                       : fail("cannot write standard output: " + reason, 1);
        }
        return fail(std::string(e.what()) + " (see --help)", 2);
    }

    try {
        int status = 0;
        if (rate.app->parsed()) {
            status = runRate(rate.inputs, format, rate.out);
        } else if (strokes.app->parsed()) {
            status = runStrokes(strokes.inputs, strokeCurrent, strokes.out);
        } else if (sweepCommand.app->parsed()) {
            status = runSweep(sweepCommand.inputs, sweep, sweepCommand.out);
        } else if (batch.app->parsed()) {
            status = runBatch(batch.inputs, casesPath, batch.out, jobs);
        } else if (compare.app->parsed()) {
            status = runCompare(compare.inputs, format, compare.out);
        } else if (designCommand.app->parsed()) {
            const egm::Inputs base = designCommand.inputs.resolve();
            printNotes(egm::layoutNotes(base));
            const study::DesignOutcome outcome = study::solveDesign(base, design);
            designCommand.out.write(study::designReport(outcome, format));
            status = outcome.met ? 0 : 1;
        } else if (routeCommand.app->parsed()) {
            status = study::runRoute(routeCommand.inputs, route, format, routeCommand.out.path,
                                     progressOnTerminal());
        } else if (draw.app->parsed()) {
            requireImageName(draw.out.path);
            requireDrawCurrent(drawCurrent, drawAngle);
            const egm::Inputs inputs = draw.inputs.resolve();
            printNotes(egm::layoutNotes(inputs));
            writePicture(study::layoutStrokeScene(study::strokeScene(inputs, drawCurrent, drawAngle)),
                         draw.out.path);
        } else if (plotExposure.app->parsed()) {
            requireImageName(plotExposure.out.path);
            const egm::Inputs inputs = plotExposure.inputs.resolve();
            egm::Options options;
            options.angleSums = true;
            const egm::Result r = egm::computeRates(inputs, options);
            printNotes(r.notes);
            writePicture(study::layoutChart(study::exposureChart(inputs, r)), plotExposure.out.path);
        } else if (plotSweepCommand.app->parsed()) {
            requireImageName(plotSweepCommand.out.path);
            const egm::Inputs base = plotSweepCommand.inputs.resolve();
            writePicture(study::layoutChart(study::sweepChart(plotSweep.param, plotSweep.run(base))),
                         plotSweepCommand.out.path);
        } else if (plotCompare.app->parsed()) {
            requireImageName(plotCompare.out.path);
            const egm::Inputs base = plotCompare.inputs.resolve();
            writePicture(study::layoutChart(study::compareChart(
                             study::compareLaws(base, plotCompare.inputs.voltageTermGiven()))),
                         plotCompare.out.path);
        } else if (plotDesignCommand.app->parsed()) {
            requireImageName(plotDesignCommand.out.path);
            const study::DesignOutcome outcome =
                study::solveDesign(plotDesignCommand.inputs.resolve(), plotDesign);
            writePicture(study::layoutChart(study::designChart(outcome)), plotDesignCommand.out.path);
        } else if (plotRouteCommand.app->parsed()) {
            requireImageName(plotRouteCommand.out.path);
            const study::RouteOutcome outcome =
                study::computeRoute(plotRouteCommand.inputs, plotRoute, progressOnTerminal());
            writePicture(study::layoutChart(study::routeChart(outcome)), plotRouteCommand.out.path);
        }
        return status;
    } catch (const study::UsageError& e) {
        return fail(e.what(), 2);
    } catch (const std::exception& e) {
        return fail(e.what(), 1);
    }
}
