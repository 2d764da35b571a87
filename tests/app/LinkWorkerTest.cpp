// The link thread: requests run in the order they were posted, the window
// thread keeps running while one waits, statuses arrive as they happen, and
// nothing goes out while no unit is connected.

#include "AppFixture.h"

#include "app/Page.h"
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
    LinkWorkerTest() : worker(std::make_unique<app::LinkWorker>(model, unit.setup())) {}
    ~LinkWorkerTest() override { worker.reset(); }

    void waitIdle() { ASSERT_TRUE(waitFor([this] { return worker->idle(); })); }

    void connect()
    {
        link::SessionState s = model.state();
        s.comboText = "Com3";
        model.apply(s, {});
        worker->postSequence([](app::LinkContext& c, app::LinkReply& r) { r.outcome = c.sequences.connect(r.state); });
    }

    FakeUnit unit{3};
    app::TuneModel model;
    std::unique_ptr<app::LinkWorker> worker;
};

} // namespace

TEST_F(LinkWorkerTest, RequestsRunInTheOrderPosted)
{
    connect();
    worker->postSend(link::writeByte(10, 1));
    link::Bytes live;
    worker->postReadLive([&](const link::Bytes& b) { live = b; });
    worker->postSend(link::writePoint(0xE8, 5, 20));
    waitIdle();
    std::vector<link::Bytes> writes = unit.device.writes();
    ASSERT_GE(writes.size(), 5u);
    // Connect: identity, setup read, table read; then the three in order.
    EXPECT_EQ(writes[0], link::readIdentity());
    EXPECT_EQ(writes[writes.size() - 3], link::writeByte(10, 1));
    EXPECT_EQ(writes[writes.size() - 2], link::readLive());
    EXPECT_EQ(writes[writes.size() - 1], link::writePoint(0xE8, 5, 20));
    EXPECT_EQ(live.size(), 10u);
    EXPECT_TRUE(model.state().flags.UnitConnected) << "the state came back and was applied";
}

// A later sequence sees what an earlier one left, even when both were posted at once.
TEST_F(LinkWorkerTest, SequenceTakesTheStateWhenItsTurnComes)
{
    connect();
    bool sawConnected = false;
    worker->postSequence([&](app::LinkContext&, app::LinkReply& r) { sawConnected = r.state.flags.UnitConnected; });
    waitIdle();
    EXPECT_TRUE(sawConnected);
}

TEST_F(LinkWorkerTest, SendsWithoutAUnitAreDropped)
{
    std::optional<bool> sent;
    worker->postSend(link::writeByte(10, 1), [&](bool s) { sent = s; });
    waitIdle();
    ASSERT_TRUE(sent.has_value());
    EXPECT_FALSE(*sent);
    EXPECT_TRUE(unit.device.writes().empty());
    EXPECT_TRUE(unit.device.openAttempts().empty());
}

TEST_F(LinkWorkerTest, StatusesArriveInOrderBeforeTheResult)
{
    QSignalSpy statuses(worker.get(), &app::LinkWorker::status);
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
// timers, a request posted meanwhile waits its turn, and the pages are locked.
TEST_F(LinkWorkerTest, WindowRunsWhileTheLinkWaits)
{
    std::binary_semaphore release(0);
    std::atomic<bool> started = false;
    app::Page page({model, *worker, *std::make_shared<RecordingSink>()}, "P", "P");
    QObject::connect(&model, &app::TuneModel::busyChanged, &page, [&](bool b) { page.setEnabled(!b); });
    QSignalSpy progress(worker.get(), &app::LinkWorker::progressChanged);

    worker->postSequence(
        [&](app::LinkContext& c, app::LinkReply&) {
            started = true;
            release.acquire();
            c.efi.setPort(3);
            c.efi.Send(link::writeByte(1, 1));
        },
        {}, {.progress = true});
    link::Bytes reply;
    worker->postTransaction(link::readLive(), 20, [&](const link::Bytes& b) { reply = b; });

    ASSERT_TRUE(waitFor([&] { return started.load(); }));
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(1);
    ASSERT_TRUE(waitFor([&] { return ticks >= 5; })) << "the window thread is not blocked";
    EXPECT_TRUE(model.busy());
    EXPECT_FALSE(page.isEnabled());
    ASSERT_EQ(progress.count(), 1);
    EXPECT_TRUE(progress.at(0).at(0).toBool());
    EXPECT_EQ(worker->pending(), 2);

    release.release();
    waitIdle();
    ASSERT_EQ(unit.device.writes().size(), 2u);
    EXPECT_EQ(unit.device.writes()[0], link::writeByte(1, 1));
    EXPECT_EQ(unit.device.writes()[1], link::readLive());
    EXPECT_EQ(reply.size(), 10u);
    EXPECT_FALSE(model.busy());
    EXPECT_TRUE(page.isEnabled());
    ASSERT_EQ(progress.count(), 2);
    EXPECT_FALSE(progress.at(1).at(0).toBool());
}
