#include "tower_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <optional>
#include <vector>

#include "csv.h"
#include "numbers.h"

namespace egm::io {

namespace {

enum class Column { name, kind, x, height, voltageTerm, sag, insulation, none };

struct ColumnName {
    Column column;
    const char* text;
    bool required;
    // Column::insulation: the conductor's input it gives.
    std::optional<double> egm::Insulation::*insulation = nullptr;
};
const ColumnName kColumns[] = {
    {Column::name, "name", false},
    {Column::kind, "kind", true},
    {Column::x, "x", true},
    {Column::height, "height", true},
    {Column::voltageTerm, "voltage-term", false},
    {Column::sag, "sag", false},
    {Column::insulation, "critical-current", false, &egm::Insulation::criticalCurrent},
    {Column::insulation, "cfo", false, &egm::Insulation::cfo},
    {Column::insulation, "insulation-length", false, &egm::Insulation::insulationLength},
    {Column::insulation, "surge-impedance", false, &egm::Insulation::surgeImpedance},
    {Column::insulation, "conductor-radius", false, &egm::Insulation::conductorRadius},
    {Column::insulation, "subconductors", false, &egm::Insulation::subconductors},
    {Column::insulation, "bundle-radius", false, &egm::Insulation::bundleRadius},
};

// "name, kind, x, height, ...": every column a tower file may have.
std::string columnList()
{
    std::string list;
    for (const ColumnName& c : kColumns) {
        list += list.empty() ? c.text : std::string(", ") + c.text;
    }
    return list;
}

class Reader {
  public:
    Reader(std::istream& in, const std::string& file) : in_(in), file_(file) {}

    egm::Tower read()
    {
        CsvRecord header;
        if (!readCsvRecord(in_, line_, header)) {
            fail(1, "the file is empty: it needs a header naming the columns " + columnList());
        }
        readHeader(header);
        egm::Tower tower;
        std::vector<int> rowLine;
        CsvRecord record;
        while (readCsvRecord(in_, line_, record)) {
            if (tower.wires.size() == egm::kMaxTowerWires) {
                fail(record.line, "more than " + std::to_string(egm::kMaxTowerWires) + " wires");
            }
            tower.wires.push_back(wireOf(record));
            rowLine.push_back(record.line);
        }
        if (tower.wires.empty()) {
            fail(header.line, "no wire: a tower needs at least one conductor");
        }
        try {
            egm::validate(tower);
        } catch (const egm::TowerError& e) {
            // The row of the wire at fault; the last row for the tower as a whole.
            const std::size_t at = e.wire().value_or(rowLine.size() - 1);
            fail(rowLine.at(std::min(at, rowLine.size() - 1)), e.what());
        }
        return tower;
    }

  private:
    [[noreturn]] void fail(int line, const std::string& reason) const
    {
        throw TowerFileError("tower file '" + file_ + "', line " + std::to_string(line) + ": " + reason);
    }

    void readHeader(const CsvRecord& header)
    {
        if (!header.error.empty()) {
            fail(header.line, header.error);
        }
        for (std::size_t k = 0; k < header.fields.size(); ++k) {
            const std::string text = lowered(trimmedField(header.fields[k]));
            if (text.empty() && k + 1 == header.fields.size() && k > 0) {
                emptyLast_ = true; // "a,b," as spreadsheets write it
                break;
            }
            const ColumnName* column = nullptr;
            for (const ColumnName& c : kColumns) {
                if (text == c.text) {
                    column = &c;
                }
            }
            if (column == nullptr && text.find(';') != std::string::npos) {
                fail(header.line, "unknown column '" + header.fields[k] +
                                      "': columns are separated by commas, and this header has semicolons");
            }
            if (column == nullptr) {
                fail(header.line, "unknown column '" + header.fields[k] + "' (" + columnList() + ")");
            }
            if (std::find(columns_.begin(), columns_.end(), column) != columns_.end()) {
                fail(header.line, "column '" + text + "' twice");
            }
            columns_.push_back(column);
        }
        for (const ColumnName& c : kColumns) {
            if (c.required && std::find(columns_.begin(), columns_.end(), &c) == columns_.end()) {
                fail(header.line, std::string("column '") + c.text + "' is missing");
            }
        }
    }

    double number(const CsvRecord& record, const std::string& column, const std::string& text,
                  std::optional<double> otherwise) const
    {
        if (text.empty()) {
            if (otherwise) {
                return *otherwise;
            }
            fail(record.line, column + " is missing");
        }
        double value = 0.0;
        if (!parseReal(text, value)) {
            fail(record.line, column + " '" + text + "' is not a number");
        }
        return value;
    }

    egm::TowerWire wireOf(const CsvRecord& record) const
    {
        if (!record.error.empty()) {
            fail(record.line, record.error);
        }
        std::size_t fields = record.fields.size();
        if (emptyLast_ && fields == columns_.size() + 1 && trimmedField(record.fields.back()).empty()) {
            --fields;
        }
        if (fields != columns_.size()) {
            fail(record.line,
                 std::to_string(fields) + " fields where the header has " + std::to_string(columns_.size()));
        }
        egm::TowerWire wire;
        for (std::size_t k = 0; k < columns_.size(); ++k) {
            const std::string text = trimmedField(record.fields[k]);
            switch (columns_[k]->column) {
            case Column::name:
                if (lowered(text) == "total") {
                    fail(record.line, "name 'total' is taken by the total rate");
                }
                wire.name = text;
                break;
            case Column::kind: {
                const std::optional<egm::WireKind> kind = egm::wireKindNamed(text);
                if (!kind) {
                    fail(record.line,
                         text.empty()
                             ? std::string("kind is missing: give ground wire, conductor or other wire")
                             : "kind '" + text + "': must be ground wire, conductor or other wire");
                }
                wire.kind = *kind;
                break;
            }
            case Column::x:
                wire.x = number(record, "x", text, std::nullopt);
                break;
            case Column::height:
                wire.height = number(record, "height", text, std::nullopt);
                break;
            case Column::voltageTerm:
                wire.voltageTerm = number(record, "voltage-term", text, 0.0);
                break;
            case Column::sag:
                wire.sag = number(record, "sag", text, 0.0);
                break;
            case Column::insulation:
                // Empty: not given for this wire.
                if (!text.empty()) {
                    wire.insulation.*(columns_[k]->insulation) =
                        number(record, columns_[k]->text, text, std::nullopt);
                }
                break;
            case Column::none:
                break;
            }
        }
        return wire;
    }

    std::istream& in_;
    const std::string& file_;
    int line_ = 0;
    std::vector<const ColumnName*> columns_;
    bool emptyLast_ = false;
};

} // namespace

egm::Tower readTower(std::istream& in, const std::string& file)
{
    return Reader(in, file).read();
}

egm::Tower readTowerFile(const std::string& path)
{
    std::ifstream in = openedOrThrow<TowerFileError>(path, "tower file");
    return readTower(in, path);
}

} // namespace egm::io
