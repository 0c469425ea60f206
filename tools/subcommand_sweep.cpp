#include "egm/input_table.h"
#include "study_cli.h"
#include "study_core.h"
#include "study_format.h"

namespace cli {

using egm::shortestText;

namespace {

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
    bool flashovers = false;
    for (const study::SweepPoint& p : points) {
        flashovers = flashovers || (p.result && study::hasFlashovers(*p.result));
    }
    std::string text = run.param + "," + study::resultCsvHeader(names, wires, flashovers) + ",error\n";
    int failed = 0;
    for (const study::SweepPoint& p : points) {
        text += shortestText(p.value) + ",";
        if (p.result) {
            text += study::resultCsvFields(*p.result, names, wires, flashovers) + ",\n";
        } else {
            ++failed;
            text +=
                study::resultCsvEmptyFields(names, wires, flashovers) + "," + study::csvField(p.error) + "\n";
        }
    }
    run.line.write(text);
    return summarise(failed, static_cast<int>(points.size()), run.line.output);
}

} // namespace

void setupSweep(CLI::App& app, const Status& status)
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

void setupPlotSweep(CLI::App* plot, const Status& status)
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

} // namespace cli
