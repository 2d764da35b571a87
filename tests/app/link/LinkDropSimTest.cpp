// SPDX-License-Identifier: GPL-3.0-or-later
// A dropped cable, against kyr-sim over a pseudo-terminal: the simulated unit
// closes its line and comes back on a new pseudo-terminal under the same COM
// name. The window must say so, come back by itself, and lose no edit.
#ifdef KYR_WITH_SIM

#include "maps/MapEditFixture.h"

#include "Memory.h"
#include "SimProcess.h"
#include "app/live/LivePoll.h"

#include <QLabel>
#include <QSignalSpy>
#include <QTimer>

using namespace kyr;
using namespace kyr::apptest;
using maps::ChartId;
using table::MapId;

namespace {

// Search, Connect's identity and setup read, the table read: the drop comes
// after four live records.
const std::string kDropAfterLive = "8";

class LinkDropSimTest : public MapEditTest {
protected:
    void SetUp() override {}
    void TearDown() override
    {
        WindowTest::TearDown();
        m_sim.reset();
    }

    void startWith(std::vector<std::string> simArgs, int pollMs)
    {
        m_sim = std::make_unique<test::SimProcess>(m_dir.path(), test::SimOptions{.port = 3, .args = simArgs});
        livePollMs = pollMs;
        makeWindow(ptyLinkSetup(m_dir.path()));
        start();
    }

    const session::TuneState& state() const { return window->model().state(); }
    QString indicator() const { return window->findChild<QLabel*>(QStringLiteral("LinkIndicator"))->text(); }
    bool live() const { return !state().link.lost && !state().link.choosing && state().flags.UnitConnected; }

    /// The unit's raw table once it satisfies done (the unit stores writes a moment after they arrive).
    bool unitHolds(const std::function<bool(const table::ImageBytes&)>& done)
    {
        return waitFor([&] {
            auto raw = sim::loadMemory(m_sim->memoryPath());
            return raw.ok() && done(raw.value());
        });
    }
    bool unitHoldsTheTune()
    {
        const table::ImageBytes tune = table::encode(state().setup, window->model().maps()).raw;
        return unitHolds([&](const table::ImageBytes& raw) {
            return std::equal(raw.begin(), raw.begin() + table::TableSize - 1, tune.begin());
        });
    }

    test::TempFolder m_dir{"kyr-drop"};
    std::unique_ptr<test::SimProcess> m_sim;
};

} // namespace

TEST_F(LinkDropSimTest, ALostLinkIsShownAndTheEditsMadeMeanwhileReachTheUnitWhenItReturns)
{
    startWith({"--drop-after", kDropAfterLive, "--reconnect-ms", "2500"}, app::live::LivePoll::IntervalMs);
    ASSERT_TRUE(waitFor([&] { return state().link.lost; }));
    EXPECT_EQ(panel(0), "Link lost");
    EXPECT_TRUE(indicator().startsWith("Link lost ")) << indicator().toStdString();
    EXPECT_FALSE(button("spWrite")->isEnabled()) << "nothing may be written into a missing port";
    EXPECT_FALSE(window->livePoll().running());

    // Two map edits while the unit is away: kept, not dropped.
    clickAt(ChartId::Timing, xOf(MapId::TimingRpm, 25), 31);
    clickAt(ChartId::Vacuum, xOf(MapId::TimingVac, 10), 9);
    EXPECT_EQ(modelValue(MapId::TimingRpm, 25), 31);
    ASSERT_TRUE(waitFor([&] { return state().link.journaled == 2; }));
    EXPECT_TRUE(indicator().contains("2 edits waiting")) << indicator().toStdString();

    ASSERT_TRUE(waitFor([&] { return live(); }, 15000)) << panel(0).toStdString();
    EXPECT_EQ(panel(0), "Link restored: 2 edits sent to the KYR");
    EXPECT_EQ(indicator(), "Connected");
    EXPECT_TRUE(sink->entries.empty()) << "the return needs no question";
    const auto& timing = table::mapDef(MapId::TimingRpm);
    EXPECT_TRUE(unitHolds([&](const table::ImageBytes& raw) {
        return raw[table::pointOffset(timing, 25)] == 31 + timing.bias;
    }));
    EXPECT_TRUE(unitHoldsTheTune());
    EXPECT_TRUE(waitFor([&] { return window->livePoll().running(); }));
}

// The unit came back holding something the program never sent: neither side
// is overwritten until the user chooses; here the program's tune is kept.
TEST_F(LinkDropSimTest, AUnitChangedWhileAwayIsNotOverwrittenWithoutAsking)
{
    sink->choice = app::link::LinkRecovery::KeepProgram;
    startWith({"--drop-after", kDropAfterLive, "--reconnect-ms", "1500", "--change-while-down", "200"},
              app::live::LivePoll::IntervalMs);
    ASSERT_TRUE(waitFor([&] { return state().link.lost; }));
    ASSERT_TRUE(waitFor([&] { return sink->texts("choice").size() == 1; }, 15000)) << panel(0).toStdString();
    EXPECT_TRUE(sink->texts("choice")[0].contains("offset 200")) << sink->texts("choice")[0].toStdString();
    ASSERT_TRUE(waitFor([&] { return live() && window->linkWorker().idle(); }, 15000));
    EXPECT_EQ(panel(0), "Data table written to KYR");
    EXPECT_TRUE(unitHoldsTheTune());
}

TEST_F(LinkDropSimTest, TheUnitsTableCanBeKeptInstead)
{
    sink->choice = app::link::LinkRecovery::KeepUnit;
    startWith({"--drop-after", kDropAfterLive, "--reconnect-ms", "1500", "--change-while-down", "200"},
              app::live::LivePoll::IntervalMs);
    const uint8_t before = state().image[200];
    ASSERT_TRUE(waitFor([&] { return sink->texts("choice").size() == 1; }, 15000)) << panel(0).toStdString();
    ASSERT_TRUE(waitFor([&] { return live() && window->linkWorker().idle(); }, 15000));
    EXPECT_EQ(state().image[200], ((before - 1) ^ 1) + 1) << "the program shows the unit's changed byte";
    EXPECT_EQ(panel(0), "The KYR's table is shown");
}

// A write cut off half-way is never reported as done, and nothing is sent
// to the unit until the user says it was switched off and on; then the whole
// table is written again and read back.
TEST_F(LinkDropSimTest, ATableWriteCutOffWaitsForTheUsersWordThenWritesTheWholeTable)
{
    sink->choice = app::link::LinkRecovery::NotYet;
    startWith({"--drop-in-write", "100", "--reconnect-ms", "0"}, 0);
    // A change past the first 100 bytes: the cut-off write cannot have stored it.
    ASSERT_GT(table::pointOffset(table::mapDef(MapId::TimingRpm), 30), 100);
    window->model().applyMapPoint(MapId::TimingRpm, 30, modelValue(MapId::TimingRpm, 30) + 2);
    window->model().mapsEdited();
    click("spWrite");
    waitIdle();
    EXPECT_EQ(panel(0).toStdString(), session::CutWriteText);
    EXPECT_TRUE(state().link.lost);
    EXPECT_TRUE(state().link.powerCycle);
    ASSERT_TRUE(waitFor([&] { return sink->texts("choice").size() == 1; }, 15000)) << panel(0).toStdString();
    EXPECT_TRUE(sink->texts("choice")[0].contains("Switch the KYR off and on"));
    ASSERT_TRUE(m_sim->waitForLog("event", "open", 2));
    // Asked once and answered "not yet": the line stays silent while the
    // recovery timer goes on ticking.
    const std::size_t entries = m_sim->log().size();
    QSignalSpy ticks(&window->linkRecovery().retryTimer(), &QTimer::timeout);
    ASSERT_TRUE(waitFor([&] { return ticks.count() >= 2; }, 15000));
    waitIdle();
    EXPECT_EQ(m_sim->log().size(), entries) << "something was sent to a unit that may take it for table";
    EXPECT_EQ(sink->texts("choice").size(), 1u);
    EXPECT_TRUE(button("spWrite")->isEnabled()) << "Write to KYR is the user's word";

    click("spWrite");
    ASSERT_TRUE(waitFor([&] { return live() && window->linkWorker().idle(); }, 15000)) << panel(0).toStdString();
    EXPECT_EQ(panel(0), "Data table written to KYR");
    EXPECT_TRUE(unitHoldsTheTune());
    const auto writes = m_sim->logWhere("cmd", "WriteTable");
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[1]["length"], table::TableSize);
}

#endif
