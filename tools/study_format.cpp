#include "study_format.h"

#include <charconv>
#include <cmath>
#include <sstream>

namespace study {

namespace {

std::string optionalNumber(const std::optional<double>& x)
{
    return x ? shortest(*x) : std::string();
}

nlohmann::json jsonNumber(double x)
{
    return std::isfinite(x) ? nlohmann::json(x) : nlohmann::json(nullptr);
}

nlohmann::json jsonNumber(const std::optional<double>& x)
{
    return x ? jsonNumber(*x) : nlohmann::json(nullptr);
}

} // namespace

std::string shortest(double x)
{
    if (std::isnan(x)) {
        return "nan";
    }
    char text[64];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, x);
    return ec == std::errc() ? std::string(text, end) : std::string("nan");
}

nlohmann::json caseJson(const RateInputs& inputs, const CaseResult& result, const std::string& control)
{
    nlohmann::json geometry = nlohmann::json::array();
    for (double g : inputs.geometry) {
        geometry.push_back(jsonNumber(g));
    }
    return {
        {"rates",
         {{"conductor1", jsonNumber(result.rates.rateC1)},
          {"conductor2", jsonNumber(result.rates.rateC2)},
          {"total", jsonNumber(result.rates.rateTotal)}}},
        {"maxShieldingFailureCurrent",
         {{"conductor1", jsonNumber(result.maxCurrent[0])},
          {"conductor2", jsonNumber(result.maxCurrent[1])}}},
        {"terrainFactor", jsonNumber(result.rates.terrainFactor)},
        {"collectionWidth", jsonNumber(result.rates.collectionWidth)},
        {"currentRange",
         {{"from", jsonNumber(result.currentFrom)},
          {"to", jsonNumber(result.currentTo)},
          {"steps", result.rates.steps}}},
        {"inputs",
         {{"control", control.empty() ? nlohmann::json(nullptr) : nlohmann::json(control)},
          {"geometry", geometry},
          {"flash-density", jsonNumber(inputs.groundFlashDensity)},
          {"slope", jsonNumber(inputs.slopeAngle)},
          {"min-current", jsonNumber(inputs.minCurrent)},
          {"voltage-term", jsonNumber(inputs.voltageTerm)},
          {"current-scale", jsonNumber(inputs.currentScale)},
          {"current-exponent", jsonNumber(inputs.currentExponent)}}},
    };
}

std::string caseText(const CaseResult& result)
{
    std::ostringstream out;
    const auto line = [&out](const std::string& label, const std::string& value) {
        out << "  " << label << std::string(label.size() < 22 ? 22 - label.size() : 1, ' ') << value << '\n';
    };
    const auto current = [&result](const std::optional<double>& x) {
        if (!x) {
            return std::string("none");
        }
        return shortest(*x) + (*x == result.currentTo ? " kA (exposed up to the top of the range)" : " kA");
    };
    out << "Shielding failure rate, strokes per 100 km per year\n";
    line("conductor 1", shortest(result.rates.rateC1));
    line("conductor 2", shortest(result.rates.rateC2));
    line("total", shortest(result.rates.rateTotal));
    out << "Maximum shielding failure current\n";
    line("conductor 1", current(result.maxCurrent[0]));
    line("conductor 2", current(result.maxCurrent[1]));
    out << "Integration\n";
    line("terrain factor", shortest(result.rates.terrainFactor));
    line("collection width", shortest(result.rates.collectionWidth) + " m");
    line("currents", shortest(result.currentFrom) + " to " + shortest(result.currentTo) + " kA, " +
                         std::to_string(result.rates.steps) + " steps");
    return out.str();
}

std::string caseCsvHeader()
{
    return "conductor1,conductor2,total,maxCurrentConductor1,maxCurrentConductor2";
}

std::string caseCsvFields(const CaseResult& result)
{
    return shortest(result.rates.rateC1) + "," + shortest(result.rates.rateC2) + "," +
           shortest(result.rates.rateTotal) + "," + optionalNumber(result.maxCurrent[0]) + "," +
           optionalNumber(result.maxCurrent[1]);
}

std::string csvField(const std::string& text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        return text;
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
