// egm_shielding._core's conversions: Python values (dicts, lists, pandas
// DataFrames) into the library's named inputs, and results into the rows
// Python gives, by the study layer's column names.
#pragma once

#include <pybind11/pybind11.h>
#include <string>

#include "egm/input_table.h"
#include "egm/shielding.h"
#include "study_format.h"

namespace pyegm {

namespace py = pybind11;

// A case that cannot be read: the row's message, as egm-study batch gives it.
struct RowError {
    std::string message;
};

// Where a value comes from: the caller's own keywords, lists and dicts, or
// the cells of a pandas DataFrame, which holds a field nobody filled as NaN.
enum class Source { given, frame };

// A value's text for a message, made printable.
std::string textOf(const py::handle& value);
// Not given: None, or in a DataFrame a NaN (the default is kept, as for an
// empty CSV field). A NaN the caller gives is a value, and an error.
bool isMissing(const py::handle& value, Source source);
// The caller's number, refused (RowError) when it is NaN or infinite.
double finiteOrThrow(double v, const std::string& what, const py::handle& value, bool hasDefault = true);
// One value by name for the resolver: a number as itself, a string as
// text. Throws RowError for an empty string or a number not finite.
egm::NamedValue namedValue(const std::string& name, const py::handle& value);
// The named inputs of a dict: every key an input's name, and "tower",
// "law_coefficients", "current_table" (the table of distribution table:
// (current, probability) pairs, a DataFrame of those columns or a CSV
// file's path), "ground" (the ground profile: (x, elevation[, cover])
// tuples, a DataFrame or a CSV file's path), "name" (the case's, into
// caseName). Throws RowError
// for a value that cannot be read, and ValueError for a key that names no
// input.
egm::NamedInputs namedOf(const py::dict& d, Source source, std::string* caseName = nullptr);
// The inputs of a dict of keywords; ValueError when they cannot be used.
egm::Inputs inputsOrRaise(const py::dict& d);
// A cell of a result column: None, a float, an int, a bool or a str.
py::object cellObject(const study::Cell& cell);
// One result's row by the study layer's column names (the line's figures
// included) and its notes, as Result.to_dict gives it.
py::dict resultRow(const egm::Result& r);

// One result as a dict: "conductors" (name, wire, rate, the maximum
// currents, critical_current, flashover_rate, perfectly_shielded, in the
// tower's order), the line's figures (total, flashoverTotal, ...), and
// "columns", its resultRow.
py::dict resultDict(const egm::Result& r);

// The route's bindings: route_plan, plan_outcomes, span_outcomes,
// route_assemble and the picklable Outcome.
void bindRoute(py::module_& m);

// The progress report of egm::computeMany under Python: raises what Python's
// signal handlers raise (Ctrl-C: KeyboardInterrupt), which stops the cases.
void raiseOnSignal(std::size_t done, std::size_t total);

} // namespace pyegm
