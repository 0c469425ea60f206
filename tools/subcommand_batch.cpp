#include <filesystem>
#include <fstream>

#include "egm/input_table.h"
#include "study_batch.h"
#include "study_cases.h"
#include "study_cli.h"

namespace cli {

namespace {

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
    for (const std::string& t : summary.currentTableFiles) {
        towers.push_back({"current table", t});
    }
    for (const std::string& t : summary.groundFiles) {
        towers.push_back({"ground profile", t});
    }
    study::refuseOutputOverInput(run.line.output, "results file", towers);
    results.write(text);
    results.commit();
    return summarise(summary.failed, summary.cases, run.line.output);
}

} // namespace

void setupBatch(CLI::App& app, const Status& status)
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
                    "to the case file's folder; read once however many rows name it), an optional "
                    "current-table (a current table for distribution table, found and read likewise); "
                    "ground (a ground profile, found and read likewise); "
                    "missing columns and "
                    "empty fields take the flags' values. With towers of different conductors the result "
                    "columns name every conductor in order of first appearance, empty where a row has none "
                    "of the name. Lines starting with # are skipped.\nResults: case (1, 2, ...), line (in "
                    "the case file), name, the result columns, error. A row that cannot be computed (its "
                    "result not finite included) gets its message in the error column and the others are "
                    "still computed; exit status 1 when any row failed. The results never replace the case "
                    "file, a tower file or a current table.\n") +
        kResultColumns);
    sub->callback([run, status] { *status = runBatch(*run); });
}

} // namespace cli
