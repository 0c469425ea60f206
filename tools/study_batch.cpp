#include "study_batch.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "input_files.h"
#include "study_csv.h"
#include "study_format.h"

namespace study {

namespace {

struct Case {
    int line = 0;
    std::string name;
    RateInputs inputs;
    std::string error;   // why the row cannot be computed, if it cannot
    std::string results; // the computed fields
};

std::string trimmed(const std::string& s)
{
    const std::size_t first = s.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return {};
    }
    const std::size_t last = s.find_last_not_of(" \t");
    return s.substr(first, last - first + 1);
}

// A whole field as a real, as the program's "%lf" reads one (decimal,
// exponent, hexadecimal, nan, inf), with nothing left over.
bool parseReal(const std::string& text, double& value)
{
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size();
}

void readCase(const std::vector<std::string>& header, const CsvRecord& record, Case& c)
{
    c.line = record.line;
    if (!record.error.empty()) {
        c.error = "line " + std::to_string(record.line) + ": " + record.error;
        return;
    }
    if (record.fields.size() != header.size()) {
        c.error = "line " + std::to_string(record.line) + ": " + std::to_string(record.fields.size()) +
                  " fields where the header has " + std::to_string(header.size());
        return;
    }
    for (std::size_t k = 0; k < header.size(); ++k) {
        if (header[k] == "name") {
            c.name = record.fields[k]; // first, so that an error row keeps its name
        }
    }
    for (std::size_t k = 0; k < header.size(); ++k) {
        const std::string text = trimmed(record.fields[k]);
        if (header[k] == "name") {
            continue;
        }
        if (text.empty()) {
            continue; // keeps the default
        }
        double value = 0.0;
        if (!parseReal(text, value)) {
            c.error =
                "line " + std::to_string(record.line) + ": " + header[k] + " '" + text + "' is not a number";
            return;
        }
        *inputField(c.inputs, header[k]) = value;
    }
    const std::string problem = minCurrentProblem(c.inputs.minCurrent);
    if (!problem.empty()) {
        c.error = "line " + std::to_string(record.line) + ": " + problem;
    }
}

void compute(Case& c)
{
    if (!c.error.empty()) {
        return;
    }
    try {
        c.results = caseCsvFields(analyseCase(c.inputs));
    } catch (const std::exception& e) {
        c.error = "line " + std::to_string(c.line) + ": " + e.what();
    }
}

} // namespace

BatchSummary runBatch(std::istream& cases, std::ostream& results, const RateInputs& defaults, unsigned jobs,
                      const BatchProgress& progress)
{
    int line = 0;
    CsvRecord record;
    if (!readCsvRecord(cases, line, record)) {
        throw CaseFileError("the case file is empty: it needs a header naming its columns");
    }
    std::vector<std::string> header;
    for (const std::string& field : record.fields) {
        const std::string column = trimmed(field);
        const std::vector<std::string>& names = inputNames();
        if (column != "name" && std::find(names.begin(), names.end(), column) == names.end()) {
            throw CaseFileError("line " + std::to_string(record.line) + ": unknown column '" + column + "'");
        }
        if (std::find(header.begin(), header.end(), column) != header.end()) {
            throw CaseFileError("line " + std::to_string(record.line) + ": column '" + column + "' twice");
        }
        header.push_back(column);
    }

    std::vector<Case> all;
    while (readCsvRecord(cases, line, record)) {
        Case c;
        c.inputs = defaults;
        readCase(header, record, c);
        all.push_back(std::move(c));
    }

    const int total = static_cast<int>(all.size());
    if (jobs == 0) {
        jobs = std::max(1u, std::thread::hardware_concurrency());
    }
    jobs = std::min<unsigned>(jobs, std::max(1, total));
    std::atomic<int> next{0};
    std::atomic<int> done{0};
    const auto work = [&] {
        for (int k = next++; k < total; k = next++) {
            compute(all[k]);
            ++done;
        }
    };
    std::vector<std::thread> workers;
    for (unsigned t = 1; t < jobs; ++t) {
        workers.emplace_back(work);
    }
    if (progress) {
        // The calling thread reports while the others work.
        std::thread reporter(work);
        while (done < total) {
            progress(done, total);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        reporter.join();
        progress(total, total);
    } else {
        work();
    }
    for (std::thread& t : workers) {
        t.join();
    }

    BatchSummary summary;
    summary.cases = total;
    results << "case,line,name," << caseCsvHeader() << ",error\n";
    for (int k = 0; k < total; ++k) {
        const Case& c = all[k];
        results << k + 1 << ',' << c.line << ',' << csvField(c.name) << ',';
        if (c.error.empty()) {
            results << c.results << ",\n";
        } else {
            ++summary.failed;
            results << ",,,,," << csvField(c.error) << '\n';
        }
    }
    return summary;
}

} // namespace study
