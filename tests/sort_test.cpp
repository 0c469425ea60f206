// The stable sorts with NaNs last: values, their order on ties, each NaN's own
// bits, and the 1-based permutation.
#include <array>
#include <vector>

#include "bits.h"
#include "sort1.h"
#include "sortIdx.h"
#include "sort_with_index.h"

namespace {

using namespace egm::numeric;

const double kNegNaN = std::bit_cast<double>(0xFFF8000000000000u);
const double kPayloadNaN = std::bit_cast<double>(0x7FF8000000000123u);

void expectSameBitsAll(const double* expected, const double* actual, int n)
{
    for (int i = 0; i < n; ++i) {
        SCOPED_TRACE(i);
        EXPECT_SAME_BITS(expected[i], actual[i]);
    }
}

struct SixCase {
    const char* name;
    std::array<double, 6> in;
    std::array<double, 6> out;
    std::array<std::int32_t, 6> idx;
};

TEST(SortSix, StableAscendingNaNsLastWithPermutation)
{
    const SixCase cases[] = {
        {"NaNs in the middle", {3, kNaN, 1, 2, kNegNaN, 0}, {0, 1, 2, 3, kNaN, kNegNaN}, {6, 3, 4, 1, 2, 5}},
        {"+0 before -0", {0.0, -0.0, 1, 1, 1, 1}, {0.0, -0.0, 1, 1, 1, 1}, {1, 2, 3, 4, 5, 6}},
        {"-0 before +0", {-0.0, 0.0, 1, 1, 1, 1}, {-0.0, 0.0, 1, 1, 1, 1}, {1, 2, 3, 4, 5, 6}},
        {"infinities",
         {kInf, 1, -kInf, kNaN, 0, -kInf},
         {-kInf, -kInf, 0, 1, kInf, kNaN},
         {3, 6, 5, 2, 1, 4}},
        {"descending", {6, 5, 4, 3, 2, 1}, {1, 2, 3, 4, 5, 6}, {6, 5, 4, 3, 2, 1}},
        {"one NaN last", {2, 1, 2, 1, 2, kNaN}, {1, 1, 2, 2, 2, kNaN}, {2, 4, 1, 3, 5, 6}},
        {"three NaNs",
         {kNaN, 2, kPayloadNaN, 1, kNegNaN, 0},
         {0, 1, 2, kNaN, kPayloadNaN, kNegNaN},
         {6, 4, 2, 1, 3, 5}},
    };
    for (const SixCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::array<double, 6> x = c.in;
        std::array<std::int32_t, 6> idx{};
        sort_detail::sortWithIndex<6>(x.data(), idx.data(), b_merge);
        expectSameBitsAll(c.out.data(), x.data(), 6);
        EXPECT_EQ(idx, c.idx);

        std::array<double, 6> y = c.in;
        b_sort(y.data());
        expectSameBitsAll(c.out.data(), y.data(), 6);
    }
}

TEST(SortSix, AllNaNsKeepOrderSignAndPayload)
{
    std::array<double, 6> x = {kNegNaN, kPayloadNaN, kNaN, -kPayloadNaN, kNaN, kNegNaN};
    const std::array<double, 6> in = x;
    b_sort(x.data());
    expectSameBitsAll(in.data(), x.data(), 6);
}

struct EightCase {
    const char* name;
    std::array<double, 8> in;
    std::array<double, 8> out;
    std::array<std::int32_t, 8> idx;
};

TEST(SortEight, StableAscendingNaNsLastWithPermutation)
{
    const EightCase cases[] = {
        {"all equal", {2, 2, 2, 2, 2, 2, 2, 2}, {2, 2, 2, 2, 2, 2, 2, 2}, {1, 2, 3, 4, 5, 6, 7, 8}},
        {"descending", {8, 7, 6, 5, 4, 3, 2, 1}, {1, 2, 3, 4, 5, 6, 7, 8}, {8, 7, 6, 5, 4, 3, 2, 1}},
        {"NaNs and ties",
         {1, kNaN, 1, kNaN, 0, 0, 0, 1},
         {0, 0, 0, 1, 1, 1, kNaN, kNaN},
         {5, 6, 7, 1, 3, 8, 2, 4}},
        {"five values, three NaNs",
         {kNaN, 3, kNaN, 1, 2, kNaN, 0, -1},
         {-1, 0, 1, 2, 3, kNaN, kNaN, kNaN},
         {8, 7, 4, 5, 2, 1, 3, 6}},
        {"ties across the merge",
         {1, 0, 1, 0, 0, 1, 0, 1},
         {0, 0, 0, 0, 1, 1, 1, 1},
         {2, 4, 5, 7, 1, 3, 6, 8}},
    };
    for (const EightCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::array<double, 8> x = c.in;
        std::array<std::int32_t, 8> idx{};
        sortIdx(x.data(), idx.data());
        expectSameBitsAll(c.out.data(), x.data(), 8);
        EXPECT_EQ(idx, c.idx);
    }
}

TEST(SortRows, SortsEachRowOfTheColumnMajorMatrixAlone)
{
    double m[32];
    for (int c = 0; c < 8; ++c) {
        m[0 + 4 * c] = 5.0 - c; // row 0 descending
        for (int r = 1; r < 4; ++r) {
            m[r + 4 * c] = 10.0 * r + c; // other rows already ascending
        }
    }
    double expected[32];
    std::copy(m, m + 32, expected);
    for (int c = 0; c < 8; ++c) {
        expected[4 * c] = -2.0 + c;
    }
    sort(m);
    expectSameBitsAll(expected, m, 32);
}

TEST(Merge, TiesTakeTheLeftRunAndEmptyRightRunDoesNothing)
{
    double x[6] = {1, 2, 2, 1, 2, 3};
    std::int32_t idx[6] = {1, 2, 3, 4, 5, 6};
    double xw[6];
    std::int32_t iw[6];
    merge(idx, x, 0, 3, 3, iw, xw);
    const double ex[6] = {1, 1, 2, 2, 2, 3};
    const std::int32_t ei[6] = {1, 4, 2, 3, 5, 6};
    expectSameBitsAll(ex, x, 6);
    EXPECT_EQ(std::vector<std::int32_t>(idx, idx + 6), std::vector<std::int32_t>(ei, ei + 6));

    double y[3] = {3, 2, 1};
    std::int32_t iy[3] = {1, 2, 3};
    b_merge(iy, y, 0, 3, 0, iw, xw);
    EXPECT_EQ(y[0], 3.0);
    EXPECT_EQ(iy[0], 1);
}

} // namespace

namespace {

// b_sort takes a short road when no value is NaN; it must give the very bits
// of the merge sort, ties of +0 and -0 included, for every input.
TEST(SortSix, ShortRoadMatchesTheMergeSortBitForBit)
{
    const double pool[] = {-kInf, -2.5, -1.0, -0.0, 0.0, 1.0, 1.0, 3.0, kInf, kNaN};
    std::uint32_t state = 12345u;
    const auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return state >> 16;
    };
    for (int trial = 0; trial < 20000; ++trial) {
        std::array<double, 6> x;
        const int poolSize = trial % 2 == 0 ? 9 : 10; // every other trial may hold NaNs
        for (double& v : x) {
            v = pool[next() % poolSize];
        }
        std::array<double, 6> expected = x;
        std::array<std::int32_t, 6> idx{};
        sort_detail::sortWithIndex<6>(expected.data(), idx.data(), b_merge);
        std::array<double, 6> actual = x;
        b_sort(actual.data());
        for (int k = 0; k < 6; ++k) {
            ASSERT_EQ(bitsOf(expected[k]), bitsOf(actual[k])) << "trial " << trial << ", position " << k;
        }
    }
}

} // namespace
