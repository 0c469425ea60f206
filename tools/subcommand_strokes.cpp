#include "egm/input_table.h"
#include "study_cli.h"
#include "study_format.h"

namespace cli {

using egm::shortestText;

namespace {

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

} // namespace

void setupStrokes(CLI::App& app, const Status& status)
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

} // namespace cli
