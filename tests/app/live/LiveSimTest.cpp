// The real-time poll against kyr-sim over a pseudo-terminal: the engine the
// simulator models reaches the "Engine Monitor" page and the live bars, and
// "Analog Signals" stops the ReadLive traffic.

#ifdef KYR_WITH_SIM

#include "window/AppFixture.h"

#include "SimProcess.h"
#include "app/live/LivePoll.h"
#include "app/maps/MapChartView.h"
#include "app/live/MonitorPage.h"
#include "maps/Charts.h"

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
        livePollMs = app::LivePoll::IntervalMs;
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
    auto* monitor = window->findChild<app::MonitorPage*>();
    ASSERT_NE(monitor, nullptr);
    ASSERT_TRUE(waitFor([&] { return monitor->gaugeText(live::Gauge::RpmHundreds) == QStringLiteral("9.0"); }))
        << monitor->gaugeText(live::Gauge::RpmHundreds).toStdString();
    EXPECT_EQ(monitor->gaugeText(live::Gauge::KpaTens), QStringLiteral("3.0"));
    // The simulated battery swings 13.6 to 14.0 V over the seconds since the start.
    const double volts = monitor->gaugeText(live::Gauge::Volts).toDouble();
    EXPECT_GE(volts, 13.6);
    EXPECT_LE(volts, 14.0);

    const auto& def = maps::chartDef(maps::ChartId::Timing);
    auto* timing = window->findChild<app::MapChartView*>(QString::fromUtf8(def.object.data(), def.object.size()));
    ASSERT_NE(timing, nullptr);
    ASSERT_GT(timing->seriesAt(def.liveSeries)->count(), 0);
    EXPECT_DOUBLE_EQ(timing->seriesAt(def.liveSeries)->at(0).x(), 9.0);

    auto& poll = app::LivePoll::of(window->model(), window->linkWorker());
    qobject_cast<QCheckBox*>(control(QStringLiteral("AnalogEn")))->click();
    ASSERT_TRUE(waitFor([&] { return !poll.pending(); }));
    waitIdle();
    ASSERT_TRUE(m_sim->waitForLog("cmd", "ReadLive"));
    const std::size_t stopped = liveCommands();
    QTest::qWait(150);
    EXPECT_EQ(liveCommands(), stopped) << "Analog Signals off: the unit is left alone";
}

#endif // KYR_WITH_SIM
