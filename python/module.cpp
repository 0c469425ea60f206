// egm_shielding._core: the public C++ interface for Python. Inputs come as a
// dict keyed by the input table's names (with "_" for "-"), a tower as a
// list of wires; the library's resolver turns them into inputs, so that
// every name, range and message is the command line's. The Python layer
// (egm_shielding/__init__.py) gives the functions their signatures, names
// the result columns and documents them.
#include <cmath>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <string>
#include <vector>

#include "egm/input_table.h"
#include "egm/shielding.h"
#include "numbers.h"
#include "tower_file.h"

namespace py = pybind11;

namespace {

// A case that cannot be read: the row's message, as egm-study batch gives it.
struct RowError {
    std::string message;
};

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

std::string textOf(const py::handle& value)
{
    return egm::io::printable(std::string(py::str(value)));
}

// Where a value comes from: the caller's own keywords, lists and dicts, or
// the cells of a pandas DataFrame, which holds a field nobody filled as NaN.
enum class Source { given, frame };

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
double finiteOrThrow(double v, const std::string& what, const py::handle& value, bool hasDefault = true)
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

// The named inputs of a dict: every key an input's name, and "tower",
// "law_coefficients", "name" (the case's). Throws RowError for a value that
// cannot be read, and ValueError for a key that names no input (for a
// batch, the whole call, as an unknown column refuses a whole case file).
egm::NamedInputs namedOf(const py::dict& d, Source source, std::string* caseName = nullptr)
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

py::object optionalCurrent(const egm::MaxCurrent& m)
{
    return m.current ? py::object(py::float_(*m.current)) : py::object(py::none());
}

py::object optionalFlag(const egm::MaxCurrent& m)
{
    return m.current ? py::object(py::bool_(m.exposedAtTop)) : py::object(py::none());
}

// One result: its conductors in the tower's order, then the figures of the
// whole line; the Python layer names the columns.
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
        conductors.append(e);
    }
    py::dict d;
    d["conductors"] = conductors;
    d["wires"] = r.wireNames;
    d["total"] = r.totalRate;
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
    return d;
}

// A vector handed to numpy without a copy: the array keeps it alive.
py::array_t<double> arrayOf(std::vector<double>&& values, std::vector<py::ssize_t> shape)
{
    auto* owned = new std::vector<double>(std::move(values));
    py::capsule keeper(owned, [](void* p) { delete static_cast<std::vector<double>*>(p); });
    return py::array_t<double>(shape, owned->data(), keeper);
}

py::dict rates(const py::dict& inputs)
{
    const egm::Inputs in = inputsOrRaise(inputs);
    egm::Result r;
    {
        py::gil_scoped_release free;
        r = egm::computeRates(in);
    }
    return resultDict(r);
}

py::dict strokes(const py::dict& inputs, const py::object& current)
{
    const egm::Inputs in = inputsOrRaise(inputs);
    std::vector<double> currents;
    std::vector<double> widths;
    const auto wires = static_cast<py::ssize_t>(in.tower.size());
    if (current.is_none()) {
        egm::Options options;
        options.strokeTable = true;
        options.maxCurrents = false;
        options.classicalMaxCurrents = false;
        egm::Result r;
        {
            py::gil_scoped_release free;
            r = egm::computeRates(in, options);
        }
        currents = r.strokes->currents();
        widths = std::move(*r.strokes).values(); // the table's storage, not a copy
    } else {
        double c = 0.0;
        try {
            c = finiteOrThrow(current.cast<double>(), "current", current);
        } catch (const RowError& e) {
            throw py::value_error(e.message);
        }
        std::vector<std::vector<double>> rows;
        {
            py::gil_scoped_release free;
            rows = egm::strokesAtCurrent(in, c);
        }
        currents = {c};
        widths.reserve(rows.size() * in.tower.size());
        for (const auto& row : rows) {
            widths.insert(widths.end(), row.begin(), row.end());
        }
    }
    std::vector<double> angles(egm::kAngleSteps);
    for (int l = 0; l < egm::kAngleSteps; ++l) {
        angles[l] = egm::incidenceAngle(l);
    }
    const auto n = static_cast<py::ssize_t>(currents.size());
    py::dict d;
    d["currents"] = arrayOf(std::move(currents), {n});
    d["angles"] = arrayOf(std::move(angles), {egm::kAngleSteps});
    d["widths"] = arrayOf(std::move(widths), {n, egm::kAngleSteps, wires});
    d["wires"] = in.tower.names();
    d["evaluation"] = std::string(egm::evaluationName(in.evaluation));
    return d;
}

// The angle sums of the integration per current, with the result.
py::dict exposure(const py::dict& inputs)
{
    const egm::Inputs in = inputsOrRaise(inputs);
    egm::Options options;
    options.angleSums = true;
    egm::Result r;
    {
        py::gil_scoped_release free;
        r = egm::computeRates(in, options);
    }
    egm::AngleSums sums = std::move(*r.angleSums);
    const auto n = static_cast<py::ssize_t>(sums.current.size());
    py::dict conductors;
    for (std::size_t c = 0; c < r.conductors.size(); ++c) {
        conductors[py::str(r.conductors[c].name)] = arrayOf(std::move(sums.conductor[c]), {n});
    }
    py::dict d;
    d["current"] = arrayOf(std::move(sums.current), {n});
    d["conductors"] = conductors;
    d["result"] = resultDict(r);
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

// Many cases on threads, the GIL released while they run; each row's
// outcome in order: its result, or its error message. The cases are numbered
// from first (a part of a larger batch keeps the whole's numbers); frame:
// they are a DataFrame's rows, whose NaN means "not given".
py::list batch(const py::list& cases, unsigned jobs, std::size_t first, bool frame)
{
    const Source source = frame ? Source::frame : Source::given;
    std::vector<egm::CaseInputs> inputs;
    inputs.reserve(cases.size());
    std::vector<std::string> names(cases.size());
    for (std::size_t k = 0; k < cases.size(); ++k) {
        try {
            inputs.push_back(egm::resolveCase(namedOf(cases[k].cast<py::dict>(), source, &names[k])));
        } catch (const RowError& e) {
            inputs.push_back({egm::Inputs{}, e.message});
        }
    }
    std::vector<egm::CaseOutcome> outcomes;
    {
        py::gil_scoped_release free;
        outcomes = egm::computeMany(inputs, {}, jobs, raiseOnSignal);
    }
    py::list rows;
    for (std::size_t k = 0; k < outcomes.size(); ++k) {
        py::dict out;
        const std::size_t number = first + k;
        out["case"] = number;
        out["name"] = names[k];
        out["result"] =
            outcomes[k].result ? py::object(resultDict(*outcomes[k].result)) : py::object(py::none());
        out["error"] =
            outcomes[k].result ? std::string() : "case " + std::to_string(number) + ": " + outcomes[k].error;
        rows.append(out);
    }
    return rows;
}

} // namespace

PYBIND11_MODULE(_core, m)
{
    m.doc() = "The computation of egm_shielding; use the functions of the package itself.";
    py::register_exception_translator([](std::exception_ptr p) {
        try {
            if (p) {
                std::rethrow_exception(p);
            }
        } catch (const egm::InputError& e) {
            PyErr_SetString(PyExc_ValueError, e.what());
        }
    });
    m.def("rates", &rates, py::arg("inputs"));
    m.def("strokes", &strokes, py::arg("inputs"), py::arg("current") = py::none());
    m.def("exposure", &exposure, py::arg("inputs"));
    m.def("batch", &batch, py::arg("cases"), py::arg("jobs") = 0, py::arg("first") = 1,
          py::arg("frame") = false);
    m.def("input_names", [] {
        std::vector<std::string> names;
        for (const egm::InputField& f : egm::inputFields()) {
            names.emplace_back(f.name);
        }
        return names;
    });
    m.def("version", [] { return std::string(egm::version()); });
}
