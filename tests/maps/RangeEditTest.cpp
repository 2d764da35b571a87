// SPDX-License-Identifier: GPL-3.0-or-later
// Whole-range edits of a map: their values, their clamping to what a point
// may hold, and the changes that put everything back.

#include "maps/RangeEdit.h"

#include <gtest/gtest.h>

namespace kyr::maps::test {

using M = MapId;

namespace {

table::MapArrays timingRamp()
{
    table::MapArrays maps;
    for (int i = 1; i <= 70; ++i)
        maps.set(M::TimingRpm, i, 10 + i / 5);
    return maps;
}

std::vector<double> values(const table::MapArrays& maps, Selection s)
{
    std::vector<double> out;
    for (int i = s.first; i <= s.last; ++i)
        out.push_back(maps.at(s.map, i));
    return out;
}

table::MapArrays applied(table::MapArrays maps, const std::vector<PointChange>& changes, bool toNew = true)
{
    for (const auto& c : changes)
        maps.set(c.map, c.index, toNew ? c.newValue : c.oldValue);
    return maps;
}

} // namespace

TEST(RangeEdit, SetAddAndScaleStayWithinTheChartAndNeverWrap)
{
    table::MapArrays maps = timingRamp();
    maps.set(M::TimingRpm, 32, 44);
    const Selection s{M::TimingRpm, 30, 35};
    EXPECT_EQ(values(applied(maps, addStep(maps, s, 2)), s), (std::vector<double>{18, 18, 45, 18, 18, 19}));
    EXPECT_EQ(values(applied(maps, addStep(maps, s, -30)), s), (std::vector<double>{0, 0, 14, 0, 0, 0}));
    EXPECT_EQ(values(applied(maps, setRange(maps, s, 200)), s), std::vector<double>(6, 45));
    // 16 * 1.1 = 17.6 -> 18; 44 * 1.1 = 48.4 -> the chart's 45.
    EXPECT_EQ(values(applied(maps, scaleRange(maps, s, 110)), s), (std::vector<double>{18, 18, 45, 18, 18, 19}));

    // The fuel maps go below zero: -50 % is their floor.
    table::MapArrays fuel;
    fuel.set(M::FuelCruise, 4, -48);
    EXPECT_EQ(addStep(fuel, {M::FuelCruise, 4, 4}, -5).front().newValue, -50);
    EXPECT_EQ(stepKindOf(M::TimingRpm), StepKind::Timing);
    EXPECT_EQ(stepKindOf(M::FuelLow), StepKind::Fuel);
    EXPECT_EQ(stepKindOf(M::WaterTemp), StepKind::Correction);
}

TEST(RangeEdit, OnlyChangedPointsAreListedAndTheirOldValuesUndoThem)
{
    const table::MapArrays maps = timingRamp();
    const Selection s{M::TimingRpm, 30, 35}; // 16 16 16 16 16 17
    const auto changes = setRange(maps, s, 16);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes.front().index, 35);
    const auto raised = addStep(maps, s, 2);
    EXPECT_EQ(applied(applied(maps, raised), raised, false).values, maps.values);
}

TEST(RangeEdit, InterpolateAndSmoothKeepTheEndPoints)
{
    table::MapArrays maps;
    const std::vector<double> dent{20, 21, 9, 23, 24};
    for (int i = 0; i < 5; ++i)
        maps.set(M::TimingRpm, 10 + i, dent[static_cast<std::size_t>(i)]);
    const Selection s{M::TimingRpm, 10, 14};
    EXPECT_EQ(values(applied(maps, interpolateRange(maps, s)), s), (std::vector<double>{20, 21, 22, 23, 24}));
    // (21 + 18 + 23) / 4 = 15.5 -> 16 (halves to even); (20 + 42 + 9) / 4 = 17.75 -> 18.
    EXPECT_EQ(values(applied(maps, smoothRange(maps, s)), s), (std::vector<double>{20, 18, 16, 20, 24}));
    EXPECT_TRUE(smoothRange(maps, {M::TimingRpm, 10, 11}).empty());
}

TEST(RangeEdit, APasteFitsWholeOrChangesNothing)
{
    const table::MapArrays maps = timingRamp();
    const Axes axes; // 70 timing points
    auto pasted = pasteValues(maps, M::TimingRpm, 30, {20, 21, 22}, PasteMode::Replace, axes);
    ASSERT_TRUE(pasted);
    EXPECT_EQ(values(applied(maps, pasted.value()), {M::TimingRpm, 30, 32}), (std::vector<double>{20, 21, 22}));
    pasted = pasteValues(maps, M::TimingRpm, 30, {2, 2}, PasteMode::Add, axes);
    ASSERT_TRUE(pasted);
    EXPECT_EQ(pasted.value().front().newValue, 18);
    pasted = pasteValues(maps, M::TimingRpm, 30, {1.5}, PasteMode::Multiply, axes);
    ASSERT_TRUE(pasted);
    EXPECT_EQ(pasted.value().front().newValue, 24);

    const auto pastTheEnd = pasteValues(maps, M::TimingRpm, 69, {1, 2, 3}, PasteMode::Replace, axes);
    ASSERT_FALSE(pastTheEnd);
    EXPECT_NE(pastTheEnd.error().message.find("nothing was pasted"), std::string::npos);
    const auto tooHigh = pasteValues(maps, M::TimingRpm, 30, {20, 60, 22}, PasteMode::Replace, axes);
    ASSERT_FALSE(tooHigh);
    EXPECT_NE(tooHigh.error().message.find("Point 31 would be 60"), std::string::npos);
    EXPECT_FALSE(checkedSelection({M::TimingRpm, 65, 75}, axes));
    EXPECT_TRUE(checkedSelection({M::TimingRpm, 65, 70}, axes));
}

TEST(RangeEdit, SpreadsheetTextIsReadWholeOrRefused)
{
    auto v = parseValues("20\t21,5\t22\r\n23\n");
    ASSERT_TRUE(v);
    EXPECT_EQ(v.value(), (std::vector<double>{20, 21.5, 22, 23}));
    const auto bad = parseValues("20\tabc\t22");
    ASSERT_FALSE(bad);
    EXPECT_NE(bad.error().message.find("\"abc\" (value 2) is not a number"), std::string::npos);
    EXPECT_FALSE(parseValues("\t\n"));
    table::MapArrays maps = timingRamp();
    EXPECT_EQ(copyText(maps, {M::TimingRpm, 34, 36}), "16\t17\t17");
}

} // namespace kyr::maps::test
