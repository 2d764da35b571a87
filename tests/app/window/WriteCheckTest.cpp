// SPDX-License-Identifier: GPL-3.0-or-later
// The look over the tune before Write to KYR, and Disconnect, on the main
// window over an in-memory unit.

#include "window/AppFixture.h"

#include "app/dialogs/SetupChangedDialog.h"
#include "app/window/WriteCheck.h"
#include "link/Protocol.h"

#include <QAction>
#include <QLabel>
#include <QMenu>

using namespace kyr;
using namespace kyr::apptest;

namespace {

constexpr int SpikeAt = 20;

class WriteCheckTest : public WindowTest {
protected:
    void SetUp() override { app::window::WriteCheck{}.save(); }
    void TearDown() override
    {
        app::window::WriteCheck{}.save();
        WindowTest::TearDown();
    }
    /// A timing point 20° above both its neighbours, as a slip of the hand makes it.
    void addSpike()
    {
        const table::MapArrays& maps = window->model().maps();
        const int high = std::max(maps.at(table::MapId::TimingRpm, SpikeAt - 1),
                                  maps.at(table::MapId::TimingRpm, SpikeAt + 1));
        window->model().applyMapPoint(table::MapId::TimingRpm, SpikeAt, high + 20);
        window->model().mapsEdited();
    }
    std::size_t tableWrites() const { return unit->writesStartingWith(link::CmdWriteTable).size(); }
};

} // namespace

TEST_F(WriteCheckTest, ATimingSpikeIsListedAndNothingIsSentUnlessTheTunerGoesOn)
{
    connectedWindow();
    addSpike();
    unit->device.clearWritten();
    sink->choice = 1; // Cancel
    click("spWrite");
    waitIdle();
    ASSERT_EQ(sink->texts("choice").size(), 1);
    const QString text = sink->texts("choice")[0];
    EXPECT_TRUE(text.contains(QStringLiteral("Timing Map point %1").arg(SpikeAt))) << text.toStdString();
    EXPECT_TRUE(text.endsWith("Write the tune to the KYR anyway?"));
    EXPECT_EQ(tableWrites(), 0u);
    EXPECT_TRUE(unit->device.writes().empty()) << "not even the backup read";

    sink->choice = 0; // Write anyway
    click("spWrite");
    waitIdle();
    EXPECT_EQ(tableWrites(), 1u);
    EXPECT_EQ(panel(0), "Data table written to KYR");
}

TEST_F(WriteCheckTest, ATuneWithoutSlipsIsWrittenWithoutAQuestion)
{
    connectedWindow();
    click("spWrite");
    waitIdle();
    EXPECT_TRUE(sink->entries.empty());
    EXPECT_EQ(tableWrites(), 1u);
}

TEST_F(WriteCheckTest, TheTunerCanTurnTheCheckOffAndSetTheTimingLimit)
{
    connectedWindow();
    addSpike();
    auto* on = window->findChild<QAction*>(QStringLiteral("WriteCheckOn"));
    ASSERT_NE(on, nullptr);
    on->setChecked(false);
    click("spWrite");
    waitIdle();
    EXPECT_TRUE(sink->texts("choice").isEmpty());
    EXPECT_EQ(tableWrites(), 1u);
    on->setChecked(true);
    EXPECT_TRUE(app::window::WriteCheck::load().enabled);

    // A limit below every point of the map: each is named, the list is cut short.
    app::window::WriteCheck low;
    low.timingLimit = app::window::WriteCheck::LowestTimingLimit;
    low.save();
    window->model().applyMapPoint(table::MapId::TimingRpm, SpikeAt, 30);
    for (int i = 1; i <= 40; ++i)
        window->model().applyMapPoint(table::MapId::TimingRpm, i, 30);
    window->model().mapsEdited();
    sink->choice = 1;
    click("spWrite");
    waitIdle();
    ASSERT_EQ(sink->texts("choice").size(), 1);
    EXPECT_TRUE(sink->texts("choice")[0].contains(" more")) << sink->texts("choice")[0].toStdString();
}

// A stored 0 would end the unit's table reply at its byte: the write is
// refused, naming the byte, even with the look turned off.
TEST_F(WriteCheckTest, AStoredZeroIsNeverWritten)
{
    app::window::WriteCheck off;
    off.enabled = false;
    off.save();
    connectedWindow();
    const table::SetupDef* coil = &table::setupDef(table::SetupParam::Cylinders);
    ASSERT_NE(coil, nullptr);
    session::TuneState s = window->model().state();
    s.setup[static_cast<std::size_t>(coil->offset)] = 0;
    window->model().apply(s, {});
    unit->device.clearWritten();
    click("spWrite");
    waitIdle();
    ASSERT_EQ(sink->texts("warning").size(), 1);
    const QString text = sink->texts("warning")[0];
    EXPECT_TRUE(text.contains(QStringLiteral("table offset %1").arg(coil->offset))) << text.toStdString();
    EXPECT_TRUE(text.contains("stored 0 (raw 255)")) << text.toStdString();
    EXPECT_EQ(tableWrites(), 0u);
    EXPECT_TRUE(unit->device.writes().empty());
}

TEST_F(WriteCheckTest, ALimitEditedOutOfRangeByHandIsTheDefault)
{
    app::window::WriteCheck bad;
    bad.timingLimit = 500;
    bad.save();
    EXPECT_EQ(app::window::WriteCheck::load().timingLimit, app::window::WriteCheck::DefaultTimingLimit);
}

// A setup the unit does not hold yet is offered for writing before the port
// is let go, as on Exit.
TEST_F(WriteCheckTest, DisconnectWithAChangedSetupAsksFirst)
{
    connectedWindow();
    session::TuneState s = window->model().state();
    s.flags.ImageChanged = true;
    window->model().apply(s, {});
    click("spDisconnect");
    waitIdle();
    QDialog* asked = nullptr;
    for (QDialog* d : window->dialogs())
        if (qobject_cast<app::dialogs::SetupChangedDialog*>(d) && d->isVisible())
            asked = d;
    ASSERT_NE(asked, nullptr);
    EXPECT_TRUE(window->model().state().flags.UnitConnected);
}
