// SPDX-License-Identifier: GPL-3.0-or-later
// Command bytes, identity and reply copies, and the transaction runner.

#include "FakeClock.h"
#include "FakeSerialDevice.h"
#include "link/Protocol.h"
#include "link/TQCCom32.h"

#include <gtest/gtest.h>

using namespace kyr;
using namespace kyr::link;

namespace {

TEST(Commands, SingleByteCommands)
{
    EXPECT_EQ(readIdentity(), Bytes{0xFF});
    EXPECT_EQ(readTable(), Bytes{0xFD});
    EXPECT_EQ(readLive(), Bytes{0xFC});
}

TEST(Commands, WriteByteSendsTheRawValue)
{
    EXPECT_EQ(writeByte(0x50, 0x0C), (Bytes{0xF2, 0x50, 0x0C}));
    EXPECT_EQ(writeByte(5, 0), (Bytes{0xF2, 0x05, 0x00})); // value 0 is a zero byte on the wire
    EXPECT_EQ(writePoint(0xE8, 99, 10), (Bytes{0xE8, 99, 10}));
}

TEST(Commands, MapPointTakesBankAndIndexFromTheLayout)
{
    using table::MapId;
    EXPECT_EQ(writeMapPoint(table::mapDef(MapId::TimingRpm), 1, 20), (Bytes{0xE8, 0, 20}));
    EXPECT_EQ(writeMapPoint(table::mapDef(MapId::TimingVac), 1, 10), (Bytes{0xE8, 100, 10}));
    EXPECT_EQ(writeMapPoint(table::mapDef(MapId::FuelCruise), 32, 100), (Bytes{0xDE, 95, 100}));
}

TEST(Commands, WriteTableIsF3AndTheWholeImageWithTrailer55)
{
    table::ImageBytes raw;
    for (int i = 0; i < table::TableSize; ++i)
        raw[i] = static_cast<uint8_t>(i * 7);
    const auto c = writeTable(raw);
    EXPECT_EQ(c.command, Bytes{0xF3});
    ASSERT_EQ(c.payload.size(), 482u);
    EXPECT_EQ(c.payload[481], 55);
    EXPECT_TRUE(std::equal(c.payload.begin(), c.payload.begin() + 481, raw.begin()));
}

TEST(Identity, RecognisedOnlyWithSignature56)
{
    const auto id = identityStopAtZero({3, 2, 1, 9, 8, 5, 6});
    EXPECT_TRUE(id.recognised());
    EXPECT_EQ(id.model(), 3);
    EXPECT_EQ(id.typeCode(), 2);
    EXPECT_EQ(id.minor(), 1);
    EXPECT_FALSE(identityStopAtZero({3, 2, 1, 9, 8, 6, 5}).recognised());
    EXPECT_FALSE(identityStopAtZero({3, 2, 1, 9, 8, 5, 7}).recognised());
    // The test is on the text: 5 and 6 only, not e.g. 56 and nothing.
    EXPECT_FALSE(identityByCount({3, 2, 1, 9, 8, 56, 0}).recognised());
    EXPECT_TRUE(identityStopAtZero({3, 2, 1, 9, 8, 4, 4}).fromFile());
}

TEST(Identity, EmptyReplyIsNotRecognised)
{
    const auto id = identityStopAtZero({});
    EXPECT_EQ(id.bytes[0], 0);
    for (std::size_t i = 1; i < IdentitySize; ++i)
        EXPECT_EQ(id.bytes[i], '0');
    EXPECT_FALSE(id.recognised());
    EXPECT_FALSE(identityByCount({}).recognised());
    EXPECT_EQ(identityByCount({}).bytes, UnitIdentity::filled().bytes);
}

TEST(Identity, MinorZeroNeedsTheByCountCopy)
{
    const Bytes reply{3, 2, 0, 9, 8, 5, 6};
    EXPECT_FALSE(identityStopAtZero(reply).recognised());
    const auto id = identityByCount(reply);
    EXPECT_TRUE(id.recognised());
    EXPECT_EQ(id.minor(), 0);
}

TEST(Identity, ShortAndLongReplies)
{
    const auto shortId = identityByCount({3, 2, 1});
    EXPECT_EQ(shortId.bytes, (std::array<uint8_t, 7>{3, 2, 1, '0', '0', '0', '0'}));
    EXPECT_EQ(identityStopAtZero({3, 2}).bytes, (std::array<uint8_t, 7>{3, 2, 0, '0', '0', '0', '0'}));
    EXPECT_TRUE(identityByCount({3, 2, 1, 9, 8, 5, 6, 99, 99}).recognised());
}

TEST(TableReply, CopyStopsAtZeroAndAtTheLimit)
{
    std::array<uint8_t, 5> dest;
    dest.fill('0');
    EXPECT_EQ(copyUntilZero({1, 2, 0, 4}, dest), 2u);
    EXPECT_EQ(dest, (std::array<uint8_t, 5>{1, 2, '0', '0', '0'}));
    dest.fill('0');
    EXPECT_EQ(copyUntilZero({9, 9, 9, 9, 9, 9, 9}, dest), 5u);
    EXPECT_EQ(dest, (std::array<uint8_t, 5>{9, 9, 9, 9, 9}));
    EXPECT_EQ(copyUntilZero({}, dest), 0u);
}

struct Transactions : ::testing::Test {
    FakeClock clock;
    FakeSerialDevice fake{&clock};
    TQCCom32 efi{fake.factory(), clock, PortEnv::withVariables({})};

    void SetUp() override
    {
        efi.setShowErrors(false);
        efi.setBaud(19200);
        efi.setResponseTime(100);
        fake.setResponder([](const Bytes& w) {
            return w == readIdentity() ? Bytes{3, 2, 1, 0, 0, 5, 6} : Bytes{};
        });
    }
};

TEST_F(Transactions, PurgeComesBeforeTheSendAndThePausePassesOnTheClock)
{
    ASSERT_TRUE(efi.Open());
    fake.feedReceived({0x77}); // a late reply to something earlier
    const Bytes reply = transact(efi, clock, readIdentity(), pause::IdentityConnectMs);
    EXPECT_EQ(reply, (Bytes{3, 2, 1, 0, 0, 5, 6}));
    EXPECT_EQ(fake.events(), (std::vector<std::string>{"P", "W FF"}));
    EXPECT_EQ(clock.sleeps(), std::vector<int>{300});
    EXPECT_TRUE(identityByCount(reply).recognised());
}

TEST_F(Transactions, ReplyIsWhatArrivedWithinThePauseTakenOnce)
{
    ASSERT_TRUE(efi.Open());
    fake.setResponder({});
    fake.feedReceivedAt(300, {1, 2, 3});  // within the 500 ms
    fake.feedReceivedAt(700, {4, 5});     // too late for this read
    EXPECT_EQ(transact(efi, clock, readTable(), pause::ReadTableMs), (Bytes{1, 2, 3}));
    EXPECT_EQ(clock.tickMs(), 500u);
    clock.advance(300);
    // The next command purges the straggler before it goes out.
    EXPECT_TRUE(transact(efi, clock, readLive(), pause::ReadLiveMs).empty());
}

TEST_F(Transactions, UntilTakesTheReplyOnceWholeAndGivesUpAtItsLimit)
{
    ASSERT_TRUE(efi.Open());
    fake.setResponder({});
    fake.feedReceivedAt(3, {1, 2, 3, 4});
    fake.feedReceivedAt(6, {5, 6, 7, 8, 9, 10});
    EXPECT_EQ(transactUntil(efi, clock, readLive(), 10, pause::ReadLiveFastLimitMs),
              (Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    EXPECT_EQ(clock.tickMs(), 6u);

    // A short reply is taken as it stands once the limit has passed.
    fake.feedReceivedAt(12, {1, 2});
    EXPECT_EQ(transactUntil(efi, clock, readLive(), 10, pause::ReadLiveFastLimitMs), (Bytes{1, 2}));
    EXPECT_EQ(clock.tickMs(), 6u + pause::ReadLiveFastLimitMs);
}

TEST_F(Transactions, OpensAClosedPortAndIsEmptyWithoutOne)
{
    EXPECT_EQ(transact(efi, clock, readIdentity(), pause::IdentitySearchMs).size(), 7u);
    EXPECT_EQ(fake.events().front(), "P");
    efi.Close();
    fake.setOpenable(false);
    const auto attempts = fake.openAttempts().size();
    EXPECT_TRUE(transact(efi, clock, readIdentity(), pause::IdentitySearchMs).empty());
    EXPECT_EQ(fake.openAttempts().size(), attempts + 1);
    EXPECT_EQ(clock.sleeps().size(), 1u); // only the first, successful, exchange paused
}

TEST_F(Transactions, WriteTableSendsCommandPauseThenImage)
{
    ASSERT_TRUE(efi.Open());
    table::ImageBytes raw{};
    EXPECT_TRUE(sendWriteTable(efi, clock, writeTable(raw)));
    ASSERT_EQ(fake.writes().size(), 2u);
    EXPECT_EQ(fake.writes()[0], Bytes{0xF3});
    EXPECT_EQ(fake.writes()[1].size(), 482u);
    EXPECT_EQ(fake.writtenData().size(), 483u);
    EXPECT_EQ(clock.sleeps(), std::vector<int>{pause::WriteTableGapMs});
}

TEST_F(Transactions, ImageIsNotSentWithoutItsCommandByte)
{
    ASSERT_TRUE(efi.Open());
    fake.injectError(FakeOp::Write, makeError(ErrorKind::OsError, "cannot write"));
    EXPECT_FALSE(sendWriteTable(efi, clock, writeTable(table::ImageBytes{})));
    EXPECT_TRUE(fake.writtenData().empty());
}

} // namespace
