// How egm-study writes results: a readable table, JSON and CSV, every number
// in the shortest form that reads back to the same double. Per-conductor
// figures are named by the conductors' names (conductor1, conductor2 on the
// four-wire line), in the tower's order.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "egm/shielding.h"

namespace study {

// A number for JSON; NaN and infinities, which JSON lacks, as the strings
// "nan", "inf", "-inf" (null means "none").
nlohmann::json jsonNumber(double x);

// The inputs that apply to these inputs (egm::InputField::appliesTo) by
// their names in the input table, with the control file (null when none)
// and the tower file (only when one was given).
nlohmann::json inputsJson(const egm::Inputs& inputs, const std::string& control,
                          const std::string& towerFile = {});

// The tower's wires in order: name, kind, x, height, voltage-term.
nlohmann::json towerJson(const egm::Tower& tower);

// The rates, maximum currents and working values of one case: "rates" holds
// one key per conductor name and "total"; every other per-conductor object
// is keyed by the conductor names. When a conductor has a critical current:
// "criticalCurrents" (kA), "flashoverRates" (with "total") and
// "perfectlyShielded", null for a conductor without a critical current.
nlohmann::json resultJson(const egm::Inputs& inputs, const egm::Result& result, const std::string& control,
                          const std::string& towerFile = {});
// The flashover keys of resultJson into j, when the result has them.
void addFlashoverJson(nlohmann::json& j, const egm::Result& result);
// tower: the inputs' tower, for the heights line (said only when some wire
// hangs with a sag); null: no such line. ground: the inputs' ground, for a
// line on the profile (none over the plane).
std::string resultText(const egm::Result& result, const egm::Tower* tower = nullptr,
                       const egm::GroundProfile* ground = nullptr);

// "share method" or "exposure method": how a result's rates were formed, so
// that figures of the two methods are never taken for one another.
std::string rateMethodText(egm::RateMethod method);
// "strokes per 100 km per year, share method": the unit of the rates.
std::string rateUnit(egm::RateMethod method);

// "rates: share method; evaluation: first-contact; striking-distance law:
// built-in; current distribution: built-in": how a result was computed, for
// text and legends.
std::string computationNote(const egm::Result& result);

// A maximum current as text: "74.47 kA", "223.5 kA or more (still exposed
// at the top of the range)", "none".
std::string maxCurrentText(const egm::MaxCurrent& m);

// The conductors' names of a result, in the tower's order.
std::vector<std::string> conductorNames(const egm::Result& result);
std::vector<std::string> conductorNames(const egm::Tower& tower);
// Adds the result's conductor names not yet in names, in the tower's order:
// the union of several towers' conductors in order of first appearance.
void addConductorNames(std::vector<std::string>& names, const egm::Result& result);
// The conductor of that name, or null.
const egm::ConductorResult* conductorNamed(const egm::Result& result, const std::string& name);

// The wires' names of a result, in the tower's order; addWireNames adds
// those not yet in names (the union of several towers' wires).
std::vector<std::string> wireNames(const egm::Result& result);
void addWireNames(std::vector<std::string>& names, const egm::Result& result);

// One field of a result row: none (an empty CSV field, None in Python), a
// number, a count, a flag or a text.
using Cell = std::variant<std::monostate, double, int, bool, std::string>;

// Whether any of the results has a conductor with a critical current: then
// their rows carry the flashover columns.
bool hasFlashovers(const egm::Result& result);

// The result columns of cases with these conductors and wires, by name, and
// the cells of one case in the same order (none where the case has no
// conductor or wire of a name): the conductors' rates, total, rateMethod,
// with flashovers criticalCurrent<Name> (kA), flashoverRate<Name> (none
// where the conductor has no critical current) and flashoverTotal,
// maxCurrent<Name>, maxCurrentAtTop<Name>, classicalMaxCurrent<Name>,
// classicalMaxCurrentAtTop<Name> (the name's first letter capitalised),
// height<Wire> (m, the heights computed with), with lineFigures
// terrainFactor, collectionWidth, currentFrom, currentTo, currentSteps, then
// evaluation, law, distribution. Every front end's rows are named by these.
std::vector<std::string> resultColumnNames(const std::vector<std::string>& conductors,
                                           const std::vector<std::string>& wires = {},
                                           bool lineFigures = false, bool flashovers = false);
std::vector<Cell> resultCells(const egm::Result& result, const std::vector<std::string>& conductors,
                              const std::vector<std::string>& wires = {}, bool lineFigures = false,
                              bool flashovers = false);
// A cell as CSV writes it: empty, the shortest text of a number, true or
// false, the text itself.
std::string cellText(const Cell& cell);

// The result columns of cases with these conductors and wires in CSV: their
// names, the fields of one case (empty where the case has no conductor or
// wire of a name), and as many empty fields. On the four-wire line:
// conductor1, conductor2, total, rateMethod, maxCurrentConductor1, ...,
// heightGroundWire1, ... (m, the heights computed with, one per wire of
// wires), evaluation, law, distribution.
std::string resultCsvHeader(const std::vector<std::string>& conductors,
                            const std::vector<std::string>& wires = {}, bool flashovers = false);
std::string resultCsvFields(const egm::Result& result, const std::vector<std::string>& conductors,
                            const std::vector<std::string>& wires = {}, bool flashovers = false);
std::string resultCsvEmptyFields(const std::vector<std::string>& conductors,
                                 const std::vector<std::string>& wires = {}, bool flashovers = false);

// Digits after the decimal point a number was written with ("0.35": 2,
// "1e-3": 3, "1500": 0), at most 15.
int decimalsOf(const std::string& text);
// x rounded to so many decimals (the nearest double to the decimal text):
// 0.9 after three spans of 0.3 km, -0.95 for -10 + 181 steps of 0.05.
double rounded(double x, int decimals);

// One CSV field, quoted when it holds a comma, a quote or a line break.
std::string csvField(std::string_view text);

} // namespace study
