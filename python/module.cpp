// egm_shielding._core: the public C++ interface for Python. Inputs come as a
// dict keyed by the input table's names (with "_" for "-"), so that every
// name, range and message is the command line's; the Python layer
// (egm_shielding/__init__.py) gives the functions their signatures and
// documentation.
#include <cmath>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <string>
#include <vector>

#include "egm/input_table.h"
#include "egm/shielding.h"
#include "numbers.h"

namespace py = pybind11;

namespace {

// A case that cannot be read: the row's message, as egm-study batch gives it.
struct RowError {
    std::string message;
};

double numberOf(const std::string& name, const py::handle& value)
{
    if (py::isinstance<py::str>(value)) {
        const std::string text = value.cast<std::string>();
        double v = 0.0;
        if (!egm::io::parseReal(text, v)) {
            throw RowError{name + " '" + text + "' is not a number"};
        }
        return v;
    }
    try {
        return value.cast<double>();
    } catch (const py::cast_error&) {
        throw RowError{name + " '" + std::string(py::str(value)) + "' is not a number"};
    }
}

bool isMissing(const py::handle& value)
{
    if (value.is_none()) {
        return true;
    }
    // pandas fills a missing field with NaN: it keeps the default, as an
    // empty CSV field does.
    if (py::isinstance<py::float_>(value) && std::isnan(value.cast<double>())) {
        return true;
    }
    return false;
}

// The inputs of a dict on top of the built-in line: groups first, then
// single inputs, the law's coefficients, and the voltage term's default as
// the command line settles it. Throws RowError for a value that cannot be
// read, and ValueError for a key that names no input (for a batch, the
// whole call, as an unknown column refuses a whole case file).
egm::Inputs inputsOf(const py::dict& d, std::string* name = nullptr)
{
    egm::Inputs in;
    bool voltageGiven = false;
    std::vector<std::pair<const egm::InputField*, py::handle>> fields;
    for (const auto& [key, value] : d) {
        const std::string k = py::str(key);
        if (k == "name") {
            if (name != nullptr && !value.is_none()) {
                *name = py::str(value);
            }
            continue;
        }
        if (k == "law_coefficients" || k == "law-coefficients") {
            continue;
        }
        const egm::InputField* f = egm::inputField(k);
        if (f == nullptr) {
            throw py::value_error("unknown input '" + k + "'");
        }
        fields.emplace_back(f, value);
    }
    for (const bool groups : {true, false}) {
        for (const auto& [f, value] : fields) {
            if ((f->kind == egm::InputField::Kind::group) != groups || isMissing(value)) {
                continue;
            }
            if (f->kind == egm::InputField::Kind::choice) {
                try {
                    f->setChoice(in, py::str(value).cast<std::string>());
                } catch (const egm::InputError& e) {
                    throw RowError{e.what()};
                }
                continue;
            }
            f->set(in, numberOf(std::string(f->name), value));
            voltageGiven = voltageGiven || f->name == "voltage-term";
        }
    }
    for (const char* key : {"law_coefficients", "law-coefficients"}) {
        if (d.contains(key) && !d[key].is_none()) {
            const std::vector<double> c = d[key].cast<std::vector<double>>();
            if (c.size() != 3 && c.size() != 4) {
                throw py::value_error("law_coefficients takes (a, b, c, d) or (a, b, beta)");
            }
            in.law.a = c[0];
            in.law.b = c[1];
            if (c.size() == 3) {
                in.law.beta = c[2];
            } else {
                in.law.c = c[2];
                in.law.d = c[3];
            }
        }
    }
    egm::settleVoltageTerm(in, voltageGiven);
    return in;
}

egm::Inputs inputsOrRaise(const py::dict& d)
{
    try {
        return inputsOf(d);
    } catch (const RowError& e) {
        throw py::value_error(e.message);
    }
}

py::object optionalCurrent(const egm::MaxCurrent& m)
{
    return m.current ? py::object(py::float_(*m.current)) : py::object(py::none());
}

py::object optionalFlag(const egm::MaxCurrent& m)
{
    return m.current ? py::object(py::bool_(m.exposedAtTop)) : py::object(py::none());
}

// One result as a flat dict: the columns of egm-study's CSV.
py::dict resultDict(const egm::Result& r)
{
    py::dict d;
    d["conductor1"] = r.rates.conductor1;
    d["conductor2"] = r.rates.conductor2;
    d["total"] = r.rates.total;
    d["maxCurrentConductor1"] = optionalCurrent(r.maxCurrent[0]);
    d["maxCurrentConductor2"] = optionalCurrent(r.maxCurrent[1]);
    d["maxCurrentAtTopConductor1"] = optionalFlag(r.maxCurrent[0]);
    d["maxCurrentAtTopConductor2"] = optionalFlag(r.maxCurrent[1]);
    d["classicalMaxCurrentConductor1"] = optionalCurrent(r.classicalMaxCurrent[0]);
    d["classicalMaxCurrentConductor2"] = optionalCurrent(r.classicalMaxCurrent[1]);
    d["classicalMaxCurrentAtTopConductor1"] = optionalFlag(r.classicalMaxCurrent[0]);
    d["classicalMaxCurrentAtTopConductor2"] = optionalFlag(r.classicalMaxCurrent[1]);
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
    std::string evaluation(egm::evaluationName(in.evaluation));
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
        const double c = current.cast<double>();
        std::vector<std::array<double, 4>> rows;
        {
            py::gil_scoped_release free;
            rows = egm::strokesAtCurrent(in, c);
        }
        currents = {c};
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
    d["widths"] = arrayOf(std::move(widths), {n, egm::kAngleSteps, 4});
    py::tuple wires(4);
    for (int w = 0; w < 4; ++w) {
        wires[w] = std::string(egm::wireName(egm::kWires[w]));
    }
    d["wires"] = wires;
    d["evaluation"] = evaluation;
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
    py::dict d;
    d["current"] = arrayOf(std::move(sums.current), {n});
    d["conductor1"] = arrayOf(std::move(sums.conductor1), {n});
    d["conductor2"] = arrayOf(std::move(sums.conductor2), {n});
    d["result"] = resultDict(r);
    return d;
}

// Many cases on threads, the GIL released while they run; each row's
// outcome in order: its columns, or its error message.
py::list batch(const py::list& cases, unsigned jobs)
{
    std::vector<egm::Inputs> inputs;
    std::vector<std::string> names(cases.size());
    std::vector<std::string> errors(cases.size());
    std::vector<std::size_t> computed;
    for (std::size_t k = 0; k < cases.size(); ++k) {
        try {
            inputs.push_back(inputsOf(cases[k].cast<py::dict>(), &names[k]));
            computed.push_back(k);
        } catch (const RowError& e) {
            errors[k] = "case " + std::to_string(k + 1) + ": " + e.message;
        }
    }
    std::vector<egm::CaseOutcome> outcomes;
    {
        py::gil_scoped_release free;
        outcomes = egm::computeMany(inputs, {}, jobs);
    }
    std::vector<const egm::CaseOutcome*> outcomeOf(cases.size(), nullptr);
    for (std::size_t k = 0; k < computed.size(); ++k) {
        outcomeOf[computed[k]] = &outcomes[k];
        if (!outcomes[k].result) {
            errors[computed[k]] = "case " + std::to_string(computed[k] + 1) + ": " + outcomes[k].error;
        }
    }
    py::list rows;
    for (std::size_t k = 0; k < cases.size(); ++k) {
        py::dict row;
        if (errors[k].empty()) {
            row = resultDict(*outcomeOf[k]->result);
        }
        py::dict out;
        out["case"] = k + 1;
        out["name"] = names[k];
        for (const auto& [key, value] : row) {
            out[key] = value;
        }
        out["error"] = errors[k];
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
    m.def("batch", &batch, py::arg("cases"), py::arg("jobs") = 0);
    m.def("input_names", [] {
        std::vector<std::string> names;
        for (const egm::InputField& f : egm::inputFields()) {
            names.emplace_back(f.name);
        }
        return names;
    });
    m.def("version", [] { return std::string(egm::version()); });
}
