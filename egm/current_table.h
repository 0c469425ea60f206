// Peak-current distributions given as data: the CIGRE two-part log-normal
// of first negative strokes, and a table of P(peak > I) from a lightning
// location system. Currents in kA, densities per kA.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace egm::model {

// The CIGRE distribution of first negative strokes' peak currents (CIGRE
// TB 63, after Anderson and Eriksson 1980): below 20 kA the log-normal of
// median 61.1 kA and sigma(ln I) 1.33, from 20 kA that of median 33.3 kA and
// sigma 0.605, each part's density as the log-normal it is.
double cigreDensity(double current);

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

    double exceedance(double current) const; // P(peak > current)
    double density(double current) const;    // -dP/dI, per kA; 0 outside the table

  private:
    std::size_t segment(double current) const;

    std::vector<double> current_;
    std::vector<double> probability_;
    std::vector<double> slope_; // dP/dI at each point
};

} // namespace egm::model
