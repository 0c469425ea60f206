#include "study_csv.h"

namespace study {

bool readCsvRecord(std::istream& in, int& line, CsvRecord& record)
{
    record = CsvRecord{};
    std::string text;
    do {
        if (!std::getline(in, text)) {
            return false;
        }
        ++line;
        if (!text.empty() && text.back() == '\r') {
            text.pop_back();
        }
    } while (text.empty());
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
            std::string next;
            if (!std::getline(in, next)) {
                record.error = "unclosed quote";
                break;
            }
            ++line;
            if (!next.empty() && next.back() == '\r') {
                next.pop_back();
            }
            field += '\n';
            text = next;
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

} // namespace study
