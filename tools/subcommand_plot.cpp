#include "study_cli.h"

namespace cli {

namespace {

void setupPlotExposure(CLI::App* plot, const Status& status)
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

} // namespace

void setupPlot(CLI::App& app, const Status& status)
{
    CLI::App* plot = app.add_subcommand("plot", "charts: exposure, sweep, compare, design, route");
    plot->require_subcommand(1);
    setupPlotExposure(plot, status);
    setupPlotSweep(plot, status);
    setupPlotCompare(plot, status);
    setupPlotDesign(plot, status);
    setupPlotRoute(plot, status);
}

} // namespace cli
