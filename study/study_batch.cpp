#include "study_batch.h"

#include <vector>

#include "study_format.h"

namespace study {

BatchSummary runBatch(std::istream& cases, std::string& results, const egm::Inputs& defaults, unsigned jobs,
                      const egm::Progress& progress, const std::string& folder)
{
    CaseFile file(cases, folder);
    std::vector<Case> rows;
    std::vector<egm::CaseInputs> inputs;
    Case c;
    while (file.next(defaults, c)) {
        inputs.push_back(c.inputs);
        rows.push_back(std::move(c));
    }
    const std::vector<egm::CaseOutcome> outcomes = egm::computeMany(inputs, {}, jobs, progress);

    std::vector<std::string> conductors;
    std::vector<std::string> wires;
    bool flashovers = false;
    for (const egm::CaseOutcome& o : outcomes) {
        if (o.result) {
            flashovers = flashovers || hasFlashovers(*o.result);
            addConductorNames(conductors, *o.result);
            addWireNames(wires, *o.result);
        }
    }
    if (conductors.empty()) {
        conductors = conductorNames(defaults.tower); // no row computed: the defaults' names
        wires = defaults.tower.names();
    }
    BatchSummary summary;
    summary.towerFiles = file.towerPaths();
    summary.currentTableFiles = file.currentTablePaths();
    summary.groundFiles = file.groundPaths();
    summary.cases = static_cast<int>(rows.size());
    results += "case,line,name," + resultCsvHeader(conductors, wires, flashovers) + ",error\n";
    for (std::size_t k = 0; k < rows.size(); ++k) {
        const Case& row = rows[k];
        results += std::to_string(k + 1) + "," + std::to_string(row.line) + "," + csvField(row.name) + ",";
        if (outcomes[k].result) {
            results += resultCsvFields(*outcomes[k].result, conductors, wires, flashovers) + ",\n";
            continue;
        }
        ++summary.failed;
        // A row read but not computed: its line before the library's message.
        const std::string error = row.inputs.error.empty()
                                      ? "line " + std::to_string(row.line) + ": " + outcomes[k].error
                                      : outcomes[k].error;
        results += resultCsvEmptyFields(conductors, wires, flashovers) + "," + csvField(error) + "\n";
    }
    return summary;
}

} // namespace study
