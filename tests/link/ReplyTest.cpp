// SPDX-License-Identifier: GPL-3.0-or-later
// Replies of a known length: waited for while they arrive, whole only when
// they hold exactly their length and the line is quiet after them, and never
// begun with the tail of an earlier reply.

#include "FakeClock.h"
#include "FakeSerialDevice.h"
#include "link/Protocol.h"
#include "link/TQCCom32.h"

#include <gtest/gtest.h>

using namespace kyr;
using namespace kyr::link;

namespace {

/// A table reply as the unit paces it: from startMs on, a chunk of 20 bytes
/// every 10 ms (about the line rate).
void paced(FakeSerialDevice& fake, uint32_t startMs, const Bytes& reply)
{
    for (std::size_t at = 0; at < reply.size(); at += 20) {
        const auto end = std::min(reply.size(), at + 20);
        fake.feedReceivedAt(startMs + static_cast<uint32_t>(at / 2), Bytes(reply.begin() + at, reply.begin() + end));
    }
}

Bytes tableOf(uint8_t first)
{
    Bytes t(ReadTableReply);
    for (std::size_t i = 0; i < t.size(); ++i)
        t[i] = static_cast<uint8_t>(first + i % 200);
    return t;
}

struct Replies : ::testing::Test {
    FakeClock clock;
    FakeSerialDevice fake{&clock};
    TQCCom32 efi{fake.factory(), clock, PortEnv::withVariables({})};
    ReplyTiming timing;

    void SetUp() override
    {
        efi.setShowErrors(false);
        ASSERT_TRUE(efi.Open());
    }
    Reply readTableNow() { return exchange(efi, clock, readTable(), pause::ReadTableMs, ReadTableReply, timing); }
};

TEST_F(Replies, StillArrivingAtThePausesEndIsWaitedForNotCut)
{
    // Begins 270 ms after FD: at 500 ms some 460 bytes are in, the rest 11 ms later.
    const Bytes table = tableOf(1);
    paced(fake, 270, table);
    const Reply r = readTableNow();
    EXPECT_EQ(r.fit, ReplyFit::Whole);
    EXPECT_EQ(r.bytes, table);
    EXPECT_LT(clock.tickMs(), static_cast<uint32_t>(pause::ReadTableMs + timing.lateLimitMs));
}

TEST_F(Replies, WholeReplyCostsOnlyTheQuietTimeAndSilenceNothing)
{
    fake.setResponder([](const Bytes& w) { return w == readIdentity() ? Bytes{3, 3, 2, 7, 1, 5, 6} : Bytes{}; });
    const Reply id = exchange(efi, clock, readIdentity(), pause::IdentityConnectMs, IdentitySize, timing);
    EXPECT_TRUE(id.whole());
    EXPECT_EQ(clock.sleeps(), (std::vector<int>{pause::IdentityConnectMs, timing.quietMs}));

    // Nothing began within the pause: no wait beyond it.
    const auto before = clock.sleeps().size();
    const Reply none = readTableNow();
    EXPECT_EQ(none.fit, ReplyFit::Short);
    EXPECT_TRUE(none.bytes.empty());
    EXPECT_EQ(clock.sleeps().size(), before + 1);
}

TEST_F(Replies, TooManyBytesOrAByteRightAfterIsGarbled)
{
    fake.setResponder([](const Bytes& w) { return w == readIdentity() ? Bytes{3, 3, 2, 7, 1, 5, 6, 9} : Bytes{}; });
    EXPECT_EQ(exchange(efi, clock, readIdentity(), pause::IdentityConnectMs, IdentitySize, timing).fit,
              ReplyFit::Garbled);

    // Exactly the length at the pause's end, then one more byte within the quiet time.
    fake.setResponder({});
    const uint32_t t0 = clock.tickMs();
    fake.feedReceivedAt(t0 + 100, tableOf(1));
    fake.feedReceivedAt(t0 + pause::ReadTableMs + 2, {0x42});
    const Reply r = readTableNow();
    EXPECT_EQ(r.fit, ReplyFit::Garbled);
    EXPECT_EQ(r.bytes.size(), ReadTableReply + 1);
}

TEST_F(Replies, TailOfAnEarlierReplyNeverStartsTheNext)
{
    // The end of a reply that was given up on is still coming in.
    fake.setResponder({});
    const uint32_t t0 = clock.tickMs();
    fake.feedReceived({7, 7, 7});
    fake.feedReceivedAt(t0 + 2, {7, 7});
    fake.feedReceivedAt(t0 + 4, {7});
    const Bytes table = tableOf(2);
    fake.setResponder([&](const Bytes& w) {
        if (w == readTable())
            paced(fake, clock.tickMs() + 50, table);
        return Bytes{};
    });
    const Reply r = readTableNow();
    EXPECT_EQ(r.fit, ReplyFit::Whole);
    EXPECT_EQ(r.bytes, table);
}

// The fast live poll gives up on a record after its limit; the rest of it,
// still on its way, is let run out so the next record starts clean.
TEST_F(Replies, ALateRecordRunsOutBeforeTheNextPoll)
{
    fake.setResponder({});
    const uint32_t t0 = clock.tickMs();
    const Bytes late{21, 22, 23, 24, 25, 26, 27, 28, 29, 30};
    fake.feedReceivedAt(t0 + 45, Bytes(late.begin(), late.begin() + 4));
    fake.feedReceivedAt(t0 + 60, Bytes(late.begin() + 4, late.end()));
    const Bytes part = transactUntil(efi, clock, readLive(), LiveRecordMax, pause::ReadLiveFastLimitMs);
    EXPECT_EQ(part.size(), 4u) << "the limit passed with the record in part";

    discardLateReply(efi, clock, timing);
    const Bytes next{31, 32, 33, 34, 35, 36, 37, 38, 39, 40};
    fake.setResponder([&](const Bytes&) {
        fake.feedReceivedAt(clock.tickMs() + 15, next); // after the late record's end would have come
        return Bytes{};
    });
    EXPECT_EQ(transactUntil(efi, clock, readLive(), LiveRecordMax, pause::ReadLiveFastLimitMs), next);
}

} // namespace

// Quick: the reply is taken once whole, long before the pause would end, and
// a unit that never begins costs no more than the pause.
TEST_F(Replies, QuickTakesAWholeReplyWithoutThePause)
{
    timing.quick = true;
    const Bytes table = tableOf(1);
    paced(fake, 2, table); // whole 243 ms after FD
    const Reply r = readTableNow();
    EXPECT_EQ(r.fit, ReplyFit::Whole);
    EXPECT_EQ(r.bytes, table);
    EXPECT_LT(clock.tickMs(), 300u) << "not the 500 ms pause";

    const uint32_t start = clock.tickMs();
    const Reply none = readTableNow();
    EXPECT_EQ(none.fit, ReplyFit::Short);
    EXPECT_LE(clock.tickMs() - start, static_cast<uint32_t>(pause::ReadTableMs + 1));
}
