#include "egm/input_table.h"
#include "study_cli.h"
#include "study_format.h"

namespace cli {

using egm::shortestText;

namespace {

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
        const bool flashovers = study::hasFlashovers(r);
        text = study::resultCsvHeader(names, wires, flashovers) +
               ",terrainFactor,collectionWidth,currentFrom,currentTo,steps\n" +
               study::resultCsvFields(r, names, wires, flashovers) + "," + shortestText(r.terrainFactor) +
               "," + shortestText(r.collectionWidth) + "," + shortestText(r.currentFrom) + "," +
               shortestText(r.currentTo) + "," + std::to_string(r.currentSteps) + "\n";
    } else {
        text = study::resultText(r, &inputs.tower, &inputs.ground);
    }
    run.line.write(text);
    return 0;
}

} // namespace

void setupRate(CLI::App& app, const Status& status)
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

} // namespace cli
