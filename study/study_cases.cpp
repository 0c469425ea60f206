#include "study_cases.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "current_table_file.h"
#include "tower_file.h"

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

void openCaseFile(std::ifstream& in, const std::string& path, const std::string& role)
{
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        throw egm::InputError("cannot read " + role + " '" + path + "': " + std::strerror(EISDIR));
    }
    errno = 0;
    in.open(path, std::ios::binary);
    if (!in) {
        const int error = errno != 0 ? errno : ENOENT;
        throw egm::InputError("cannot open " + role + " '" + path + "': " + std::strerror(error));
    }
}

std::vector<std::string> CaseFile::towerPaths() const
{
    std::vector<std::string> paths;
    for (const auto& [file, read] : towers_) {
        paths.push_back(towerPath(file));
    }
    return paths;
}

std::vector<std::string> CaseFile::currentTablePaths() const
{
    std::vector<std::string> paths;
    for (const auto& [file, read] : tables_) {
        paths.push_back(towerPath(file));
    }
    return paths;
}

std::string CaseFile::towerPath(const std::string& file) const
{
    return std::filesystem::path(file).is_absolute() ? file
                                                     : (std::filesystem::path(folder_) / file).string();
}

CaseFile::CaseFile(std::istream& in, std::string folder, std::vector<std::string> extraColumns)
    : in_(in), folder_(std::move(folder))
{
    egm::io::CsvRecord header;
    if (!egm::io::readCsvRecord(in_, line_, header)) {
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
        if (lower == "name" || lower == "tower" || lower == "current-table" ||
            std::find(extraColumns.begin(), extraColumns.end(), lower) != extraColumns.end()) {
            column.name = lower;
        } else if (const egm::InputField* f = egm::inputField(text)) {
            column.name = std::string(f->name);
            column.field = f;
        } else if (text.find(';') != std::string::npos) {
            throw CaseFileError(at + "unknown column '" + text +
                                "': columns are separated by commas, and this header has semicolons");
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

const std::variant<egm::Tower, std::string>& CaseFile::tower(const std::string& file)
{
    const auto known = towers_.find(file);
    if (known != towers_.end()) {
        return known->second;
    }
    std::variant<egm::Tower, std::string> read;
    try {
        read = egm::io::readTowerFile(towerPath(file));
    } catch (const egm::io::TowerFileError& e) {
        read = std::string(e.what());
    }
    return towers_.emplace(file, std::move(read)).first->second;
}

const std::variant<egm::CurrentTable, std::string>& CaseFile::currentTable(const std::string& file)
{
    const auto known = tables_.find(file);
    if (known != tables_.end()) {
        return known->second;
    }
    std::variant<egm::CurrentTable, std::string> read;
    try {
        read = egm::io::readCurrentTableFile(towerPath(file));
    } catch (const egm::io::CurrentTableFileError& e) {
        read = std::string(e.what());
    }
    return tables_.emplace(file, std::move(read)).first->second;
}

bool CaseFile::next(const egm::Inputs& defaults, Case& c)
{
    egm::io::CsvRecord record;
    if (!egm::io::readCsvRecord(in_, line_, record)) {
        return false;
    }
    c = Case{};
    c.line = record.line;
    c.inputs.inputs = defaults;
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
        c.inputs.error = at + record.error;
        return true;
    }
    if (fields != columns_.size()) {
        c.inputs.error =
            at + std::to_string(fields) + " fields where the header has " + std::to_string(columns_.size());
        return true;
    }
    egm::NamedInputs named;
    for (std::size_t k = 0; k < columns_.size(); ++k) {
        const Column& column = columns_[k];
        const std::string text = trimmed(record.fields[k]);
        if (column.field != nullptr) {
            if (!text.empty()) {
                named.values.push_back(egm::NamedValue{column.name, text, std::nullopt});
                c.given.emplace_back(column.name, text);
            }
        } else if (column.name == "tower") {
            c.towerFile = text;
            if (!text.empty()) {
                c.given.emplace_back(column.name, text);
            }
        } else if (column.name == "current-table") {
            c.currentTableFile = text;
            if (!text.empty()) {
                c.given.emplace_back(column.name, text);
            }
        } else if (column.name != "name") {
            c.extra[column.name] = text;
        }
    }
    if (!c.towerFile.empty()) {
        const std::variant<egm::Tower, std::string>& t = tower(c.towerFile);
        if (const std::string* error = std::get_if<std::string>(&t)) {
            c.inputs.error = at + *error;
            return true;
        }
        named.tower = std::get<egm::Tower>(t);
    }
    if (!c.currentTableFile.empty()) {
        const std::variant<egm::CurrentTable, std::string>& t = currentTable(c.currentTableFile);
        if (const std::string* error = std::get_if<std::string>(&t)) {
            c.inputs.error = at + *error;
            return true;
        }
        named.currentTable = std::get<egm::CurrentTable>(t);
    }
    c.inputs = egm::resolveCase(named, defaults);
    if (!c.inputs.error.empty()) {
        c.inputs.error = at + c.inputs.error;
    }
    return true;
}

} // namespace study
