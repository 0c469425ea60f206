#include <cstdio>

#include "egm/input_table.h"
#include "study_cli.h"
#include "study_core.h"
#include "study_format.h"

namespace cli {

using egm::shortestText;

namespace {

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
    const std::vector<study::LawComparison> rows =
        study::compareLaws(base, run.line.flags.voltageTermGiven());
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
        const std::vector<study::LawComparison> rows =
            study::compareLaws(base, run->flags.voltageTermGiven());
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
