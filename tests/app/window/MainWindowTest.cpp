// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's furniture: tool bar, pages, status bar, the dialogs and
// how they give the window back, the keys, the start-up search.

#include "window/AppFixture.h"

#include "app/dialogs/AboutDialog.h"
#include "tools/ProgramInfo.h"
#include "app/maps/CorrectionPage.h"
#include "app/maps/FuelPage.h"
#include "app/live/LoggerPage.h"
#include "app/live/RoundGauge.h"
#include "app/live/MonitorPage.h"
#include "app/setup/SetupPage.h"
#include "app/maps/TimingPage.h"
#include "tools/SerialNumber.h"

#include <QAbstractAxis>
#include <QChartView>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QToolBar>

#include <map>

using namespace kyr;
using namespace kyr::apptest;

namespace {

QPushButton* pushButton(QWidget* parent, const char* name)
{
    auto* b = parent->findChild<QPushButton*>(QString::fromLatin1(name));
    EXPECT_NE(b, nullptr) << name;
    return b;
}

} // namespace

TEST_F(WindowTest, ToolBarHoldsTheButtonsInOrder)
{
    makeWindow();
    auto* bar = window->findChild<QToolBar*>();
    ASSERT_NE(bar, nullptr);
    QStringList names, captions;
    for (QAction* a : bar->actions()) {
        QWidget* w = bar->widgetForAction(a);
        ASSERT_NE(w, nullptr);
        names << w->objectName();
        if (auto* b = qobject_cast<QToolButton*>(w))
            captions << b->text();
    }
    EXPECT_EQ(names, QStringList({"spOpen", "spClose", "spRestore", "spSave", "spPrint", "spSetup", "ComboBox1", "spRetry",
                                  "spConnect", "spDisconnect", "spRead", "spWrite", "sp3D", "spCompare", "spHistory", "SpeedButton3", "spAbout", "spExit"}));
    EXPECT_EQ(captions, QStringList({"Open file", "Close all", QString::fromUtf8("Restore backup\u2026"), "Save settings", "Print", "Setup", "Refresh Com Port",
                                     "Connect", "Disconnect", "Read from KYR", "Write to KYR", "Analyse Maps",
                                     QString::fromUtf8("Compare\u2026"), QString::fromUtf8("History\u2026"),
                                     "Enable/Disable mouse tuning", "About", "Exit"}));
    EXPECT_TRUE(button("SpeedButton3")->isCheckable());
    EXPECT_FALSE(button("SpeedButton3")->isChecked());
    button("SpeedButton3")->click();
    EXPECT_TRUE(window->model().mouseTuning());
}

TEST_F(WindowTest, StartsWithOnlyRefreshOfTheLinkButtonsEnabled)
{
    makeWindow();
    EXPECT_FALSE(button("spConnect")->isEnabled());
    EXPECT_FALSE(button("spRead")->isEnabled());
    EXPECT_FALSE(button("spWrite")->isEnabled());
    EXPECT_TRUE(button("spRetry")->isEnabled());
}

TEST_F(WindowTest, PagesAreTheirOwnClassesInTabOrder)
{
    makeWindow();
    auto* tabs = window->findChild<QTabWidget*>("PageControl1");
    ASSERT_NE(tabs, nullptr);
    QStringList captions;
    for (int i = 0; i < tabs->count(); ++i)
        captions << tabs->tabText(i);
    EXPECT_EQ(captions, QStringList({"Setup", "Timing Map", "Fuel Maps", "Correction Maps", "Data Logger",
                                     "Engine Monitor"}));
    EXPECT_TRUE(qobject_cast<app::setup::SetupPage*>(tabs->widget(0)));
    EXPECT_TRUE(qobject_cast<app::maps::TimingPage*>(tabs->widget(1)));
    EXPECT_TRUE(qobject_cast<app::maps::FuelPage*>(tabs->widget(2)));
    EXPECT_TRUE(qobject_cast<app::maps::CorrectionPage*>(tabs->widget(3)));
    EXPECT_TRUE(qobject_cast<app::live::LoggerPage*>(tabs->widget(4)));
    EXPECT_TRUE(qobject_cast<app::live::MonitorPage*>(tabs->widget(5)));
    for (const char* name : {"Edit6", "Edit7", "Edit8", "Edit9", "Edit10", "Edit11", "Edit18"})
        EXPECT_TRUE(qobject_cast<QLineEdit*>(control(name))) << name;
    for (const char* name : {"Edit9", "Edit10", "Edit11"})
        EXPECT_EQ(qobject_cast<QLineEdit*>(control(name))->maxLength(), 18);
}

// Temperatures are in degrees (U+00B0) on every page, the monitor's gauge as
// much as the correction charts; the ordinal sign U+00BA only looks alike.
TEST_F(WindowTest, TemperaturesAreWrittenWithTheDegreeSign)
{
    makeWindow();
    const QString degreesC = QString::fromUtf8("\u00b0C");
    for (const char* name : {"Gauge_water", "Gauge_air"}) {
        auto* gauge = window->findChild<app::live::RoundGauge*>(name);
        ASSERT_NE(gauge, nullptr) << name;
        EXPECT_EQ(QString::fromUtf8(gauge->def().unit.data(), gauge->def().unit.size()), degreesC);
    }
    auto* temp = window->findChild<QChartView*>("TempChart");
    ASSERT_NE(temp, nullptr);
    EXPECT_TRUE(temp->chart()->axes(Qt::Horizontal).front()->titleText().endsWith(QLatin1Char('(') + degreesC + QLatin1Char(')')));

    QStringList texts;
    for (QGroupBox* b : window->findChildren<QGroupBox*>())
        texts << b->title();
    for (QLabel* l : window->findChildren<QLabel*>())
        texts << l->text();
    for (QAbstractButton* b : window->findChildren<QAbstractButton*>())
        texts << b->text();
    for (app::live::RoundGauge* g : window->findChildren<app::live::RoundGauge*>())
        texts << QString::fromUtf8(g->def().unit.data(), g->def().unit.size());
    for (QChartView* v : window->findChildren<QChartView*>())
        for (QAbstractAxis* a : v->chart()->axes())
            texts << a->titleText();
    for (const QString& t : texts)
        EXPECT_FALSE(t.contains(QChar(0x00BA))) << t.toStdString();
}

TEST_F(WindowTest, DialogsAreCreatedOnceInOrder)
{
    makeWindow();
    QStringList titles, names;
    for (QDialog* d : window->dialogs()) {
        titles << d->windowTitle();
        names << d->objectName();
        EXPECT_FALSE(d->isVisible());
    }
    EXPECT_EQ(names, QStringList({"TTimingAnalysis", "TForm2", "savesetup", "TPSCal", "TSerialFrm", "TSaveFrm"}));
    EXPECT_EQ(titles[0], "Timing Analysis");
    EXPECT_EQ(titles[1], "About the KYR Interface");
    EXPECT_EQ(titles[3], "Throttle Position Sensor Calibration");
    EXPECT_EQ(titles[5], "Save From?");
    auto* prompt = window->dialogs()[2];
    QStringList texts;
    for (auto* l : prompt->findChildren<QLabel*>())
        texts << l->text();
    EXPECT_TRUE(texts.contains("You have changed the KYR setup."));
    EXPECT_TRUE(texts.contains("Would you like to save the new setup information to the KYR?"));
}

// However a dialog closes, the main window takes input again.
TEST_F(WindowTest, EveryDialogGivesTheWindowBackHoweverItCloses)
{
    const std::map<QString, const char*> closeButtons = {
        {"TTimingAnalysis", "Button2"}, {"TForm2", "Button1"}, {"savesetup", "Button3"},
        {"TPSCal", "ExitBtn"},          {"TSaveFrm", "Button2"}};
    showWindow();
    for (QDialog* d : window->dialogs()) {
        if (d->objectName() == "TSerialFrm")
            continue; // owned by the about box, below
        const std::string name = d->objectName().toStdString();
        for (int way = 0; way < 3; ++way) {
            d->show();
            ASSERT_FALSE(window->isEnabled()) << name;
            ASSERT_TRUE(d->isEnabled()) << name;
            if (way == 0)
                QTest::keyClick(d, Qt::Key_Escape);
            else if (way == 1)
                d->close(); // the title bar
            else
                pushButton(d, closeButtons.at(d->objectName()))->click(); // Exit, OK, Cancel
            EXPECT_FALSE(d->isVisible()) << name << " way " << way;
            EXPECT_TRUE(window->isEnabled()) << name << " way " << way;
        }
    }
}

TEST_F(WindowTest, ToolBarOpensAboutAndTimingAnalysis)
{
    showWindow();
    click("spAbout");
    EXPECT_TRUE(window->dialogs()[1]->isVisible());
    EXPECT_FALSE(window->isEnabled());
    pushButton(window->dialogs()[1], "Button1")->click();
    EXPECT_TRUE(window->isEnabled());
    click("sp3D");
    EXPECT_TRUE(window->dialogs()[0]->isVisible());
    pushButton(window->dialogs()[0], "Button2")->click();
    EXPECT_TRUE(window->isEnabled());
}

TEST_F(WindowTest, AboutBoxShowsTheConnectedUnit)
{
    connectedWindow();
    click("spAbout");
    auto* memo = window->dialogs()[1]->findChild<QPlainTextEdit*>("Memo1");
    ASSERT_NE(memo, nullptr);
    const QStringList lines = memo->toPlainText().split('\n');
    const std::string serial = tools::serialText(table::setupOf(unit->table));
    EXPECT_EQ(lines, QStringList({app::dialogs::AboutDialog::productLine(), "Model: KYR 3", "Version: 3.2",
                                  "Type: Fuel and Timing", QString::fromStdString("Serial: " + serial)}));
    // Below the memo: the version, the license and where the source is.
    auto* license = window->dialogs()[1]->findChild<QLabel*>("LicenseLabel");
    ASSERT_NE(license, nullptr);
    EXPECT_TRUE(license->text().contains(QString::fromStdString(tools::programVersion())));
    EXPECT_TRUE(license->text().contains("GPL-3.0-or-later"));
    EXPECT_TRUE(license->text().contains("Source: "));
}

// The hidden access field: Alt and Ctrl on the picture with a unit connected,
// then the code opens the serial-number dialog over the about box.
TEST_F(WindowTest, AboutAccessCodeOpensSerialDialog)
{
    showWindow();
    QDialog* about = window->dialogs()[1];
    QDialog* serial = window->dialogs()[4];
    auto* code = about->findChild<QLineEdit*>("Edit1");
    auto* image = about->findChild<QWidget*>("Image4");
    click("spAbout");
    QTest::mouseClick(image, Qt::LeftButton, Qt::AltModifier | Qt::ControlModifier);
    EXPECT_FALSE(code->isVisible()) << "no unit connected";
    pushButton(about, "Button1")->click();

    click("spConnect");
    waitIdle();
    click("spAbout");
    QTest::mouseClick(image, Qt::LeftButton, Qt::AltModifier);
    EXPECT_FALSE(code->isVisible()) << "Ctrl not held";
    QTest::mouseClick(image, Qt::LeftButton, Qt::AltModifier | Qt::ControlModifier);
    ASSERT_TRUE(code->isVisible());
    code->setText("volplanet836&");
    pushButton(about, "Button2")->click();
    EXPECT_TRUE(code->text().isEmpty());
    EXPECT_FALSE(serial->isVisible());
    code->setText("VolPlanet836&");
    pushButton(about, "Button2")->click();
    EXPECT_TRUE(serial->isVisible());
    EXPECT_FALSE(about->isEnabled());
    EXPECT_FALSE(code->isVisible());
    QTest::keyClick(serial, Qt::Key_Escape);
    EXPECT_TRUE(about->isEnabled());
    EXPECT_FALSE(window->isEnabled()) << "the about box is still open";
    pushButton(about, "Button1")->click();
    EXPECT_TRUE(window->isEnabled());
}

// The access field hides what is typed with the mask of the style in use,
// whichever character that style draws; the code itself stays as typed.
TEST_F(WindowTest, AboutAccessFieldMasksWithTheStylesCharacter)
{
    class MaskStyle final : public QProxyStyle {
    public:
        int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                      QStyleHintReturn* returned) const override
        {
            if (hint == SH_LineEdit_PasswordCharacter)
                return 0x25C6; // a black diamond
            return QProxyStyle::styleHint(hint, option, widget, returned);
        }
    };
    makeWindow();
    auto* code = window->dialogs()[1]->findChild<QLineEdit*>("Edit1");
    ASSERT_NE(code, nullptr);
    EXPECT_EQ(code->maxLength(), 16);
    QTest::keyClicks(code, "Vol8&");
    EXPECT_EQ(code->text(), "Vol8&");
    const QChar usual(code->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, code));
    EXPECT_EQ(code->displayText(), QString(5, usual));

    MaskStyle diamonds;
    code->setStyle(&diamonds);
    EXPECT_EQ(code->displayText(), QString(5, QChar(0x25C6)));
    code->setStyle(nullptr);
}

TEST_F(WindowTest, StartUpSearchSelectsTheUnitsPortAndEnablesConnect)
{
    showWindow();
    auto* combo = qobject_cast<QComboBox*>(control("ComboBox1"));
    EXPECT_EQ(combo->currentText(), "Com3");
    EXPECT_EQ(combo->count(), 1);
    EXPECT_TRUE(button("spConnect")->isEnabled());
    EXPECT_FALSE(button("spRetry")->isEnabled());
    EXPECT_EQ(panel(0), "Fuel and Timing Module found on Com3");
}

TEST_F(WindowTest, SearchRunsOnTheFirstShowOnly)
{
    showWindow();
    const auto probes = unit->writesStartingWith(link::CmdReadIdentity).size();
    EXPECT_EQ(probes, 1u);
    click("spConnect");
    waitIdle();
    ASSERT_TRUE(unit->device.isOpen());
    window->showMinimized();
    window->hide();
    window->showNormal();
    QTest::qWait(20);
    waitIdle();
    EXPECT_EQ(unit->writesStartingWith(link::CmdReadIdentity).size(), probes + 1) << "only Connect's";
    EXPECT_TRUE(unit->device.isOpen()) << "the live port stays open";
}

TEST_F(WindowTest, NoUnitMeansNoKyrPresentAndConnectStaysDisabled)
{
    unit->silent = true;
    showWindow();
    EXPECT_EQ(panel(0), "No KYR present");
    EXPECT_FALSE(button("spConnect")->isEnabled());
    auto* combo = qobject_cast<QComboBox*>(control("ComboBox1"));
    ASSERT_EQ(combo->count(), 1);
    EXPECT_EQ(combo->itemText(0), "Com3") << "listed";
    EXPECT_TRUE(combo->currentText().isEmpty()) << "not taken";
}

// The unit's port went away between the search and Connect (an adapter
// pulled): the user is told why, not only "KYR not connected".
TEST_F(WindowTest, ConnectSaysWhyThePortWouldNotOpen)
{
    showWindow();
    unit->device.setOpenable(UnitPort::pathOf(3), false);
    click("spConnect");
    waitIdle();
    EXPECT_EQ(panel(0), "KYR not connected");
    EXPECT_FALSE(window->model().state().flags.UnitConnected);
    EXPECT_EQ(sink->texts("warning"), QStringList{QString::fromStdString(UnitPort::pathOf(3) + " does not exist")});
}

TEST_F(WindowTest, ChoosingAPortOpensIt)
{
    showWindow();
    unit->device.setOpenable(UnitPort::pathOf(12), true);
    emit qobject_cast<QComboBox*>(control("ComboBox1"))->textActivated("Com12");
    waitIdle();
    EXPECT_EQ(unit->device.openPath(), UnitPort::pathOf(12));
    EXPECT_EQ(window->model().state().port.com, 12);
}

TEST_F(WindowTest, EscapeIsExit)
{
    connectedWindow();
    bool exited = false;
    QObject::connect(window.get(), &app::window::EFICom::exitFinished, [&] { exited = true; });
    QWidget* focus = control("Edit9");
    focus->setFocus();
    QApplication::setActiveWindow(window.get());
    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : window.get(), Qt::Key_Escape);
    ASSERT_TRUE(waitFor([&] { return exited; }));
    EXPECT_FALSE(unit->device.isOpen());
    EXPECT_FALSE(window->isVisible());
}

TEST_F(WindowTest, EscapeWithShiftCtrlOrAltHeldIsExitToo)
{
    connectedWindow();
    bool exited = false;
    QObject::connect(window.get(), &app::window::EFICom::exitFinished, [&] { exited = true; });
    QApplication::setActiveWindow(window.get());
    window->setFocus();
    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : window.get(), Qt::Key_Escape,
                    Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    ASSERT_TRUE(waitFor([&] { return exited; }));
    EXPECT_FALSE(unit->device.isOpen());
}

TEST_F(WindowTest, ExitClosesThePort)
{
    connectedWindow();
    ASSERT_TRUE(unit->device.isOpen());
    bool exited = false;
    QObject::connect(window.get(), &app::window::EFICom::exitFinished, [&] { exited = true; });
    click("spExit");
    ASSERT_TRUE(waitFor([&] { return exited; }));
    EXPECT_FALSE(unit->device.isOpen());
    EXPECT_FALSE(window->isVisible());
}
