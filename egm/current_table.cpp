#include "egm/current_table.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "egm/input_table.h"
#include "egm_constants.h"

namespace egm {

namespace {

double logNormalDensity(double current, double median, double sigma)
{
    const double z = (std::log(current) - std::log(median)) / sigma;
    return std::exp(-0.5 * z * z) / (current * sigma * std::sqrt(2.0 * model::kPi));
}

// Slopes that keep each cubic piece monotone (Fritsch and Carlson 1980):
// inside, the neighbouring secants' harmonic mean weighted by the intervals
// (Fritsch and Butland 1984) where they fall alike, 0 at a turn; at the ends the one-sided
// three-point slope, limited to three times the secant and to the secant's
// sign.
std::vector<double> monotoneSlopes(const std::vector<double>& x, const std::vector<double>& y)
{
    const std::size_t n = x.size();
    std::vector<double> h(n - 1);
    std::vector<double> secant(n - 1);
    for (std::size_t k = 0; k + 1 < n; ++k) {
        h[k] = x[k + 1] - x[k];
        secant[k] = (y[k + 1] - y[k]) / h[k];
    }
    std::vector<double> m(n, 0.0);
    if (n == 2) {
        m[0] = m[1] = secant[0];
        return m;
    }
    for (std::size_t k = 1; k + 1 < n; ++k) {
        const double a = secant[k - 1];
        const double b = secant[k];
        if (a * b > 0.0) {
            const double w1 = 2.0 * h[k] + h[k - 1];
            const double w2 = h[k] + 2.0 * h[k - 1];
            m[k] = (w1 + w2) / (w1 / a + w2 / b);
        }
    }
    const auto end = [](double h0, double h1, double d0, double d1) {
        double s = ((2.0 * h0 + h1) * d0 - h0 * d1) / (h0 + h1);
        if (s * d0 <= 0.0) {
            s = 0.0;
        } else if (d0 * d1 <= 0.0 && std::fabs(s) > std::fabs(3.0 * d0)) {
            s = 3.0 * d0;
        }
        return s;
    };
    m[0] = end(h[0], h[1], secant[0], secant[1]);
    m[n - 1] = end(h[n - 2], h[n - 3], secant[n - 2], secant[n - 3]);
    return m;
}

} // namespace

CurrentTable::CurrentTable(std::vector<double> current, std::vector<double> probability)
    : current_(std::move(current)), probability_(std::move(probability)),
      slope_(monotoneSlopes(current_, probability_))
{
}

std::optional<CurrentTable::Fault> CurrentTable::fault(const std::vector<double>& current,
                                                       const std::vector<double>& probability)
{
    if (current.size() != probability.size() || current.size() < 2) {
        return Fault{0, "a current table needs at least two rows of current and probability"};
    }
    for (std::size_t k = 0; k < current.size(); ++k) {
        const double i = current[k];
        const double p = probability[k];
        const auto at = [&](std::string reason) { return Fault{k + 1, std::move(reason)}; };
        if (!std::isfinite(i) || i <= 0.0) {
            return at("current " + shortestText(i) + " kA: must be a finite number greater than 0 kA");
        }
        if (!std::isfinite(p) || p < 0.0 || p > 1.0) {
            return at("probability " + shortestText(p) + ": must lie between 0 and 1");
        }
        if (k > 0 && i <= current[k - 1]) {
            return at("current " + shortestText(i) + " kA: the currents must increase strictly");
        }
        if (k > 0 && p >= probability[k - 1]) {
            return at("probability " + shortestText(p) +
                      ": P(peak > I) must fall strictly as the current rises");
        }
    }
    return std::nullopt;
}

std::string CurrentTable::check(const std::vector<double>& current, const std::vector<double>& probability)
{
    const std::optional<Fault> f = fault(current, probability);
    if (!f) {
        return {};
    }
    return f->row == 0 ? f->reason : "row " + std::to_string(f->row) + ": " + f->reason;
}

std::size_t CurrentTable::segment(double current) const
{
    const auto it = std::upper_bound(current_.begin(), current_.end(), current);
    const std::size_t k = static_cast<std::size_t>(it - current_.begin());
    return std::clamp<std::size_t>(k, 1, current_.size() - 1) - 1;
}

double CurrentTable::exceedance(double current) const
{
    if (current <= current_.front()) {
        return probability_.front();
    }
    if (current >= current_.back()) {
        return probability_.back();
    }
    const std::size_t k = segment(current);
    const double h = current_[k + 1] - current_[k];
    const double t = (current - current_[k]) / h;
    const double t2 = t * t;
    const double t3 = t2 * t;
    return (2.0 * t3 - 3.0 * t2 + 1.0) * probability_[k] + (t3 - 2.0 * t2 + t) * h * slope_[k] +
           (-2.0 * t3 + 3.0 * t2) * probability_[k + 1] + (t3 - t2) * h * slope_[k + 1];
}

double CurrentTable::density(double current) const
{
    if (current < current_.front() || current > current_.back()) {
        return 0.0;
    }
    const std::size_t k = segment(current);
    const double h = current_[k + 1] - current_[k];
    const double t = (current - current_[k]) / h;
    const double t2 = t * t;
    const double slope = (6.0 * t2 - 6.0 * t) / h * probability_[k] + (3.0 * t2 - 4.0 * t + 1.0) * slope_[k] +
                         (-6.0 * t2 + 6.0 * t) / h * probability_[k + 1] +
                         (3.0 * t2 - 2.0 * t) * slope_[k + 1];
    return -slope;
}

namespace model {

double cigreDensity(double current)
{
    if (current < 20.0) {
        return logNormalDensity(current, 61.1, 1.33);
    }
    return logNormalDensity(current, 33.3, 0.605);
}

} // namespace model

} // namespace egm
