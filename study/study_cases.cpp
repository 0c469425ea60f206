#include "study_cases.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>

#include "current_table_file.h"
#include "ground_file.h"
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

std::vector<std::string> CaseFile::groundPaths() const
{
    std::vector<std::string> paths;
    for (const auto& [file, read] : grounds_) {
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
        if (lower == "name" || lower == "tower" || lower == "current-table" || lower == "ground" ||
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

namespace {

// The file read once into files: what it gives, or its message.
template <class T, class Error, class Read>
const std::variant<T, std::string>& readOnce(std::map<std::string, std::variant<T, std::string>>& files,
                                             const std::string& file, const std::string& path, Read read)
{
    const auto known = files.find(file);
    if (known != files.end()) {
        return known->second;
    }
    std::variant<T, std::string> got;
    try {
        got = read(path);
    } catch (const Error& e) {
        got = std::string(e.what());
    }
    return files.emplace(file, std::move(got)).first->second;
}

// The file's tower, table or profile into named; false with the message in
// error when it cannot be used.
template <class T>
bool take(const std::variant<T, std::string>& read, std::optional<T>& into, std::string& error)
{
    if (const std::string* e = std::get_if<std::string>(&read)) {
        error = *e;
        return false;
    }
    into = std::get<T>(read);
    return true;
}

} // namespace

const std::variant<egm::Tower, std::string>& CaseFile::tower(const std::string& file)
{
    return readOnce<egm::Tower, egm::io::TowerFileError>(towers_, file, towerPath(file),
                                                         egm::io::readTowerFile);
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
        } else if (column.name == "current-table" || column.name == "ground") {
            (column.name == "ground" ? c.groundFile : c.currentTableFile) = text;
            if (!text.empty()) {
                c.given.emplace_back(column.name, text);
            }
        } else if (column.name != "name") {
            c.extra[column.name] = text;
        }
    }
    std::string error;
    if ((!c.towerFile.empty() && !take(tower(c.towerFile), named.tower, error)) ||
        (!c.currentTableFile.empty() &&
         !take(readOnce<egm::CurrentTable, egm::io::CurrentTableFileError>(
                   tables_, c.currentTableFile, towerPath(c.currentTableFile), egm::io::readCurrentTableFile),
               named.currentTable, error)) ||
        (!c.groundFile.empty() &&
         !take(readOnce<egm::GroundProfile, egm::io::GroundFileError>(
                   grounds_, c.groundFile, towerPath(c.groundFile), egm::io::readGroundProfileFile),
               named.ground, error))) {
        c.inputs.error = at + error;
        return true;
    }
    c.inputs = egm::resolveCase(named, defaults);
    if (!c.inputs.error.empty()) {
        c.inputs.error = at + c.inputs.error;
    }
    return true;
}

} // namespace study
