// SPDX-License-Identifier: GPL-3.0-or-later
#include "EditorFixture.h"

#include <set>

namespace kyr::maps::test {

using C = ChartId;
using M = MapId;

TEST(ChartTable, TitlesAndBars)
{
    struct Row {
        C id;
        const char* title;
        double bar;
    };
    const Row rows[] = {
        {C::Timing, "Timing Map", 45},
        {C::Vacuum, "Vacuum Map", 10},
        {C::FuelVac, "Vacuum Map", 50},
        {C::FuelRpm, "RPM Map", 50},
        {C::Temp, "Water Temp Correction", 60},
        {C::AirTmp, "Air Temp Correction", 50},
        {C::Voltage, "Voltage Correction", 50},
    };
    ASSERT_EQ(chartTable().size(), std::size(rows));
    for (const auto& r : rows) {
        const auto& c = chartDef(r.id);
        EXPECT_EQ(c.id, r.id);
        EXPECT_EQ(c.title, r.title);
        EXPECT_EQ(c.keyBarHeight, r.bar);
    }
}

TEST(ChartTable, EveryMapHasOneCurveMatchingTheLayout)
{
    std::set<int> seen;
    for (const auto& c : chartTable())
        for (const auto& curve : c.curves) {
            const auto& m = table::mapDef(curve.map);
            EXPECT_EQ(m.chart, c.id) << m.name;
            EXPECT_EQ(m.group, c.group) << m.name;
            EXPECT_EQ(c.leftMin, m.minValue) << m.name; // the left axis is the drag range
            EXPECT_EQ(c.leftMax, m.maxValue) << m.name;
            EXPECT_TRUE(seen.insert(static_cast<int>(curve.map)).second) << m.name;
        }
    EXPECT_EQ(seen.size(), static_cast<size_t>(table::MapCount));
    EXPECT_EQ(curveOf(M::FuelCruise).caption, "Cruise");
    EXPECT_EQ(curveOf(M::FuelHigh).caption, "High");
    EXPECT_EQ(curveOf(M::AirTempTiming).caption, "Timing");
}

TEST(ChartTable, BottomAxesFollowRangeAndMapSensor)
{
    auto a = axesOf(7050, 15);
    EXPECT_EQ(bottomAxis(C::Timing, a).max, 70); // round(70.5), halves to even
    EXPECT_DOUBLE_EQ(bottomAxis(C::FuelRpm, a).max, 70.5);
    EXPECT_DOUBLE_EQ(bottomAxis(C::Vacuum, a).max, 1.7);
    EXPECT_EQ(bottomAxis(C::Vacuum, a).increment, 0.1);
    EXPECT_DOUBLE_EQ(bottomAxis(C::FuelVac, a).max, 1.7);
    EXPECT_FALSE(bottomAxis(C::Vacuum, axesOf(7000, 20)).increment);
    EXPECT_EQ(bottomAxis(C::Temp, a).min, 0);
    EXPECT_EQ(bottomAxis(C::Temp, a).max, 120);
    EXPECT_EQ(bottomAxis(C::AirTmp, a).min, -20);
    EXPECT_EQ(bottomAxis(C::AirTmp, a).max, 100);
    EXPECT_EQ(bottomAxis(C::Voltage, a).min, 8);
    EXPECT_EQ(bottomAxis(C::Voltage, a).max, 16);
    EXPECT_EQ(chartDef(C::Timing).bottomTitle, "RPM x 100");
    EXPECT_EQ(chartDef(C::Vacuum).bottomTitle, "Bar");
    EXPECT_EQ(chartDef(C::Vacuum).leftTitle, "Degrees");
    EXPECT_EQ(chartDef(C::FuelVac).leftTitle, "%");
    EXPECT_EQ(chartDef(C::Timing).leftMax, 45);
}

TEST(ChartTable, KeySteps)
{
    auto a = axesOf(7000, 20);
    EXPECT_DOUBLE_EQ(keyStep(C::Timing, a), 1.0);
    EXPECT_DOUBLE_EQ(keyStep(C::Vacuum, a), 2.0 / 32);
    EXPECT_DOUBLE_EQ(keyStep(C::FuelVac, a), 2.0 / 64);
    EXPECT_DOUBLE_EQ(keyStep(C::FuelRpm, a), 70.0 / 32);
    EXPECT_DOUBLE_EQ(keyStep(C::Temp, a), 5.0);
    EXPECT_DOUBLE_EQ(keyStep(C::AirTmp, a), 5.0);
    EXPECT_DOUBLE_EQ(keyStep(C::Voltage, a), 0.5);
    EXPECT_DOUBLE_EQ(keyStep(C::Vacuum, axesOf(7000, 0)), 0.0);
}

TEST(Readouts, MouseMoveWritesOnlyWithinTheirWindows)
{
    auto a = axesOf(7000, 20);
    auto r = mouseReadout(C::Timing, 35.4, 20.3, a);
    EXPECT_EQ(r.value, "20");
    EXPECT_EQ(r.position, "3500");
    r = mouseReadout(C::Timing, 0.3, 45.6, a);
    EXPECT_FALSE(r.value);
    EXPECT_FALSE(r.position);
    EXPECT_FALSE(mouseReadout(C::Timing, 70.6, 1, a).position);

    r = mouseReadout(C::Vacuum, 1.234, -3.4, a);
    EXPECT_EQ(r.value, "-3");
    EXPECT_EQ(r.position, "1.23");
    EXPECT_EQ(mouseReadout(C::Vacuum, -0.5, 0, a).position, "-0.5");
    EXPECT_FALSE(mouseReadout(C::Vacuum, -1.2, 0, a).position);
    EXPECT_FALSE(mouseReadout(C::FuelVac, -0.06, 0, a).position);
    EXPECT_FALSE(mouseReadout(C::FuelVac, 2.06, 0, a).position);

    EXPECT_EQ(mouseReadout(C::FuelRpm, 69.6, 0, a).position, "7000");
    EXPECT_FALSE(mouseReadout(C::FuelRpm, 70.6, 0, a).position);
    EXPECT_EQ(mouseReadout(C::Temp, 61.7, -60, a).position, "62");
    EXPECT_EQ(mouseReadout(C::Temp, 61.7, -60, a).value, "-60");
    EXPECT_FALSE(mouseReadout(C::Temp, 0, 60.6, a).value);
    EXPECT_EQ(mouseReadout(C::AirTmp, -19.6, 30, a).value, "30"); // the -50..50 window
    EXPECT_EQ(mouseReadout(C::AirTmp, -19.6, 30, a).position, "-20");
    EXPECT_EQ(mouseReadout(C::Voltage, 12.34, 0, a).position, "12.3");
    EXPECT_EQ(formatNumber(-0.0), "0");
    EXPECT_EQ(formatNumber(0.1 + 0.2), "0.3");
}

TEST_F(EditorTest, MouseMoveSetsKeyTargetAndCursor)
{
    auto r = ed.mouseMove(C::Voltage, 12.34, 0);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->chart, C::Voltage);
    EXPECT_EQ(ed.keyTarget(), C::Voltage);
    EXPECT_DOUBLE_EQ(ed.cursorX(C::Voltage), 12.3);
    ed.mouseMove(C::Vacuum, 1.234, 0);
    EXPECT_DOUBLE_EQ(ed.cursorX(C::FuelVac), 1.23);
    ed.mouseMove(C::Timing, 12.6, 0);
    EXPECT_DOUBLE_EQ(ed.cursorX(C::Timing), 13);
}

TEST(ChartUnits, AxesAndReadoutsNameTheirUnits)
{
    EXPECT_EQ(valueAxisTitle(C::Timing, MapId::TimingRpm), "Degrees") << "the chart's own title stays";
    EXPECT_EQ(bottomAxisTitle(C::Vacuum), "Bar");
    EXPECT_EQ(bottomAxisTitle(C::Voltage), "Battery (V)");
    EXPECT_EQ(bottomAxisTitle(C::AirTmp), "Air Temp (\u00b0C)");
    // The air temperature chart holds a fuel map in percent and a timing map in degrees.
    EXPECT_EQ(valueAxisTitle(C::AirTmp, MapId::AirTempFuel), "Fuel (%)");
    EXPECT_EQ(valueAxisTitle(C::AirTmp, MapId::AirTempTiming), "Timing (\u00b0)");
    EXPECT_EQ(positionUnit(C::FuelRpm), "RPM");
    EXPECT_EQ(positionUnit(C::FuelVac), "bar");
    EXPECT_EQ(positionUnit(C::Temp), "\u00b0C");
    EXPECT_EQ(valueUnit(MapId::TimingVac), "\u00b0");
    EXPECT_EQ(valueUnit(MapId::Voltage), "%");
}

} // namespace kyr::maps::test
