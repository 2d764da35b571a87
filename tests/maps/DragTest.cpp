// SPDX-License-Identifier: GPL-3.0-or-later
#include "EditorFixture.h"

#include <cmath>

namespace kyr::maps::test {

using C = ChartId;
using M = MapId;

TEST_F(EditorTest, TimingDragEdgesAndBytes)
{
    auto d = dragOk(C::Timing, 35, 45.4);
    EXPECT_EQ(d.change.index, 35);
    EXPECT_EQ(d.change.newValue, 45);
    EXPECT_EQ(d.write, wp(0xE8, 34, 45));
    EXPECT_EQ(ed.maps().at(M::TimingRpm, 35), 45);
    ASSERT_TRUE(d.cursorX);
    EXPECT_DOUBLE_EQ(*d.cursorX, 35.0);

    EXPECT_FALSE(ed.drag(C::Timing, 35, 45.6));
    EXPECT_FALSE(ed.drag(C::Timing, 35, -0.6));
    EXPECT_EQ(dragOk(C::Timing, 35, -0.4).change.newValue, 0);
    EXPECT_EQ(dragOk(C::Timing, 0.6, 0).write, wp(0xE8, 0, 0));
    EXPECT_EQ(dragOk(C::Timing, 70.4, 12.5).write, wp(0xE8, 69, 12)); // halves to even
}

TEST_F(EditorTest, TimingIndexNeverZeroOrPastTheEnd)
{
    // Index 0 would go out as byte 0xFF; index N+1 edits a place the chart does not show.
    EXPECT_FALSE(ed.drag(C::Timing, 0.4, 10));
    EXPECT_FALSE(ed.drag(C::Timing, 70.6, 10));
    // At the full range, point 101 would be E8 index 100: the first vacuum point.
    ed.showTable(table::MapArrays{}, axesOf(10000, 20));
    EXPECT_EQ(dragOk(C::Timing, 100, 30).write, wp(0xE8, 99, 30));
    EXPECT_FALSE(ed.drag(C::Timing, 100.6, 30));
    EXPECT_EQ(ed.maps().at(M::TimingVac, 1), 0);
}

TEST_F(EditorTest, VacuumDragEdgesAndBytes)
{
    auto d = dragOk(C::Vacuum, 1.0, 5);
    EXPECT_EQ(d.change.index, 16);
    EXPECT_EQ(d.write, wp(0xE8, 115, 15));
    EXPECT_DOUBLE_EQ(ed.cursorX(C::Vacuum), 1.0);
    EXPECT_DOUBLE_EQ(ed.cursorX(C::FuelVac), 1.0); // one shared cursor

    EXPECT_FALSE(ed.drag(C::Vacuum, 0.03, 5)); // rounds to point 0: ignored
    EXPECT_EQ(dragOk(C::Vacuum, 0.04, -10).write, wp(0xE8, 100, 0));
    EXPECT_EQ(dragOk(C::Vacuum, 2.0, 10.4).write, wp(0xE8, 131, 20));
    EXPECT_FALSE(ed.drag(C::Vacuum, 2.01, 0));
    EXPECT_FALSE(ed.drag(C::Vacuum, -0.01, 0));
    EXPECT_FALSE(ed.drag(C::Vacuum, 1.0, 10.6));
    EXPECT_FALSE(ed.drag(C::Vacuum, 1.0, -10.6));
}

TEST_F(EditorTest, VacuumCursorIsRoundedToTwoDecimals)
{
    ed.showTable(table::MapArrays{}, axesOf(7000, 15));
    auto d = dragOk(C::Vacuum, 0.05, 0); // point 1 at 1/32 * 1.5 = 0.046875
    EXPECT_EQ(d.change.index, 1);
    EXPECT_DOUBLE_EQ(*d.cursorX, 0.05);
}

TEST_F(EditorTest, FuelVacDragEdgesAndBytes)
{
    auto d = dragOk(C::FuelVac, 1.0, -20);
    EXPECT_EQ(d.change.index, 32);
    EXPECT_EQ(d.write, wp(0xDE, 31, 80));
    EXPECT_DOUBLE_EQ(ed.cursorX(C::Vacuum), 1.0);
    EXPECT_FALSE(ed.drag(C::FuelVac, 0.01, 10)); // point 0: DE index 0xFF
    EXPECT_EQ(dragOk(C::FuelVac, 2.0, 50).write, wp(0xDE, 63, 150));
    EXPECT_FALSE(ed.drag(C::FuelVac, 1.0, 50.6));
}

TEST_F(EditorTest, MapSensorZeroRefusesVacuumDrags)
{
    ed.showTable(table::MapArrays{}, axesOf(7000, 0));
    for (double x : {0.0, 0.01, 1.0})
        for (C c : {C::Vacuum, C::FuelVac})
            EXPECT_FALSE(ed.drag(c, x, 5)) << x;
    EXPECT_TRUE(ed.drag(C::Timing, 10, 5)); // the other charts still work
}

TEST_F(EditorTest, FuelRpmDragFollowsTheSelection)
{
    EXPECT_EQ(dragOk(C::FuelRpm, 35, 10).write, wp(0xDE, 79, 110));
    EXPECT_EQ(ed.maps().at(M::FuelCruise, 16), 10);
    EXPECT_EQ(dragOk(C::FuelRpm, 70, 10).write, wp(0xDE, 95, 110));

    ed.selectFuelRpm(FuelRpmMap::Low);
    auto low = dragOk(C::FuelRpm, 35, -50);
    EXPECT_EQ(low.change.map, M::FuelLow);
    EXPECT_EQ(low.write, wp(0xCA, 15, 50));
    EXPECT_EQ(dragOk(C::FuelRpm, 70, 0).write, wp(0xCA, 31, 100));

    ed.selectFuelRpm(FuelRpmMap::High);
    EXPECT_EQ(dragOk(C::FuelRpm, 35, 1).write, wp(0xCA, 47, 101));
    EXPECT_FALSE(ed.drag(C::FuelRpm, 0.5, 1));
    EXPECT_FALSE(ed.drag(C::FuelRpm, 71.2, 1));
    EXPECT_EQ(ed.cursorX(C::FuelRpm), 0.0); // fuel-by-RPM drags leave the cursor

    // A new table selects Cruise again.
    ed.showTable(ed.maps(), ed.axes());
    EXPECT_EQ(ed.fuelRpm(), FuelRpmMap::Cruise);
}

TEST_F(EditorTest, CorrectionDragsEdgesAndBytes)
{
    EXPECT_EQ(dragOk(C::Temp, 60, -60).write, wp(0xD4, 11, 40));
    EXPECT_EQ(dragOk(C::Temp, 122, 60).write, wp(0xD4, 23, 160));
    EXPECT_FALSE(ed.drag(C::Temp, 2, 0));
    EXPECT_FALSE(ed.drag(C::Temp, 123, 0)); // D4 index 24 is the air temperature map
    EXPECT_FALSE(ed.drag(C::Temp, 60, 60.6));

    EXPECT_EQ(dragOk(C::AirTmp, -20, 20.4).write, wp(0xD4, 24, 120));
    EXPECT_EQ(dragOk(C::AirTmp, 100, -20).write, wp(0xD4, 47, 80));
    EXPECT_FALSE(ed.drag(C::AirTmp, -20.1, 0));
    EXPECT_FALSE(ed.drag(C::AirTmp, 40, 20.6));
    ed.selectAirTemp(AirTempMap::Timing);
    auto t = dragOk(C::AirTmp, -20, 5);
    EXPECT_EQ(t.change.map, M::AirTempTiming);
    EXPECT_EQ(t.write, wp(0xCA, 64, 105));
    EXPECT_EQ(dragOk(C::AirTmp, 100, 5).write, wp(0xCA, 87, 105));
    EXPECT_FALSE(ed.drag(C::AirTmp, 103, 5));

    EXPECT_EQ(dragOk(C::Voltage, 8, 50).write, wp(0xD4, 48, 150));
    EXPECT_EQ(dragOk(C::Voltage, 16, -50).write, wp(0xD4, 63, 50));
    EXPECT_FALSE(ed.drag(C::Voltage, 7.7, 0));
    EXPECT_FALSE(ed.drag(C::Voltage, 16.3, 0)); // D4 index 64 is the Low map's bank
}

TEST_F(EditorTest, NothingHappensWithoutMouseTuningOrOnDisabledCharts)
{
    const auto before = ed.maps().values;
    ed.setMouseTuning(false);
    for (const auto& c : chartTable())
        EXPECT_FALSE(ed.drag(c.id, 1.0, 1)) << c.title;
    EXPECT_EQ(ed.maps().values, before);

    ed.setMouseTuning(true);
    ed.enableGroups(true, false);
    EXPECT_FALSE(ed.drag(C::FuelRpm, 35, 1));
    EXPECT_FALSE(ed.mouseMove(C::Temp, 60, 1));
    EXPECT_FALSE(ed.jetKey('Q'));
    EXPECT_TRUE(ed.drag(C::Timing, 35, 1));
    ed.enableGroups(false, true);
    EXPECT_FALSE(ed.drag(C::Timing, 35, 1));
    EXPECT_FALSE(ed.drag(C::Vacuum, 1, 1));
    EXPECT_TRUE(ed.drag(C::FuelVac, 1, 1));
}

TEST_F(EditorTest, DragReturnsTheOldValueForUndo)
{
    dragOk(C::Temp, 60, 10);
    auto d = dragOk(C::Temp, 60, 20);
    EXPECT_EQ(d.change.oldValue, 10);
    EXPECT_EQ(d.change.newValue, 20);
    auto undo = ed.setPoint(d.change.map, d.change.index, d.change.oldValue);
    ASSERT_TRUE(undo);
    EXPECT_EQ(undo.value(), wp(0xD4, 11, 110));
    EXPECT_EQ(ed.maps().at(M::WaterTemp, 12), 10);
}

TEST_F(EditorTest, AxesStayAsShownWhenTheRpmRangeChanges)
{
    // The RPM range field now says 10000, but the charts keep the axes they were shown with.
    table::SetupCopy setup{};
    setup.fill(1);
    setup[table::setupOffset(table::SetupParam::RpmRange)] = 101;
    const auto changed = table::deriveAxes(setup);
    ASSERT_EQ(changed.rpmRange, 10000);

    EXPECT_EQ(ed.axes().rpmRange, 7000);
    EXPECT_FALSE(ed.drag(C::Timing, 75, 10));
    EXPECT_EQ(dragOk(C::FuelRpm, 35, 1).change.index, 16);
    EXPECT_EQ(ed.pointsOf(M::TimingRpm).size(), 70u);

    ed.showTable(ed.maps(), changed); // only a new table moves the points
    EXPECT_EQ(dragOk(C::Timing, 75, 10).change.index, 75);
    EXPECT_EQ(dragOk(C::FuelRpm, 35, 1).change.index, 11);
    EXPECT_EQ(ed.pointsOf(M::TimingRpm).size(), 100u);
}

TEST_F(EditorTest, EveryWriteLandsOnItsOwnTableOffset)
{
    ed.showTable(table::MapArrays{}, axesOf(10000, 30));
    for (const auto& m : table::mapTable()) {
        for (int i = 1; i <= m.points; ++i) {
            auto w = ed.writePointBytes(m.id, i);
            ASSERT_TRUE(w) << m.name << " " << i;
            EXPECT_EQ(w.value().bank, m.bank);
            EXPECT_EQ(table::bankOffset(w.value().bank, w.value().index), table::pointOffset(m, i))
                << m.name << " point " << i;
        }
        EXPECT_FALSE(ed.writePointBytes(m.id, 0));
        EXPECT_FALSE(ed.writePointBytes(m.id, m.points + 1));
    }
}

TEST_F(EditorTest, SetPointKeepsIndexAndValueInBounds)
{
    EXPECT_FALSE(ed.setPoint(M::TimingRpm, 71, 10)); // beyond N at 7000 RPM
    EXPECT_FALSE(ed.setPoint(M::Voltage, 0, 10));
    EXPECT_FALSE(ed.setPoint(M::Voltage, 1, std::nan("")));
    EXPECT_EQ(ed.setPoint(M::FuelCruise, 1, 200).value(), wp(0xDE, 64, 253));
    EXPECT_EQ(ed.maps().at(M::FuelCruise, 1), 153);
    EXPECT_EQ(ed.setPoint(M::TimingVac, 32, -30).value(), wp(0xE8, 131, 0));
    EXPECT_EQ(ed.maps().at(M::TimingVac, 32), -10);
    EXPECT_EQ(ed.setPoint(M::TimingRpm, 70, 12.5).value(), wp(0xE8, 69, 12));
}

TEST_F(EditorTest, PointsOfDrawsTheFixedAxes)
{
    auto t = ed.pointsOf(M::TimingRpm);
    ASSERT_EQ(t.size(), 70u);
    EXPECT_DOUBLE_EQ(t[0].x, 1.0);
    EXPECT_DOUBLE_EQ(t[69].x, 70.0);
    auto v = ed.pointsOf(M::TimingVac);
    ASSERT_EQ(v.size(), 32u);
    EXPECT_DOUBLE_EQ(v[31].x, 2.0);
    EXPECT_EQ(ed.pointsOf(M::AirTempTiming).size(), 24u);
    EXPECT_DOUBLE_EQ(ed.pointsOf(M::Voltage).back().x, 16.0);
}

} // namespace kyr::maps::test
