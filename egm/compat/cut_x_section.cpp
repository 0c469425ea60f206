#include "cut_x_section.h"

namespace egm::model {

void cut_x_section(const Interval& shield, const Interval& interval, Interval& result)
{
    const double sL = shield.left;
    const double sR = shield.right;
    const double iL = interval.left;
    const double iR = interval.right;
    // Each comparison is kept strict or not as it stands here: the
    // touching cases decide which rule a shadow falls under.
    if (iL > sR) {
        result = {iL, iR};
    } else if (sR >= iL && iL >= sL && iR > sR) {
        result = {sR, iR};
    } else if (sR >= iR && iR > sL && sL > iL) {
        result = {iL, sL};
    } else if (sL >= iR) {
        result = {iL, iR};
    } else {
        result = {sR, sR};
    }
}

} // namespace egm::model
