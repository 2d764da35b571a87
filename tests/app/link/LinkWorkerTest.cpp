// SPDX-License-Identifier: GPL-3.0-or-later
// The link thread: requests run in the order they were posted, the window
// thread keeps running while one waits, statuses arrive as they happen, and
// nothing goes out while no unit is connected.

#include "window/AppFixture.h"

#include "app/common/Page.h"
#include "link/Protocol.h"

#include <QSignalSpy>
#include <QTimer>

#include <atomic>
#include <semaphore>

using namespace kyr;
using namespace kyr::apptest;

namespace {

class LinkWorkerTest : public ::testing::Test {
protected:
    LinkWorkerTest() : worker(std::make_unique<app::link::LinkWorker>(model, unit.setup())) {}
    ~LinkWorkerTest() override { worker.reset(); }

    void waitIdle() { ASSERT_TRUE(waitFor([this] { return worker->idle(); })); }

    void connect()
    {
        session::TuneState s = model.state();
        s.port = session::PortAddress::comPort(3);
        model.apply(s, {});
        worker->connectUnit();
    }

    UnitPort unit{3};
    app::TuneModel model;
    std::unique_ptr<app::link::LinkWorker> worker;
};

} // namespace

// Sends keep their order among themselves and with the tune requests, but
// go ahead of a ReadLive still waiting in the queue.
TEST_F(LinkWorkerTest, RequestsRunInTheOrderPostedButSendsGoAheadOfReadLive)
{
    connect();
    worker->send(link::writeByte(10, 1));
    link::Bytes live;
    QObject::connect(worker.get(), &app::link::LinkWorker::liveRead, [&](app::link::Ticket, const link::Bytes& b) { live = b; });
    worker->readLive();
    worker->send(link::writePoint(0xE8, 5, 20));
    worker->readTable();
    worker->send(link::writeByte(11, 2));
    waitIdle();
    std::vector<link::Bytes> writes = unit.device.writes();
    ASSERT_GE(writes.size(), 8u);
    // Connect: identity, setup read, table read; then the rest.
    EXPECT_EQ(writes[0], link::readIdentity());
    const std::vector<link::Bytes> tail(writes.end() - 5, writes.end());
    EXPECT_EQ(tail, (std::vector<link::Bytes>{link::writeByte(10, 1), link::writePoint(0xE8, 5, 20), link::readLive(),
                                              link::readTable(), link::writeByte(11, 2)}));
    EXPECT_EQ(live.size(), 10u);
    EXPECT_TRUE(model.state().flags.UnitConnected) << "the state came back and was applied";
}

// A send waits for the ReadLive on the line, never for one behind it.
TEST_F(LinkWorkerTest, SendWaitsOnlyForTheExchangeOnTheLine)
{
    connect();
    waitIdle();
    const std::size_t before = unit.device.writes().size();
    unit.holdLive = true;
    worker->readLive();
    ASSERT_TRUE(waitFor([&] { return unit.liveReads.load() >= 1; }));
    worker->readLive(session::LivePace::Fast);
    worker->send(link::writePoint(0xE8, 5, 20));
    worker->send(link::writeByte(10, 1));
    EXPECT_EQ(worker->pending(), 4);
    unit.holdLive = false;
    waitIdle();
    const std::vector<link::Bytes> all = unit.device.writes();
    const std::vector<link::Bytes> writes(all.begin() + static_cast<std::ptrdiff_t>(before), all.end());
    EXPECT_EQ(writes, (std::vector<link::Bytes>{link::readLive(), link::writePoint(0xE8, 5, 20),
                                                link::writeByte(10, 1), link::readLive()}));
}

// A later request sees what an earlier one left, even when both were asked for at once:
// Close all keeps Read enabled only when it finds the unit connected.
TEST_F(LinkWorkerTest, RequestTakesTheStateWhenItsTurnComes)
{
    connect();
    worker->closeAll();
    waitIdle();
    EXPECT_TRUE(model.state().commands().readTable);
}

// Each answer carries the ticket of its request.
TEST_F(LinkWorkerTest, SignalsCarryTheirRequestsTicket)
{
    QSignalSpy sent(worker.get(), &app::link::LinkWorker::sent);
    const app::link::Ticket first = worker->send(link::writeByte(10, 1));
    const app::link::Ticket second = worker->send(link::writeByte(11, 1));
    waitIdle();
    ASSERT_EQ(sent.count(), 2);
    EXPECT_NE(first, second);
    EXPECT_EQ(sent.at(0).at(0).value<app::link::Ticket>(), first);
    EXPECT_EQ(sent.at(1).at(0).value<app::link::Ticket>(), second);
}

TEST_F(LinkWorkerTest, SendsWithoutAUnitAreDropped)
{
    QSignalSpy sent(worker.get(), &app::link::LinkWorker::sent);
    worker->send(link::writeByte(10, 1));
    waitIdle();
    ASSERT_EQ(sent.count(), 1);
    EXPECT_FALSE(sent.at(0).at(1).toBool());
    EXPECT_TRUE(unit.device.writes().empty());
    EXPECT_TRUE(unit.device.openAttempts().empty());
}

TEST_F(LinkWorkerTest, StatusesArriveInOrderBeforeTheResult)
{
    QSignalSpy statuses(worker.get(), &app::link::LinkWorker::status);
    QStringList atApply;
    QObject::connect(&model, &app::TuneModel::stateApplied, [&] {
        for (const auto& args : statuses)
            atApply << args.at(0).toString();
    });
    connect();
    waitIdle();
    EXPECT_EQ(atApply, QStringList({"Searching ComPorts...", "KYR Connected", "Reading KYR Setup Data...", "Ready"}));
}

// While a request is held on the link thread the window thread runs its
// timers, a request asked for meanwhile waits its turn, and the pages are locked.
TEST_F(LinkWorkerTest, WindowRunsWhileTheLinkWaits)
{
    connect();
    waitIdle();
    const std::size_t before = unit.device.writes().size();
    app::Page page({model, *worker, *std::make_shared<RecordingSink>()}, "P", "P");
    QObject::connect(&model, &app::TuneModel::busyChanged, &page, [&](bool b) { page.setEnabled(!b); });
    QSignalSpy progress(worker.get(), &app::link::LinkWorker::progressChanged);

    unit.holdLive = true;
    worker->readLive();
    worker->readTable();
    ASSERT_TRUE(waitFor([&] { return unit.liveReads.load() >= 1; }));
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(1);
    ASSERT_TRUE(waitFor([&] { return ticks >= 5; })) << "the window thread is not blocked";
    EXPECT_TRUE(model.busy());
    EXPECT_FALSE(page.isEnabled());
    EXPECT_EQ(progress.count(), 0) << "the table read has not started";
    EXPECT_EQ(worker->pending(), 2);

    unit.holdLive = false;
    waitIdle();
    const std::vector<link::Bytes> writes = unit.device.writes();
    ASSERT_EQ(writes.size(), before + 2);
    EXPECT_EQ(writes[before], link::readLive());
    EXPECT_EQ(writes[before + 1], link::readTable());
    EXPECT_FALSE(model.busy());
    EXPECT_TRUE(page.isEnabled());
    ASSERT_EQ(progress.count(), 2);
    EXPECT_FALSE(progress.at(1).at(0).toBool());
}
