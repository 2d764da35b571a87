// SPDX-License-Identifier: GPL-3.0-or-later
// "Fast poll": each record asks for the next one and is taken the moment it
// is whole; the chain stops with the switch, for a sequence and with the
// link, and the charts get the newest record once a frame. The poll runs on
// the link worker against a fake unit whose Timer1 never ticks, so that
// every ReadLive seen was asked for by the fast poll.

#include "window/AppFixture.h"

#include "app/live/LivePoll.h"
#include "link/Protocol.h"
#include "live/LiveRecord.h"

#include <QSignalSpy>
#include <QTest>

#include <thread>

using namespace kyr;
using namespace kyr::apptest;

namespace {

constexpr int OneHour = 3600 * 1000;

class FastPollTest : public ::testing::Test {
protected:
    FastPollTest()
    {
        live::LiveValues v;
        v.set(live::LiveField::Rpm, 2500);
        v.set(live::LiveField::Vacuum, 40);
        const live::LiveBytes b = live::encodeLive(v);
        record.assign(b.begin(), b.end());
        // The unit answers ReadLive until it is muted; then nothing comes.
        unit.device.setResponder([this](const link::Bytes& w) -> link::Bytes {
            if (w.size() != 1)
                return {};
            switch (w[0]) {
            case link::CmdReadIdentity:
                return link::Bytes(unit.identity.begin(), unit.identity.end());
            case link::CmdReadTable:
                ++tableReads;
                while (holdTable)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                return link::Bytes(unit.table.begin(), unit.table.end());
            case link::CmdReadLive:
                ++reads;
                if (mute) {
                    ++mutedReads;
                    return {};
                }
                return record;
            default:
                return {};
            }
        });
        worker = std::make_unique<app::link::LinkWorker>(model, unit.setup());
        poll = std::make_unique<app::live::LivePoll>(model, *worker);
        poll->setInterval(OneHour);
        session::TuneState s = model.state();
        s.port = session::PortAddress::comPort(3);
        model.apply(s, {});
        worker->connectUnit();
        waitIdle();
    }
    ~FastPollTest() override
    {
        holdTable = false; // a held table read would keep the link thread from ending
        poll.reset();
        worker.reset();
    }

    void waitIdle() { ASSERT_TRUE(waitFor([this] { return worker->idle(); })); }
    /// Switches "Fast poll" off and waits for the last ReadLive.
    void stopFast()
    {
        poll->setFastPoll(false);
        ASSERT_TRUE(waitFor([this] { return !poll->pending(); }));
        waitIdle();
    }

    UnitPort unit{3};
    link::Bytes record;
    std::atomic<int> reads{0};
    std::atomic<int> mutedReads{0};
    std::atomic<bool> mute{false};
    std::atomic<int> tableReads{0};
    std::atomic<bool> holdTable{false};
    app::TuneModel model;
    std::unique_ptr<app::link::LinkWorker> worker;
    std::unique_ptr<app::live::LivePoll> poll;
};

} // namespace

TEST_F(FastPollTest, EachRecordAsksForTheNextAndIsTakenAsSoonAsItIsWhole)
{
    ASSERT_TRUE(poll->running()) << "Connect checks Analog Signals";
    ASSERT_EQ(reads.load(), 0) << "Timer1 has not ticked";
    QSignalSpy updated(poll.get(), &app::live::LivePoll::liveUpdated);
    const uint32_t start = unit.clock.tickMs();

    poll->setFastPoll(true);
    EXPECT_TRUE(model.state().live.fastPoll);
    ASSERT_TRUE(waitFor([this] { return poll->records() >= 20; }));
    stopFast();
    EXPECT_EQ(static_cast<quint64>(updated.count()), poll->records()) << "every record is handed on";
    EXPECT_EQ(reads.load(), static_cast<int>(poll->records()));
    EXPECT_LT(unit.clock.tickMs() - start, static_cast<uint32_t>(link::pause::ReadLiveMs))
        << "no record waited out the fixed pause of the normal poll";
    ASSERT_TRUE(poll->latest());
    EXPECT_EQ(poll->latest()->get(live::LiveField::Rpm), 2500);

    const int stopped = reads;
    QTest::qWait(50);
    EXPECT_EQ(reads.load(), stopped) << "switched off, the chain ends: only Timer1 asks again";
    const uint32_t before = unit.clock.tickMs();
    poll->tick();
    waitIdle();
    EXPECT_EQ(reads.load(), stopped + 1);
    EXPECT_GE(unit.clock.tickMs() - before, static_cast<uint32_t>(link::pause::ReadLiveMs)) << "Timer1 keeps its pause";
}

TEST_F(FastPollTest, HoldsOffWhileASequenceRunsAndGoesOnAfter)
{
    poll->setFastPoll(true);
    ASSERT_TRUE(waitFor([this] { return reads >= 3; }));
    const int tablesBefore = tableReads;
    holdTable = true;
    worker->readTable();
    EXPECT_FALSE(poll->running()) << "stopped as soon as the sequence is queued";
    ASSERT_TRUE(waitFor([&] { return tableReads > tablesBefore; })) << "the table read reaches the unit and waits there";
    const int during = reads;
    QTest::qWait(50);
    EXPECT_EQ(reads.load(), during) << "no ReadLive while the table is read";
    EXPECT_EQ(worker->pending(), 1);
    holdTable = false;
    ASSERT_TRUE(waitFor([this] { return !model.busy(); }));
    EXPECT_TRUE(poll->running());
    EXPECT_TRUE(waitFor([&] { return reads >= during + 3; })) << "the chain starts again without Timer1";
    stopFast();
}

// A missing record counts as one in the normal poll: the third in a row loses
// the link, and nothing more is sent into it.
TEST_F(FastPollTest, TheThirdMissingRecordLosesTheLink)
{
    QSignalSpy missed(poll.get(), &app::live::LivePoll::liveMissed);
    QSignalSpy lost(worker.get(), &app::link::LinkWorker::linkLost);
    poll->setFastPoll(true);
    ASSERT_TRUE(waitFor([this] { return poll->records() >= 3; }));
    mute = true;
    ASSERT_TRUE(waitFor([this] { return model.state().link.lost; }));
    waitIdle();
    EXPECT_EQ(lost.count(), 1);
    EXPECT_EQ(mutedReads.load(), session::LinkKeeper::LiveMissesAllowed + 1);
    EXPECT_EQ(missed.count(), session::LinkKeeper::LiveMissesAllowed + 1);
    EXPECT_FALSE(poll->running());
    EXPECT_FALSE(poll->latest()) << "no stale record passes for the engine's state";
    QTest::qWait(50);
    EXPECT_EQ(mutedReads.load(), session::LinkKeeper::LiveMissesAllowed + 1);
}

TEST_F(FastPollTest, TheChartsGetTheNewestRecordOncePerFrame)
{
    poll->setFrameInterval(OneHour); // the frame ends only when the test says so
    QSignalSpy shown(poll.get(), &app::live::LivePoll::liveShown);
    poll->setFastPoll(true);
    ASSERT_TRUE(waitFor([this] { return poll->records() >= 10; }));
    EXPECT_EQ(shown.count(), 1) << "the first record at once, the others wait for the end of the frame";
    poll->showFrame();
    ASSERT_EQ(shown.count(), 2);
    EXPECT_EQ(shown.at(1).at(0).value<live::LiveValues>().get(live::LiveField::Rpm), 2500);
    poll->showFrame();
    EXPECT_EQ(shown.count(), 2) << "no new record, nothing to draw";

    stopFast();
    mute = true;
    poll->tick();
    ASSERT_TRUE(waitFor([this] { return !poll->pending(); }));
    poll->showFrame();
    EXPECT_EQ(shown.count(), 2) << "after a missing record the older one is not drawn";
}
