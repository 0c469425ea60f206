#include "ground_file.h"

#include <array>
#include <fstream>
#include <vector>

#include "csv.h"
#include "numbers.h"

namespace egm::io {

egm::GroundProfile readGroundProfile(std::istream& in, const std::string& file)
{
    const auto fail = [&](int line, const std::string& reason) {
        throw GroundFileError("ground profile '" + file + "', line " + std::to_string(line) + ": " + reason);
    };
    int line = 0;
    CsvRecord header;
    if (!readCsvRecord(in, line, header)) {
        fail(1, "the file is empty: it needs a header naming the columns x and elevation (and cover)");
    }
    static constexpr std::array<const char*, 3> kColumns = {"x", "elevation", "cover"};
    std::array<int, 3> column = {-1, -1, -1};
    for (std::size_t k = 0; k < header.fields.size(); ++k) {
        const std::string name = lowered(trimmedField(header.fields[k]));
        if (name.find(';') != std::string::npos) {
            fail(header.line, "column '" + header.fields[k] + "': the columns are separated by commas");
        }
        for (std::size_t c = 0; c < kColumns.size(); ++c) {
            if (name == kColumns[c]) {
                if (column[c] >= 0) {
                    fail(header.line, "column '" + name + "' appears twice");
                }
                column[c] = static_cast<int>(k);
            }
        }
    }
    for (std::size_t c = 0; c < 2; ++c) {
        if (column[c] < 0) {
            fail(header.line, std::string("column '") + kColumns[c] + "' is missing");
        }
    }
    std::vector<egm::GroundPoint> points;
    std::vector<int> lines;
    CsvRecord record;
    while (readCsvRecord(in, line, record)) {
        if (const std::string fault = recordFault(record, header.fields.size()); !fault.empty()) {
            fail(record.line, fault);
        }
        if (points.size() == egm::kMaxProfilePoints) {
            fail(record.line,
                 "a ground profile takes at most " + std::to_string(egm::kMaxProfilePoints) + " points");
        }
        std::array<double, 3> values = {0.0, 0.0, 0.0};
        for (std::size_t c = 0; c < kColumns.size(); ++c) {
            if (column[c] < 0) {
                continue;
            }
            const std::string text = trimmedField(record.fields[static_cast<std::size_t>(column[c])]);
            if (c == 2 && text.empty()) {
                continue;
            }
            if (!parseReal(text, values[c])) {
                fail(record.line, std::string(kColumns[c]) + " '" + text + "' is not a number");
            }
        }
        points.push_back(egm::GroundPoint{values[0], values[1], values[2]});
        lines.push_back(record.line);
    }
    if (const std::optional<egm::GroundProfile::Fault> f = egm::GroundProfile::fault(points)) {
        fail(f->row == 0 ? header.line : lines[f->row - 1], f->reason);
    }
    return egm::GroundProfile(std::move(points));
}

egm::GroundProfile readGroundProfileFile(const std::string& path)
{
    std::ifstream in = openedOrThrow<GroundFileError>(path, "ground profile");
    return readGroundProfile(in, path);
}

} // namespace egm::io
