#include <algorithm>

#include "egm/input_table.h"
#include "study_cli.h"
#include "study_core.h"
#include "study_format.h"

namespace cli {

using egm::shortestText;

namespace {

struct CompareRun {
    LineFlags line;
    std::string format = "text";
};

int runCompare(CompareRun& run)
{
    const egm::Inputs base = run.line.resolve();
    printNotes(egm::layoutNotes(base));
    const std::vector<study::LawComparison> rows = study::compareLaws(base);
    run.line.write(
        study::compareReport(rows, base, run.format, run.line.flags.control, run.line.flags.tower));
    const auto failed =
        std::count_if(rows.begin(), rows.end(), [](const study::LawComparison& r) { return !r.result; });
    return summarise(static_cast<int>(failed), static_cast<int>(rows.size()), run.line.output);
}

} // namespace

void setupCompare(CLI::App& app, const Status& status)
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

void setupPlotCompare(CLI::App* plot, const Status& status)
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

} // namespace cli
