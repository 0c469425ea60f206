#include "insulation.h"

#include <algorithm>
#include <cmath>

#include "egm/input_table.h"
#include "rt_safe_math.h"

namespace egm::model {

namespace {

// A range of one insulation input: above low, at most high.
struct Range {
    const char* name;
    const char* unit;
    double high;
};

constexpr Range kCriticalCurrent{"critical-current", " kA", 1000.0};
constexpr Range kCfo{"cfo", " kV", 10000.0};
constexpr Range kInsulationLength{"insulation-length", " m", 20.0};
constexpr Range kSurgeImpedance{"surge-impedance", " ohm", 2000.0};
constexpr Range kBundleRadius{"bundle-radius", " m", 2.0};
constexpr double kMaxConductorRadius = 1.0; // m
constexpr double kMaxSubconductors = 16.0;

std::string valueText(const char* name, double x, const char* unit)
{
    return std::string(name) + " " + shortestText(x) + unit;
}

// Empty when the given value lies in its range.
std::string outOfRange(const Range& range, const std::optional<double>& x)
{
    if (!x || (std::isfinite(*x) && *x > 0.0 && *x <= range.high)) {
        return {};
    }
    return valueText(range.name, *x, range.unit) + ": must be greater than 0" + range.unit + " and at most " +
           shortestText(range.high) + range.unit;
}

std::string geometryError(const Insulation& in, double height)
{
    if (in.conductorRadius) {
        const double r = *in.conductorRadius;
        const double limit = std::min(height, kMaxConductorRadius);
        if (!std::isfinite(r) || r <= 0.0 || r >= limit) {
            return valueText("conductor-radius", r, " m") + ": must be greater than 0 m and less than " +
                   shortestText(limit) + " m" + (limit == height ? " (the conductor's height)" : "");
        }
    }
    if (in.subconductors) {
        const double n = *in.subconductors;
        if (!(n >= 1.0 && n <= kMaxSubconductors && n == std::floor(n))) {
            return "subconductors " + shortestText(n) + ": must be a whole number from 1 to " +
                   shortestText(kMaxSubconductors);
        }
    }
    if (std::string e = outOfRange(kBundleRadius, in.bundleRadius); !e.empty()) {
        return e;
    }
    const bool bundle = in.subconductors && *in.subconductors > 1.0;
    if (bundle && !in.bundleRadius) {
        return "subconductors " + shortestText(*in.subconductors) + ": a bundle needs its bundle-radius";
    }
    if ((in.subconductors || in.bundleRadius) && !in.conductorRadius) {
        return "subconductors and bundle-radius need the conductor-radius of one subconductor";
    }
    return {};
}

} // namespace

double equivalentRadius(int n, double r, double bundle)
{
    if (n == 1) {
        return r;
    }
    return numeric::rt_powd_snf(static_cast<double>(n) * r * numeric::rt_powd_snf(bundle, n - 1.0), 1.0 / n);
}

std::optional<double> coronaRadius(double cfo, double height)
{
    const double target = cfo / kCoronaGradient;
    const double twoH = 2.0 * height;
    // R ln(2h / R) grows from 0 at R = 0 to its greatest value 2h / e at
    // R = 2h / e; bisection to the last bit on that branch.
    double hi = twoH / std::exp(1.0);
    if (!(target < hi)) {
        return std::nullopt;
    }
    double lo = 0.0;
    for (;;) {
        const double mid = lo + (hi - lo) / 2.0;
        if (mid <= lo || mid >= hi) {
            break;
        }
        if (mid * std::log(twoH / mid) < target) {
            lo = mid;
        } else {
            hi = mid;
        }
    }
    return hi;
}

double surgeImpedance(double height, double rEq, double rCorona)
{
    return 60.0 * std::sqrt(std::log(2.0 * height / rEq) * std::log(2.0 * height / rCorona));
}

std::optional<double> criticalFlashoverVoltage(const Insulation& in)
{
    if (in.cfo) {
        return in.cfo;
    }
    if (in.insulationLength) {
        return kCfoGradient * *in.insulationLength;
    }
    return std::nullopt;
}

std::optional<double> criticalCurrent(const Insulation& in, double height)
{
    if (in.criticalCurrent) {
        return in.criticalCurrent;
    }
    const std::optional<double> cfo = criticalFlashoverVoltage(in);
    if (!cfo) {
        return std::nullopt;
    }
    if (in.surgeImpedance) {
        return 2.0 * *cfo / *in.surgeImpedance;
    }
    const int n = in.subconductors ? static_cast<int>(*in.subconductors) : 1;
    const double rEq = equivalentRadius(n, *in.conductorRadius, in.bundleRadius.value_or(0.0));
    const double rCorona = std::max(*coronaRadius(*cfo, height), rEq);
    return 2.0 * *cfo / surgeImpedance(height, rEq, rCorona);
}

std::string insulationError(const Insulation& in, double height)
{
    for (const auto& [range, x] :
         {std::pair{kCriticalCurrent, in.criticalCurrent}, std::pair{kCfo, in.cfo},
          std::pair{kInsulationLength, in.insulationLength}, std::pair{kSurgeImpedance, in.surgeImpedance}}) {
        if (std::string e = outOfRange(range, x); !e.empty()) {
            return e;
        }
    }
    if (in.criticalCurrent && (in.cfo || in.insulationLength)) {
        return valueText("critical-current", *in.criticalCurrent, " kA") + " and " +
               (in.cfo ? valueText("cfo", *in.cfo, " kV")
                       : valueText("insulation-length", *in.insulationLength, " m")) +
               ": give the critical current or the insulation, not both";
    }
    if (in.cfo && in.insulationLength) {
        return valueText("cfo", *in.cfo, " kV") + " and " +
               valueText("insulation-length", *in.insulationLength, " m") + ": give one of them";
    }
    if (std::string e = geometryError(in, height); !e.empty()) {
        return e;
    }
    const std::optional<double> cfo = criticalFlashoverVoltage(in);
    const bool geometry = in.conductorRadius.has_value();
    if (!cfo) {
        if (in.surgeImpedance || geometry) {
            return "surge-impedance and conductor-radius need the insulation's cfo or insulation-length";
        }
        return {};
    }
    if (!in.surgeImpedance && !geometry) {
        return valueText("cfo", *cfo, " kV") + ": needs the surge-impedance or the conductor-radius";
    }
    if (!in.surgeImpedance && !coronaRadius(*cfo, height)) {
        return valueText("cfo", *cfo, " kV") + ": its corona would reach beyond the conductor's height of " +
               shortestText(height) + " m";
    }
    return {};
}

double flashDensityOfThunderDays(double thunderDays)
{
    return 0.04 * numeric::rt_powd_snf(thunderDays, 1.25);
}

} // namespace egm::model
