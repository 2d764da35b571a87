// SPDX-License-Identifier: GPL-3.0-or-later
// The throttle calibration panel against the in-memory unit, whose
// ReadLive answers a throttle byte the test chooses: the poll runs on
// Timer2 through the link queue, F1 leads through the steps, and only a
// sound pair of readings is written and kept.

#include "setup/SetupPageFixture.h"

#include "app/setup/TpsCalibrationPanel.h"
#include "live/LiveRecord.h"

#include <QLabel>
#include <QTimer>

#include <atomic>

using namespace kyr;
using namespace kyr::apptest;

namespace {

class TpsPanelTest : public SetupPageTest {
protected:
    TpsPanelTest()
    {
        // The unit answers ReadLive with the throttle the test sets (raw counts).
        unit.device.setResponder([this](const link::Bytes& w) -> link::Bytes {
            if (w.size() != 1)
                return {};
            if (w[0] == link::CmdReadIdentity)
                return link::Bytes(unit.identity.begin(), unit.identity.end());
            if (w[0] == link::CmdReadTable)
                return link::Bytes(unit.table.begin(), unit.table.end());
            if (w[0] == link::CmdReadLive) {
                live::LiveValues v;
                v.set(live::LiveField::Throttle, throttle.load());
                const live::LiveBytes record = live::encodeLive(v);
                return link::Bytes(record.begin(), record.end());
            }
            return {};
        });
        panel = std::make_unique<app::setup::TpsCalibrationPanel>(context(), engine);
        panel->show();
    }
    ~TpsPanelTest() override { panel.reset(); }

    /// Waits until Timer2's poll has brought this reading.
    void waitForReading(int counts)
    {
        ASSERT_TRUE(waitFor([&] { return panel->calibration().lastReading() == counts; }))
            << "reading " << counts;
    }
    std::string prompt() const { return panel->findChild<QLabel*>("Label1")->text().toStdString(); }

    std::atomic<int> throttle{30};
    std::unique_ptr<app::setup::TpsCalibrationPanel> panel;
};

} // namespace

TEST_F(TpsPanelTest, PollsOnTimer2AndWritesBothPoints)
{
    connectUnit();
    takeWrites();
    auto* timer = panel->findChild<QTimer*>("Timer2");
    ASSERT_NE(timer, nullptr);
    EXPECT_FALSE(timer->isActive());

    panel->start();
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(prompt(), "Release throttle completely and press F1");
    waitForReading(30);
    panel->pressF1();
    EXPECT_EQ(prompt(), "Open throttle as far as possible and press F1");
    throttle = 220;
    waitForReading(220);
    panel->pressF1();
    EXPECT_EQ(prompt(), "TPS Calibrated. Please click OK to return to the SETUP tab");
    EXPECT_FALSE(timer->isActive()) << "the poll ends with the calibration";

    ASSERT_TRUE(waitFor([&] { return unit.writesStartingWith(link::CmdWriteByte).size() >= 2; }));
    EXPECT_EQ(takeWrites(), (std::vector<link::Bytes>{wb(38, 30), wb(39, 220)}));
    EXPECT_EQ(modelRaw(38), 30);
    EXPECT_EQ(modelRaw(39), 220);
    EXPECT_EQ(engine.setupCopy()[39], 221) << "the engine's copy, which the next edit builds on";
    EXPECT_TRUE(model.state().flags.ImageChanged);
    EXPECT_GE(unit.writesStartingWith(link::CmdReadLive).size(), 2u);
}

TEST_F(TpsPanelTest, ATooSmallSpanIsAnErrorAndF1StartsAgain)
{
    connectUnit();
    takeWrites();
    panel->start();
    waitForReading(30);
    panel->pressF1();
    throttle = 40; // barely moved
    waitForReading(40);
    panel->pressF1();
    EXPECT_EQ(prompt(), "Error...please try again or click CANCEL");
    panel->pressF1();
    EXPECT_EQ(prompt(), "Release throttle completely and press F1");
    EXPECT_TRUE(takeWrites().empty());
    EXPECT_EQ(modelRaw(38), unit.table[38] - 1) << "nothing kept";
}

TEST_F(TpsPanelTest, F1KeyOfTheWindowTakesThePoint)
{
    connectUnit();
    panel->start();
    waitForReading(30);
    QApplication::setActiveWindow(panel.get());
    QTest::keyClick(panel.get(), Qt::Key_F1);
    EXPECT_EQ(panel->calibration().step(), setup::TpsCalibration::Step::High);
}

TEST_F(TpsPanelTest, WithoutAUnitNothingIsPolled)
{
    panel->start();
    QTest::qWait(3 * app::setup::TpsCalibrationPanel::PollMs);
    waitIdle();
    EXPECT_TRUE(unit.writesStartingWith(link::CmdReadLive).empty());
    panel->pressF1();
    EXPECT_EQ(prompt(), "Error...please try again or click CANCEL");
    panel->stop();
    EXPECT_FALSE(panel->timer()->isActive());
}
