// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated unit, its engine, line pacer and memory without a terminal.

#include "Engine.h"
#include "LinePacer.h"
#include "Memory.h"
#include "Unit.h"

#include "SimProcess.h"
#include "live/LiveRecord.h"
#include "table/Layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

using namespace kyr::sim;
namespace table = kyr::table;
using Bytes = std::vector<uint8_t>;

namespace {

Command command(const Bytes& bytes)
{
    CommandParser p;
    auto cmds = p.feed(bytes, 0);
    EXPECT_EQ(cmds.size(), 1u);
    return cmds.front();
}

table::ImageBytes rampTable()
{
    table::ImageBytes raw{};
    for (int i = 0; i < table::TableSize; ++i)
        raw[i] = static_cast<uint8_t>(i * 7);
    return raw;
}

} // namespace

TEST(SimUnit, IdentityIsTheConfiguredSevenBytes)
{
    Identity id;
    id.model = 9;
    id.type = 5;
    id.minor = 4;
    Unit u(id, rampTable());
    const auto out = u.apply(command({0xFF}), 0);
    ASSERT_TRUE(out.reply);
    EXPECT_EQ(*out.reply, (Bytes{9, 5, 4, 7, 1, 5, 6}));
    EXPECT_FALSE(out.changed);
}

TEST(SimUnit, ReadTableAnswersRawPlusOneInEightBits)
{
    Unit u(Identity{}, rampTable());
    const auto out = u.apply(command({0xFD}), 0);
    ASSERT_TRUE(out.reply);
    ASSERT_EQ(out.reply->size(), static_cast<size_t>(table::TableSize));
    for (int i = 0; i < table::TableSize; ++i)
        EXPECT_EQ((*out.reply)[i], static_cast<uint8_t>(i * 7 + 1)) << i;
}

TEST(SimUnit, WritesLandAtBankBasePlusIndex)
{
    for (const auto& bank : table::bankTable()) {
        Unit u(Identity{}, rampTable());
        const auto out = u.apply(command({bank.command, 5, 0}), 0);
        EXPECT_FALSE(out.reply);
        EXPECT_TRUE(out.changed);
        EXPECT_EQ(u.raw()[bank.base + 5], 0) << int(bank.command);
        EXPECT_EQ(out.details["offset"], bank.base + 5);
    }
}

TEST(SimUnit, WriteOutsideItsBankIsRefusedAndChangesNothing)
{
    // F2 covers 0..100, E8 101..232, CA ends before the trailer at 481.
    EXPECT_EQ(writeOffset(0xF2, 100), 100);
    EXPECT_EQ(writeOffset(0xF2, 101), std::nullopt);
    EXPECT_EQ(writeOffset(0xE8, 131), 232);
    EXPECT_EQ(writeOffset(0xE8, 132), std::nullopt);
    EXPECT_EQ(writeOffset(0xCA, 87), 480);
    EXPECT_EQ(writeOffset(0xCA, 88), std::nullopt);
    EXPECT_EQ(writeOffset(0x42, 0), std::nullopt);

    Unit u(Identity{}, rampTable());
    const auto out = u.apply(command({0xF2, 101, 9}), 0);
    EXPECT_FALSE(out.changed);
    EXPECT_TRUE(out.details.contains("refused"));
    EXPECT_EQ(u.raw(), rampTable());
}

TEST(SimUnit, WriteTableReplacesTheWholeTable)
{
    Unit u(Identity{}, rampTable());
    Bytes cmd{0xF3};
    for (int i = 0; i < table::TableSize; ++i)
        cmd.push_back(static_cast<uint8_t>(255 - i % 256));
    const auto out = u.apply(command(cmd), 0);
    EXPECT_TRUE(out.changed);
    EXPECT_TRUE(std::equal(cmd.begin() + 1, cmd.end(), u.raw().begin()));
    EXPECT_EQ(out.details["length"], table::TableSize);
}

TEST(SimUnit, CorruptWriteChangesExactlyOneByteOfEveryTableWrite)
{
    Bytes cmd{0xF3};
    for (int i = 0; i < table::TableSize; ++i)
        cmd.push_back(static_cast<uint8_t>(255 - i % 256));
    const Bytes sent(cmd.begin() + 1, cmd.end());
    for (int offset : {0, 200, table::TrailerOffset}) {
        Unit u(Identity{}, rampTable());
        u.setCorruptWriteOffset(offset);
        for (int write = 0; write < 2; ++write) { // every write, not only the first
            const auto out = u.apply(command(cmd), 0);
            for (int i = 0; i < table::TableSize; ++i)
                EXPECT_EQ(u.raw()[i], i == offset ? sent[i] ^ 0x01 : sent[i]) << offset << " at " << i;
            EXPECT_EQ(out.details["corrupted"], offset);
            EXPECT_EQ(out.details["sent"], sent[offset]);
            EXPECT_EQ(out.details["stored"], u.raw()[offset]);
        }
    }
}

TEST(SimUnit, CorruptWriteCountsAsAChangeEvenWhenTheImageMatchesTheTable)
{
    // The stored table then differs from what was there, so memory must be written.
    Unit u(Identity{}, rampTable());
    u.setCorruptWriteOffset(7);
    Bytes cmd{0xF3};
    cmd.insert(cmd.end(), u.raw().begin(), u.raw().end());
    EXPECT_TRUE(u.apply(command(cmd), 0).changed);
}

TEST(SimUnit, CorruptWriteLeavesSingleByteWritesAlone)
{
    Unit u(Identity{}, rampTable());
    u.setCorruptWriteOffset(80);
    const auto out = u.apply(command({0xF2, 80, 12}), 0);
    EXPECT_EQ(u.raw()[80], 12);
    EXPECT_FALSE(out.details.contains("corrupted"));
    const auto& bank = table::bankTable().back();
    u.setCorruptWriteOffset(bank.base);
    u.apply(command({bank.command, 0, 33}), 0);
    EXPECT_EQ(u.raw()[bank.base], 33);
}

TEST(SimUnit, PartialWriteStoresTheBytesThatCameAndKeepsTheRest)
{
    Unit unit(Identity{}, rampTable());
    CommandParser p;
    p.feed(Bytes{0xF3, 200, 201, 202}, 0);
    const Outcome out = unit.writePartial(*p.pendingCommand());
    EXPECT_TRUE(out.changed);
    EXPECT_EQ(out.details["length"], 3);
    table::ImageBytes expected = rampTable();
    expected[0] = 200;
    expected[1] = 201;
    expected[2] = 202;
    EXPECT_EQ(unit.raw(), expected);

    CommandParser none;
    none.feed(Bytes{0xF3}, 0);
    EXPECT_FALSE(unit.writePartial(*none.pendingCommand()).changed);
    EXPECT_EQ(unit.raw(), expected);
}

TEST(SimUnit, ReadLiveIsACompleteRecordWithoutZeroBytes)
{
    Unit u(Identity{}, rampTable());
    for (double t : {0.0, 6.0, 9.0, 12.5, 19.0}) {
        const auto out = u.apply(command({0xFC}), t);
        ASSERT_TRUE(out.reply);
        ASSERT_EQ(out.reply->size(), static_cast<size_t>(kyr::live::LiveRecordSize));
        EXPECT_EQ(std::count(out.reply->begin(), out.reply->end(), 0), 0);
        EXPECT_TRUE(kyr::live::decodeLive(*out.reply).ok());
    }
}

TEST(SimEngine, TimingFollowsTheUnitsMaps)
{
    table::ImageBytes raw{};
    // RPM range 100 x 100 = 10000: timing point i sits at i hundred RPM.
    raw[table::setupOffset(table::SetupParam::RpmRange)] = 100;
    raw[table::setupOffset(table::SetupParam::MapSensor)] = 10; // vacuum axis to 1.0 bar
    const auto& rpmMap = table::mapDef(table::MapId::TimingRpm);
    const auto& vacMap = table::mapDef(table::MapId::TimingVac);
    for (int i = 1; i <= rpmMap.points; ++i)
        raw[table::pointOffset(rpmMap, i)] = static_cast<uint8_t>(i / 2);
    for (int i = 1; i <= vacMap.points; ++i)
        raw[table::pointOffset(vacMap, i)] = static_cast<uint8_t>(vacMap.bias + 3);

    // 3000 RPM is point 30 (15 degrees), plus 3 degrees from the vacuum map.
    EXPECT_DOUBLE_EQ(Engine::timingAt(3000, 50, raw), 18.0);
    // Half way between points 31 (15) and 32 (16).
    EXPECT_DOUBLE_EQ(Engine::timingAt(3150, 50, raw), 18.5);
}

TEST(SimEngine, FixedThrottleSetsTheSensorReading)
{
    table::ImageBytes raw{};
    Engine closed(0.0), open(100.0);
    EXPECT_EQ(closed.sample(3.0, raw).get(kyr::live::LiveField::Throttle), ThrottleClosedCounts);
    EXPECT_EQ(open.sample(3.0, raw).get(kyr::live::LiveField::Throttle), ThrottleOpenCounts);
    EXPECT_GT(open.state(0).rpm, closed.state(0).rpm);
}

TEST(SimEngine, CycleStartsAtIdleSweepsToTheRangeAndRepeats)
{
    Engine e;
    EXPECT_DOUBLE_EQ(e.state(0).rpm, 900);
    EXPECT_DOUBLE_EQ(e.state(0).vacuum, 30);
    double top = 0;
    for (double t = 0; t < 130; t += 0.1) {
        const EngineState s = e.state(t, 7000);
        ASSERT_GE(s.rpm, 900) << t;
        ASSERT_LE(s.rpm, 6950) << t;
        top = std::max(top, s.rpm);
        ASSERT_NEAR(e.state(t + 124, 7000).rpm, s.rpm, 1e-6) << t;
    }
    EXPECT_NEAR(top, 6950, 1e-6);
}

TEST(SimLinePacer, BytesFallDueAtTenBitsEach)
{
    LinePacer p(19200);
    p.enqueue("ReadTable", Bytes(table::TableSize, 1), 100.0, 100.0);
    EXPECT_TRUE(p.due(100.0).empty());
    EXPECT_EQ(p.due(100.0 + 10 * p.byteMs() + 0.01).size(), 10u);
    ASSERT_TRUE(p.nextDueMs());
    EXPECT_NEAR(*p.nextDueMs(), 100.0 + p.byteMs(), 1e-9);

    // A caller that wakes late gets everything due at once; the end stays on schedule.
    const double end = 100.0 + table::TableSize * p.byteMs();
    EXPECT_NEAR(end - 100.0, 251.04, 0.01);
    EXPECT_EQ(p.due(end).size(), static_cast<size_t>(table::TableSize));
    EXPECT_FALSE(p.sent(400, end));
    const auto done = p.sent(82, end);
    ASSERT_TRUE(done);
    EXPECT_EQ(done->length, static_cast<size_t>(table::TableSize));
    EXPECT_TRUE(p.idle());
}

TEST(SimLinePacer, RepliesQueueBehindEachOther)
{
    LinePacer p(19200);
    p.enqueue("a", Bytes(10, 1), 0.0, 0.0);
    p.enqueue("b", Bytes(10, 2), 1.0, 1.0); // asked while "a" is still on the line
    const double aEnd = 10 * p.byteMs();
    ASSERT_EQ(p.due(aEnd).size(), 10u);
    ASSERT_TRUE(p.sent(10, aEnd));
    EXPECT_TRUE(p.due(aEnd).empty());
    EXPECT_NEAR(*p.nextDueMs(), aEnd + p.byteMs(), 1e-9);
}

TEST(SimMemory, StartsFromTheTuneAndKeepsItsOwnFileAfterwards)
{
    kyr::test::TempFolder dir;
    const auto memory = dir / "unit.mem";
    const auto first = openMemory(memory, KYR_SOURCE_DIR "/examples/demo.kyr");
    ASSERT_TRUE(first.ok()) << first.error().message;
    ASSERT_TRUE(std::filesystem::exists(memory));
    EXPECT_EQ(std::filesystem::file_size(memory), static_cast<uintmax_t>(table::TableSize));

    auto changed = first.value();
    changed[80] = 12;
    ASSERT_TRUE(saveMemory(memory, changed).ok());
    const auto again = openMemory(memory, dir / "no-such.kyr"); // the tune is not read again
    ASSERT_TRUE(again.ok());
    EXPECT_EQ(again.value(), changed);
    EXPECT_FALSE(std::filesystem::exists(dir / "unit.mem.tmp"));
}

TEST(SimMemory, AMemoryFileOfTheWrongSizeIsRefusedAndLeftAlone)
{
    kyr::test::TempFolder dir;
    const auto memory = dir / "unit.mem";
    std::ofstream(memory) << "not a table";
    const auto r = openMemory(memory, KYR_SOURCE_DIR "/examples/demo.kyr");
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().kind, kyr::ErrorKind::BadFile);
    EXPECT_EQ(std::filesystem::file_size(memory), 11u);
}

TEST(SimMemory, AMissingTuneIsAnErrorAndCreatesNoMemory)
{
    kyr::test::TempFolder dir;
    const auto r = openMemory(dir / "unit.mem", dir / "missing.kyr");
    EXPECT_FALSE(r.ok());
    EXPECT_FALSE(std::filesystem::exists(dir / "unit.mem"));
}
