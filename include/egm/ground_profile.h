// The ground across the line as a profile: points (x, elevation, cover)
// from left to right, the surface straight between them and level beyond
// the first and the last. The tower stands at x = 0 on the elevation there.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace egm {

struct GroundPoint {
    double x = 0.0;         // m, across the line, positive towards +x
    double elevation = 0.0; // m, any datum
    double cover = 0.0;     // m, trees or buildings standing there, 0 or more

    bool operator==(const GroundPoint&) const = default;
};

// A profile needs at least two points, x strictly increasing, the first at
// or left of 0 and the last at or right of it; at most kMaxProfilePoints.
inline constexpr std::size_t kMaxProfilePoints = 10000;
inline constexpr double kMaxProfileValue = 1.0e6; // m, |x|, |elevation| and cover

class GroundProfile {
  public:
    GroundProfile() = default;
    // The points must pass fault.
    explicit GroundProfile(std::vector<GroundPoint> points);

    // What keeps the points from being a profile: the row (1-based; 0 the
    // profile as a whole) and the reason; none when they are one.
    struct Fault {
        std::size_t row = 0;
        std::string reason;
    };
    static std::optional<Fault> fault(const std::vector<GroundPoint>& points);

    // No profile: the ground is the plane (sloped or not) of the inputs.
    bool empty() const { return points().empty(); }
    const std::vector<GroundPoint>& points() const;

    // The ground's elevation and the surface's (elevation and cover), m.
    double elevationAt(double x) const;
    double surfaceAt(double x) const;
    // The elevation under the tower, x = 0: the datum of the wires' heights.
    double base() const { return elevationAt(0.0); }
    // Whether the surface is one level (same elevation and cover at every
    // point).
    bool level() const { return level_; }
    // The mean steepness |d surface / dx| over [from, to], from < to.
    double meanSteepness(double from, double to) const;

    // The same points; copies of one profile compare at once.
    bool operator==(const GroundProfile& other) const;

  private:
    // Shared by copies; null for no profile.
    std::shared_ptr<const std::vector<GroundPoint>> points_;
    bool level_ = true; // as no points are
};

} // namespace egm
