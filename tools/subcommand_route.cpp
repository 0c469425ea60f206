#include "egm/input_table.h"
#include "study_cli.h"
#include "study_route.h"

namespace cli {

namespace {

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
    sub->add_option("--flag-flashovers-above", request.flagFlashoversAbove,
                    "mark the stretches whose total shielding failure flashover rate exceeds this, "
                    "flashovers per 100 km per year (spans with critical currents)")
        ->option_text(" R");
    sub->add_option("--top", request.top,
                    "spans listed by their contribution (default 10): by flashovers per year when spans have "
                    "critical currents, else by failures")
        ->option_text(" N");
    addJobs(sub, request.jobs);
}

} // namespace

void setupRoute(CLI::App& app, const Status& status)
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

void setupPlotRoute(CLI::App* plot, const Status& status)
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

} // namespace cli
