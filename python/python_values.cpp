#include "python_values.h"

#include <cmath>
#include <pybind11/stl.h>
#include <variant>
#include <vector>

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
                   "': must be ground wire or conductor"};
}

// One wire of a tower: (kind, x, height), (kind, x, height, voltage term),
// (name, kind, x, height, voltage term), (name, kind, x, height, voltage
// term, sag), or a dict with the keys name, kind, x, height, voltage_term (or
// voltage-term) and sag; a missing name, voltage term or sag is the default
// name or 0. A DataFrame's NaN is a missing value (a missing x or height an
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
    if (n < 3 || n > 6) {
        throw RowError{at + std::to_string(n) +
                       " items: must be (kind, x, height), (kind, x, height, voltage term), (name, kind, "
                       "x, height, voltage term) or (name, kind, x, height, voltage term, sag)"};
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
    if (n == 6 && !isMissing(s[5], source)) {
        w.sag = wireNumber(s[5], wire, "sag");
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
        if (k != "tower" && !coefficients && egm::inputField(k) == nullptr) {
            throw py::value_error("unknown input '" + egm::io::printable(k) + "'");
        }
        if (isMissing(value, source)) {
            continue;
        }
        if (k == "tower") {
            named.tower = towerOf(value);
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
    const std::vector<std::string> names = study::resultColumnNames(conductors, r.wireNames, true);
    const std::vector<study::Cell> cells = study::resultCells(r, conductors, r.wireNames, true);
    py::dict row;
    for (std::size_t k = 0; k < names.size(); ++k) {
        row[py::str(names[k])] = cellObject(cells[k]);
    }
    row["notes"] = r.notes;
    return row;
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
