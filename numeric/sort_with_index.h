// The merge sort behind b_sort and sortIdx: groups of four ordered by a
// sorting network, NaNs gathered at the tail in scan order, then the sorted
// runs merged. Every decision is a strict less-than, so equal values keep
// their input order.
#pragma once

#include <cstdint>

#include "rt_nonfinite.h"

namespace egm::numeric {

namespace sort_detail {

// Order of up to four values of the group buffer (0-based slots), earlier
// slot first on ties.
inline void orderGroup(const double a[4], int g, int order[4])
{
    if (g == 4) {
        int i1 = 0, i2 = 1, i3 = 2, i4 = 3;
        if (a[1] < a[0]) {
            i1 = 1;
            i2 = 0;
        }
        if (a[3] < a[2]) {
            i3 = 3;
            i4 = 2;
        }
        if (a[i3] < a[i1]) {
            if (a[i4] < a[i1]) {
                order[0] = i3, order[1] = i4, order[2] = i1, order[3] = i2;
            } else if (a[i4] < a[i2]) {
                order[0] = i3, order[1] = i1, order[2] = i4, order[3] = i2;
            } else {
                order[0] = i3, order[1] = i1, order[2] = i2, order[3] = i4;
            }
        } else if (a[i3] < a[i2]) {
            if (a[i4] < a[i2]) {
                order[0] = i1, order[1] = i3, order[2] = i4, order[3] = i2;
            } else {
                order[0] = i1, order[1] = i3, order[2] = i2, order[3] = i4;
            }
        } else {
            order[0] = i1, order[1] = i2, order[2] = i3, order[3] = i4;
        }
    } else if (g == 3) {
        if (a[1] < a[0]) {
            if (a[2] < a[0]) {
                if (a[2] < a[1]) {
                    order[0] = 2, order[1] = 1, order[2] = 0;
                } else {
                    order[0] = 1, order[1] = 2, order[2] = 0;
                }
            } else {
                order[0] = 1, order[1] = 0, order[2] = 2;
            }
        } else if (a[2] < a[1]) {
            if (a[2] < a[0]) {
                order[0] = 2, order[1] = 0, order[2] = 1;
            } else {
                order[0] = 0, order[1] = 2, order[2] = 1;
            }
        } else {
            order[0] = 0, order[1] = 1, order[2] = 2;
        }
    } else if (g == 2) {
        if (a[1] < a[0]) {
            order[0] = 1, order[1] = 0;
        } else {
            order[0] = 0, order[1] = 1;
        }
    } else {
        order[0] = 0;
    }
}

inline void mergeRuns(std::int32_t idx[], double x[], std::int32_t offset, std::int32_t np, std::int32_t nq,
                      std::int32_t iwork[], double xwork[])
{
    if (nq == 0) {
        return;
    }
    const std::int32_t n = np + nq;
    for (std::int32_t j = 0; j < n; ++j) {
        iwork[j] = idx[offset + j];
        xwork[j] = x[offset + j];
    }
    std::int32_t p = 0;
    std::int32_t q = np;
    std::int32_t o = offset;
    for (;;) {
        if (xwork[q] < xwork[p]) {
            idx[o] = iwork[q];
            x[o] = xwork[q];
            if (q == n - 1) {
                for (std::int32_t j = p; j < np; ++j) {
                    ++o;
                    idx[o] = iwork[j];
                    x[o] = xwork[j];
                }
                return;
            }
            ++q;
        } else {
            idx[o] = iwork[p];
            x[o] = xwork[p];
            if (p == np - 1) {
                return; // the rest of the right run already lies in place
            }
            ++p;
        }
        ++o;
    }
}

template <int N, typename Merge> void sortWithIndex(double x[N], std::int32_t idx[N], Merge mergeFn)
{
    double xwork[N] = {};
    std::int32_t iwork[N] = {};
    double group[4] = {};
    std::int32_t groupPos[4] = {};
    for (int k = 0; k < N; ++k) {
        idx[k] = 0;
    }
    int nNaN = 0;
    int g = 0;
    for (int k = 1; k <= N; ++k) {
        const double value = x[k - 1];
        if (rtIsNaN(value)) {
            ++nNaN;
            idx[N - nNaN] = k;
            xwork[N - nNaN] = value;
        } else {
            group[g] = value;
            groupPos[g] = k;
            ++g;
            if (g == 4) {
                int order[4];
                orderGroup(group, 4, order);
                const int c = k - nNaN;
                for (int j = 0; j < 4; ++j) {
                    x[c - 4 + j] = group[order[j]];
                    idx[c - 4 + j] = groupPos[order[j]];
                }
                g = 0;
            }
        }
    }
    const int m = N - nNaN;
    if (g > 0) {
        int order[4];
        orderGroup(group, g, order);
        for (int j = 0; j < g; ++j) {
            x[m - g + j] = group[order[j]];
            idx[m - g + j] = groupPos[order[j]];
        }
    }
    // The NaNs were stored from the back; turn the tail round so that it
    // holds them in scan order.
    for (int j = 1; j <= nNaN / 2; ++j) {
        const std::int32_t t = idx[m + j - 1];
        idx[m + j - 1] = idx[N - j];
        idx[N - j] = t;
        x[m + j - 1] = xwork[N - j];
        x[N - j] = xwork[m + j - 1];
    }
    if (nNaN % 2 == 1) {
        const int middle = m + nNaN / 2; // 0-based
        x[middle] = xwork[middle];
    }
    if (m > 1) {
        for (int j = 0; j < N; ++j) {
            iwork[j] = 0;
        }
        std::int32_t len = 4;
        std::int32_t blocks = m / 4;
        while (blocks > 1) {
            if (blocks % 2 == 1) {
                --blocks;
                const std::int32_t tail = len * blocks;
                const std::int32_t nTail = m - tail;
                if (nTail > len) {
                    mergeFn(idx, x, tail, len, nTail - len, iwork, xwork);
                }
            }
            const std::int32_t width = 2 * len;
            blocks /= 2;
            for (std::int32_t j = 1; j <= blocks; ++j) {
                mergeFn(idx, x, (j - 1) * width, len, len, iwork, xwork);
            }
            len = width;
        }
        if (m > len) {
            mergeFn(idx, x, 0, len, m - len, iwork, xwork);
        }
    }
}

} // namespace sort_detail

} // namespace egm::numeric
