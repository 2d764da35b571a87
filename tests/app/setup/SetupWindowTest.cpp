// SPDX-License-Identifier: GPL-3.0-or-later
// The Setup page inside the main window: filled by Connect without a byte
// sent, read-only while a sequence runs, bound to the model's one setup
// engine, and its "Calibrate" opening the throttle calibration dialog.

#include "window/AppFixture.h"

#include "app/setup/SetupBinder.h"
#include "app/setup/SetupPage.h"
#include "app/dialogs/TpsCalDialog.h"
#include "app/setup/TpsCalibrationPanel.h"
#include "link/Protocol.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace kyr;
using namespace kyr::apptest;

namespace {

class SetupWindowTest : public WindowTest {
protected:
    QLineEdit* edit(const char* name) const { return qobject_cast<QLineEdit*>(control(QString::fromLatin1(name))); }
    std::size_t writeBytes() const { return unit->writesStartingWith(link::CmdWriteByte).size(); }
    app::dialogs::TpsCalDialog* tpsDialog() const { return window->findChild<app::dialogs::TpsCalDialog*>(QStringLiteral("TPSCal")); }
};

} // namespace

TEST_F(SetupWindowTest, ConnectShowsTheSetupWithoutSendingIt)
{
    connectedWindow();
    EXPECT_EQ(writeBytes(), 0u);
    EXPECT_EQ(lineText("Edit12").toStdString(), "4");
    EXPECT_EQ(lineText("Edit20").toStdString(), "6800");
    EXPECT_EQ(lineText("Edit18").toStdString(), "Fuel and Timing");
    EXPECT_EQ(lineText("Edit6").toStdString(), "3");
    EXPECT_TRUE(control("CalBtn")->isEnabled());
    EXPECT_TRUE(window->model().setupEngine().editsLive());
}

// "~" separates the vehicle texts in a map file: typed, it never arrives,
// and the status line says why.
TEST_F(SetupWindowTest, TheVehicleTextsTakeNoTilde)
{
    connectedWindow();
    QApplication::setActiveWindow(window.get());
    edit("Edit9")->setFocus();
    QTest::keyClicks(edit("Edit9"), "Mini~Cooper");
    EXPECT_EQ(lineText("Edit9"), "MiniCooper");
    EXPECT_EQ(window->model().vehicle().make, "MiniCooper");
    EXPECT_TRUE(panel(0).contains("without \"~\"")) << panel(0).toStdString();
}

TEST_F(SetupWindowTest, AnEditGoesThroughTheModelsEngine)
{
    connectedWindow();
    edit("Edit13")->setText("5000");
    waitIdle();
    EXPECT_EQ(unit->writesStartingWith(link::CmdWriteByte), (std::vector<link::Bytes>{link::writeByte(81, 50)}));
    EXPECT_EQ(window->model().setupEngine().rpmRange(), 5000) << "the limiter's bound follows at once";
    EXPECT_EQ(window->model().axes().rpmRange, 7000) << "the charts follow at the next table shown";
    EXPECT_TRUE(button("spWrite")->isEnabled());
    EXPECT_FALSE(button("spRead")->isEnabled());
    edit("Edit20")->setText("6000"); // above the new range: the last accepted comes back
    waitIdle();
    EXPECT_EQ(lineText("Edit20").toStdString(), "6800");
}

TEST_F(SetupWindowTest, ThePageIsReadOnlyWhileASequenceRuns)
{
    connectedWindow();
    window->model().setBusy(true);
    QLineEdit* cylinders = edit("Edit12");
    EXPECT_FALSE(cylinders->isEnabled());
    QTest::keyClicks(cylinders, "2");
    EXPECT_EQ(cylinders->text().toStdString(), "4");
    window->model().setBusy(false);
    EXPECT_TRUE(cylinders->isEnabled());
    waitIdle();
    EXPECT_EQ(writeBytes(), 0u);
}

TEST_F(SetupWindowTest, EscapeInAFieldWithTypingPutsItBackAndIsNotExit)
{
    connectedWindow();
    bool exited = false;
    QObject::connect(window.get(), &app::window::EFICom::exitFinished, [&] { exited = true; });
    QLineEdit* limiter = edit("Edit20");
    QApplication::setActiveWindow(window.get());
    limiter->setFocus(Qt::MouseFocusReason);
    limiter->selectAll();
    QTest::keyClicks(limiter, "69");
    QTest::keyClick(limiter, Qt::Key_Escape);
    waitIdle();
    EXPECT_FALSE(exited);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(unit->device.isOpen());
    EXPECT_EQ(limiter->text().toStdString(), "6800");
    EXPECT_EQ(writeBytes(), 0u);

    // Nothing pending: Escape is Exit, in the field as anywhere else.
    QTest::keyClick(limiter, Qt::Key_Escape);
    ASSERT_TRUE(waitFor([&] { return exited; }));
    EXPECT_EQ(writeBytes(), 0u);
}

// A value still being typed when "Write to KYR" is clicked is finished first:
// the table written carries it.
TEST_F(SetupWindowTest, WriteToKyrClickedWhileTypingWritesTheTypedValue)
{
    connectedWindow();
    QLineEdit* limiter = edit("Edit20");
    QApplication::setActiveWindow(window.get());
    limiter->setFocus(Qt::MouseFocusReason);
    limiter->selectAll();
    QTest::keyClicks(limiter, "6900");
    QTest::mouseClick(button("spWrite"), Qt::LeftButton);
    waitIdle();
    EXPECT_EQ(limiter->text().toStdString(), "6900");
    EXPECT_EQ(writeBytes(), 1u) << "the typed value went to the unit once";
    EXPECT_EQ(panel(0).toStdString(), "Data table written to KYR");
    const auto off = static_cast<std::size_t>(table::setupOffset(table::SetupParam::RpmLimiter));
    EXPECT_EQ(unit->table[off], window->model().state().setup[off]) << "the unit's table holds the typed limiter";
}

TEST_F(SetupWindowTest, ARefusedEntryIsToldInTheStatusBar)
{
    connectedWindow();
    QLineEdit* cylinders = edit("Edit12");
    cylinders->selectAll();
    QTest::keyClicks(cylinders, "13");
    QTest::keyClick(cylinders, Qt::Key_Return);
    EXPECT_EQ(panel(0).toStdString(), "13 is refused: Cylinders takes 1 to 12");
    EXPECT_TRUE(sink->entries.empty());
    waitIdle();
    EXPECT_EQ(writeBytes(), 0u);
}

TEST_F(SetupWindowTest, VacuumMarkersReachTheModel)
{
    showWindow();
    QSignalSpy moved(&window->model(), &app::TuneModel::vacuumMarkerMoved);
    click("spConnect");
    waitIdle();
    EXPECT_EQ(moved.count(), 2) << "both markers are placed when the setup is shown";
    moved.clear();
    edit("Edit37")->setText("0.2");
    ASSERT_EQ(moved.count(), 1);
    EXPECT_EQ(moved[0][0].value<setup::VacuumMarkerId>(), setup::VacuumMarkerId::Low);
    EXPECT_DOUBLE_EQ(moved[0][1].toDouble(), 0.2);
}

TEST_F(SetupWindowTest, CalibrateOpensTheThrottleDialogWhichPollsUntilClosed)
{
    connectedWindow();
    app::dialogs::TpsCalDialog* dialog = tpsDialog();
    ASSERT_NE(dialog, nullptr);
    qobject_cast<QPushButton*>(control("CalBtn"))->click();
    ASSERT_TRUE(dialog->isVisible());
    EXPECT_FALSE(window->isEnabled()) << "the window waits for the dialog";
    auto* timer = dialog->findChild<QTimer*>(QStringLiteral("Timer2"));
    ASSERT_NE(timer, nullptr);
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(dialog->findChild<QLabel*>(QStringLiteral("Label1"))->text().toStdString(),
              "Release throttle completely and press F1");
    ASSERT_TRUE(waitFor([&] { return dialog->panel().calibration().lastReading().has_value(); }));

    dialog->findChild<QPushButton*>(QStringLiteral("CancelBtn"))->click();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_FALSE(timer->isActive());
    EXPECT_TRUE(window->isEnabled());
    waitIdle();
    EXPECT_EQ(writeBytes(), 0u) << "nothing is written without both points";
}
