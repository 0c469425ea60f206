#include "egm/input_table.h"
#include "study_cli.h"
#include "study_design.h"

namespace cli {

namespace {

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
                    "total=R, conductor1=R, conductor2=R, each=R or perfect=I (kA); on insulated conductors "
                    "flashover-total=R, flashover-NAME=R, flashover-each=R or perfect=critical")
        ->required()
        ->option_text(" KIND=VALUE");
    sub->add_option("--range", request.range, "search range of the variable (default: one that suits it)")
        ->expected(2)
        ->option_text(" FROM TO");
    sub->add_option("--samples", request.samples, "values of the response table, 3 to 101 (default 11)")
        ->check(CLI::Range(3, 101))
        ->option_text(" N");
}

} // namespace

void setupDesign(CLI::App& app, const Status& status)
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

void setupPlotDesign(CLI::App* plot, const Status& status)
{
    auto run = std::make_shared<DesignRun>();
    CLI::App* sub = plot->add_subcommand("design", "the response (a stroke or flashover rate, or a current) "
                                                   "against the design variable, solution marked");
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

} // namespace cli
