// egm-study: per-conductor rates, maximum shielding failure currents, the
// per-stroke table, sweeps, batches, comparisons of striking-distance laws
// and pictures, all through the library's public interface.
#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

#include "egm/input_table.h"
#include "egm/shielding.h"
#include "output_file.h"
#include "study_batch.h"
#include "study_cases.h"
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
  header name,kind,x,height,voltage-term,sag (kind: ground wire or conductor;
  name, voltage-term and sag may be left out); results per conductor, named by
  the file.
  Sag (a tower file's sag column, --ground-wire-sag, --conductor-sag; default 0):
  how far a wire hangs below its tower height at mid-span; the computation takes
  the span's average height, height - 2/3 sag, and the outputs say so.
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
  Rates integrate the currents from the lowest current (default 23.5 kA; it
  leaves out the failures of smaller currents, most of them on a tall line) to
  200 kA above it in steps of 1 kA; strokes per 100 km of line per year, by one
  of two rate methods (--rate-method), always named in the output:
    share (default): the model's rate: the conductors' share of the strokes
      the wires catch over 180 incidence angles (weighted 0.75 sin^3 theta),
      times the flash density, the collection width 28 h^0.6 + b and the
      terrain factor (1/6, or 1/3 on steep ground: it doubles the rate);
    exposure: the line-design guides' rate: 0.1 N_g times the sum over the
      currents of the current density times each conductor's width for
      vertical strokes. On the built-in line under ieee-1992 with U = 0 it is
      about 0.1645 where share gives about 0.106. Never add the two.
  Vertical strokes (the classical maximum current) meet a sloped ground at
  90 + slope degrees in the ground's frame.
  Evaluation (--evaluation): first-contact (default: each stroke is caught by
  the first striking disk its path enters, or by the ground when it meets the
  ground's striking line first; any tower); compat (--compat): as egm-shielding
  computes it, to the last bit; two ground wires and two conductors only.
  Exit status: 0; 1 when inputs cannot be computed or rows failed; 2 for
  usage errors. Errors are one line on standard error.
Every law, distribution, model term and default with its source and its effect
in numbers: docs/models.md; the checks against published formulas:
docs/validation.md.)";

constexpr const char* kResultColumns = R"(Result columns (CSV), one per conductor, named by it (conductor1 and
conductor2 on the four-wire line; a tower file's names with --tower):
  conductor1, conductor2, ..., total: shielding failure rates, strokes per 100 km per year
  rateMethod: share or exposure, the method of those rates (never mix the two)
  maxCurrentConductor1, ...: largest current, kA, at which the conductor has a width for
    some incidence angle within the integrated range (to 0.01 kA; empty: never)
  maxCurrentAtTopConductor1, ...: true when it is still exposed at the top of the range,
    so the figure is the range's end, not a computed maximum
  classicalMaxCurrentConductor1, ...: largest current, kA, with a width for vertical
    strokes, searched from 0.1 to 1000 kA (empty: never)
  classicalMaxCurrentAtTopConductor1, ...: true when still exposed at 1000 kA
  heightGroundWire1, ..., heightConductor1, ...: one per wire, m, the heights computed
    with: at the tower less 2/3 of the wire's sag
  evaluation, law, distribution: how the case was computed
Models and defaults: docs/models.md.)";

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

constexpr const char* kPictureHelp = "picture file: .svg, .png or .pdf";
constexpr const char* kDocsPointer = "\nModels and defaults, with their sources: docs/models.md.";

// "ground slope at the tower; ... (degrees; default 0)".
std::string helpOf(const egm::InputField& f)
{
    std::string help(f.help);
    const egm::Inputs builtIn;
    help += " (";
    if (!f.unit.empty()) {
        help += std::string(f.unit) + "; ";
    }
    if (f.kind == egm::InputField::Kind::choice) {
        help += "default " + std::string(f.getChoice(builtIn));
    } else if (f.kind == egm::InputField::Kind::group) {
        help += "built-in line: " + egm::shortestText(f.get(builtIn));
    } else {
        help += "default " + egm::shortestText(f.get(builtIn));
    }
    // The range the computation accepts, as its refusal states it.
    const std::string range = f.rangeText();
    if (f.kind != egm::InputField::Kind::choice) {
        for (const std::string_view must : {"must be ", "must lie "}) {
            if (range.rfind(must, 0) == 0) {
                help += "; " + range.substr(must.size());
                break;
            }
        }
    }
    return help + ")";
}

std::string metavarOf(const egm::InputField& f)
{
    if (f.kind == egm::InputField::Kind::choice) {
        return " " + std::string(f.choices);
    }
    return f.unit == "m" ? " M" : f.unit == "kA" ? " KA" : f.unit == "degrees" ? " DEG" : " X";
}

// The line's inputs as flags of one subcommand, and the output file.
struct LineFlags {
    study::InputFlags flags;
    std::map<std::string, std::string> texts;
    std::map<std::string, CLI::Option*> options;
    std::string output = "-";

    // The flags given, once parsed.
    const study::InputFlags& given()
    {
        flags.given.clear();
        for (const auto& [name, option] : options) {
            if (option->count() > 0) {
                flags.given[name] = texts[name];
            }
        }
        return flags;
    }
    // The inputs, the output checked against every file they read.
    egm::Inputs resolve(const char* outputRole = "results file")
    {
        std::vector<study::NamedFile> read;
        const egm::Inputs inputs = given().resolve(&read);
        study::refuseOutputOverInput(output, outputRole, read);
        return inputs;
    }
    void write(const std::string& text) const { egm::io::writeOutput(output, text, "results file"); }
};

void addInputFlags(CLI::App* app, LineFlags& line)
{
    study::InputFlags& f = line.flags;
    app->add_option("--control", f.control,
                    "control file naming the geometry, parameter and result files, read as egm-shielding "
                    "reads it (the result file is not written)")
        ->option_text(" FILE");
    app->add_option("--tower", f.tower,
                    "tower file: one wire a row under the header name,kind,x,height,voltage-term,sag (name, "
                    "voltage-term and sag optional); instead of the four-wire line's inputs")
        ->option_text(" FILE");
    app->add_option("--geometry", f.geometry,
                    "four-wire line: x of ground wire 1, ground wire 2, conductor 1, conductor 2, then their "
                    "heights (m); ground wire 1 and conductor 1 are the wires on the +x side")
        ->expected(8)
        ->allow_extra_args(false)
        ->option_text(" X1 X2 X3 X4 H1 H2 H3 H4");
    for (const egm::InputField& field : egm::inputFields()) {
        const std::string name(field.name);
        line.options[name] =
            app->add_option("--" + name, line.texts[name], helpOf(field))->option_text(metavarOf(field));
    }
    app->add_flag("--compat", f.compat, "the evaluation egm-shielding uses (--evaluation compat)");
    app->add_option("--law-coefficients", f.lawCoefficients,
                    "custom law: A,B,C,D for r = A I^B and G = C I^D, or A,B,BETA for G = BETA A I^B")
        ->delimiter(',')
        ->expected(3, 4)
        ->option_text(" A,B,C,D|A,B,BETA");
}

void addOutput(CLI::App* app, LineFlags& line, const char* pictureHelp = nullptr,
               const char* help = "output file; - (the default) is standard output")
{
    CLI::Option* o = app->add_option("-o,--output", line.output, pictureHelp != nullptr ? pictureHelp : help)
                         ->option_text(" FILE");
    if (pictureHelp != nullptr) {
        o->required();
    }
}

void addFormat(CLI::App* app, std::string& format)
{
    app->add_option("--format", format, "text (the default), json or csv")
        ->check(CLI::IsMember({"text", "json", "csv"}))
        ->option_text(" text|json|csv");
}

void addJobs(CLI::App* app, unsigned& jobs)
{
    app->add_option("--jobs", jobs, "threads; 0 (the default) for one per core")->option_text(" N");
}

// Every subcommand sets its exit status here.
using Status = std::shared_ptr<int>;

// rate -----------------------------------------------------------------------

struct RateRun {
    LineFlags line;
    std::string format = "text";
};

int runRate(RateRun& run)
{
    const egm::Inputs inputs = run.line.resolve();
    const egm::Result r = egm::computeRates(inputs);
    printNotes(r.notes);
    std::string text;
    if (run.format == "json") {
        text = study::resultJson(inputs, r, run.line.flags.control, run.line.flags.tower).dump(2) + "\n";
    } else if (run.format == "csv") {
        const std::vector<std::string> names = study::conductorNames(r);
        const std::vector<std::string> wires = study::wireNames(r);
        text = study::resultCsvHeader(names, wires) +
               ",terrainFactor,collectionWidth,currentFrom,currentTo,steps\n" +
               study::resultCsvFields(r, names, wires) + "," + shortestText(r.terrainFactor) + "," +
               shortestText(r.collectionWidth) + "," + shortestText(r.currentFrom) + "," +
               shortestText(r.currentTo) + "," + std::to_string(r.currentSteps) + "\n";
    } else {
        text = study::resultText(r, &inputs.tower);
    }
    run.line.write(text);
    return 0;
}

void addRate(CLI::App& app, const Status& status)
{
    auto run = std::make_shared<RateRun>();
    CLI::App* sub = app.add_subcommand("rate", "rates per conductor, maximum shielding failure currents");
    addInputFlags(sub, run->line);
    addFormat(sub, run->format);
    addOutput(sub, run->line);
    sub->footer(std::string("Text: each conductor's rate and the total, by the rate method named in the "
                            "heading; the maximum shielding failure current (any incidence angle, within the "
                            "integrated currents: a lowest current set too high hides it); the classical one "
                            "(vertical strokes); how it was computed; the heights used when a wire has a "
                            "sag. JSON: the same keys, with rateMethod and heights (per wire).\n") +
                kResultColumns);
    sub->callback([run, status] { *status = runRate(*run); });
}

// strokes --------------------------------------------------------------------

std::string strokeRow(double current, int l, const std::vector<double>& widths, const std::string& how)
{
    std::string row =
        shortestText(current) + "," + shortestText(egm::incidenceAngle(l)) + "," + std::to_string(l + 1);
    for (double w : widths) {
        row += "," + shortestText(w);
    }
    return row + "," + how + "\n";
}

struct StrokesRun {
    LineFlags line;
    std::vector<double> current;
};

int runStrokes(StrokesRun& run)
{
    const egm::Inputs inputs = run.line.resolve();
    printNotes(egm::layoutNotes(inputs));
    const std::string how = std::string(egm::evaluationName(inputs.evaluation)) + "," +
                            std::string(egm::lawName(inputs.law.kind));
    std::string text = "current,theta,degrees";
    for (const std::string& name : inputs.tower.names()) {
        text += "," + study::csvField(name);
    }
    text += ",evaluation,law\n";
    if (run.current.empty()) {
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
        const std::vector<std::vector<double>> rows = egm::strokesAtCurrent(inputs, run.current.front());
        for (int l = 0; l < egm::kAngleSteps; ++l) {
            text += strokeRow(run.current.front(), l, rows[l], how);
        }
    }
    run.line.write(text);
    return 0;
}

void addStrokes(CLI::App& app, const Status& status)
{
    auto run = std::make_shared<StrokesRun>();
    CLI::App* sub = app.add_subcommand("strokes", "widths of every stroke of the integration, as CSV");
    addInputFlags(sub, run->line);
    sub->add_option("--current", run->current, "only the 180 strokes of this current, kA")
        ->expected(1)
        ->option_text(" KA");
    addOutput(sub, run->line);
    sub->footer("Columns: current (kA), theta (rad, from +x in the frame of the sloped ground; below pi/2 "
                "the stroke comes from the +x side; vertical strokes at pi/2 + slope), "
                "degrees (1 to 180), then one per wire named by it (groundWire1, groundWire2, conductor1, "
                "conductor2 on the four-wire line): the width of the stroke paths the wire catches, across "
                "the stroke direction, m; evaluation, law. Models: docs/models.md.");
    sub->callback([run, status] { *status = runStrokes(*run); });
}

// sweep ----------------------------------------------------------------------

struct SweepRun {
    LineFlags line;
    std::string param;
    double from = 0.0;
    double to = 0.0;
    double step = 0.0;
    unsigned jobs = 0;

    // The base inputs; a flag that sets the swept input too is a usage
    // error naming both.
    egm::Inputs resolve(const char* outputRole)
    {
        const study::InputFlags& flags = line.given();
        std::vector<std::string> swept = {param};
        for (const study::InputGroup& g : study::inputGroups()) {
            if (param == g.name) {
                swept.insert(swept.end(), std::begin(g.members), std::end(g.members));
            }
        }
        for (const std::string& input : swept) {
            const std::string by = flags.flagSetting(input);
            if (!by.empty()) {
                throw study::UsageError("--param " + param + " and " + by + " both set " + input +
                                        "; give one of them");
            }
        }
        return line.resolve(outputRole);
    }
    std::vector<study::SweepPoint> points(const egm::Inputs& base) const
    {
        return study::sweepCases(base, *egm::inputField(param), study::sweepValues(from, to, step), jobs);
    }
};

void addSweepOptions(CLI::App* sub, SweepRun& run)
{
    std::vector<std::string> names;
    for (const egm::InputField& f : egm::inputFields()) {
        if (f.kind != egm::InputField::Kind::choice) {
            names.emplace_back(f.name);
        }
    }
    sub->add_option(
           "--param", run.param,
           "the input to vary: any input's flag name (slope, h1, ...) or a group: ground-wire-height "
           "(h1 = h2), conductor-height (h3 = h4), ground-wire-spread (x1 = -x2 = value/2), "
           "conductor-spread (x3 = -x4 = value/2)")
        ->required()
        ->check(CLI::IsMember(names))
        ->option_text(" NAME");
    sub->add_option("--from", run.from, "first value")->required()->option_text(" X");
    sub->add_option("--to", run.to,
                    "last value (kept when a whole number of steps reaches it, up to rounding)")
        ->required()
        ->option_text(" X");
    sub->add_option("--step", run.step,
                    "step between values: from + i step, rounded to the decimals of from and step")
        ->required()
        ->option_text(" X");
    addJobs(sub, run.jobs);
}

int runSweep(SweepRun& run)
{
    const egm::Inputs base = run.resolve("results file");
    printNotes(egm::layoutNotes(base));
    const std::vector<study::SweepPoint> points = run.points(base);
    std::vector<std::string> names = study::conductorNames(base.tower);
    const std::vector<std::string> wires = base.tower.names();
    std::string text = run.param + "," + study::resultCsvHeader(names, wires) + ",error\n";
    int failed = 0;
    for (const study::SweepPoint& p : points) {
        text += shortestText(p.value) + ",";
        if (p.result) {
            text += study::resultCsvFields(*p.result, names, wires) + ",\n";
        } else {
            ++failed;
            text += study::resultCsvEmptyFields(names, wires) + "," + study::csvField(p.error) + "\n";
        }
    }
    run.line.write(text);
    return summarise(failed, static_cast<int>(points.size()), run.line.output);
}

void addSweep(CLI::App& app, const Status& status)
{
    auto run = std::make_shared<SweepRun>();
    CLI::App* sub = app.add_subcommand("sweep", "rates and maximum currents as one input varies, as CSV");
    addInputFlags(sub, run->line);
    addSweepOptions(sub, *run);
    addOutput(sub, run->line);
    sub->footer(std::string("Columns: the swept input, the result columns, error (why a value could not "
                            "be computed). Exit status 1 when any value failed; every other row is "
                            "still written.\n") +
                kResultColumns);
    sub->callback([run, status] { *status = runSweep(*run); });
}

// batch ----------------------------------------------------------------------

struct BatchRun {
    LineFlags line;
    std::string cases;
    unsigned jobs = 0;
};

int runBatch(BatchRun& run)
{
    study::refuseOutputOverInput(run.line.output, "results file", {{"case file", run.cases}});
    const egm::Inputs defaults = run.line.resolve();
    std::ifstream cases;
    study::openCaseFile(cases, run.cases, "case file");
    // Opened first, so that an output that cannot be written fails before
    // the cases are computed; the temporary file goes on interruption.
    egm::io::OutputFile results(run.line.output, "results file");
    std::string text;
    study::BatchSummary summary;
    try {
        summary = study::runBatch(cases, text, defaults, run.jobs, progressOnTerminal(),
                                  std::filesystem::path(run.cases).parent_path().string());
    } catch (const study::CaseFileError& e) {
        throw egm::InputError("case file '" + run.cases + "', " + e.what());
    }
    std::vector<study::NamedFile> towers;
    for (const std::string& t : summary.towerFiles) {
        towers.push_back({"tower file", t});
    }
    study::refuseOutputOverInput(run.line.output, "results file", towers);
    results.write(text);
    results.commit();
    return summarise(summary.failed, summary.cases, run.line.output);
}

void addBatch(CLI::App& app, const Status& status)
{
    auto run = std::make_shared<BatchRun>();
    CLI::App* sub =
        app.add_subcommand("batch", "one case per row of a CSV file, in parallel, results in order");
    addInputFlags(sub, run->line);
    sub->add_option("cases", run->cases, "CSV file: a header naming the columns, then one case per row")
        ->required()
        ->option_text(" CASES");
    addJobs(sub, run->jobs);
    addOutput(sub, run->line, nullptr,
              "CSV file of results, one row per case; - (the default) is standard output");
    sub->footer(
        std::string("Case file: columns named like the flags (slope, h1, x3, law, ...; any letter case), "
                    "separated by commas, an optional name and an optional tower (a tower file, relative "
                    "to the case file's folder; read once however many rows name it); missing columns and "
                    "empty fields take the flags' values. With towers of different conductors the result "
                    "columns name every conductor in order of first appearance, empty where a row has none "
                    "of the name. Lines starting with # are skipped.\nResults: case (1, 2, ...), line (in "
                    "the case file), name, the result columns, error. A row that cannot be computed (its "
                    "result not finite included) gets its message in the error column and the others are "
                    "still computed; exit status 1 when any row failed. The results never replace the case "
                    "file or a tower file.\n") +
        kResultColumns);
    sub->callback([run, status] { *status = runBatch(*run); });
}

// compare --------------------------------------------------------------------

std::string currentCell(const egm::MaxCurrent& m)
{
    return m.current ? shortestText(*m.current) + (m.exposedAtTop ? "+" : "") : "none";
}

struct CompareRun {
    LineFlags line;
    std::string format = "text";
};

int runCompare(CompareRun& run)
{
    const egm::Inputs base = run.line.resolve();
    printNotes(egm::layoutNotes(base));
    const std::vector<study::LawComparison> rows = study::compareLaws(base);
    const std::vector<std::string> names = study::conductorNames(base.tower);
    const std::vector<std::string> wires = base.tower.names();
    std::string text;
    int failed = 0;
    if (run.format == "json") {
        nlohmann::json j = nlohmann::json::array();
        for (const study::LawComparison& row : rows) {
            nlohmann::json entry;
            if (row.result) {
                entry = study::resultJson(base, *row.result, run.line.flags.control, run.line.flags.tower);
                entry.erase("inputs");
            } else {
                entry["error"] = row.error;
                ++failed;
            }
            entry["law"] = std::string(egm::lawName(row.law.kind));
            entry["rateMethod"] = std::string(egm::rateMethodName(row.method));
            j.push_back(entry);
        }
        text = j.dump(2) + "\n";
    } else if (run.format == "csv") {
        text = "law," + study::resultCsvHeader(names, wires) + ",error\n";
        for (const study::LawComparison& row : rows) {
            text += std::string(egm::lawName(row.law.kind)) + ",";
            if (row.result) {
                text += study::resultCsvFields(*row.result, names, wires) + ",\n";
            } else {
                ++failed;
                // The method still named, so that the row says which one failed.
                std::string empty = study::resultCsvEmptyFields(names, wires);
                empty.insert(names.size() + 1, egm::rateMethodName(row.method));
                text += empty + "," + study::csvField(row.error) + "\n";
            }
        }
    } else {
        // One block per law: each conductor's rate by the share and the
        // exposure method side by side, its maximum and classical maximum
        // current, then the totals.
        char line[256];
        text = "Shielding failure rate by striking-distance law and rate method, strokes per 100 km per "
               "year\n";
        std::snprintf(line, sizeof line, "%-20s %-16s %12s %12s %10s %10s\n", "law", "conductor", "share",
                      "exposure", "max I", "classic");
        text += line;
        // Rows come in pairs: the share method's, then the exposure method's.
        for (std::size_t k = 0; k + 1 < rows.size(); k += 2) {
            const study::LawComparison& share = rows[k];
            const study::LawComparison& exposure = rows[k + 1];
            const std::string law(egm::lawName(share.law.kind));
            bool broken = false;
            for (const study::LawComparison* row : {&share, &exposure}) {
                if (!row->result) {
                    ++failed;
                    broken = true;
                    text += law + " (" + study::rateMethodText(row->method) + "): " + row->error + "\n";
                }
            }
            if (broken) {
                continue;
            }
            const egm::Result& r = *share.result;
            for (std::size_t c = 0; c < r.conductors.size(); ++c) {
                const egm::ConductorResult& sc = r.conductors[c];
                std::snprintf(line, sizeof line, "%-20s %-16s %12.6g %12.6g %10s %10s\n", law.c_str(),
                              sc.name.c_str(), sc.rate, exposure.result->conductors[c].rate,
                              currentCell(sc.maxCurrent).c_str(),
                              currentCell(sc.classicalMaxCurrent).c_str());
                text += line;
            }
            std::snprintf(line, sizeof line, "%-20s %-16s %12.6g %12.6g\n", law.c_str(), "total", r.totalRate,
                          exposure.result->totalRate);
            text += line;
        }
        text += "Maximum currents in kA; + marks a conductor still exposed at the top of the range.\n";
        text += "share: the conductors' share of the collection width (the model's rate); exposure: "
                "their widths for vertical strokes over the current density (the line-design guides' "
                "rate).\n";
        text += "evaluation " + std::string(egm::evaluationName(base.evaluation)) +
                ", current distribution " + std::string(egm::distributionName(base.distribution.kind)) + "\n";
    }
    run.line.write(text);
    return summarise(failed, static_cast<int>(rows.size()), run.line.output);
}

void addCompare(CLI::App& app, const Status& status)
{
    auto run = std::make_shared<CompareRun>();
    CLI::App* sub = app.add_subcommand("compare", "the line under every striking-distance law");
    addInputFlags(sub, run->line);
    addFormat(sub, run->format);
    addOutput(sub, run->line);
    sub->footer(
        std::string("Every law under both rate methods: built-in (with the voltage term), ieee-1992, love, "
                    "brown-whitehead, armstrong-whitehead, and custom when --law custom is given. Text: "
                    "per law and conductor the share and the exposure rate side by side; JSON and CSV: "
                    "one entry per law and method, rateMethod naming it. --rate-method is not needed "
                    "here.\n") +
        kResultColumns);
    sub->callback([run, status] { *status = runCompare(*run); });
}

// design ---------------------------------------------------------------------

struct DesignRun {
    LineFlags line;
    study::DesignRequest request;
    std::string format = "text";
};

void addDesignOptions(CLI::App* sub, study::DesignRequest& request)
{
    sub->add_option("--variable", request.variable,
                    "spread, ground-wire-height, conductor-height or shielding-angle")
        ->required()
        ->check(CLI::IsMember(study::designVariableNames()))
        ->option_text(" NAME");
    sub->add_option("--target", request.target,
                    "total=R, conductor1=R, conductor2=R, each=R or perfect=I (kA)")
        ->required()
        ->option_text(" KIND=VALUE");
    sub->add_option("--range", request.range, "search range of the variable (default: one that suits it)")
        ->expected(2)
        ->option_text(" FROM TO");
    sub->add_option("--samples", request.samples, "values of the response table, 3 to 101 (default 11)")
        ->check(CLI::Range(3, 101))
        ->option_text(" N");
}

void addDesign(CLI::App& app, const Status& status)
{
    auto run = std::make_shared<DesignRun>();
    CLI::App* sub =
        app.add_subcommand("design", "solve for a ground-wire position or height that meets a target");
    addInputFlags(sub, run->line);
    addDesignOptions(sub, run->request);
    addFormat(sub, run->format);
    addOutput(sub, run->line);
    sub->footer(std::string(study::kDesignHelp) + kDocsPointer);
    sub->callback([run, status] {
        const egm::Inputs base = run->line.resolve();
        printNotes(egm::layoutNotes(base));
        const study::DesignOutcome outcome = study::solveDesign(base, run->request);
        run->line.write(study::designReport(outcome, run->format));
        *status = outcome.met ? 0 : 1;
    });
}

// route ----------------------------------------------------------------------

struct RouteRun {
    LineFlags line;
    study::RouteRequest request;
    std::string format = "text";
};

void addRouteOptions(CLI::App* sub, study::RouteRequest& request)
{
    sub->add_option("spans", request.spans, "CSV file: one span per row")->required()->option_text(" SPANS");
    sub->add_option("--flag-above", request.flagAbove,
                    "mark the stretches whose total rate exceeds this, strokes per 100 km per year")
        ->option_text(" R");
    sub->add_option("--top", request.top, "spans listed by their contribution (default 10)")
        ->option_text(" N");
    addJobs(sub, request.jobs);
}

void addRoute(CLI::App& app, const Status& status)
{
    auto run = std::make_shared<RouteRun>();
    CLI::App* sub = app.add_subcommand("route", "expected shielding failures of a whole line, span by span");
    addInputFlags(sub, run->line);
    addRouteOptions(sub, run->request);
    addFormat(sub, run->format);
    addOutput(sub, run->line);
    sub->footer(std::string(study::kRouteHelp) + kDocsPointer);
    sub->callback([run, status] {
        *status = study::runRoute(run->line.given(), run->request, run->format, run->line.output,
                                  progressOnTerminal());
    });
}

// draw and plot --------------------------------------------------------------

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

struct DrawRun {
    LineFlags line;
    double current = 0.0;
    double angle = 0.0;
    std::optional<double> fromVertical; // degrees; set: the angle follows from it and the slope
};

// The stroke's angle in the frame of the sloped ground, degrees from +x:
// --angle itself, or from --from-vertical (positive: the stroke comes from
// the +x side), 90 + slope - from-vertical, since a vertical stroke meets the
// sloped ground at 90 + slope degrees (egm::verticalIncidence).
double groundFrameAngle(const DrawRun& run, const egm::Inputs& inputs)
{
    if (!run.fromVertical) {
        return run.angle;
    }
    const double angle = 90.0 + inputs.slope - *run.fromVertical;
    if (!(std::isfinite(*run.fromVertical) && angle > 0.0 && angle <= 180.0)) {
        throw egm::InputError("--from-vertical " + shortestText(*run.fromVertical) +
                              " degrees on a slope of " + shortestText(inputs.slope) +
                              " degrees: must lie from " + shortestText(inputs.slope - 90.0) + " to " +
                              shortestText(inputs.slope + 90.0) +
                              " (excluded) degrees, so that the stroke comes down onto the ground");
    }
    return angle;
}

void addDraw(CLI::App& app, const Status& status)
{
    auto run = std::make_shared<DrawRun>();
    CLI::App* sub =
        app.add_subcommand("draw", "picture of one stroke: striking circles, the paths each wire catches");
    addInputFlags(sub, run->line);
    sub->add_option("--current", run->current, "lightning current, kA")->required()->option_text(" KA");
    CLI::Option* angle =
        sub->add_option("--angle", run->angle,
                        "stroke angle in the frame of the sloped ground, degrees from +x along the ground "
                        "(90: perpendicular to the ground, vertical only on flat ground; below 90 the "
                        "stroke comes from the +x side), as the integration's angles")
            ->option_text(" DEG");
    CLI::Option* vertical =
        sub->add_option("--from-vertical", run->fromVertical,
                        "stroke angle from the true vertical, degrees (0: vertical; positive: from the +x "
                        "side); the ground-frame angle is 90 + slope - this")
            ->option_text(" DEG");
    angle->excludes(vertical);
    vertical->excludes(angle);
    addOutput(sub, run->line, kPictureHelp);
    sub->footer("The picture is drawn in the frame of the sloped ground (the ground laid level); its legend "
                "gives the stroke's angle in that frame and from the vertical, each wire's width (the "
                "stroke paths it catches, m, across the stroke direction) and striking distance. Give "
                "--angle or --from-vertical. Models and defaults: docs/models.md.");
    sub->callback([run, status, angle, vertical] {
        if (angle->count() == 0 && vertical->count() == 0) {
            throw study::UsageError("draw needs --angle or --from-vertical");
        }
        requireImageName(run->line.output);
        const egm::Inputs inputs = run->line.resolve("picture file");
        const double theta = groundFrameAngle(*run, inputs);
        requireDrawCurrent(run->current, theta);
        printNotes(egm::layoutNotes(inputs));
        writePicture(study::layoutStrokeScene(study::strokeScene(inputs, run->current, theta)),
                     run->line.output);
        *status = 0;
    });
}

// A chart of rows some of which may have failed: each failed row named on
// standard error; nothing written when no row was computed. Exit status 1
// when any row failed.
int drawRows(const study::Chart& chart, const std::string& path, const std::vector<std::string>& failures,
             std::size_t rows)
{
    for (const std::string& f : failures) {
        fail(f, 1);
    }
    if (failures.size() == rows) {
        return fail("no row could be computed; '" + path + "' not written", 1);
    }
    writePicture(study::layoutChart(chart), path);
    return failures.empty() ? 0 : 1;
}

void addPlotExposure(CLI::App* plot, const Status& status)
{
    auto run = std::make_shared<LineFlags>();
    CLI::App* sub =
        plot->add_subcommand("exposure", "each conductor's angle-weighted exposure against current");
    addInputFlags(sub, *run);
    addOutput(sub, *run, kPictureHelp);
    sub->footer(std::string("Each conductor's angle sum per current: its share of the strokes the wires "
                            "catch, weighted over the incidence angles, before the current density (what the "
                            "share method integrates); maximum currents marked.") +
                kDocsPointer);
    sub->callback([run, status] {
        requireImageName(run->output);
        const egm::Inputs inputs = run->resolve("picture file");
        egm::Options options;
        options.angleSums = true;
        const egm::Result r = egm::computeRates(inputs, options);
        printNotes(r.notes);
        writePicture(study::layoutChart(study::exposureChart(inputs, r)), run->output);
        *status = 0;
    });
}

void addPlotSweep(CLI::App* plot, const Status& status)
{
    auto run = std::make_shared<SweepRun>();
    CLI::App* sub = plot->add_subcommand("sweep", "the rates against one swept input");
    addInputFlags(sub, run->line);
    addSweepOptions(sub, *run);
    addOutput(sub, run->line, kPictureHelp);
    sub->footer(std::string("Each conductor's rate and the total against the swept input, by the rate "
                            "method named on the axis (--rate-method).") +
                kDocsPointer);
    sub->callback([run, status] {
        requireImageName(run->line.output);
        const egm::Inputs base = run->resolve("picture file");
        printNotes(egm::layoutNotes(base));
        const std::vector<study::SweepPoint> points = run->points(base);
        std::vector<std::string> failures;
        for (const study::SweepPoint& p : points) {
            if (!p.result) {
                failures.push_back(run->param + " " + shortestText(p.value) + " not computed: " + p.error);
            }
        }
        *status =
            drawRows(study::sweepChart(run->param, points, base), run->line.output, failures, points.size());
    });
}

void addPlotCompare(CLI::App* plot, const Status& status)
{
    auto run = std::make_shared<LineFlags>();
    CLI::App* sub = plot->add_subcommand("compare", "the rates under every striking-distance law");
    addInputFlags(sub, *run);
    addOutput(sub, *run, kPictureHelp);
    sub->footer(std::string("A bar per conductor and the total under each law, by the share method and "
                            "beside it, paler, the exposure method.") +
                kDocsPointer);
    sub->callback([run, status] {
        requireImageName(run->output);
        const egm::Inputs base = run->resolve("picture file");
        printNotes(egm::layoutNotes(base));
        const std::vector<study::LawComparison> rows = study::compareLaws(base);
        std::vector<std::string> failures;
        for (const study::LawComparison& row : rows) {
            if (!row.result) {
                failures.push_back("law " + std::string(egm::lawName(row.law.kind)) + " (" +
                                   study::rateMethodText(row.method) + ") not computed: " + row.error);
            }
        }
        *status = drawRows(study::compareChart(rows, base), run->output, failures, rows.size());
    });
}

void addPlotDesign(CLI::App* plot, const Status& status)
{
    auto run = std::make_shared<DesignRun>();
    CLI::App* sub = plot->add_subcommand("design", "the rate against the design variable, solution marked");
    addInputFlags(sub, run->line);
    addDesignOptions(sub, run->request);
    addOutput(sub, run->line, kPictureHelp);
    sub->callback([run, status] {
        requireImageName(run->line.output);
        const egm::Inputs base = run->line.resolve("picture file");
        printNotes(egm::layoutNotes(base));
        const study::DesignOutcome outcome = study::solveDesign(base, run->request);
        writePicture(study::layoutChart(study::designChart(outcome, base)), run->line.output);
        *status = 0;
    });
}

void addPlotRoute(CLI::App* plot, const Status& status)
{
    auto run = std::make_shared<RouteRun>();
    CLI::App* sub =
        plot->add_subcommand("route", "the rate along the route's chainage, flagged stretches marked");
    addInputFlags(sub, run->line);
    addRouteOptions(sub, run->request);
    addOutput(sub, run->line, kPictureHelp);
    sub->callback([run, status] {
        requireImageName(run->line.output);
        study::refuseOutputOverInput(run->line.output, "picture file", {{"route file", run->request.spans}});
        std::vector<study::NamedFile> read;
        const study::RouteOutcome outcome =
            study::computeRoute(run->line.given(), run->request, progressOnTerminal(), &read);
        study::refuseOutputOverInput(run->line.output, "picture file", read);
        std::vector<std::string> failures;
        for (const study::Span& s : outcome.spans) {
            if (!s.result) {
                failures.push_back("span " + std::to_string(s.index) + " not computed: " + s.error);
            }
        }
        *status = drawRows(study::routeChart(outcome), run->line.output, failures, outcome.spans.size());
    });
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

} // namespace

int main(int argc, char** argv)
{
    egm::io::onInterrupt("egm-study: interrupted; files being written were removed\n");
    CLI::App app{"Lightning shielding failure studies of an overhead line, by the electrogeometric model: "
                 "two ground wires above two conductors, or any tower of ground wires and conductors.",
                 kProgram};
    app.footer(kConventions);
    app.set_version_flag("--version", std::string(kProgram) + " " + std::string(egm::version()));
    app.require_subcommand(1);
    app.get_formatter()->column_width(34);

    const Status status = std::make_shared<int>(0);
    addRate(app, status);
    addStrokes(app, status);
    addSweep(app, status);
    addBatch(app, status);
    addCompare(app, status);
    addDesign(app, status);
    addRoute(app, status);
    addDraw(app, status);
    CLI::App* plot = app.add_subcommand("plot", "charts: exposure, sweep, compare, design, route");
    plot->require_subcommand(1);
    addPlotExposure(plot, status);
    addPlotSweep(plot, status);
    addPlotCompare(plot, status);
    addPlotDesign(plot, status);
    addPlotRoute(plot, status);

    std::string unknown;
    if (unknownSubcommand(app, argc, argv, unknown)) {
        return fail("unknown subcommand '" + unknown +
                        "' (rate, strokes, sweep, batch, compare, design, route, draw, plot; see --help)",
                    2);
    }
    // The subcommand runs in its callback, during the parse.
    try {
        app.parse(argc, argv);
        return *status;
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) {
            app.exit(e); // --help, --version
            std::string reason;
            return egm::io::standardOutputWritten(reason) && std::cout.flush()
                       ? 0
                       : fail("cannot write standard output: " + reason, 1);
        }
        return fail(std::string(e.what()) + " (see --help)", 2);
    } catch (const study::UsageError& e) {
        return fail(e.what(), 2);
    } catch (const std::exception& e) {
        return fail(e.what(), 1);
    }
}
