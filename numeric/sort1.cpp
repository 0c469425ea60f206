#include "sort1.h"

#include <cstdint>

#include "sortIdx.h"
#include "sort_with_index.h"

void b_sort(double x[6])
{
    std::int32_t idx[6];
    sort_detail::sortWithIndex<6>(x, idx, b_merge);
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
