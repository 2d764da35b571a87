// SPDX-License-Identifier: GPL-3.0-or-later
#include "live/GaugeLimits.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace kyr::live;
using kyr::ErrorKind;

namespace {

const GaugeScale Battery{"Battery", 8, 16, 1};
const GaugeLimits BothEnds{11, 12, 14.8, 15.5};

std::string refusal(const GaugeLimits& l)
{
    const auto s = validateLimits(Battery, l);
    EXPECT_FALSE(s.ok());
    if (s.ok())
        return {};
    EXPECT_EQ(s.error().kind, ErrorKind::BadValue);
    return s.error().message;
}

} // namespace

TEST(GaugeLimits, ZonesAtEitherEndDangerWinning)
{
    EXPECT_EQ(zoneOf(BothEnds, 13.8), GaugeZone::Normal);
    EXPECT_EQ(zoneOf(BothEnds, 12.0), GaugeZone::Warning) << "a limit takes the value on it";
    EXPECT_EQ(zoneOf(BothEnds, 11.5), GaugeZone::Warning);
    EXPECT_EQ(zoneOf(BothEnds, 11.0), GaugeZone::Danger);
    EXPECT_EQ(zoneOf(BothEnds, 8.0), GaugeZone::Danger);
    EXPECT_EQ(zoneOf(BothEnds, 14.8), GaugeZone::Warning);
    EXPECT_EQ(zoneOf(BothEnds, 15.49), GaugeZone::Warning);
    EXPECT_EQ(zoneOf(BothEnds, 16.0), GaugeZone::Danger);

    const GaugeLimits hot{std::nullopt, std::nullopt, 100, 110}; // water temperature: high end only
    EXPECT_EQ(zoneOf(hot, -40), GaugeZone::Normal);
    EXPECT_EQ(zoneOf(hot, 105), GaugeZone::Warning);
    EXPECT_EQ(zoneOf(hot, 120), GaugeZone::Danger);
    const GaugeLimits dangerOnly{std::nullopt, 0.2, std::nullopt, std::nullopt};
    EXPECT_EQ(zoneOf(dangerOnly, 0.1), GaugeZone::Warning);
    EXPECT_EQ(zoneOf(GaugeLimits{}, 1e9), GaugeZone::Normal) << "no limits, no zones";
}

TEST(GaugeLimits, ValidationKeepsDangerBeyondWarningAndInsideTheScale)
{
    EXPECT_TRUE(validateLimits(Battery, BothEnds).ok());
    EXPECT_TRUE(validateLimits(Battery, {}).ok());
    EXPECT_TRUE(validateLimits(Battery, {8, std::nullopt, std::nullopt, 16}).ok()) << "the scale's ends are inside";

    EXPECT_EQ(refusal({11, 12, 15.5, 14.8}),
              "Battery: the high danger limit 14.8 must lie above the high warning limit 15.5");
    EXPECT_EQ(refusal({12.5, 12, 14.8, 15.5}),
              "Battery: the low warning limit 12.0 must lie above the low danger limit 12.5");
    EXPECT_EQ(refusal({11, 12, 12, 15.5}), "Battery: the high warning limit 12.0 must lie above the low warning limit 12.0");
    EXPECT_NE(refusal({std::nullopt, 13, std::nullopt, 12.5}).find("high danger"), std::string::npos)
        << "a low limit above a high one is caught across the unused ones";
    EXPECT_EQ(refusal({7, 12, 14.8, 15.5}), "Battery: the low danger limit 7.0 is outside the scale 8.0 to 16.0");
    EXPECT_NE(refusal({11, 12, 14.8, 17}).find("outside the scale"), std::string::npos);
    EXPECT_NE(refusal({11, 12, 14.8, std::nan("")}).find("high danger"), std::string::npos);
}

TEST(GaugeLimits, SettingsTextRoundTripsAndRefusesBadText)
{
    for (const GaugeLimits& l : {BothEnds, GaugeLimits{}, GaugeLimits{std::nullopt, 12.25, std::nullopt, 15}}) {
        const auto back = parseLimits(Battery, limitsText(l));
        ASSERT_TRUE(back.ok()) << limitsText(l);
        EXPECT_EQ(back.value(), l);
    }
    EXPECT_EQ(limitsText(BothEnds), "11;12;14.8;15.5");
    EXPECT_EQ(limitsText({}), ";;;");

    for (const char* bad : {"", "11;12;14.8", "11;12;14.8;15.5;16", "11;x;14.8;15.5", "11;12 ;14.8;15.5",
                            "11;12;15.5;14.8", "1;12;14.8;15.5"}) {
        const auto r = parseLimits(Battery, bad);
        ASSERT_FALSE(r.ok()) << bad;
        EXPECT_EQ(r.error().kind, ErrorKind::BadValue);
        EXPECT_EQ(r.error().message.rfind("Battery: ", 0), 0u) << r.error().message;
    }
}
