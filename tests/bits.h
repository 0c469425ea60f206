// Exact comparison of doubles for the tests: bit patterns, so +0 and -0
// differ; any NaN equals any NaN unless the test asks for the NaN's own bits.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <gtest/gtest.h>
#include <string>

inline std::uint64_t bitsOf(double x)
{
    return std::bit_cast<std::uint64_t>(x);
}

inline std::string describe(double x)
{
    char text[80];
    std::snprintf(text, sizeof text, "%a (%.17g)", x, x);
    return text;
}

inline ::testing::AssertionResult sameDouble(const char* expectedText, const char* actualText,
                                             double expected, double actual)
{
    if ((std::isnan(expected) && std::isnan(actual)) || bitsOf(expected) == bitsOf(actual)) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << actualText << " is " << describe(actual) << ", expected "
                                         << expectedText << " = " << describe(expected);
}

inline ::testing::AssertionResult sameBits(const char* expectedText, const char* actualText, double expected,
                                           double actual)
{
    if (bitsOf(expected) == bitsOf(actual)) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << actualText << " is " << describe(actual) << ", expected "
                                         << expectedText << " = " << describe(expected);
}

// Bit-for-bit, with any NaN matching any NaN.
#define EXPECT_SAME_DOUBLE(expected, actual) EXPECT_PRED_FORMAT2(sameDouble, expected, actual)
// Bit-for-bit, NaN payload and sign included.
#define EXPECT_SAME_BITS(expected, actual) EXPECT_PRED_FORMAT2(sameBits, expected, actual)

inline constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
inline constexpr double kInf = std::numeric_limits<double>::infinity();
