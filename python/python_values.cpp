#include "python_values.h"

#include <cctype>
#include <cmath>
#include <optional>
#include <pybind11/stl.h>
#include <string_view>
#include <variant>
#include <vector>

#include "current_table_file.h"
#include "ground_file.h"
#include "numbers.h"
#include "tower_file.h"

namespace pyegm {

namespace {

bool isFrame(const py::handle& value)
{
    return py::hasattr(value, "columns") && py::hasattr(value, "to_dict");
}

// A list or tuple, not a text.
bool isSequence(const py::handle& value)
{
    return py::isinstance<py::sequence>(value) && !py::isinstance<py::str>(value) &&
           !py::isinstance<py::bytes>(value);
}

} // namespace

std::string textOf(const py::handle& value)
{
    return egm::io::printable(std::string(py::str(value)));
}

// Not given: None, or in a DataFrame a NaN (the default is kept, as for an
// empty CSV field). A NaN the caller gives is a value, and an error.
bool isMissing(const py::handle& value, Source source)
{
    if (value.is_none()) {
        return true;
    }
    return source == Source::frame && py::isinstance<py::float_>(value) && std::isnan(value.cast<double>());
}

// The caller's number, refused when it is NaN or infinite: nothing given
// may turn into a default or into a result computed from it.
double finiteOrThrow(double v, const std::string& what, const py::handle& value, bool hasDefault)
{
    if (!std::isfinite(v)) {
        throw RowError{what + " " + textOf(value) + ": must be a finite number" +
                       (hasDefault ? " (None keeps the default)" : "")};
    }
    return v;
}

// One value by name for the resolver: a Python number as the number itself
// (and its text, for a choice), a string as text. An empty string is not
// "not given": only None (and a DataFrame's NaN) keeps the default.
egm::NamedValue namedValue(const std::string& name, const py::handle& value)
{
    egm::NamedValue v;
    v.name = name;
    if (py::isinstance<py::str>(value)) {
        v.text = value.cast<std::string>();
        if (v.text.empty()) {
            throw RowError{name + " '': empty (None keeps the default)"};
        }
        return v;
    }
    v.text = std::string(py::str(value));
    try {
        v.number = value.cast<double>();
    } catch (const py::cast_error&) {
        return v;
    }
    finiteOrThrow(*v.number, name, value);
    return v;
}

namespace {

// A wire's number: a Python number, or a text the library reads.
double wireNumber(const py::handle& value, std::size_t wire, const char* what)
{
    const std::string at = "wire " + std::to_string(wire + 1) + ": " + what;
    if (value.is_none()) {
        throw RowError{at + " missing"};
    }
    if (py::isinstance<py::str>(value)) {
        double v = 0.0;
        if (!egm::parseNumber(value.cast<std::string>(), v)) {
            throw RowError{at + " '" + textOf(value) + "' is not a number"};
        }
        return v;
    }
    double v = 0.0;
    try {
        v = value.cast<double>();
    } catch (const py::cast_error&) {
        throw RowError{at + " '" + textOf(value) + "' is not a number"};
    }
    return finiteOrThrow(v, at, value, false);
}

egm::WireKind wireKind(const py::handle& value, std::size_t wire)
{
    if (py::isinstance<py::str>(value)) {
        std::string name = value.cast<std::string>();
        for (char& c : name) {
            c = c == '_' ? ' ' : c;
        }
        if (const auto kind = egm::wireKindNamed(name)) {
            return *kind;
        }
    }
    throw RowError{"wire " + std::to_string(wire + 1) + ": kind '" + textOf(value) +
                   "': must be ground wire, conductor or other wire"};
}

// A conductor's insulation inputs by their tower file's column names; a
// dict key or DataFrame column may spell them with "_" for "-".
struct InsulationKey {
    std::string_view name;
    std::optional<double> egm::Insulation::*member;
};
constexpr InsulationKey kInsulationKeys[] = {
    {"critical-current", &egm::Insulation::criticalCurrent},
    {"cfo", &egm::Insulation::cfo},
    {"insulation-length", &egm::Insulation::insulationLength},
    {"surge-impedance", &egm::Insulation::surgeImpedance},
    {"conductor-radius", &egm::Insulation::conductorRadius},
    {"subconductors", &egm::Insulation::subconductors},
    {"bundle-radius", &egm::Insulation::bundleRadius},
};

const InsulationKey* insulationKey(std::string key)
{
    for (char& c : key) {
        c = c == '_' ? '-' : c;
    }
    for (const InsulationKey& k : kInsulationKeys) {
        if (k.name == key) {
            return &k;
        }
    }
    return nullptr;
}

// One wire of a tower: (kind, x, height), (kind, x, height, voltage term),
// (name, kind, x, height, voltage term), (name, kind, x, height, voltage
// term, sag), (name, kind, x, height, voltage term, sag, critical current),
// or a dict with the keys name, kind, x, height, voltage_term (or
// voltage-term), sag and the insulation's (kInsulationKeys); a missing name,
// voltage term or sag is the default name or 0, a missing insulation input
// not given. A DataFrame's NaN is a missing value (a missing x or height an
// error); the caller's own NaN is an error.
egm::TowerWire wireOf(const py::handle& item, std::size_t wire, Source source)
{
    egm::TowerWire w;
    const std::string at = "wire " + std::to_string(wire + 1) + ": ";
    if (py::isinstance<py::dict>(item)) {
        py::handle kind, x, height, voltage, name, sag;
        for (const auto& [key, value] : item.cast<py::dict>()) {
            const std::string k = py::str(key);
            if (k == "kind") {
                kind = value;
            } else if (k == "x") {
                x = value;
            } else if (k == "height") {
                height = value;
            } else if (k == "voltage_term" || k == "voltage-term") {
                voltage = value;
            } else if (k == "name") {
                name = value;
            } else if (k == "sag") {
                sag = value;
            } else if (const InsulationKey* insulation = insulationKey(k)) {
                if (!isMissing(value, source)) {
                    const std::string what(insulation->name);
                    w.insulation.*(insulation->member) = wireNumber(value, wire, what.c_str());
                }
            } else {
                throw RowError{at + "unknown key '" + egm::io::printable(k) + "'"};
            }
        }
        if (!kind) {
            throw RowError{at + "kind missing"};
        }
        w.kind = wireKind(kind, wire);
        const auto given = [source](const py::handle& v) {
            return v && !isMissing(v, source) ? v : py::handle(py::none());
        };
        w.x = wireNumber(given(x), wire, "x");
        w.height = wireNumber(given(height), wire, "height");
        if (voltage && !isMissing(voltage, source)) {
            w.voltageTerm = wireNumber(voltage, wire, "voltage term");
        }
        if (name && !isMissing(name, source)) {
            w.name = py::str(name);
        }
        if (sag && !isMissing(sag, source)) {
            w.sag = wireNumber(sag, wire, "sag");
        }
        return w;
    }
    if (!isSequence(item)) {
        throw RowError{at + "'" + textOf(item) + "': must be a tuple or a dict"};
    }
    const py::sequence s = py::reinterpret_borrow<py::sequence>(item);
    const std::size_t n = s.size();
    if (n < 3 || n > 7) {
        throw RowError{at + std::to_string(n) +
                       " items: must be (kind, x, height), (kind, x, height, voltage term), (name, kind, "
                       "x, height, voltage term), (name, kind, x, height, voltage term, sag) or (name, "
                       "kind, x, height, voltage term, sag, critical current)"};
    }
    const std::size_t first = n >= 5 ? 1 : 0;
    if (n >= 5 && !isMissing(s[0], source)) {
        w.name = py::str(s[0]);
    }
    w.kind = wireKind(s[first], wire);
    w.x = wireNumber(s[first + 1], wire, "x");
    w.height = wireNumber(s[first + 2], wire, "height");
    if (n >= 4 && !isMissing(s[first + 3], source)) {
        w.voltageTerm = wireNumber(s[first + 3], wire, "voltage term");
    }
    if (n >= 6 && !isMissing(s[5], source)) {
        w.sag = wireNumber(s[5], wire, "sag");
    }
    if (n == 7 && !isMissing(s[6], source)) {
        w.insulation.criticalCurrent = wireNumber(s[6], wire, "critical-current");
    }
    return w;
}

// A tower from a list of wires, a pandas DataFrame with a row per wire, or
// the path of a tower file. Only what cannot be read is reported here;
// egm::validate judges the rest.
egm::Tower towerOf(const py::handle& value)
{
    if (py::isinstance<py::str>(value) || py::hasattr(value, "__fspath__")) {
        const std::string path = py::str(py::module_::import("os").attr("fspath")(value));
        try {
            return egm::io::readTowerFile(path);
        } catch (const egm::InputError& e) {
            throw RowError{e.what()};
        }
    }
    py::object wires = py::reinterpret_borrow<py::object>(value);
    const Source source = isFrame(value) ? Source::frame : Source::given;
    if (source == Source::frame) {
        wires = value.attr("to_dict")("records");
    }
    if (!isSequence(wires)) {
        throw RowError{"tower '" + textOf(value) +
                       "': must be a list of wires, a DataFrame or a file's path"};
    }
    egm::Tower tower;
    std::size_t k = 0;
    for (const py::handle item : wires) {
        tower.wires.push_back(wireOf(item, k++, source));
    }
    return tower;
}

// A number of a current table's row (1-based): a Python number, or a text
// the library reads.
double tableNumber(const py::handle& value, std::size_t row, const char* what,
                   const char* subject = "current table", const char* rowName = "row")
{
    const std::string at = std::string(subject) + ": " + rowName + " " + std::to_string(row) + ": " + what;
    double v = 0.0;
    if (py::isinstance<py::str>(value)) {
        if (!egm::parseNumber(value.cast<std::string>(), v)) {
            throw RowError{at + " '" + textOf(value) + "' is not a number"};
        }
        return v;
    }
    try {
        v = value.cast<double>();
    } catch (const py::cast_error&) {
        throw RowError{at + " '" + textOf(value) + "' is not a number"};
    }
    return finiteOrThrow(v, at, value, false);
}

// A DataFrame's columns current and probability (any letter case), as
// (current, probability) pairs.
py::list tableRowsOfFrame(const py::handle& frame)
{
    py::object current, probability;
    std::size_t columns = 0;
    for (const auto& [key, values] : frame.attr("to_dict")("list").cast<py::dict>()) {
        std::string name = py::str(key);
        for (char& c : name) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        if (name == "current") {
            current = py::reinterpret_borrow<py::object>(values);
        } else if (name == "probability") {
            probability = py::reinterpret_borrow<py::object>(values);
        }
        ++columns;
    }
    if (columns != 2 || !current || !probability) {
        throw RowError{"current table: a DataFrame's columns must be current and probability"};
    }
    py::list rows;
    const py::list p(probability);
    std::size_t k = 0;
    for (const py::handle c : py::list(current)) {
        rows.append(py::make_tuple(c, p[k++]));
    }
    return rows;
}

// The table of distribution table: a list of (current, probability) pairs,
// a DataFrame with the columns current and probability, or the path of a
// CSV file of them (egm::io::readCurrentTableFile). Throws RowError, one
// line naming the row, for points that are no distribution.
egm::CurrentTable currentTableOf(const py::handle& value)
{
    if (py::isinstance<py::str>(value) || py::hasattr(value, "__fspath__")) {
        const std::string path = py::str(py::module_::import("os").attr("fspath")(value));
        try {
            return egm::io::readCurrentTableFile(path);
        } catch (const egm::InputError& e) {
            throw RowError{e.what()};
        }
    }
    const py::object rows =
        isFrame(value) ? tableRowsOfFrame(value) : py::reinterpret_borrow<py::object>(value);
    if (!isSequence(rows)) {
        throw RowError{"current table '" + textOf(value) +
                       "': must be (current, probability) pairs, a DataFrame or a file's path"};
    }
    std::vector<double> current;
    std::vector<double> probability;
    for (const py::handle item : rows) {
        const std::size_t row = current.size() + 1;
        if (!isSequence(item) || py::len(item) != 2) {
            throw RowError{"current table: row " + std::to_string(row) + " '" + textOf(item) +
                           "': must be a (current, probability) pair"};
        }
        const py::sequence pair = py::reinterpret_borrow<py::sequence>(item);
        current.push_back(tableNumber(pair[0], row, "current"));
        probability.push_back(tableNumber(pair[1], row, "probability"));
    }
    if (const std::string fault = egm::CurrentTable::check(current, probability); !fault.empty()) {
        throw RowError{"current table: " + fault};
    }
    return egm::CurrentTable(std::move(current), std::move(probability));
}

// The ground across the line: a list of (x, elevation) or (x, elevation,
// cover) tuples, a DataFrame with the columns x, elevation and optionally
// cover, or the path of a CSV file of them (egm::io::readGroundProfileFile).
// Throws RowError, one line naming the point, for points that are no
// profile.
egm::GroundProfile groundProfileOf(const py::handle& value)
{
    if (py::isinstance<py::str>(value) || py::hasattr(value, "__fspath__")) {
        const std::string path = py::str(py::module_::import("os").attr("fspath")(value));
        try {
            return egm::io::readGroundProfileFile(path);
        } catch (const egm::InputError& e) {
            throw RowError{e.what()};
        }
    }
    py::object rows = py::reinterpret_borrow<py::object>(value);
    if (isFrame(value)) {
        py::dict columns;
        for (const auto& [key, values] : value.attr("to_dict")("list").cast<py::dict>()) {
            std::string name = py::str(key);
            for (char& c : name) {
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            }
            columns[py::str(name)] = values;
        }
        if (!columns.contains("x") || !columns.contains("elevation")) {
            throw RowError{"ground profile: a DataFrame needs the columns x and elevation (and cover)"};
        }
        const py::object zip = py::module_::import("builtins").attr("zip");
        rows = columns.contains("cover") ? zip(columns["x"], columns["elevation"], columns["cover"])
                                         : zip(columns["x"], columns["elevation"]);
        rows = py::list(rows);
    }
    if (!isSequence(rows)) {
        throw RowError{
            "ground profile '" + textOf(value) +
            "': must be (x, elevation) or (x, elevation, cover) tuples, a DataFrame or a file's path"};
    }
    std::vector<egm::GroundPoint> points;
    for (const py::handle item : rows) {
        const std::size_t row = points.size() + 1;
        if (!isSequence(item) || (py::len(item) != 2 && py::len(item) != 3)) {
            throw RowError{"ground profile: point " + std::to_string(row) + " '" + textOf(item) +
                           "': must be an (x, elevation) or (x, elevation, cover) tuple"};
        }
        const py::sequence p = py::reinterpret_borrow<py::sequence>(item);
        egm::GroundPoint point;
        point.x = tableNumber(p[0], row, "x", "ground profile", "point");
        point.elevation = tableNumber(p[1], row, "elevation", "ground profile", "point");
        if (p.size() == 3 && !isMissing(p[2], Source::frame)) {
            point.cover = tableNumber(p[2], row, "cover", "ground profile", "point");
        }
        points.push_back(point);
        if (points.size() > egm::kMaxProfilePoints) {
            break;
        }
    }
    if (const std::optional<egm::GroundProfile::Fault> f = egm::GroundProfile::fault(points)) {
        throw RowError{"ground profile: " +
                       (f->row == 0 ? std::string() : "point " + std::to_string(f->row) + ": ") + f->reason};
    }
    return egm::GroundProfile(std::move(points));
}

} // namespace

// The named inputs of a dict: every key an input's name, and "tower",
// "law_coefficients", "name" (the case's). Throws RowError for a value that
// cannot be read, and ValueError for a key that names no input (for a
// batch, the whole call, as an unknown column refuses a whole case file).
egm::NamedInputs namedOf(const py::dict& d, Source source, std::string* caseName)
{
    egm::NamedInputs named;
    for (const auto& [key, value] : d) {
        const std::string k = py::str(key);
        if (k == "name") {
            if (caseName != nullptr && !isMissing(value, source)) {
                *caseName = py::str(value);
            }
            continue;
        }
        const bool coefficients = k == "law_coefficients" || k == "law-coefficients";
        const bool table = k == "current_table" || k == "current-table";
        if (k != "tower" && k != "ground" && !coefficients && !table && egm::inputField(k) == nullptr) {
            throw py::value_error("unknown input '" + egm::io::printable(k) + "'");
        }
        if (isMissing(value, source)) {
            continue;
        }
        if (k == "tower") {
            named.tower = towerOf(value);
        } else if (table) {
            named.currentTable = currentTableOf(value);
        } else if (k == "ground") {
            named.ground = groundProfileOf(value);
        } else if (coefficients) {
            if (!isSequence(value)) {
                throw RowError{"law coefficients '" + textOf(value) +
                               "': must be (a, b, c, d) or (a, b, beta)"};
            }
            const py::sequence s = py::reinterpret_borrow<py::sequence>(value);
            const char* const four[] = {"a", "b", "c", "d"};
            const char* const three[] = {"a", "b", "beta"};
            for (std::size_t i = 0; i < s.size(); ++i) {
                const std::string name = s.size() == 3 ? three[i]
                                         : i < 4       ? four[i]
                                                       : "coefficient " + std::to_string(i + 1);
                named.lawCoefficients.push_back(namedValue(name, s[i]));
            }
        } else {
            named.values.push_back(namedValue(k, value));
        }
    }
    return named;
}

egm::Inputs inputsOrRaise(const py::dict& d)
{
    egm::NamedInputs named;
    try {
        named = namedOf(d, Source::given);
    } catch (const RowError& e) {
        throw py::value_error(e.message);
    }
    return egm::resolveInputs(named); // InputError: ValueError
}

// A result column's cell as Python holds it: None, a float, an int, a bool
// or a str.
py::object cellObject(const study::Cell& cell)
{
    struct Object {
        py::object operator()(std::monostate) const { return py::none(); }
        py::object operator()(double x) const { return py::float_(x); }
        py::object operator()(int n) const { return py::int_(n); }
        py::object operator()(bool b) const { return py::bool_(b); }
        py::object operator()(const std::string& t) const { return py::str(t); }
    };
    return std::visit(Object{}, cell);
}

// One result's row by the study layer's column names (the line's figures
// included) and its notes, as Result.to_dict gives it.
py::dict resultRow(const egm::Result& r)
{
    const std::vector<std::string> conductors = study::conductorNames(r);
    // The flashover columns for a result that has them.
    const bool flashovers = r.flashoverTotal.has_value();
    const std::vector<std::string> names =
        study::resultColumnNames(conductors, r.wireNames, true, flashovers);
    const std::vector<study::Cell> cells = study::resultCells(r, conductors, r.wireNames, true, flashovers);
    py::dict row;
    for (std::size_t k = 0; k < names.size(); ++k) {
        row[py::str(names[k])] = cellObject(cells[k]);
    }
    row["notes"] = r.notes;
    return row;
}

namespace {

py::object optionalNumber(const std::optional<double>& x)
{
    return x ? py::object(py::float_(*x)) : py::object(py::none());
}

py::object optionalCurrent(const egm::MaxCurrent& m)
{
    return optionalNumber(m.current);
}

py::object optionalFlag(const egm::MaxCurrent& m)
{
    return m.current ? py::object(py::bool_(m.exposedAtTop)) : py::object(py::none());
}

} // namespace

// One result: its conductors in the tower's order (each one's flashover
// figures none without a critical current), then the figures of the whole
// line, and its row by the result columns' names.
py::dict resultDict(const egm::Result& r)
{
    py::list conductors;
    for (const egm::ConductorResult& c : r.conductors) {
        py::dict e;
        e["name"] = c.name;
        e["wire"] = c.wire;
        e["rate"] = c.rate;
        e["max_current"] = optionalCurrent(c.maxCurrent);
        e["max_current_at_top"] = optionalFlag(c.maxCurrent);
        e["classical_max_current"] = optionalCurrent(c.classicalMaxCurrent);
        e["classical_max_current_at_top"] = optionalFlag(c.classicalMaxCurrent);
        e["critical_current"] = optionalNumber(c.criticalCurrent);
        e["flashover_rate"] = optionalNumber(c.flashoverRate);
        e["perfectly_shielded"] = c.perfectlyShielded;
        conductors.append(e);
    }
    py::dict d;
    d["conductors"] = conductors;
    d["wires"] = r.wireNames;
    d["total"] = r.totalRate;
    d["flashoverTotal"] = optionalNumber(r.flashoverTotal);
    d["rateMethod"] = std::string(egm::rateMethodName(r.rateMethod));
    d["heights"] = r.heights;
    d["terrainFactor"] = r.terrainFactor;
    d["collectionWidth"] = r.collectionWidth;
    d["currentFrom"] = r.currentFrom;
    d["currentTo"] = r.currentTo;
    d["currentSteps"] = r.currentSteps;
    d["evaluation"] = std::string(egm::evaluationName(r.evaluation));
    d["law"] = std::string(egm::lawName(r.law.kind));
    d["distribution"] = std::string(egm::distributionName(r.distribution.kind));
    d["notes"] = r.notes;
    d["columns"] = resultRow(r);
    return d;
}

// Ctrl-C while cases run with the GIL released: as the progress report of
// egm::computeMany (called every 0.1 s on the calling thread), it takes the
// GIL for Python's signal handlers, and an error they raise
// (KeyboardInterrupt) stops the cases and is raised when the call returns.
void raiseOnSignal(std::size_t, std::size_t)
{
    py::gil_scoped_acquire held;
    if (PyErr_CheckSignals() != 0) {
        throw py::error_already_set();
    }
}

} // namespace pyegm
