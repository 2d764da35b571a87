// SPDX-License-Identifier: GPL-3.0-or-later
#include "EditorFixture.h"

namespace kyr::maps::test {

using C = ChartId;
using M = MapId;

TEST_F(EditorTest, KeysNeedAnEnabledKeyTarget)
{
    EXPECT_FALSE(ed.keyTarget());
    EXPECT_FALSE(ed.keyDown(Key::Up));
    EXPECT_TRUE(ed.keyUp().empty());

    ASSERT_TRUE(ed.mouseMove(C::Temp, 60, 0));
    ed.enableGroups(true, false);
    EXPECT_FALSE(ed.keyDown(Key::Up));
}

TEST_F(EditorTest, UpAtTheTopStaysAndKeyUpStillSends)
{
    ed.setPoint(M::TimingRpm, 10, 45);
    ed.mouseMove(C::Timing, 10.3, 0);
    auto k = ed.keyDown(Key::Up);
    ASSERT_TRUE(k);
    EXPECT_EQ(k->index, 10);
    EXPECT_TRUE(k->changes.empty());
    EXPECT_EQ(ed.maps().at(M::TimingRpm, 10), 45);
    EXPECT_EQ(ed.keyUp(), std::vector<WritePoint>{wp(0xE8, 9, 45)});
    EXPECT_TRUE(ed.keyUp().empty()); // nothing pending any more

    ed.setPoint(M::TimingRpm, 10, 0);
    ed.keyDown(Key::Down);
    EXPECT_EQ(ed.maps().at(M::TimingRpm, 10), 0);
    ed.keyDown(Key::Up);
    EXPECT_EQ(ed.keyUp(), std::vector<WritePoint>{wp(0xE8, 9, 1)});
}

// Up goes down, Right goes down before Up comes up: the first key-up sends
// both points, the point Up raised first, and the second key-up has nothing left.
TEST_F(EditorTest, RolledKeysSendEveryPointTheyEdited)
{
    ed.setPoint(M::TimingRpm, 10, 20);
    ed.setPoint(M::TimingRpm, 11, 30);
    ed.mouseMove(C::Timing, 10.3, 0);
    ASSERT_TRUE(ed.keyDown(Key::Up));
    ASSERT_TRUE(ed.keyDown(Key::Up)); // auto-repeat: the same point again
    ASSERT_TRUE(ed.keyDown(Key::Right));
    ASSERT_TRUE(ed.keyDown(Key::Up));
    EXPECT_EQ(ed.keyUp(), (std::vector<WritePoint>{wp(0xE8, 9, 22), wp(0xE8, 10, 31)}));
    EXPECT_TRUE(ed.keyUp().empty());
}

TEST_F(EditorTest, UpAndDownStayInTheChartRangeOnEveryChart)
{
    ed.mouseMove(C::FuelRpm, 35, 0); // point 16
    ed.setPoint(M::FuelCruise, 16, 50);
    ed.keyDown(Key::Up);
    EXPECT_EQ(ed.maps().at(M::FuelCruise, 16), 50);
    ed.setPoint(M::FuelCruise, 16, -50);
    ed.keyDown(Key::Down);
    EXPECT_EQ(ed.maps().at(M::FuelCruise, 16), -50);

    // A value read from the unit outside the range is never pushed further out.
    ed.setPoint(M::FuelCruise, 16, 80);
    ed.keyDown(Key::Up);
    EXPECT_EQ(ed.maps().at(M::FuelCruise, 16), 80);
    auto k = ed.keyDown(Key::Down);
    ASSERT_EQ(k->changes.size(), 1u);
    EXPECT_EQ(k->changes[0].oldValue, 80);
    EXPECT_EQ(k->changes[0].newValue, 79);
    EXPECT_EQ(ed.keyUp(), std::vector<WritePoint>{wp(0xDE, 79, 179)});

    ed.mouseMove(C::AirTmp, -20, 0);
    ed.setPoint(M::AirTempFuel, 1, 20);
    ed.keyDown(Key::Up);
    EXPECT_EQ(ed.keyUp(), std::vector<WritePoint>{wp(0xD4, 24, 120)});
}

TEST_F(EditorTest, AnyOtherKeyMakesTheValueFitItsByte)
{
    // A point decoded from plus-one 255 would go out as 254 and read back as absent.
    table::MapArrays maps;
    maps.set(M::WaterTemp, 12, 154);
    maps.set(M::WaterTemp, 13, -101);
    ed.showTable(maps, ed.axes());
    ed.mouseMove(C::Temp, 60, 0);
    auto k = ed.keyDown(Key::Other);
    ASSERT_EQ(k->changes.size(), 1u);
    EXPECT_EQ(k->changes[0].newValue, 153);
    EXPECT_EQ(ed.keyUp(), std::vector<WritePoint>{wp(0xD4, 11, 253)});
    ed.keyDown(Key::Right);
    EXPECT_EQ(ed.keyUp(), std::vector<WritePoint>{wp(0xD4, 12, 0)});
}

TEST_F(EditorTest, PageUpMovesAllTimingPointsAndKeyUpSendsEach)
{
    table::MapArrays maps;
    for (int i = 1; i <= 100; ++i)
        maps.set(M::TimingRpm, i, 20);
    maps.set(M::TimingRpm, 5, 45);
    ed.showTable(maps, ed.axes());
    ed.mouseMove(C::Timing, 30, 0);

    auto k = ed.keyDown(Key::PageUp);
    ASSERT_TRUE(k);
    EXPECT_EQ(k->changes.size(), 69u); // point 5 is at the top already
    for (int i = 1; i <= 70; ++i)
        EXPECT_EQ(ed.maps().at(M::TimingRpm, i), i == 5 ? 45 : 21) << i;
    EXPECT_EQ(ed.maps().at(M::TimingRpm, 71), 20); // places beyond N are not in use

    auto writes = ed.keyUp();
    ASSERT_EQ(writes.size(), 70u);
    for (int i = 1; i <= 70; ++i)
        EXPECT_EQ(writes[i - 1], wp(0xE8, i - 1, i == 5 ? 45 : 21));

    ed.keyDown(Key::PageDown);
    EXPECT_EQ(ed.maps().at(M::TimingRpm, 1), 20);
    EXPECT_EQ(ed.keyUp().size(), 70u);
}

TEST_F(EditorTest, PageKeysOffTheTimingChartOnlyResetThePoint)
{
    ed.setPoint(M::Voltage, 1, 7);
    ed.mouseMove(C::Voltage, 8, 0);
    auto k = ed.keyDown(Key::PageUp);
    EXPECT_TRUE(k->changes.empty());
    EXPECT_EQ(ed.keyUp(), std::vector<WritePoint>{wp(0xD4, 48, 107)});
}

TEST_F(EditorTest, KeyUpSendsThePointOfTheKeyDown)
{
    // At M = 1 the points are 0.003125 bar apart: rounding point 5's x to two
    // decimals (0.02) would pick point 6.
    ed.showTable(table::MapArrays{}, axesOf(7000, 1));
    ed.mouseMove(C::Vacuum, 0, 0);
    for (int i = 0; i < 5; ++i) {
        ed.keyDown(Key::Right);
        ed.keyUp();
    }
    auto k = ed.keyDown(Key::Up);
    ASSERT_TRUE(k);
    EXPECT_EQ(k->index, 5);
    EXPECT_EQ(ed.lastKeyIndex(C::Vacuum), 5);
    EXPECT_EQ(ed.keyUp(), std::vector<WritePoint>{wp(0xE8, 104, 11)});
    EXPECT_EQ(ed.maps().at(M::TimingVac, 6), 0);
}

TEST_F(EditorTest, KeyUpFollowsTheKeyDownEvenIfTheTargetMoved)
{
    ed.mouseMove(C::Timing, 10, 0);
    ed.keyDown(Key::Up);
    ed.mouseMove(C::Temp, 60, 0);
    EXPECT_EQ(ed.keyUp(), std::vector<WritePoint>{wp(0xE8, 9, 1)});
}

TEST_F(EditorTest, LeftAndRightStepAndStopAtTheEnds)
{
    ed.mouseMove(C::Timing, 69, 0);
    auto k = ed.keyDown(Key::Right);
    EXPECT_EQ(k->index, 70);
    k = ed.keyDown(Key::Right);
    EXPECT_EQ(k->index, 70);
    EXPECT_DOUBLE_EQ(ed.cursorX(C::Timing), 70);

    ed.mouseMove(C::Timing, 0, 0); // on no point: keys do nothing...
    EXPECT_FALSE(ed.keyDown(Key::Up));
    EXPECT_FALSE(ed.keyDown(Key::Left));
    k = ed.keyDown(Key::Right); // ...until the cursor steps onto point 1
    ASSERT_TRUE(k);
    EXPECT_EQ(k->index, 1);

    ed.mouseMove(C::Voltage, 8, 0);
    k = ed.keyDown(Key::Right);
    EXPECT_DOUBLE_EQ(k->cursorX, 8.5);
    EXPECT_EQ(k->index, 2);
    EXPECT_DOUBLE_EQ(k->barHeight, 50);
}

TEST_F(EditorTest, FuelVacCursorSnapsToThePointAndIsShared)
{
    ed.mouseMove(C::FuelVac, 1.01, 0);
    EXPECT_DOUBLE_EQ(ed.cursorX(C::Vacuum), 1.01);
    auto k = ed.keyDown(Key::Other);
    EXPECT_EQ(k->index, 32);
    EXPECT_DOUBLE_EQ(ed.cursorX(C::FuelVac), 1.0);
    EXPECT_DOUBLE_EQ(ed.cursorX(C::Vacuum), 1.0);
    k = ed.keyDown(Key::Right);
    EXPECT_EQ(k->index, 33);
    EXPECT_DOUBLE_EQ(k->barX, 33 / 64.0 * 2.0);
}

TEST_F(EditorTest, KeyDownReadout)
{
    ed.setPoint(M::TimingRpm, 35, 12);
    ed.mouseMove(C::Timing, 35, 0);
    auto k = ed.keyDown(Key::Up);
    EXPECT_EQ(k->readout.chart, C::Timing);
    EXPECT_EQ(k->readout.value, "13");
    EXPECT_EQ(k->readout.position, "3500");
    EXPECT_DOUBLE_EQ(k->barHeight, 45);

    ed.mouseMove(C::Vacuum, 1.0, 0); // point 16 at 1.0 bar
    k = ed.keyDown(Key::Right);      // point 17 at 1.0625 bar
    EXPECT_EQ(k->readout.chart, C::Vacuum);
    EXPECT_EQ(k->readout.position, "1.1");
    EXPECT_EQ(k->readout.value, "0");

    ed.mouseMove(C::FuelRpm, 35, 0);
    k = ed.keyDown(Key::Down);
    EXPECT_EQ(k->readout.value, "-1");
    EXPECT_EQ(k->readout.position, "3500"); // point 16 at 35.0
}

TEST(JetKeys, LettersMoveTheTrackBarPositions)
{
    EXPECT_EQ(jetKey('Q')->jet, Jet::Main);
    EXPECT_EQ(jetKey('Q')->positionDelta, -1);
    EXPECT_EQ(jetKey('a')->positionDelta, +1);
    EXPECT_EQ(jetKey('W')->positionDelta, -10);
    EXPECT_EQ(jetKey('S')->positionDelta, +10);
    for (char c : {'D', 'C', 'F', 'V'})
        EXPECT_EQ(jetKey(c)->jet, Jet::Idle) << c;
    EXPECT_EQ(jetKey('f')->positionDelta, -10);
    EXPECT_EQ(jetKey('V')->positionDelta, +10);
    EXPECT_FALSE(jetKey('X'));
    EXPECT_FALSE(jetKey('1'));

    // W: the bar goes up 10 positions and the value shown rises by 10.
    const int pos = movedJetPosition(127, jetKey('W')->positionDelta);
    EXPECT_EQ(pos, 117);
    EXPECT_EQ(jetValue(127), 128);
    EXPECT_EQ(jetValue(pos), 138);
    EXPECT_EQ(jetOffset(Jet::Main), 3);
    EXPECT_EQ(jetOffset(Jet::Idle), 2);
}

TEST(JetKeys, ValuesStayWithinWhatTheUnitKeeps)
{
    EXPECT_EQ(jetValue(movedJetPosition(5, -10)), 253);
    EXPECT_EQ(jetValue(movedJetPosition(250, +10)), 0);
}

} // namespace kyr::maps::test
