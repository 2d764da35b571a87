// SPDX-License-Identifier: GPL-3.0-or-later
// What the user may do next, derived from the tune state alone, the edits
// that change the state without a word on the line, and the look over a
// tune before it is written.

#include "SessionFixture.h"

#include "session/LinkKeeper.h"
#include "session/TuneEdits.h"
#include "session/WriteRules.h"

using namespace kyr;
using namespace kyr::sessiontest;
using session::SetupEntry;
using P = table::SetupParam;

namespace {

SetupEntry stored(P param, uint8_t raw, bool marks = false)
{
    return SetupEntry{table::setupOffset(param), static_cast<uint8_t>(raw + 1), marks};
}

} // namespace

class DerivedCommands : public SessionFixture {};

// A Calibrate button serves a fitted sensor of a live unit: not a half
// Connect, not a lost link, not after Disconnect.
TEST_F(DerivedCommands, CalibrateFollowsTheSensorSwitchWhileTheUnitIsLive)
{
    connectUnit();
    session::applySetupEntry(s, stored(P::WaterActive, 2));
    EXPECT_TRUE(s.commands().calibrateWater);
    session::applySetupEntry(s, stored(P::WaterActive, 1));
    EXPECT_FALSE(s.commands().calibrateWater);
    session::applySetupEntry(s, stored(P::WaterActive, 2));

    session::markLinkLost(s, "14:03:12");
    EXPECT_FALSE(s.commands().calibrateWater);
    EXPECT_FALSE(s.commands().writeTable);
    session::markLinkBack(s);
    EXPECT_TRUE(s.commands().calibrateWater);
    EXPECT_TRUE(s.commands().writeTable);

    session.disconnect(s);
    EXPECT_FALSE(s.commands().calibrateWater);
}

TEST_F(DerivedCommands, AHalfConnectOffersConnectAgainAndNothingThatSends)
{
    unit.cutRead[2] = 312;
    session.connect(s);
    const session::Commands c = s.commands();
    EXPECT_TRUE(c.connect);
    EXPECT_TRUE(c.disconnect) << "the port is open: it may be let go";
    EXPECT_FALSE(c.writeTable);
    EXPECT_FALSE(c.analogSignals);
    EXPECT_FALSE(c.calibrateThrottle || c.calibrateWater || c.calibrateAir || c.calibrateMap);
}

// Refresh closes the port it searches: never under a connected unit, however
// the port was chosen.
TEST_F(DerivedCommands, RefreshRestsWhileAUnitIsConnected)
{
    ASSERT_FALSE(session.selectPort(s, session::PortAddress::comPort(UnitCom)).error);
    EXPECT_TRUE(s.commands().refreshPorts);
    EXPECT_TRUE(s.commands().connect);
    connectUnit();
    EXPECT_FALSE(s.commands().refreshPorts);
    session.disconnect(s);
    EXPECT_TRUE(s.commands().refreshPorts);
}

TEST_F(DerivedCommands, AnEditedFileWithoutAUnitOffersNoWrite)
{
    session.openFile(s, file, "/tunes/demo.kyr");
    session::applySetupEntry(s, stored(P::Cylinders, 6, true));
    EXPECT_TRUE(s.flags.ImageChanged);
    EXPECT_FALSE(s.commands().writeTable) << "there is no unit to write to";
}

// Close all over a connected unit offers its table back until the tune is edited.
TEST_F(DerivedCommands, ReadIsOfferedAfterCloseAllUntilTheNextEdit)
{
    connectUnit();
    session.openFile(s, file, "/tunes/demo.kyr");
    session.closeAll(s);
    EXPECT_TRUE(s.commands().readTable);
    session::applySetupEntry(s, stored(P::Cylinders, 6));
    EXPECT_TRUE(s.commands().readTable) << "a quiet entry leaves it";
    session::applySetupEntry(s, stored(P::Cylinders, 4, true));
    EXPECT_FALSE(s.commands().readTable);
    EXPECT_TRUE(s.commands().writeTable);
}

// ---------------------------------------------------------------- edits

TEST_F(DerivedCommands, CloseAllWithoutAUnitForgetsTheFilesTune)
{
    session.openFile(s, file, "/tunes/demo.kyr");
    const auto r = session.closeAll(s);
    EXPECT_TRUE(r.tuneCleared);
    EXPECT_TRUE(std::all_of(s.image.begin(), s.image.end(), [](uint8_t b) { return b == '0'; }));
    EXPECT_TRUE(s.unit.typeName.empty());
    EXPECT_TRUE(s.status.unitLine.empty());
    EXPECT_FALSE(s.commands().writeTable);
}

// The serial number is the unit's own record, not a change of the tune.
TEST_F(DerivedCommands, AUnitRecordByteIsKeptAsTheUnitsOwn)
{
    connectUnit();
    session::recordUnitByte(s, 95, 0x41);
    EXPECT_EQ(s.setup[95], 0x42);
    EXPECT_EQ(s.image[95], 0x42);
    ASSERT_TRUE(s.unitImage.has_value());
    EXPECT_EQ((*s.unitImage)[95], 0x42);
    EXPECT_FALSE(s.flags.ImageChanged);
}

// ---------------------------------------------------------------- the look before a write

class PrepareWrite : public SessionFixture {};

TEST_F(PrepareWrite, RefusesWithoutAUnitAndForAStoredZero)
{
    auto plan = session::prepareWrite(s, table::decodeMaps(s.image));
    ASSERT_TRUE(plan.refusal.has_value());
    EXPECT_EQ(plan.refusal->message, "KYR not connected");

    connectUnit();
    s.setup[static_cast<std::size_t>(table::setupOffset(P::Cylinders))] = 0; // raw 255
    plan = session::prepareWrite(s, table::decodeMaps(s.image));
    EXPECT_FALSE(plan.mayWrite());
    EXPECT_FALSE(plan.storedZeros.empty());
}

TEST_F(PrepareWrite, AsksForAnotherUnitTypeAndListsSlipsOnlyWhenLookedFor)
{
    file.identity[1] = 2; // made for a Fuel unit; the unit is type 3
    session.openFile(s, file, "/tunes/demo.kyr");
    session.connect(s);
    table::MapArrays maps = table::decodeMaps(s.image);
    maps.set(table::MapId::TimingRpm, 30, maps.at(table::MapId::TimingRpm, 30) + 25);
    auto plan = session::prepareWrite(s, maps);
    EXPECT_TRUE(plan.mayWrite());
    ASSERT_TRUE(plan.mismatch.has_value());
    EXPECT_EQ(plan.mismatch->fileTypeCode, 2);
    EXPECT_FALSE(plan.slips.empty());
    plan = session::prepareWrite(s, maps, session::WriteLook{.slips = false});
    EXPECT_TRUE(plan.slips.empty());
}
