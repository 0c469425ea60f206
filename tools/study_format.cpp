#include "study_format.h"

#include <cmath>
#include <sstream>

#include "egm/input_table.h"

namespace study {

namespace {

using egm::shortestText;

nlohmann::json jsonCurrent(const egm::MaxCurrent& m)
{
    return m.current ? jsonNumber(*m.current) : nlohmann::json(nullptr);
}

std::string csvCurrent(const egm::MaxCurrent& m)
{
    return m.current ? shortestText(*m.current) : std::string();
}

std::string csvAtTop(const egm::MaxCurrent& m)
{
    return m.current ? (m.exposedAtTop ? "true" : "false") : "";
}

struct Column {
    const char* name;
    std::string (*field)(const egm::Result&);
};

// The result columns, in order; one list for the header and the fields.
const Column kColumns[] = {
    {"conductor1", [](const egm::Result& r) { return shortestText(r.rates.conductor1); }},
    {"conductor2", [](const egm::Result& r) { return shortestText(r.rates.conductor2); }},
    {"total", [](const egm::Result& r) { return shortestText(r.rates.total); }},
    {"maxCurrentConductor1", [](const egm::Result& r) { return csvCurrent(r.maxCurrent[0]); }},
    {"maxCurrentConductor2", [](const egm::Result& r) { return csvCurrent(r.maxCurrent[1]); }},
    {"maxCurrentAtTopConductor1", [](const egm::Result& r) { return csvAtTop(r.maxCurrent[0]); }},
    {"maxCurrentAtTopConductor2", [](const egm::Result& r) { return csvAtTop(r.maxCurrent[1]); }},
    {"classicalMaxCurrentConductor1",
     [](const egm::Result& r) { return csvCurrent(r.classicalMaxCurrent[0]); }},
    {"classicalMaxCurrentConductor2",
     [](const egm::Result& r) { return csvCurrent(r.classicalMaxCurrent[1]); }},
    {"classicalMaxCurrentAtTopConductor1",
     [](const egm::Result& r) { return csvAtTop(r.classicalMaxCurrent[0]); }},
    {"classicalMaxCurrentAtTopConductor2",
     [](const egm::Result& r) { return csvAtTop(r.classicalMaxCurrent[1]); }},
    {"evaluation", [](const egm::Result& r) { return std::string(egm::evaluationName(r.evaluation)); }},
    {"law", [](const egm::Result& r) { return std::string(egm::lawName(r.law.kind)); }},
    {"distribution",
     [](const egm::Result& r) { return std::string(egm::distributionName(r.distribution.kind)); }},
};

} // namespace

nlohmann::json jsonNumber(double x)
{
    return std::isfinite(x) ? nlohmann::json(x) : nlohmann::json(shortestText(x));
}

nlohmann::json inputsJson(const egm::Inputs& inputs, const std::string& control)
{
    nlohmann::json j = nlohmann::json::object();
    j["control"] = control.empty() ? nlohmann::json(nullptr) : nlohmann::json(control);
    for (const egm::InputField& f : egm::inputFields()) {
        const std::string name(f.name);
        if (f.kind == egm::InputField::Kind::choice) {
            j[name] = std::string(f.getChoice(inputs));
        } else if (f.kind == egm::InputField::Kind::number) {
            const double v = f.get(inputs);
            j[name] = name == "law-beta" && std::isnan(v) ? nlohmann::json(nullptr) : jsonNumber(v);
        }
    }
    return j;
}

nlohmann::json resultJson(const egm::Inputs& inputs, const egm::Result& r, const std::string& control)
{
    const auto perConductor = [](const std::array<egm::MaxCurrent, 2>& m, bool atTop) {
        if (atTop) {
            return nlohmann::json{{"conductor1", m[0].current ? nlohmann::json(m[0].exposedAtTop) : nullptr},
                                  {"conductor2", m[1].current ? nlohmann::json(m[1].exposedAtTop) : nullptr}};
        }
        return nlohmann::json{{"conductor1", jsonCurrent(m[0])}, {"conductor2", jsonCurrent(m[1])}};
    };
    return {
        {"evaluation", std::string(egm::evaluationName(r.evaluation))},
        {"law", std::string(egm::lawName(r.law.kind))},
        {"distribution", std::string(egm::distributionName(r.distribution.kind))},
        {"rates",
         {{"conductor1", jsonNumber(r.rates.conductor1)},
          {"conductor2", jsonNumber(r.rates.conductor2)},
          {"total", jsonNumber(r.rates.total)}}},
        {"maxShieldingFailureCurrent", perConductor(r.maxCurrent, false)},
        {"maxCurrentExposedAtTop", perConductor(r.maxCurrent, true)},
        {"classicalMaxShieldingFailureCurrent", perConductor(r.classicalMaxCurrent, false)},
        {"classicalExposedAtTop", perConductor(r.classicalMaxCurrent, true)},
        {"terrainFactor", jsonNumber(r.terrainFactor)},
        {"collectionWidth", jsonNumber(r.collectionWidth)},
        {"currentRange",
         {{"from", jsonNumber(r.currentFrom)}, {"to", jsonNumber(r.currentTo)}, {"steps", r.currentSteps}}},
        {"notes", r.notes},
        {"inputs", inputsJson(inputs, control)},
    };
}

std::string computationNote(const egm::Result& r)
{
    return "evaluation: " + std::string(egm::evaluationName(r.evaluation)) +
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

std::string resultText(const egm::Result& r)
{
    std::ostringstream out;
    const auto line = [&out](const std::string& label, const std::string& value) {
        out << "  " << label << std::string(label.size() < 23 ? 23 - label.size() : 1, ' ') << value << '\n';
    };
    out << "Shielding failure rate, strokes per 100 km per year\n";
    line("conductor 1", shortestText(r.rates.conductor1));
    line("conductor 2", shortestText(r.rates.conductor2));
    line("total", shortestText(r.rates.total));
    out << "Maximum shielding failure current, any incidence angle, " << shortestText(r.currentFrom) << " to "
        << shortestText(r.currentTo) << " kA\n";
    line("conductor 1", maxCurrentText(r.maxCurrent[0]));
    line("conductor 2", maxCurrentText(r.maxCurrent[1]));
    out << "Classical maximum shielding failure current, vertical strokes, "
        << shortestText(egm::kClassicalSearchFrom) << " to " << shortestText(egm::kClassicalSearchTo)
        << " kA\n";
    line("conductor 1", maxCurrentText(r.classicalMaxCurrent[0]));
    line("conductor 2", maxCurrentText(r.classicalMaxCurrent[1]));
    out << "Computation\n";
    line("evaluation", std::string(egm::evaluationName(r.evaluation)));
    line("striking-distance law", std::string(egm::lawName(r.law.kind)));
    line("current distribution", std::string(egm::distributionName(r.distribution.kind)));
    line("terrain factor", shortestText(r.terrainFactor));
    line("collection width", shortestText(r.collectionWidth) + " m");
    line("currents", shortestText(r.currentFrom) + " to " + shortestText(r.currentTo) + " kA, " +
                         std::to_string(r.currentSteps) + " steps of 1 kA");
    return out.str();
}

std::string resultCsvHeader()
{
    std::string header;
    for (const Column& c : kColumns) {
        header += header.empty() ? "" : ",";
        header += c.name;
    }
    return header;
}

std::string resultCsvFields(const egm::Result& r)
{
    std::string fields;
    bool first = true;
    for (const Column& c : kColumns) {
        if (!first) {
            fields += ',';
        }
        first = false;
        fields += csvField(c.field(r));
    }
    return fields;
}

std::string resultCsvEmptyFields()
{
    return std::string(std::size(kColumns) - 1, ',');
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

} // namespace study
