#include "current_table_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <vector>

#include "csv.h"
#include "numbers.h"

namespace egm::io {

egm::CurrentTable readCurrentTable(std::istream& in, const std::string& file)
{
    const auto fail = [&](int line, const std::string& reason) {
        throw CurrentTableFileError("current table '" + file + "', line " + std::to_string(line) + ": " +
                                    reason);
    };
    int line = 0;
    CsvRecord header;
    if (!readCsvRecord(in, line, header)) {
        fail(1, "the file is empty: it needs a header naming the columns current and probability");
    }
    int currentColumn = -1;
    int probabilityColumn = -1;
    for (std::size_t k = 0; k < header.fields.size(); ++k) {
        const std::string name = lowered(trimmedField(header.fields[k]));
        int& column = name == "current"       ? currentColumn
                      : name == "probability" ? probabilityColumn
                                              : currentColumn;
        if ((name != "current" && name != "probability") || column >= 0) {
            fail(header.line, "column '" + header.fields[k] + "': the columns are current and probability" +
                                  (name.find(';') != std::string::npos ? ", separated by commas" : ""));
        }
        column = static_cast<int>(k);
    }
    if (currentColumn < 0 || probabilityColumn < 0) {
        fail(header.line,
             std::string("column '") + (currentColumn < 0 ? "current" : "probability") + "' is missing");
    }
    std::vector<double> current;
    std::vector<double> probability;
    std::vector<int> lines;
    CsvRecord record;
    while (readCsvRecord(in, line, record)) {
        if (const std::string fault = recordFault(record, header.fields.size()); !fault.empty()) {
            fail(record.line, fault);
        }
        double values[2] = {0.0, 0.0};
        const int columns[2] = {currentColumn, probabilityColumn};
        for (int c = 0; c < 2; ++c) {
            const std::string text = trimmedField(record.fields[static_cast<std::size_t>(columns[c])]);
            if (!parseReal(text, values[c])) {
                fail(record.line,
                     std::string(c == 0 ? "current" : "probability") + " '" + text + "' is not a number");
            }
        }
        current.push_back(values[0]);
        probability.push_back(values[1]);
        lines.push_back(record.line);
    }
    if (const std::optional<egm::CurrentTable::Fault> f = egm::CurrentTable::fault(current, probability)) {
        fail(f->row == 0 ? header.line : lines[f->row - 1], f->reason);
    }
    return egm::CurrentTable(current, probability);
}

egm::CurrentTable readCurrentTableFile(const std::string& path)
{
    std::ifstream in = openedOrThrow<CurrentTableFileError>(path, "current table");
    return readCurrentTable(in, path);
}

} // namespace egm::io
