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
#include "python_values.h"
#include "study_core.h"
#include "study_design.h"
#include "study_inputs.h"

namespace {

using namespace pyegm;

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
        outcomes = egm::computeMany(cases, {}, jobs, raiseOnSignal);
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

// The design of a variable for a target on base (named inputs, as for
// rates), as egm-study design --format json reports it, read back by
// Python's json.
py::object design(const py::dict& base, const std::string& variable, const std::string& target,
                  const std::optional<std::vector<double>>& range, int samples)
{
    const egm::Inputs in = inputsOrRaise(base);
    if (samples < 3 || samples > 101) {
        throw py::value_error("samples " + std::to_string(samples) + ": must be 3 to 101");
    }
    if (range && range->size() != 2) {
        throw py::value_error("range: give (from, to)");
    }
    const study::DesignRequest request{variable, target, range.value_or(std::vector<double>{}), samples};
    std::string report;
    {
        py::gil_scoped_release free;
        report = study::designReport(study::solveDesign(in, request), "json");
    }
    return py::module_::import("json").attr("loads")(report);
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
        } catch (const study::UsageError& e) {
            PyErr_SetString(PyExc_ValueError, e.what());
        }
    });
    m.def("rates", &rates, py::arg("inputs"));
    m.def("strokes", &strokes, py::arg("inputs"), py::arg("current") = py::none());
    m.def("exposure", &exposure, py::arg("inputs"));
    m.def("batch", &batch, py::arg("cases"), py::arg("jobs") = 0, py::arg("first") = 1,
          py::arg("frame") = false);
    m.def("sweep", &sweep, py::arg("base"), py::arg("param"), py::arg("values"), py::arg("jobs") = 0);
    m.def("design", &design, py::arg("base"), py::arg("variable"), py::arg("target"),
          py::arg("range") = py::none(), py::arg("samples") = 11);
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
