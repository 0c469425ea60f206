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
#include <variant>
#include <vector>

#include "egm/input_table.h"
#include "egm/shielding.h"
#include "numbers.h"
#include "study_core.h"
#include "study_format.h"
#include "study_route.h"
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

// One result: its conductors in the tower's order, then the figures of the
// whole line, and its row by the result columns' names.
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
    d["columns"] = resultRow(r);
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
        outcomes = egm::computeMany(inputs, {}, jobs);
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

// A sweep: base (named inputs, as for rates) with param set to each of
// values in turn, through the study layer's sweep; each row: the value
// under param's name, the result's row or none, and error.
py::list sweep(const py::dict& base, const std::string& param, const py::list& values, unsigned jobs)
{
    egm::NamedInputs named;
    try {
        named = namedOf(base, Source::given);
    } catch (const RowError& e) {
        throw py::value_error(e.message);
    }
    if (egm::inputField(param) == nullptr) {
        throw py::value_error("unknown input '" + egm::io::printable(param) + "'");
    }
    std::vector<egm::NamedValue> swept;
    for (const py::handle value : values) {
        try {
            swept.push_back(namedValue(param, value));
        } catch (const RowError& e) {
            throw py::value_error(e.message);
        }
    }
    const std::vector<egm::CaseInputs> cases = study::sweepInputs(named, param, swept);
    std::vector<egm::CaseOutcome> outcomes;
    {
        py::gil_scoped_release free;
        outcomes = egm::computeMany(cases, {}, jobs);
    }
    py::list rows;
    for (std::size_t k = 0; k < outcomes.size(); ++k) {
        py::dict row;
        row[py::str(param)] = values[k];
        if (outcomes[k].result) {
            for (const auto& [key, value] : resultRow(*outcomes[k].result)) {
                row[key] = value;
            }
        }
        row["error"] = outcomes[k].result ? std::string() : outcomes[k].error;
        rows.append(row);
    }
    return rows;
}

// A span's length or km post as the route planner reads it: a text as it
// is, a number as its shortest text; none when not given.
std::optional<std::string> spanText(const py::handle& value, Source source)
{
    if (isMissing(value, source)) {
        return std::nullopt;
    }
    if (py::isinstance<py::str>(value)) {
        return value.cast<std::string>();
    }
    if (!py::isinstance<py::bool_>(value)) {
        try {
            return egm::shortestText(value.cast<double>());
        } catch (const py::cast_error&) {
        }
    }
    return textOf(value);
}

// The spans of a route's records (dicts): each one's inputs, with
// rate_method for every span that names none, and its length and km.
std::vector<study::SpanRow> spanRows(const py::list& records, bool frame, const py::object& rateMethod)
{
    const Source source = frame ? Source::frame : Source::given;
    std::vector<study::SpanRow> rows;
    for (const py::handle record : records) {
        py::dict d = py::dict(record.cast<py::dict>()); // a copy: the caller's stays as it was
        study::SpanRow row;
        for (auto [key, text] : {std::pair{"length", &row.length}, std::pair{"km", &row.km}}) {
            if (d.contains(key)) {
                *text = spanText(d[key], source);
                PyDict_DelItemString(d.ptr(), key);
            }
        }
        if (!rateMethod.is_none()) {
            const bool named = (d.contains("rate_method") && !isMissing(d["rate_method"], source)) ||
                               (d.contains("rate-method") && !isMissing(d["rate-method"], source));
            if (!named) {
                d["rate_method"] = rateMethod;
                if (d.contains("rate-method")) {
                    PyDict_DelItemString(d.ptr(), "rate-method");
                }
            }
        }
        try {
            row.inputs = egm::resolveCase(namedOf(d, source, &row.name));
        } catch (const RowError& e) {
            row.inputs = {egm::Inputs{}, e.message};
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

// The outcomes of a route's spans, in order: the part of a route a worker
// computes (the records of consecutive spans).
std::vector<egm::CaseOutcome> spanOutcomes(const py::list& records, bool frame, const py::object& rateMethod,
                                           unsigned jobs)
{
    std::vector<egm::CaseInputs> cases;
    for (study::SpanRow& row : spanRows(records, frame, rateMethod)) {
        cases.push_back(std::move(row.inputs));
    }
    py::gil_scoped_release free;
    return egm::computeMany(cases, {}, jobs);
}

py::object optionalNumber(const std::optional<double>& x)
{
    return x ? py::object(py::float_(*x)) : py::object(py::none());
}

// The route as Python gives it: spans (one dict per span: span, name, km,
// length, the result's row, failures<Name> of its conductors,
// failuresTotal, share, flagged, error), summary, top (span numbers),
// flagged ((from km, to km, highest rate) per stretch).
py::dict routeDict(const study::RouteOutcome& out)
{
    const study::RouteSummary& sum = out.summary;
    py::list spans;
    for (const study::Span& s : out.spans) {
        py::dict span;
        span["span"] = s.index;
        span["name"] = s.name;
        span["km"] = s.from;
        span["length"] = s.length;
        if (s.result) {
            for (const auto& [key, value] : resultRow(*s.result)) {
                span[key] = value;
            }
            for (std::size_t c = 0; c < s.result->conductors.size(); ++c) {
                span[py::str(study::failuresColumn(s.result->conductors[c].name))] = s.failures[c];
            }
            span["failuresTotal"] = s.totalFailures;
            span["share"] = study::shareOf(out, s);
            span["flagged"] = s.flagged;
        }
        span["error"] = s.error;
        spans.append(span);
    }
    py::dict failures;
    for (std::size_t k = 0; k < sum.conductors.size(); ++k) {
        failures[py::str(sum.conductors[k])] = sum.failuresPerYear[k];
    }
    failures["total"] = sum.totalFailuresPerYear;
    py::dict summary;
    summary["spans"] = sum.spans;
    summary["failed"] = sum.failed;
    summary["lengthKm"] = sum.lengthKm;
    summary["rateMethod"] = std::string(egm::rateMethodName(sum.rateMethod));
    summary["failuresPerYear"] = failures;
    summary["averagePer100KmPerYear"] = sum.averagePer100Km;
    py::list top;
    for (std::size_t k : out.topSpans) {
        top.append(out.spans[k].index);
    }
    py::list flagged;
    for (const study::FlaggedStretch& f : out.flagged) {
        flagged.append(py::make_tuple(f.from, f.to, f.highestRate));
    }
    py::dict d;
    d["spans"] = spans;
    d["summary"] = summary;
    d["top"] = top;
    d["flagged"] = flagged;
    d["flagAbove"] = optionalNumber(out.flagAbove);
    return d;
}

// A case's outcome kept as the library's value, so that a route assembles
// the very results its workers computed; pickled (for Dask) as plain
// numbers and texts, every double exactly.
py::tuple outcomeState(const egm::CaseOutcome& o)
{
    if (!o.result) {
        return py::make_tuple(o.error);
    }
    const egm::Result& r = *o.result;
    const auto current = [](const egm::MaxCurrent& m) {
        return py::make_tuple(optionalNumber(m.current), m.exposedAtTop);
    };
    py::list conductors;
    for (const egm::ConductorResult& c : r.conductors) {
        conductors.append(
            py::make_tuple(c.wire, c.name, c.rate, current(c.maxCurrent), current(c.classicalMaxCurrent)));
    }
    const egm::StrikingLaw& law = r.law;
    const egm::CurrentDistribution& dist = r.distribution;
    return py::make_tuple(
        o.error, conductors, r.totalRate, static_cast<int>(r.rateMethod), r.wireNames, r.heights,
        py::make_tuple(r.terrainFactor, r.collectionWidth, r.currentFrom, r.currentTo, r.currentSteps,
                       static_cast<int>(r.evaluation)),
        py::make_tuple(static_cast<int>(law.kind), law.a, law.b, law.c, law.d, optionalNumber(law.beta)),
        py::make_tuple(static_cast<int>(dist.kind), dist.scale, dist.exponent, dist.median, dist.sigma),
        r.notes);
}

egm::CaseOutcome outcomeOfState(const py::tuple& t)
{
    egm::CaseOutcome o;
    o.error = t[0].cast<std::string>();
    if (t.size() == 1) {
        return o;
    }
    const auto current = [](const py::handle& h) {
        const py::tuple c = h.cast<py::tuple>();
        egm::MaxCurrent m;
        if (!c[0].is_none()) {
            m.current = c[0].cast<double>();
        }
        m.exposedAtTop = c[1].cast<bool>();
        return m;
    };
    egm::Result r;
    for (const py::handle h : t[1].cast<py::list>()) {
        const py::tuple c = h.cast<py::tuple>();
        r.conductors.push_back(egm::ConductorResult{c[0].cast<std::size_t>(), c[1].cast<std::string>(),
                                                    c[2].cast<double>(), current(c[3]), current(c[4])});
    }
    r.totalRate = t[2].cast<double>();
    r.rateMethod = static_cast<egm::RateMethod>(t[3].cast<int>());
    r.wireNames = t[4].cast<std::vector<std::string>>();
    r.heights = t[5].cast<std::vector<double>>();
    const py::tuple line = t[6].cast<py::tuple>();
    r.terrainFactor = line[0].cast<double>();
    r.collectionWidth = line[1].cast<double>();
    r.currentFrom = line[2].cast<double>();
    r.currentTo = line[3].cast<double>();
    r.currentSteps = line[4].cast<int>();
    r.evaluation = static_cast<egm::Evaluation>(line[5].cast<int>());
    const py::tuple law = t[7].cast<py::tuple>();
    r.law.kind = static_cast<egm::StrikingLaw::Kind>(law[0].cast<int>());
    r.law.a = law[1].cast<double>();
    r.law.b = law[2].cast<double>();
    r.law.c = law[3].cast<double>();
    r.law.d = law[4].cast<double>();
    if (!law[5].is_none()) {
        r.law.beta = law[5].cast<double>();
    }
    const py::tuple dist = t[8].cast<py::tuple>();
    r.distribution.kind = static_cast<egm::CurrentDistribution::Kind>(dist[0].cast<int>());
    r.distribution.scale = dist[1].cast<double>();
    r.distribution.exponent = dist[2].cast<double>();
    r.distribution.median = dist[3].cast<double>();
    r.distribution.sigma = dist[4].cast<double>();
    r.notes = t[9].cast<std::vector<std::string>>();
    o.result = std::move(r);
    return o;
}

void bindRoute(py::module_& m)
{
    py::class_<study::RoutePlan>(m, "RoutePlan")
        .def_property_readonly("spans", [](const study::RoutePlan& p) { return p.spans.size(); });
    py::class_<egm::CaseOutcome>(m, "Outcome")
        .def(py::pickle([](const egm::CaseOutcome& o) { return outcomeState(o); },
                        [](const py::tuple& t) { return outcomeOfState(t); }));
    // Plans the route: places the spans and resolves their cases; raises
    // ValueError, before anything is computed, as egm-study route refuses a
    // route file.
    m.def(
        "route_plan",
        [](const py::list& records, bool frame, const py::object& rateMethod) {
            const std::vector<study::SpanRow> rows = spanRows(records, frame, rateMethod);
            return study::planRoute(
                rows, "route", egm::rateMethodNamed(textOf(rateMethod)).value_or(egm::RateMethod::share));
        },
        py::arg("records"), py::arg("frame") = false, py::arg("rate_method") = py::none());
    // The outcomes of a plan's cases, computed here.
    m.def(
        "plan_outcomes",
        [](const study::RoutePlan& plan, unsigned jobs) {
            py::gil_scoped_release free;
            return egm::computeMany(plan.cases, {}, jobs);
        },
        py::arg("plan"), py::arg("jobs") = 0);
    // The outcomes of consecutive spans' records, as a worker computes them.
    m.def("span_outcomes", &spanOutcomes, py::arg("records"), py::arg("frame") = false,
          py::arg("rate_method") = py::none(), py::arg("jobs") = 1);
    // The route of a plan and its outcomes, in order.
    m.def(
        "route_assemble",
        [](const study::RoutePlan& plan, std::vector<egm::CaseOutcome> outcomes,
           std::optional<double> flagAbove,
           int top) { return routeDict(study::assembleRoute(plan, std::move(outcomes), flagAbove, top)); },
        py::arg("plan"), py::arg("outcomes"), py::arg("flag_above") = py::none(), py::arg("top") = 10);
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
    m.def("sweep", &sweep, py::arg("base"), py::arg("param"), py::arg("values"), py::arg("jobs") = 0);
    bindRoute(m);
    m.def("input_names", [] {
        std::vector<std::string> names;
        for (const egm::InputField& f : egm::inputFields()) {
            names.emplace_back(f.name);
        }
        return names;
    });
    m.def("version", [] { return std::string(egm::version()); });
}
