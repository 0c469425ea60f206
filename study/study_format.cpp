#include "study_format.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <variant>

#include "egm/input_table.h"

namespace study {

namespace {

using egm::shortestText;

nlohmann::json jsonCurrent(const egm::MaxCurrent& m)
{
    return m.current ? jsonNumber(*m.current) : nlohmann::json(nullptr);
}

nlohmann::json jsonAtTop(const egm::MaxCurrent& m)
{
    return m.current ? nlohmann::json(m.exposedAtTop) : nlohmann::json(nullptr);
}

Cell cellCurrent(const egm::MaxCurrent& m)
{
    return m.current ? Cell(*m.current) : Cell();
}

Cell cellAtTop(const egm::MaxCurrent& m)
{
    return m.current ? Cell(m.exposedAtTop) : Cell();
}

// "conductor1" -> "Conductor1", for column names such as maxCurrentConductor1.
std::string capitalised(std::string name)
{
    if (!name.empty()) {
        name[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
    }
    return name;
}

// The per-conductor column groups after the rates, in order.
struct ConductorColumns {
    const char* prefix;
    Cell (*field)(const egm::ConductorResult&);
};
const ConductorColumns kConductorColumns[] = {
    {"maxCurrent", [](const egm::ConductorResult& c) { return cellCurrent(c.maxCurrent); }},
    {"maxCurrentAtTop", [](const egm::ConductorResult& c) { return cellAtTop(c.maxCurrent); }},
    {"classicalMaxCurrent", [](const egm::ConductorResult& c) { return cellCurrent(c.classicalMaxCurrent); }},
    {"classicalMaxCurrentAtTop",
     [](const egm::ConductorResult& c) { return cellAtTop(c.classicalMaxCurrent); }},
};
// The line's own figures, in the rows that carry them.
struct LineColumn {
    const char* name;
    Cell (*field)(const egm::Result&);
};
const LineColumn kLineColumns[] = {
    {"terrainFactor", [](const egm::Result& r) { return Cell(r.terrainFactor); }},
    {"collectionWidth", [](const egm::Result& r) { return Cell(r.collectionWidth); }},
    {"currentFrom", [](const egm::Result& r) { return Cell(r.currentFrom); }},
    {"currentTo", [](const egm::Result& r) { return Cell(r.currentTo); }},
    {"currentSteps", [](const egm::Result& r) { return Cell(r.currentSteps); }},
};
// The flashover columns, per conductor, after the rates.
const ConductorColumns kFlashoverColumns[] = {
    {"criticalCurrent",
     [](const egm::ConductorResult& c) { return c.criticalCurrent ? Cell(*c.criticalCurrent) : Cell(); }},
    {"flashoverRate",
     [](const egm::ConductorResult& c) { return c.flashoverRate ? Cell(*c.flashoverRate) : Cell(); }},
};
constexpr const char* kHowColumns[] = {"evaluation", "law", "distribution"};

std::string joinedFields(const std::vector<std::string>& fields)
{
    std::string text;
    for (std::size_t k = 0; k < fields.size(); ++k) {
        if (k > 0) {
            text += ',';
        }
        text += csvField(fields[k]);
    }
    return text;
}

// The height a wire was computed with, by name; none when the result has no
// wire of the name.
std::optional<double> heightOf(const egm::Result& r, const std::string& wire)
{
    for (std::size_t k = 0; k < r.wireNames.size() && k < r.heights.size(); ++k) {
        if (r.wireNames[k] == wire) {
            return r.heights[k];
        }
    }
    return std::nullopt;
}

// One object keyed by conductor name.
template <class Value> nlohmann::json perConductor(const egm::Result& r, Value value)
{
    nlohmann::json j = nlohmann::json::object();
    for (const egm::ConductorResult& c : r.conductors) {
        j[c.name] = value(c);
    }
    return j;
}

} // namespace

nlohmann::json jsonNumber(double x)
{
    return std::isfinite(x) ? nlohmann::json(x) : nlohmann::json(shortestText(x));
}

nlohmann::json inputsJson(const egm::Inputs& inputs, const std::string& control, const std::string& towerFile)
{
    nlohmann::json j = nlohmann::json::object();
    j["control"] = control.empty() ? nlohmann::json(nullptr) : nlohmann::json(control);
    if (!towerFile.empty()) {
        j["tower"] = towerFile;
    }
    for (const egm::InputField& f : egm::inputFields()) {
        if (!f.appliesTo(inputs)) {
            continue;
        }
        const std::string name(f.name);
        if (f.kind == egm::InputField::Kind::choice) {
            j[name] = std::string(f.getChoice(inputs));
        } else if (f.kind == egm::InputField::Kind::number) {
            const double v = f.get(inputs);
            j[name] = name == "law-beta" && std::isnan(v) ? nlohmann::json(nullptr) : jsonNumber(v);
        }
    }
    if (!inputs.ground.empty()) {
        // Over a ground profile the slope is not an input.
        j.erase("slope");
        nlohmann::json points = nlohmann::json::array();
        for (const egm::GroundPoint& p : inputs.ground.points()) {
            points.push_back({jsonNumber(p.x), jsonNumber(p.elevation), jsonNumber(p.cover)});
        }
        j["ground"] = {{"points", points}, {"base", jsonNumber(inputs.ground.base())}};
    }
    return j;
}

nlohmann::json towerJson(const egm::Tower& tower)
{
    nlohmann::json j = nlohmann::json::array();
    for (std::size_t k = 0; k < tower.size(); ++k) {
        const egm::TowerWire& w = tower.wires[k];
        j.push_back({{"name", tower.nameOf(k)},
                     {"kind", std::string(egm::wireKindName(w.kind))},
                     {"x", jsonNumber(w.x)},
                     {"height", jsonNumber(w.height)},
                     {"voltage-term", jsonNumber(w.voltageTerm)},
                     {"sag", jsonNumber(w.sag)}});
    }
    return j;
}

nlohmann::json resultJson(const egm::Inputs& inputs, const egm::Result& r, const std::string& control,
                          const std::string& towerFile)
{
    nlohmann::json rates = perConductor(r, [](const egm::ConductorResult& c) { return jsonNumber(c.rate); });
    rates["total"] = jsonNumber(r.totalRate);
    nlohmann::json heights = nlohmann::json::object();
    for (std::size_t k = 0; k < r.wireNames.size() && k < r.heights.size(); ++k) {
        heights[r.wireNames[k]] = jsonNumber(r.heights[k]);
    }
    nlohmann::json j = {
        {"rateMethod", std::string(egm::rateMethodName(r.rateMethod))},
        {"evaluation", std::string(egm::evaluationName(r.evaluation))},
        {"law", std::string(egm::lawName(r.law.kind))},
        {"distribution", std::string(egm::distributionName(r.distribution.kind))},
        {"rates", rates},
        {"maxShieldingFailureCurrent",
         perConductor(r, [](const egm::ConductorResult& c) { return jsonCurrent(c.maxCurrent); })},
        {"maxCurrentExposedAtTop",
         perConductor(r, [](const egm::ConductorResult& c) { return jsonAtTop(c.maxCurrent); })},
        {"classicalMaxShieldingFailureCurrent",
         perConductor(r, [](const egm::ConductorResult& c) { return jsonCurrent(c.classicalMaxCurrent); })},
        {"classicalExposedAtTop",
         perConductor(r, [](const egm::ConductorResult& c) { return jsonAtTop(c.classicalMaxCurrent); })},
        {"heights", heights},
        {"terrainFactor", jsonNumber(r.terrainFactor)},
        {"collectionWidth", jsonNumber(r.collectionWidth)},
        {"currentRange",
         {{"from", jsonNumber(r.currentFrom)}, {"to", jsonNumber(r.currentTo)}, {"steps", r.currentSteps}}},
        {"notes", r.notes},
        {"tower", towerJson(inputs.tower)},
        {"inputs", inputsJson(inputs, control, towerFile)},
    };
    addFlashoverJson(j, r);
    return j;
}

void addFlashoverJson(nlohmann::json& j, const egm::Result& r)
{
    if (!hasFlashovers(r)) {
        return;
    }
    const auto orNull = [](const std::optional<double>& x) {
        return x ? jsonNumber(*x) : nlohmann::json(nullptr);
    };
    j["criticalCurrents"] =
        perConductor(r, [&](const egm::ConductorResult& c) { return orNull(c.criticalCurrent); });
    nlohmann::json flashovers =
        perConductor(r, [&](const egm::ConductorResult& c) { return orNull(c.flashoverRate); });
    flashovers["total"] = orNull(r.flashoverTotal);
    j["flashoverRates"] = flashovers;
    j["perfectlyShielded"] = perConductor(r, [](const egm::ConductorResult& c) {
        return c.criticalCurrent ? nlohmann::json(c.perfectlyShielded) : nlohmann::json(nullptr);
    });
}

std::string rateMethodText(egm::RateMethod method)
{
    return std::string(egm::rateMethodName(method)) + " method";
}

std::string rateUnit(egm::RateMethod method)
{
    return "strokes per 100 km per year, " + rateMethodText(method);
}

std::string computationNote(const egm::Result& r)
{
    return "rates: " + rateMethodText(r.rateMethod) +
           "; evaluation: " + std::string(egm::evaluationName(r.evaluation)) +
           "; striking-distance law: " + std::string(egm::lawName(r.law.kind)) +
           "; current distribution: " + std::string(egm::distributionName(r.distribution.kind));
}

std::string maxCurrentText(const egm::MaxCurrent& m)
{
    if (!m.current) {
        return "none";
    }
    if (m.exposedAtTop) {
        return shortestText(*m.current) + " kA or more (still exposed at the top of the range)";
    }
    return shortestText(*m.current) + " kA";
}

std::string resultText(const egm::Result& r, const egm::Tower* tower, const egm::GroundProfile* ground)
{
    std::ostringstream out;
    const auto line = [&out](const std::string& label, const std::string& value) {
        out << "  " << label << std::string(label.size() < 23 ? 23 - label.size() : 1, ' ') << value << '\n';
    };
    // The share method's heading says what it is and names the other, so
    // that its figures are not taken for the guides' figures.
    out << "Shielding failure rate ("
        << (r.rateMethod == egm::RateMethod::share
                ? "share method: the model's rate; the guides' method is --rate-method exposure"
                : rateMethodText(r.rateMethod))
        << "), strokes per 100 km per year\n";
    for (const egm::ConductorResult& c : r.conductors) {
        line(c.name, shortestText(c.rate));
    }
    line("total", shortestText(r.totalRate));
    if (hasFlashovers(r)) {
        // Only the strokes above a conductor's critical current flash its
        // insulation over.
        out << "Shielding failure flashover rate (" << rateMethodText(r.rateMethod)
            << "), flashovers per 100 km per year\n";
        for (const egm::ConductorResult& c : r.conductors) {
            if (!c.criticalCurrent || !c.flashoverRate) {
                line(c.name, "no critical current");
                continue;
            }
            line(c.name, shortestText(*c.flashoverRate) + "  (Ic " + shortestText(*c.criticalCurrent) +
                             " kA" + (c.perfectlyShielded ? ", perfectly shielded)" : ")"));
        }
        line("total", shortestText(*r.flashoverTotal));
    }
    out << "Maximum shielding failure current, any incidence angle, " << shortestText(r.currentFrom) << " to "
        << shortestText(r.currentTo) << " kA\n";
    for (const egm::ConductorResult& c : r.conductors) {
        line(c.name, maxCurrentText(c.maxCurrent));
    }
    out << "Classical maximum shielding failure current, vertical strokes, "
        << shortestText(egm::kClassicalSearchFrom) << " to " << shortestText(egm::kClassicalSearchTo)
        << " kA\n";
    for (const egm::ConductorResult& c : r.conductors) {
        line(c.name, maxCurrentText(c.classicalMaxCurrent));
    }
    out << "Computation\n";
    line("rate method", r.rateMethod == egm::RateMethod::share
                            ? "share (the conductors' share of the collection width)"
                            : "exposure (vertical strokes' exposure widths over the current density)");
    line("evaluation", std::string(egm::evaluationName(r.evaluation)));
    line("striking-distance law", std::string(egm::lawName(r.law.kind)));
    line("current distribution", std::string(egm::distributionName(r.distribution.kind)));
    if (ground != nullptr && !ground->empty()) {
        const std::vector<egm::GroundPoint>& p = ground->points();
        line("ground", "profile of " + std::to_string(p.size()) + " points from x " +
                           shortestText(p.front().x) + " to " + shortestText(p.back().x) +
                           " m, the tower's base at elevation " + shortestText(ground->base()) +
                           " m; angles from the true horizontal");
    }
    line("terrain factor", shortestText(r.terrainFactor));
    line("collection width", shortestText(r.collectionWidth) + " m");
    line("currents", shortestText(r.currentFrom) + " to " + shortestText(r.currentTo) + " kA, " +
                         std::to_string(r.currentSteps) + " steps of 1 kA");
    bool sagged = false;
    for (std::size_t k = 0; tower != nullptr && k < tower->size(); ++k) {
        sagged = sagged || tower->wires[k].sag != 0.0;
    }
    if (sagged) {
        // The span's average height, at the tower less 2/3 of the sag.
        std::string heights;
        for (std::size_t k = 0; k < r.wireNames.size() && k < r.heights.size(); ++k) {
            heights += (k > 0 ? ", " : "") + r.wireNames[k] + " " + shortestText(r.heights[k]);
        }
        line("heights (less 2/3 sag)", heights + " m");
    }
    return out.str();
}

std::vector<std::string> conductorNames(const egm::Result& r)
{
    std::vector<std::string> names;
    addConductorNames(names, r);
    return names;
}

std::vector<std::string> conductorNames(const egm::Tower& tower)
{
    std::vector<std::string> names;
    for (std::size_t k : tower.conductors()) {
        names.push_back(tower.nameOf(k));
    }
    return names;
}

void addConductorNames(std::vector<std::string>& names, const egm::Result& r)
{
    for (const egm::ConductorResult& c : r.conductors) {
        if (std::find(names.begin(), names.end(), c.name) == names.end()) {
            names.push_back(c.name);
        }
    }
}

std::vector<std::string> wireNames(const egm::Result& r)
{
    return r.wireNames;
}

void addWireNames(std::vector<std::string>& names, const egm::Result& r)
{
    for (const std::string& w : r.wireNames) {
        if (std::find(names.begin(), names.end(), w) == names.end()) {
            names.push_back(w);
        }
    }
}

const egm::ConductorResult* conductorNamed(const egm::Result& r, const std::string& name)
{
    for (const egm::ConductorResult& c : r.conductors) {
        if (c.name == name) {
            return &c;
        }
    }
    return nullptr;
}

bool hasFlashovers(const egm::Result& r)
{
    return r.flashoverTotal.has_value();
}

std::vector<std::string> resultColumnNames(const std::vector<std::string>& conductors,
                                           const std::vector<std::string>& wires, bool lineFigures,
                                           bool flashovers)
{
    std::vector<std::string> names = conductors;
    names.emplace_back("total");
    names.emplace_back("rateMethod");
    if (flashovers) {
        for (const ConductorColumns& group : kFlashoverColumns) {
            for (const std::string& c : conductors) {
                names.push_back(group.prefix + capitalised(c));
            }
        }
        names.emplace_back("flashoverTotal");
    }
    for (const ConductorColumns& group : kConductorColumns) {
        for (const std::string& c : conductors) {
            names.push_back(group.prefix + capitalised(c));
        }
    }
    for (const std::string& w : wires) {
        names.push_back("height" + capitalised(w));
    }
    if (lineFigures) {
        for (const LineColumn& column : kLineColumns) {
            names.emplace_back(column.name);
        }
    }
    names.insert(names.end(), std::begin(kHowColumns), std::end(kHowColumns));
    return names;
}

std::vector<Cell> resultCells(const egm::Result& r, const std::vector<std::string>& conductors,
                              const std::vector<std::string>& wires, bool lineFigures, bool flashovers)
{
    std::vector<Cell> cells;
    for (const std::string& name : conductors) {
        const egm::ConductorResult* c = conductorNamed(r, name);
        cells.push_back(c != nullptr ? Cell(c->rate) : Cell());
    }
    cells.emplace_back(r.totalRate);
    cells.emplace_back(std::string(egm::rateMethodName(r.rateMethod)));
    if (flashovers) {
        for (const ConductorColumns& group : kFlashoverColumns) {
            for (const std::string& name : conductors) {
                const egm::ConductorResult* c = conductorNamed(r, name);
                cells.push_back(c != nullptr ? group.field(*c) : Cell());
            }
        }
        cells.push_back(r.flashoverTotal ? Cell(*r.flashoverTotal) : Cell());
    }
    for (const ConductorColumns& group : kConductorColumns) {
        for (const std::string& name : conductors) {
            const egm::ConductorResult* c = conductorNamed(r, name);
            cells.push_back(c != nullptr ? group.field(*c) : Cell());
        }
    }
    for (const std::string& w : wires) {
        const std::optional<double> h = heightOf(r, w);
        cells.push_back(h ? Cell(*h) : Cell());
    }
    if (lineFigures) {
        for (const LineColumn& column : kLineColumns) {
            cells.push_back(column.field(r));
        }
    }
    cells.emplace_back(std::string(egm::evaluationName(r.evaluation)));
    cells.emplace_back(std::string(egm::lawName(r.law.kind)));
    cells.emplace_back(std::string(egm::distributionName(r.distribution.kind)));
    return cells;
}

std::string cellText(const Cell& cell)
{
    struct Text {
        std::string operator()(std::monostate) const { return {}; }
        std::string operator()(double x) const { return shortestText(x); }
        std::string operator()(int n) const { return std::to_string(n); }
        std::string operator()(bool b) const { return b ? "true" : "false"; }
        std::string operator()(const std::string& t) const { return t; }
    };
    return std::visit(Text{}, cell);
}

std::string resultCsvHeader(const std::vector<std::string>& conductors, const std::vector<std::string>& wires,
                            bool flashovers)
{
    return joinedFields(resultColumnNames(conductors, wires, false, flashovers));
}

std::string resultCsvFields(const egm::Result& r, const std::vector<std::string>& conductors,
                            const std::vector<std::string>& wires, bool flashovers)
{
    std::vector<std::string> fields;
    for (const Cell& cell : resultCells(r, conductors, wires, false, flashovers)) {
        fields.push_back(cellText(cell));
    }
    return joinedFields(fields);
}

std::string resultCsvEmptyFields(const std::vector<std::string>& conductors,
                                 const std::vector<std::string>& wires, bool flashovers)
{
    return std::string(resultColumnNames(conductors, wires, false, flashovers).size() - 1, ',');
}

std::string csvField(std::string_view text)
{
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
        return std::string(text);
    }
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') {
            quoted += '"';
        }
        quoted += c;
    }
    return quoted + "\"";
}

int decimalsOf(const std::string& text)
{
    const std::size_t e = text.find_first_of("eE");
    const std::string mantissa = text.substr(0, e);
    const std::size_t point = mantissa.find('.');
    int decimals = point == std::string::npos ? 0 : static_cast<int>(mantissa.size() - point - 1);
    if (e != std::string::npos) {
        decimals -= std::atoi(text.c_str() + e + 1);
    }
    return std::clamp(decimals, 0, 15);
}

double rounded(double x, int decimals)
{
    if (!std::isfinite(x) || std::fabs(x) >= 1e17) {
        return x;
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, x);
    return std::strtod(text, nullptr);
}

} // namespace study
