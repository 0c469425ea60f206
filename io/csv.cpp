#include "csv.h"

#include <algorithm>
#include <cctype>

namespace egm::io {

namespace {

bool nextLine(std::istream& in, int& line, std::string& text)
{
    if (!std::getline(in, text)) {
        return false;
    }
    if (++line == 1 && text.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        text.erase(0, 3);
    }
    if (!text.empty() && text.back() == '\r') {
        text.pop_back();
    }
    return true;
}

} // namespace

bool readCsvRecord(std::istream& in, int& line, CsvRecord& record)
{
    record = CsvRecord{};
    std::string text;
    do {
        if (!nextLine(in, line, text)) {
            return false;
        }
    } while (text.empty() || text.front() == '#');
    record.line = line;

    std::string field;
    bool quoted = false;    // inside a quoted field
    bool wasQuoted = false; // the field began with a quote
    std::size_t i = 0;
    for (;;) {
        if (i == text.size()) {
            if (!quoted) {
                break;
            }
            // A line break inside quotes belongs to the field.
            if (!nextLine(in, line, text)) {
                record.error = "unclosed quote";
                break;
            }
            field += '\n';
            i = 0;
            continue;
        }
        const char c = text[i++];
        if (quoted) {
            if (c == '"') {
                if (i < text.size() && text[i] == '"') {
                    field += '"';
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                field += c;
            }
        } else if (c == ',') {
            record.fields.push_back(field);
            field.clear();
            wasQuoted = false;
        } else if (c == '"' && field.empty() && !wasQuoted) {
            quoted = true;
            wasQuoted = true;
        } else {
            field += c;
        }
    }
    record.fields.push_back(field);
    return true;
}

std::string trimmedField(const std::string& field)
{
    const std::size_t first = field.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return {};
    }
    return field.substr(first, field.find_last_not_of(" \t") - first + 1);
}

std::string lowered(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

std::string recordFault(const CsvRecord& record, std::size_t columns)
{
    if (!record.error.empty()) {
        return record.error;
    }
    if (record.fields.size() != columns) {
        return std::to_string(record.fields.size()) + " fields where the header has " +
               std::to_string(columns);
    }
    return {};
}

} // namespace egm::io
