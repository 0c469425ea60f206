// Non-finite constants, their tests, and the safe power and arctangent with
// their ordered special-case rules.
#include <cfloat>
#include <cmath>

#include "bits.h"
#include "circleCrosspoint_initialize.h"
#include "rtGetInf.h"
#include "rtGetNaN.h"
#include "rt_nonfinite.h"
#include "rt_safe_math.h"

static_assert(FLT_EVAL_METHOD == 0, "doubles must be evaluated in double precision, not wider");

namespace {

using namespace egm::numeric;

constexpr double kHalfPi = 1.5707963267948966;

TEST(NonFiniteConstants, HaveTheirBitPatternsAfterInitialisation)
{
    circleCrosspoint_initialize();
    circleCrosspoint_initialize(); // a second start writes the same values
    EXPECT_EQ(bitsOf(rtNaN), 0xFFF8000000000000u);
    EXPECT_EQ(bitsOf(rtInf), 0x7FF0000000000000u);
    EXPECT_EQ(bitsOf(rtMinusInf), 0xFFF0000000000000u);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(rtNaNF), 0xFFC00000u);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(rtInfF), 0x7F800000u);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(rtMinusInfF), 0xFF800000u);
}

TEST(NonFiniteConstants, GettersBuildThePatterns)
{
    EXPECT_EQ(bitsOf(rtGetNaN()), 0xFFF8000000000000u);
    EXPECT_EQ(bitsOf(rtGetInf()), 0x7FF0000000000000u);
    EXPECT_EQ(bitsOf(rtGetMinusInf()), 0xFFF0000000000000u);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(rtGetNaNF()), 0xFFC00000u);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(rtGetInfF()), 0x7F800000u);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(rtGetMinusInfF()), 0xFF800000u);
}

TEST(NonFiniteTests, ClassifyEveryKindOfValue)
{
    struct Case {
        double x;
        bool nan;
        bool inf;
    };
    const Case cases[] = {
        {0.0, false, false},  {-0.0, false, false}, {1.0, false, false},
        {1e30, false, false}, {kInf, false, true},  {-kInf, false, true},
        {kNaN, true, false},  {-kNaN, true, false}, {std::bit_cast<double>(0x7FF0000000000001u), true, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(rtIsNaN(c.x), c.nan) << describe(c.x);
        EXPECT_EQ(rtIsInf(c.x), c.inf) << describe(c.x);
        EXPECT_EQ(rtIsNaNF(static_cast<float>(c.x)), c.nan) << describe(c.x);
        EXPECT_EQ(rtIsInfF(static_cast<float>(c.x)), c.inf) << describe(c.x);
    }
}

struct PowCase {
    const char* rule;
    double base;
    double exponent;
    double expected; // compared bit for bit; any NaN matches
};

TEST(SafePower, FollowsItsRulesInOrder)
{
    const PowCase cases[] = {
        {"NaN base", kNaN, 2.0, kNaN},
        {"NaN exponent", 2.0, kNaN, kNaN},
        {"NaN base, zero exponent", kNaN, 0.0, kNaN},
        {"|1| to +inf", 1.0, kInf, kNaN},
        {"|-1| to -inf", -1.0, -kInf, kNaN},
        {"2 to +inf", 2.0, kInf, kInf},
        {"2 to -inf", 2.0, -kInf, 0.0},
        {"-3 to -inf", -3.0, -kInf, 0.0},
        {"0.5 to +inf", 0.5, kInf, 0.0},
        {"0.5 to -inf", 0.5, -kInf, kInf},
        {"0 to -inf", 0.0, -kInf, kInf},
        {"inf to +0", kInf, 0.0, 1.0},
        {"-inf to -0", -kInf, -0.0, 1.0},
        {"-0 to +0", -0.0, 0.0, 1.0},
        {"x to 1 keeps -0", -0.0, 1.0, -0.0},
        {"x to 1", 3.25, 1.0, 3.25},
        {"+0 to -1", 0.0, -1.0, kInf},
        {"-0 to -1", -0.0, -1.0, -kInf},
        {"4 to -1 is the quotient", 4.0, -1.0, 0.25},
        {"square is the product", 0.1, 2.0, 0.1 * 0.1},
        {"square of a negative", -3.0, 2.0, 9.0},
        {"root of -0 is -0", -0.0, 0.5, -0.0},
        {"root of +inf", kInf, 0.5, kInf},
        {"root is sqrt", 2.0, 0.5, std::sqrt(2.0)},
        {"root of a negative", -4.0, 0.5, kNaN},
        {"root of -inf", -kInf, 0.5, kNaN},
        {"negative base, cube root", -8.0, 1.0 / 3.0, kNaN},
        {"negative base, integral exponent", -2.0, 3.0, -8.0},
        {"pow otherwise", 23.5, 0.578, std::pow(23.5, 0.578)},
    };
    for (const PowCase& c : cases) {
        SCOPED_TRACE(c.rule);
        EXPECT_SAME_DOUBLE(c.expected, rt_powd_snf(c.base, c.exponent));
    }
    EXPECT_SAME_BITS(rtNaN, rt_powd_snf(kNaN, 1.0)); // the layer's own NaN, not the input's
}

TEST(SafeArctangent, FollowsItsRulesInOrder)
{
    const PowCase cases[] = {
        {"+0, +0", 0.0, 0.0, 0.0},
        {"-0, -0", -0.0, -0.0, 0.0},
        {"+0, -0", 0.0, -0.0, 0.0},
        {"-0, +0", -0.0, 0.0, 0.0},
        {"1, -0", 1.0, -0.0, kHalfPi},
        {"-3, +0", -3.0, 0.0, -kHalfPi},
        {"inf, 0", kInf, 0.0, kHalfPi},
        {"0, -1 is atan2", 0.0, -1.0, std::atan2(0.0, -1.0)},
        {"-0, -1 is atan2", -0.0, -1.0, std::atan2(-0.0, -1.0)},
        {"inf, inf", kInf, kInf, std::atan2(1.0, 1.0)},
        {"inf, -inf", kInf, -kInf, std::atan2(1.0, -1.0)},
        {"-inf, -inf", -kInf, -kInf, std::atan2(-1.0, -1.0)},
        {"-inf, inf", -kInf, kInf, std::atan2(-1.0, 1.0)},
        {"NaN, 0", kNaN, 0.0, kNaN},
        {"0, NaN", 0.0, kNaN, kNaN},
        {"3, 4", 3.0, 4.0, std::atan2(3.0, 4.0)},
    };
    for (const PowCase& c : cases) {
        SCOPED_TRACE(c.rule);
        EXPECT_SAME_DOUBLE(c.expected, rt_atan2d_snf(c.base, c.exponent));
    }
}

} // namespace
