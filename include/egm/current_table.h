// A peak-current distribution given as data: a table of P(peak > I), as a
// lightning location system gives it. Currents in kA, densities per kA.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace egm {

// P(peak > I) through the points of a table, interpolated monotonically:
// a piecewise cubic Hermite curve whose slopes at the points are limited
// (Fritsch and Carlson 1980) so that it falls wherever the table falls and
// never overshoots a point (see current_table.cpp for the slopes). Below the first current P keeps the first
// probability, above the last the last: no stroke is counted there.
class CurrentTable {
  public:
    CurrentTable() = default;
    // The points must pass check.
    CurrentTable(std::vector<double> current, std::vector<double> probability);

    // What keeps the points from being a distribution, one line naming the
    // row (1-based); empty when they are one: at least two points, currents
    // finite, above 0 and strictly increasing, probabilities finite, within
    // [0, 1] and strictly decreasing.
    static std::string check(const std::vector<double>& current, const std::vector<double>& probability);
    // The same as a row (1-based; 0: the table as a whole) and its reason.
    struct Fault {
        std::size_t row = 0;
        std::string reason;
    };
    static std::optional<Fault> fault(const std::vector<double>& current,
                                      const std::vector<double>& probability);

    double exceedance(double current) const; // P(peak > current)
    double density(double current) const;    // -dP/dI, per kA; 0 outside the table
    bool empty() const { return current_.empty(); }
    const std::vector<double>& currents() const { return current_; }
    const std::vector<double>& probabilities() const { return probability_; }

  private:
    std::size_t segment(double current) const;

    std::vector<double> current_;
    std::vector<double> probability_;
    std::vector<double> slope_; // dP/dI at each point
};

} // namespace egm
