// SPDX-License-Identifier: GPL-3.0-or-later
// The serial-number dialog over the about box, against the in-memory unit:
// Update sends the six WriteBytes in order, keeps them in the setup copy and
// the image, and shows the new serial in the status bar and the about box.
// A refused field sends nothing.

#include "window/AppFixture.h"

#include "app/dialogs/AboutDialog.h"
#include "link/Protocol.h"
#include "tools/SerialNumber.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace kyr;
using namespace kyr::apptest;

namespace {

class SerialDialogTest : public WindowTest {
protected:
    /// Connects, opens the about box and gives the access code.
    QDialog* openSerial()
    {
        connectedWindow();
        about = qobject_cast<app::dialogs::AboutDialog*>(window->dialogs()[1]);
        serial = window->dialogs()[4];
        click("spAbout");
        QTest::mouseClick(about->findChild<QWidget*>("Image4"), Qt::LeftButton,
                          Qt::AltModifier | Qt::ControlModifier);
        about->findChild<QLineEdit*>("Edit1")->setText("VolPlanet836&");
        about->findChild<QPushButton*>("Button2")->click();
        EXPECT_TRUE(serial->isVisible());
        unit->device.clearWritten();
        return serial;
    }
    QLineEdit* field(const char* name) const { return serial->findChild<QLineEdit*>(name); }
    QPushButton* update() const { return serial->findChild<QPushButton*>("Button1"); }
    /// Replaces a field's text as the user would.
    void type(const char* name, const QString& text)
    {
        QLineEdit* e = field(name);
        e->selectAll();
        QTest::keyClick(e, Qt::Key_Delete);
        QTest::keyClicks(e, text);
    }
    QStringList shown() const
    {
        QStringList out;
        for (const char* n : {"Edit1", "Edit6", "Edit2", "Edit3", "Edit4", "Edit5"})
            out << field(n)->text();
        return out;
    }

    app::dialogs::AboutDialog* about = nullptr;
    QDialog* serial = nullptr;
};

} // namespace

TEST_F(SerialDialogTest, ShowsTheImageAndUpdateStartsDisabled)
{
    openSerial();
    const auto texts = tools::serialFieldTexts(window->model().state().setup);
    QStringList expected;
    for (const auto& t : texts)
        expected << QString::fromStdString(t);
    EXPECT_EQ(shown(), expected);
    EXPECT_FALSE(update()->isEnabled());
    type("Edit4", "4");
    EXPECT_TRUE(update()->isEnabled());
}

TEST_F(SerialDialogTest, UpdateSendsTheSixBytesAndShowsTheSerial)
{
    openSerial();
    type("Edit1", "q"); // forced upper case
    type("Edit6", "R");
    type("Edit2", "7");
    type("Edit3", "0");
    type("Edit4", "45");
    type("Edit5", "06");
    EXPECT_EQ(field("Edit1")->text(), "Q");
    update()->click();
    waitIdle();

    const std::vector<link::Bytes> expected = {
        {0xF2, 0x62, 'Q'}, {0xF2, 0x63, 'R'}, {0xF2, 0x5E, 7}, {0xF2, 0x5F, 0}, {0xF2, 0x60, 45}, {0xF2, 0x61, 6}};
    EXPECT_EQ(unit->writesStartingWith(link::CmdWriteByte), expected);
    EXPECT_EQ(shown(), QStringList({"Q", "R", "7", "00", "45", "06"}));

    const session::TuneState& s = window->model().state();
    const int offsets[] = {98, 99, 94, 95, 96, 97};
    const int values[] = {'Q', 'R', 7, 0, 45, 6};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(s.setup[offsets[i]], values[i] + 1) << offsets[i];
        EXPECT_EQ(s.image[offsets[i]], values[i] + 1) << offsets[i];
        EXPECT_EQ(window->model().setupEngine().setupCopy()[offsets[i]], values[i] + 1) << offsets[i];
    }
    EXPECT_EQ(panel(1), "KYR 3 v3.2 :: QR-070045-06");
    EXPECT_EQ(about->memo(), QStringList({"Serial number updated...", "New serial number is QR-070045-06"}));

    // Showing the dialog again reads the fields back from the image.
    serial->findChild<QPushButton*>("Button2")->click();
    EXPECT_FALSE(serial->isVisible());
    EXPECT_TRUE(about->isEnabled());
    serial->show();
    EXPECT_EQ(shown(), QStringList({"Q", "R", "07", "00", "45", "06"}));
}

// The serial number is the unit's own record, no setup change: Exit then
// closes without offering a write nobody asked for.
TEST_F(SerialDialogTest, AnUpdateLeavesNothingForExitToOffer)
{
    openSerial();
    type("Edit2", "12");
    update()->click();
    waitIdle();
    EXPECT_FALSE(window->model().state().flags.ImageChanged);
    serial->findChild<QPushButton*>("Button2")->click();
    about->findChild<QPushButton*>("Button1")->click();
    click("spExit");
    EXPECT_FALSE(window->dialogs()[2]->isVisible()) << "no setup-changed prompt";
    EXPECT_TRUE(waitFor([&] { return !window->isVisible(); }));
}

// Enter in the access field confirms the code, as its OK button does.
TEST_F(SerialDialogTest, EnterInTheAccessFieldConfirmsTheCode)
{
    connectedWindow();
    about = qobject_cast<app::dialogs::AboutDialog*>(window->dialogs()[1]);
    serial = window->dialogs()[4];
    click("spAbout");
    QTest::mouseClick(about->findChild<QWidget*>("Image4"), Qt::LeftButton, Qt::AltModifier | Qt::ControlModifier);
    auto* code = about->findChild<QLineEdit*>("Edit1");
    QTest::keyClicks(code, "VolPlanet836&");
    QTest::keyClick(code, Qt::Key_Return);
    EXPECT_TRUE(serial->isVisible());
    EXPECT_TRUE(about->isVisible()) << "the box stays open under the serial number dialog";
}

TEST_F(SerialDialogTest, ARefusedFieldSendsNothing)
{
    openSerial();
    const session::TuneState before = window->model().state();
    type("Edit2", "12");
    type("Edit4", "x5");
    update()->click();
    waitIdle();
    EXPECT_TRUE(unit->writesStartingWith(link::CmdWriteByte).empty());
    EXPECT_EQ(sink->texts("warning"), QStringList({"'x5' is not a valid integer value"}));
    EXPECT_EQ(window->model().state().setup, before.setup);
    EXPECT_EQ(window->model().state().image, before.image);
    EXPECT_EQ(panel(1), QString::fromStdString(before.status.unitLine));
    EXPECT_EQ(field("Edit4")->text(), "x5") << "the field keeps what was typed";
}

TEST_F(SerialDialogTest, WithoutAUnitNothingGoesOutButTheImageFollows)
{
    showWindow();
    serial = window->dialogs()[4];
    serial->show();
    type("Edit1", "K");
    type("Edit6", "Y");
    for (const char* n : {"Edit2", "Edit3", "Edit4", "Edit5"})
        type(n, "11");
    update()->click();
    waitIdle();
    EXPECT_TRUE(unit->writesStartingWith(link::CmdWriteByte).empty());
    EXPECT_EQ(window->model().state().setup[98], 'K' + 1);
    EXPECT_TRUE(panel(1).endsWith(" :: KY-111111-11")) << panel(1).toStdString();
}
