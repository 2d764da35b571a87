// SPDX-License-Identifier: GPL-3.0-or-later
// The real-time poll against kyr-sim over a pseudo-terminal: the engine the
// simulator models reaches the "Engine Monitor" page and the live bars, and
// "Analog Signals" stops the ReadLive traffic; the fast poll keeps records
// coming while a map edit goes through to the unit.

#ifdef KYR_WITH_SIM

#include "maps/MapEditFixture.h"
#include "app/common/ControlNames.h"

#include "SimProcess.h"
#include "app/live/LivePoll.h"
#include "app/maps/MapChartView.h"
#include "app/live/MonitorPage.h"
#include "maps/Charts.h"
#include "table/Layout.h"

#include <QCheckBox>
#include <QTest>
#include <QXYSeries>

using namespace kyr;
using namespace kyr::apptest;

namespace {

class LiveSimTest : public WindowTest {
protected:
    void SetUp() override
    {
        // A closed throttle holds the engine at 900 RPM and 30 kPa.
        m_sim = std::make_unique<test::SimProcess>(m_dir.path(),
                                                   test::SimOptions{.port = 3, .args = {"--throttle", "0"}});
        livePollMs = app::live::LivePoll::IntervalMs;
        makeWindow(ptyLinkSetup(m_dir.path()));
    }
    void TearDown() override
    {
        WindowTest::TearDown();
        m_sim.reset();
    }
    std::size_t liveCommands() const
    {
        return m_sim->logWhere("cmd", "ReadLive").size();
    }

    test::TempFolder m_dir{"kyr-live"};
    std::unique_ptr<test::SimProcess> m_sim;
};

} // namespace

TEST_F(LiveSimTest, TheSimulatedEngineReachesTheMonitorAndTheCharts)
{
    connectedWindow();
    auto* monitor = window->findChild<app::live::MonitorPage*>();
    ASSERT_NE(monitor, nullptr);
    ASSERT_TRUE(waitFor([&] { return monitor->gaugeText(live::Gauge::RpmHundreds) == QStringLiteral("9.0"); }))
        << monitor->gaugeText(live::Gauge::RpmHundreds).toStdString();
    EXPECT_EQ(monitor->gaugeText(live::Gauge::KpaTens), QStringLiteral("3.0"));
    // The simulated battery swings 13.6 to 14.0 V over the seconds since the start.
    const double volts = monitor->gaugeText(live::Gauge::Volts).toDouble();
    EXPECT_GE(volts, 13.6);
    EXPECT_LE(volts, 14.0);

    const auto& def = maps::chartDef(maps::ChartId::Timing);
    auto* timing = window->findChild<app::maps::MapChartView*>(QString::fromLatin1(app::chartLook(def.id).object));
    ASSERT_NE(timing, nullptr);
    ASSERT_GT(timing->seriesAt(app::chartLook(def.id).liveSeries)->count(), 0);
    EXPECT_DOUBLE_EQ(timing->seriesAt(app::chartLook(def.id).liveSeries)->at(0).x(), 9.0);

    auto& poll = window->livePoll();
    qobject_cast<QCheckBox*>(control(QStringLiteral("AnalogEn")))->click();
    ASSERT_TRUE(waitFor([&] { return !poll.pending(); }));
    waitIdle();
    ASSERT_TRUE(m_sim->waitForLog("cmd", "ReadLive"));
    const std::size_t stopped = liveCommands();
    QTest::qWait(150); // a check that nothing comes: there is no log line to wait for
    EXPECT_EQ(liveCommands(), stopped) << "Analog Signals off: the unit is left alone";
}

namespace {

class FastPollSimTest : public MapEditTest {
protected:
    void SetUp() override {}
    void TearDown() override
    {
        WindowTest::TearDown();
        m_sim.reset();
    }
    /// Connects to a simulator started with these options and checks "Fast poll".
    void startFast(std::vector<std::string> simArgs = {})
    {
        m_sim = std::make_unique<test::SimProcess>(m_dir.path(), test::SimOptions{.port = 3, .args = simArgs});
        livePollMs = app::live::LivePoll::IntervalMs;
        makeWindow(ptyLinkSetup(m_dir.path()));
        start();
        auto* fast = qobject_cast<QCheckBox*>(control(QStringLiteral("FastPoll")));
        ASSERT_NE(fast, nullptr);
        ASSERT_TRUE(fast->isEnabled()) << "a connected unit can be polled";
        fast->click();
        ASSERT_TRUE(poll().fastPoll());
        EXPECT_TRUE(fast->isChecked());
    }
    app::live::LivePoll& poll() const { return window->livePoll(); }

    test::TempFolder m_dir{"kyr-fastpoll"};
    std::unique_ptr<test::SimProcess> m_sim;
};

} // namespace

TEST_F(FastPollSimTest, RecordsKeepComingAndAKeyEditReachesTheUnitMeanwhile)
{
    ASSERT_NO_FATAL_FAILURE(startFast());
    const quint64 from = poll().records();
    ASSERT_TRUE(waitFor([&] { return poll().records() >= from + 30; }));

    // The key-up sends while the poll goes on: no waiting for the link to be idle.
    const double before = modelValue(table::MapId::TimingRpm, 40);
    hover(maps::ChartId::Timing, xOf(table::MapId::TimingRpm, 40), 5);
    press(Qt::Key_Up);
    QTest::keyRelease(focused(), Qt::Key_Up);
    const auto write = m_sim->waitForLog("cmd", "WritePoint");
    ASSERT_TRUE(write);
    const auto& def = table::mapDef(table::MapId::TimingRpm);
    EXPECT_EQ((*write)["offset"].get<int>(), table::pointOffset(def, 40));
    EXPECT_EQ((*write)["value"].get<int>(), static_cast<int>(before) + 1 + def.bias);

    const double writtenAt = (*write)["t_ms"].get<double>();
    ASSERT_TRUE(waitFor([&] {
        const auto reads = m_sim->logWhere("cmd", "ReadLive");
        return !reads.empty() && reads.back()["t_ms"].get<double>() > writtenAt;
    })) << "the fast poll goes on after the edit";
    EXPECT_TRUE(m_sim->logWhere("event", "lost").empty());
    EXPECT_FALSE(window->model().state().link.lost);
}

// The line drops while the fast poll runs: the link is lost, nothing more is
// asked of the missing port, and once the unit is back the fast poll goes on
// by itself.
TEST_F(FastPollSimTest, ALineDropStopsTheFastPollAndItGoesOnWhenTheUnitReturns)
{
    ASSERT_NO_FATAL_FAILURE(startFast({"--drop-after", "100", "--reconnect-ms", "500"}));
    const auto& state = window->model().state();
    ASSERT_TRUE(waitFor([&] { return state.link.lost; }));
    EXPECT_FALSE(poll().running());
    EXPECT_FALSE(poll().latest());
    ASSERT_TRUE(waitFor([&] { return !state.link.lost && !state.link.choosing; }, 15000));
    const quint64 back = poll().records();
    ASSERT_TRUE(waitFor([&] { return poll().records() >= back + 30; })) << "the fast poll picks up again";
    EXPECT_TRUE(poll().fastPoll());
    EXPECT_EQ(m_sim->logWhere("event", "drop").size(), 1u);
}

#endif // KYR_WITH_SIM
