// SPDX-License-Identifier: GPL-3.0-or-later
#include "live/LiveState.h"

#include <gtest/gtest.h>

using namespace kyr::live;
using kyr::table::ChartId;

namespace {

LiveValues engineAt(double rpm, double kpa)
{
    LiveValues v;
    v.set(LiveField::Rpm, rpm);
    v.set(LiveField::Vacuum, kpa);
    v.set(LiveField::Timing, 24.5);
    v.set(LiveField::Lambda, 0.45);
    v.set(LiveField::Battery, 13.8);
    v.set(LiveField::InjectorDuty, 12.5);
    v.set(LiveField::WaterTemp, 85);
    v.set(LiveField::AirTemp, 25);
    v.set(LiveField::Throttle, 125);
    v.set(LiveField::Pot, 50);
    return v;
}

} // namespace

TEST(LiveState, OperatingPointOnEveryChartInItsAxisUnits)
{
    const LiveValues v = engineAt(3450, 62);
    EXPECT_DOUBLE_EQ(*liveChartX(ChartId::Timing, v), 34.5);
    EXPECT_DOUBLE_EQ(*liveChartX(ChartId::FuelRpm, v), 34.5);
    EXPECT_DOUBLE_EQ(*liveChartX(ChartId::Vacuum, v), 0.62) << "kPa to bar";
    EXPECT_DOUBLE_EQ(*liveChartX(ChartId::FuelVac, v), 0.62);
    EXPECT_DOUBLE_EQ(*liveChartX(ChartId::Temp, v), 85);
    EXPECT_DOUBLE_EQ(*liveChartX(ChartId::AirTmp, v), 25);
    EXPECT_DOUBLE_EQ(*liveChartX(ChartId::Voltage, v), 13.8);
}

TEST(LiveState, TrackingMovesOnlyTheRpmAndVacuumCursors)
{
    const LiveValues v = engineAt(900, 30);
    EXPECT_DOUBLE_EQ(*trackingCursorX(ChartId::Timing, v), 9.0);
    EXPECT_DOUBLE_EQ(*trackingCursorX(ChartId::FuelRpm, v), 9.0);
    EXPECT_DOUBLE_EQ(*trackingCursorX(ChartId::Vacuum, v), 0.3);
    EXPECT_FALSE(trackingCursorX(ChartId::Temp, v));
    EXPECT_FALSE(trackingCursorX(ChartId::AirTmp, v));
    EXPECT_FALSE(trackingCursorX(ChartId::Voltage, v));
    EXPECT_EQ(trackedCharts().size(), 3u);
}

TEST(LiveState, MissingReadingsMoveNothing)
{
    LiveValues v; // the unit gave no reading at all
    for (int c = 0; c < kyr::table::ChartCount; ++c) {
        EXPECT_FALSE(liveChartX(static_cast<ChartId>(c), v));
        EXPECT_FALSE(trackingCursorX(static_cast<ChartId>(c), v));
    }
    for (const auto& g : gaugeTable())
        EXPECT_FALSE(gaugeValue(g.gauge, v)) << g.unit;
}

TEST(LiveState, GaugesShowTheMonitorUnits)
{
    const LiveValues v = engineAt(3450, 62);
    ASSERT_EQ(gaugeTable().size(), static_cast<size_t>(GaugeCount));
    EXPECT_EQ(gaugeTable()[0].unit, "RPM x 100");
    EXPECT_EQ(gaugeDef(Gauge::Celsius).unit, "\u00b0C"); // the degree sign, not the ordinal "\u00ba"
    for (int i = 0; i < GaugeCount; ++i) {
        const GaugeDef& d = gaugeTable()[i];
        EXPECT_EQ(&gaugeDef(d.gauge), &d);
        EXPECT_TRUE(validateLimits(d.scale(), d.limits).ok()) << d.key << ": the defaults are a valid set";
    }
    EXPECT_DOUBLE_EQ(*gaugeValue(Gauge::RpmHundreds, v), 34.5);
    EXPECT_DOUBLE_EQ(*gaugeValue(Gauge::KpaTens, v), 6.2);
    EXPECT_NEAR(*gaugeValue(Gauge::AirFuel, v), 14.7, 0.05);
    EXPECT_DOUBLE_EQ(*gaugeValue(Gauge::Volts, v), 13.8);
    EXPECT_DOUBLE_EQ(*gaugeValue(Gauge::Degrees, v), 24.5);
    EXPECT_DOUBLE_EQ(*gaugeValue(Gauge::Celsius, v), 85);
    EXPECT_DOUBLE_EQ(*gaugeValue(Gauge::InjectorPercent, v), 12.5);
    EXPECT_DOUBLE_EQ(*gaugeValue(Gauge::LambdaVolts, v), 0.45);
    EXPECT_DOUBLE_EQ(*gaugeValue(Gauge::AirCelsius, v), 25);
    EXPECT_DOUBLE_EQ(*gaugeValue(Gauge::PotPercent, v), 50);
    // The derived channels are the logger's: same calibration, same figures.
    const ThrottleCal cal{20, 230};
    EXPECT_EQ(gaugeValue(Gauge::ThrottlePercent, v, cal), logValue(LogColumn::ThrottlePercent, v, cal));
    EXPECT_EQ(gaugeValue(Gauge::InjectorMs, v, cal), logValue(LogColumn::InjectorMs, v, cal));
    EXPECT_TRUE(gaugeValue(Gauge::InjectorMs, v).has_value());
}

TEST(LiveState, AirFuelRatioFollowsTheSensorAndStaysOnTheScale)
{
    EXPECT_DOUBLE_EQ(airFuelRatio(0.1), 16.0);
    EXPECT_DOUBLE_EQ(airFuelRatio(0.9), 13.0);
    EXPECT_GT(airFuelRatio(0.2), airFuelRatio(0.8)) << "lean reads higher";
    EXPECT_DOUBLE_EQ(airFuelRatio(0.0 - 5.0), 20.0);
    EXPECT_DOUBLE_EQ(airFuelRatio(2.53), 10.0);
}
