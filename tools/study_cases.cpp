#include "study_cases.h"

#include <algorithm>

#include "egm/input_table.h"
#include "numbers.h"

namespace study {

namespace {

std::string trimmed(const std::string& s)
{
    const std::size_t first = s.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return {};
    }
    const std::size_t last = s.find_last_not_of(" \t");
    return s.substr(first, last - first + 1);
}

std::string lowered(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

} // namespace

CaseFile::CaseFile(std::istream& in, std::vector<std::string> extraColumns) : in_(in)
{
    CsvRecord header;
    if (!readCsvRecord(in_, line_, header)) {
        throw CaseFileError("the case file is empty: it needs a header naming its columns");
    }
    const std::string at = "line " + std::to_string(header.line) + ": ";
    for (std::size_t k = 0; k < header.fields.size(); ++k) {
        const std::string text = trimmed(header.fields[k]);
        Column column;
        if (text.empty() && k + 1 == header.fields.size() && k > 0) {
            emptyLast_ = true; // "a,b," as spreadsheets write it
            break;
        }
        const std::string lower = lowered(text);
        if (lower == "name" ||
            std::find(extraColumns.begin(), extraColumns.end(), lower) != extraColumns.end()) {
            column.name = lower;
        } else if (const egm::InputField* f = egm::inputField(text)) {
            column.name = std::string(f->name);
            column.field = f;
        } else {
            throw CaseFileError(at + "unknown column '" + text + "'");
        }
        for (const Column& c : columns_) {
            if (c.name == column.name) {
                throw CaseFileError(at + "column '" + column.name + "' twice");
            }
        }
        columns_.push_back(column);
    }
}

bool CaseFile::next(const egm::Inputs& defaults, bool voltageTermGiven, Case& c)
{
    CsvRecord record;
    if (!readCsvRecord(in_, line_, record)) {
        return false;
    }
    c = Case{};
    c.line = record.line;
    c.inputs = defaults;
    const std::string at = "line " + std::to_string(record.line) + ": ";
    // The name first, so that a row that cannot be read keeps it.
    for (std::size_t k = 0; k < columns_.size() && k < record.fields.size(); ++k) {
        if (columns_[k].name == "name") {
            c.name = record.fields[k];
        }
    }
    std::size_t fields = record.fields.size();
    if (emptyLast_ && fields == columns_.size() + 1 && trimmed(record.fields.back()).empty()) {
        --fields;
    }
    if (!record.error.empty()) {
        c.error = at + record.error;
        return true;
    }
    if (fields != columns_.size()) {
        c.error =
            at + std::to_string(fields) + " fields where the header has " + std::to_string(columns_.size());
        return true;
    }
    bool voltageInRow = false;
    // Groups before single inputs, as on the command line.
    for (const bool groups : {true, false}) {
        for (std::size_t k = 0; k < columns_.size(); ++k) {
            const Column& column = columns_[k];
            const std::string text = trimmed(record.fields[k]);
            if (column.field == nullptr) {
                if (!groups && column.name != "name") {
                    c.extra[column.name] = text;
                }
                continue;
            }
            if ((column.field->kind == egm::InputField::Kind::group) != groups || text.empty()) {
                continue;
            }
            if (column.field->kind == egm::InputField::Kind::choice) {
                try {
                    column.field->setChoice(c.inputs, text);
                } catch (const egm::InputError& e) {
                    c.error = at + e.what();
                    return true;
                }
                continue;
            }
            double value = 0.0;
            if (!egm::io::parseReal(text, value)) {
                c.error = at + column.name + " '" + text + "' is not a number";
                return true;
            }
            column.field->set(c.inputs, value);
            voltageInRow = voltageInRow || column.name == "voltage-term";
        }
    }
    egm::settleVoltageTerm(c.inputs, voltageTermGiven || voltageInRow);
    if (c.inputs.law.kind == egm::StrikingLaw::Kind::builtIn &&
        defaults.law.kind != egm::StrikingLaw::Kind::builtIn && !voltageTermGiven && !voltageInRow) {
        c.inputs.voltageTerm = egm::Inputs{}.voltageTerm; // the built-in law's own default
    }
    return true;
}

} // namespace study
