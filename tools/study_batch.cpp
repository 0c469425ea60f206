#include "study_batch.h"

#include <vector>

#include "study_format.h"

namespace study {

BatchSummary runBatch(std::istream& cases, std::string& results, const egm::Inputs& defaults,
                      bool voltageTermGiven, unsigned jobs, const egm::Progress& progress)
{
    CaseFile file(cases);
    std::vector<Case> rows;
    Case c;
    while (file.next(defaults, voltageTermGiven, c)) {
        rows.push_back(std::move(c));
    }
    // Rows that could be read are computed; the others keep their message.
    std::vector<egm::Inputs> inputs;
    std::vector<std::size_t> computed;
    for (std::size_t k = 0; k < rows.size(); ++k) {
        if (rows[k].error.empty()) {
            inputs.push_back(rows[k].inputs);
            computed.push_back(k);
        }
    }
    const std::vector<egm::CaseOutcome> outcomes = egm::computeMany(inputs, {}, jobs, progress);

    BatchSummary summary;
    summary.cases = static_cast<int>(rows.size());
    std::vector<const egm::CaseOutcome*> outcomeOf(rows.size(), nullptr);
    for (std::size_t k = 0; k < computed.size(); ++k) {
        outcomeOf[computed[k]] = &outcomes[k];
    }
    results += "case,line,name," + resultCsvHeader() + ",error\n";
    for (std::size_t k = 0; k < rows.size(); ++k) {
        const Case& row = rows[k];
        std::string error = row.error;
        if (error.empty() && !outcomeOf[k]->result) {
            error = "line " + std::to_string(row.line) + ": " + outcomeOf[k]->error;
        }
        results += std::to_string(k + 1) + "," + std::to_string(row.line) + "," + csvField(row.name) + ",";
        if (error.empty()) {
            results += resultCsvFields(*outcomeOf[k]->result) + ",\n";
        } else {
            ++summary.failed;
            results += resultCsvEmptyFields() + "," + csvField(error) + "\n";
        }
    }
    return summary;
}

} // namespace study
