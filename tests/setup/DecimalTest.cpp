// SPDX-License-Identifier: GPL-3.0-or-later
#include "setup/Decimal.h"

#include <gtest/gtest.h>

using namespace kyr::setup;

namespace {

Decimal dec(std::string_view text, std::string_view sep = ".")
{
    auto d = parseDecimal(text, sep);
    EXPECT_TRUE(d.has_value()) << text;
    return d.value_or(Decimal{});
}

long long x100(std::string_view text) { return scaleRound(dec(text), 100, 1); }

} // namespace

TEST(Decimal, IntegersAcceptOnlySignAndDigits)
{
    EXPECT_EQ(parseInteger("12"), 12);
    EXPECT_EQ(parseInteger("+7"), 7);
    EXPECT_EQ(parseInteger("-0"), 0);
    EXPECT_EQ(parseInteger("2147483647"), 2147483647);
    for (auto bad : {"", "-", "+", "1.5", "1e3", " 1", "1 ", "12a", "2147483648", "99999999999999999999"})
        EXPECT_FALSE(parseInteger(bad).has_value()) << bad;
}

TEST(Decimal, DecimalsUseTheGivenSeparator)
{
    EXPECT_EQ(dec("1.25").units, 1'250'000'000u);
    EXPECT_EQ(dec("1,25", ",").units, 1'250'000'000u);
    EXPECT_FALSE(parseDecimal("1.25", ",").has_value());
    EXPECT_EQ(dec(".5").units, 500'000'000u);
    EXPECT_EQ(dec("5.").units, 5'000'000'000u);
    EXPECT_EQ(dec("1.5e2").units, 150'000'000'000u);
    EXPECT_EQ(dec("15E-1").units, 1'500'000'000u);
    EXPECT_TRUE(dec("-2.5").negative);
    for (auto bad : {"", ".", "-", "1.2.3", "1e", "1e+", "e5", "1..2", "abc", " 1", "1 "})
        EXPECT_FALSE(parseDecimal(bad, ".").has_value()) << bad;
}

TEST(Decimal, DigitsBeyondTheKeptOnesStillCount)
{
    Decimal d = dec("0.5450000000001");
    EXPECT_EQ(d.units, 545'000'000u);
    EXPECT_TRUE(d.sticky);
    EXPECT_TRUE(dec("99999999999").huge);
    EXPECT_TRUE(dec("1e10").huge);
    EXPECT_TRUE(dec("1e-30").sticky);
    EXPECT_TRUE(dec("000.000").isZero());
}

TEST(Decimal, TiesAreJudgedOnTheTypedDecimal)
{
    EXPECT_EQ(x100("0.545"), 54); // a binary double would give 55
    EXPECT_EQ(x100("0.555"), 56);
    EXPECT_EQ(x100("0.5450000000001"), 55);
    EXPECT_EQ(x100("0.544999999999"), 54);
    EXPECT_EQ(scaleRound(dec("1.25"), 2, 1), 2);
    EXPECT_EQ(scaleRound(dec("1.75"), 2, 1), 4);
    EXPECT_EQ(scaleRound(dec("3050"), 1, 100), 30);
    EXPECT_EQ(scaleRound(dec("3150"), 1, 100), 32);
    EXPECT_EQ(scaleRound(dec("3050.5"), 1, 100), 31);
    EXPECT_EQ(scaleRound(dec("2.5"), 1, 1), 2);
}

TEST(Decimal, RangesAreExact)
{
    EXPECT_TRUE(inRange(dec("3"), 0, 3));
    EXPECT_FALSE(inRange(dec("3.0000000000001"), 0, 3));
    EXPECT_TRUE(inRange(dec("-0"), 0, 3));
    EXPECT_FALSE(inRange(dec("-0.0000000001"), 0, 3));
    EXPECT_FALSE(inRange(dec("1e12"), 0, 10000));
    EXPECT_TRUE(inRange(decimalOf(12), 1, 12));
    EXPECT_FALSE(inRange(decimalOf(0), 1, 12));
}

TEST(Decimal, FractionsPrintShortest)
{
    EXPECT_EQ(formatFraction(5, 2, "."), "2.5");
    EXPECT_EQ(formatFraction(4, 2, "."), "2");
    EXPECT_EQ(formatFraction(45, 100, "."), "0.45");
    EXPECT_EQ(formatFraction(50, 100, ","), "0,5");
    EXPECT_EQ(formatFraction(253, 10, "."), "25.3");
    EXPECT_EQ(formatFraction(-1, 10, "."), "-0.1");
}
