// Angles and sentinels of the model, as the exact doubles it uses.
#pragma once

namespace egm::model {

inline constexpr double kPi = 3.141592653589793;
inline constexpr double kTwoPi = 6.283185307179586;      // 2 * kPi, exactly
inline constexpr double kHalfPi = 1.5707963267948966;    // double nearest pi/2
inline constexpr double kThreeHalfPi = 4.71238898038469; // double nearest 3pi/2
// Coordinate by which two circles that do not cross report it.
inline constexpr double kNoCrossing = -1000.0;
// A point counts as inside a circle only when it is this far inside, metres.
inline constexpr double kInsideTolerance = 1e-12;

} // namespace egm::model
