// SPDX-License-Identifier: GPL-3.0-or-later
#include "table/Rounding.h"

#include <gtest/gtest.h>

using kyr::roundEven;
using kyr::roundTo;

TEST(Rounding, HalvesGoToEven)
{
    EXPECT_EQ(roundEven(2.5), 2);
    EXPECT_EQ(roundEven(3.5), 4);
    EXPECT_EQ(roundEven(12.5), 12);
    EXPECT_EQ(roundEven(13.5), 14);
    EXPECT_EQ(roundEven(-2.5), -2);
    EXPECT_EQ(roundEven(-3.5), -4);
    EXPECT_EQ(roundEven(2.4999), 2);
    EXPECT_EQ(roundEven(2.5001), 3);
}

TEST(Rounding, DecimalTiesAreTiesAtTwoAndOnePlaces)
{
    // 0.125 is exact in binary; 0.545 and 0.135 are not, yet they are decimal ties.
    EXPECT_DOUBLE_EQ(roundTo(0.125, 2), 0.12);
    EXPECT_DOUBLE_EQ(roundTo(0.135, 2), 0.14);
    EXPECT_DOUBLE_EQ(roundTo(0.545, 2), 0.54);
    EXPECT_DOUBLE_EQ(roundTo(0.25, 1), 0.2);
    EXPECT_DOUBLE_EQ(roundTo(0.35, 1), 0.4);
    EXPECT_DOUBLE_EQ(roundTo(1.0 / 3.0, 2), 0.33);
    EXPECT_DOUBLE_EQ(roundTo(-0.125, 2), -0.12);
}
