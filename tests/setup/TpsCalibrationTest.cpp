// SPDX-License-Identifier: GPL-3.0-or-later
#include "setup/TpsCalibration.h"

#include <gtest/gtest.h>

using kyr::setup::ByteWrite;
using kyr::setup::TpsCalibration;

TEST(TpsCalibration, LeadsThroughBothPointsAndWritesThem)
{
    TpsCalibration cal;
    EXPECT_EQ(cal.prompt(), "");
    cal.start();
    EXPECT_EQ(cal.prompt(), "Release throttle completely and press F1");
    cal.reading(22);
    EXPECT_TRUE(cal.pressF1().empty());
    EXPECT_EQ(cal.prompt(), "Open throttle as far as possible and press F1");
    cal.reading(120);
    cal.reading(231);
    auto writes = cal.pressF1();
    EXPECT_EQ(writes, (std::vector<ByteWrite>{{38, 22}, {39, 231}}));
    EXPECT_EQ(writes[1].bytes(), (std::array<uint8_t, 3>{0xF2, 0x27, 231}));
    EXPECT_EQ(cal.prompt(), "TPS Calibrated. Please click OK to return to the SETUP tab");
    EXPECT_TRUE(cal.pressF1().empty());
}

TEST(TpsCalibration, ReadingsThatMakeNoSenseGiveTheErrorAndNoWrites)
{
    const std::string error = "Error...please try again or click CANCEL";
    TpsCalibration narrow;
    narrow.start();
    narrow.reading(100);
    narrow.pressF1();
    narrow.reading(110); // not open by the margin
    EXPECT_TRUE(narrow.pressF1().empty());
    EXPECT_EQ(narrow.prompt(), error);

    TpsCalibration stale; // no reading since the low point
    stale.start();
    stale.reading(20);
    stale.pressF1();
    EXPECT_TRUE(stale.pressF1().empty());
    EXPECT_EQ(stale.prompt(), error);

    TpsCalibration absent;
    absent.start();
    absent.reading(std::nullopt);
    EXPECT_TRUE(absent.pressF1().empty());
    EXPECT_EQ(absent.prompt(), error);

    TpsCalibration unfit;
    unfit.start();
    unfit.reading(10);
    unfit.pressF1();
    unfit.reading(254); // not a value the table can hold
    EXPECT_TRUE(unfit.pressF1().empty());
    EXPECT_EQ(unfit.prompt(), error);

    // F1 after the error starts again.
    unfit.pressF1();
    EXPECT_EQ(unfit.prompt(), "Release throttle completely and press F1");
    unfit.reading(10);
    unfit.pressF1();
    unfit.reading(200);
    EXPECT_EQ(unfit.pressF1().size(), 2u);
}
