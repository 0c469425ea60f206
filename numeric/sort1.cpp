#include "sort1.h"

#include <cstdint>

#include "rt_nonfinite.h"
#include "sortIdx.h"
#include "sort_with_index.h"

namespace egm::numeric {

void b_sort(double x[6])
{
    bool anyNaN = false;
    for (int k = 0; k < 6; ++k) {
        anyNaN |= rtIsNaN(x[k]);
    }
    if (anyNaN) {
        std::int32_t idx[6];
        sort_detail::sortWithIndex<6>(x, idx, b_merge);
        return;
    }
    // Without NaNs a straight insertion in place, each value going after
    // every value not greater than it, gives exactly the stable order of the
    // merge sort (+0 and -0 in input order included) in a fraction of its
    // work. b_sort runs once per stroke.
    for (int k = 1; k < 6; ++k) {
        const double value = x[k];
        int place = k;
        while (place > 0 && value < x[place - 1]) {
            x[place] = x[place - 1];
            --place;
        }
        x[place] = value;
    }
}

void sort(double x[32])
{
    for (int row = 0; row < 4; ++row) {
        double v[8];
        std::int32_t idx[8];
        for (int c = 0; c < 8; ++c) {
            v[c] = x[row + 4 * c];
        }
        sortIdx(v, idx);
        for (int c = 0; c < 8; ++c) {
            x[row + 4 * c] = v[c];
        }
    }
}

} // namespace egm::numeric
