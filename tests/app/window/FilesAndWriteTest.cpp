// SPDX-License-Identifier: GPL-3.0-or-later
// Open file, Save settings, Close all, Write to KYR and the setup-changed
// prompt, on the main window over an in-memory unit.

#include "window/AppFixture.h"

#include "link/Protocol.h"
#include "tools/SerialNumber.h"

#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

using namespace kyr;
using namespace kyr::apptest;

namespace {

QDialog* dialogNamed(app::window::EFICom& w, const char* name)
{
    for (QDialog* d : w.dialogs())
        if (d->objectName() == QLatin1String(name))
            return d;
    ADD_FAILURE() << name;
    return nullptr;
}

void press(QDialog* d, const char* buttonName)
{
    auto* b = d->findChild<QPushButton*>(QString::fromLatin1(buttonName));
    ASSERT_NE(b, nullptr) << buttonName;
    b->click();
}


} // namespace

// A file opened without a unit is decoded with no traffic on any port.
TEST_F(WindowTest, OpenFileDecodesWithoutTraffic)
{
    makeWindow(); // not shown: no start-up search either
    files->openName = demoTunePath();
    click("spOpen");
    waitIdle();
    EXPECT_EQ(files->lastFilter, "KYR map files (*.kyr)");
    EXPECT_TRUE(unit->device.openAttempts().empty());
    EXPECT_TRUE(unit->device.writes().empty());
    const auto& s = window->model().state();
    EXPECT_TRUE(s.flags.FileOpen);
    EXPECT_TRUE(s.flags.FileDecoded);
    EXPECT_FALSE(s.flags.UnitConnected);
    EXPECT_EQ(panel(0), "KYR file opened successfully");
    EXPECT_EQ(lineText("Edit9"), "Datsun");
    EXPECT_EQ(lineText("Edit10"), "1200 Coupe");
    EXPECT_EQ(lineText("Edit11"), "A12 1171cc");
    EXPECT_EQ(window->model().maps().values, table::decodeMaps(demoTune().image).values);
    EXPECT_TRUE(sink->entries.empty());
}

TEST_F(WindowTest, CancelledOpenChangesNothing)
{
    makeWindow();
    files->openName = demoTunePath();
    click("spOpen");
    waitIdle();
    files->openName.clear();
    click("spOpen");
    waitIdle();
    EXPECT_TRUE(window->model().state().flags.FileOpen);
}

TEST_F(WindowTest, MalformedFileShowsWhyAndUsesNothing)
{
    makeWindow();
    QByteArray text = readAll(demoTunePath());
    const int table = text.indexOf("#Table");
    text[text.indexOf(',', table) - 1] = 'x';
    files->openName = tempFile("bad.kyr");
    writeText(files->openName, text);
    click("spOpen");
    waitIdle();
    ASSERT_EQ(sink->texts("warning").size(), 1);
    EXPECT_TRUE(sink->texts("warning")[0].startsWith("Incorrect .KYR file")) << sink->texts("warning")[0].toStdString();
    const auto& s = window->model().state();
    EXPECT_FALSE(s.flags.FileOpen);
    for (uint8_t b : s.image)
        ASSERT_EQ(b, '0');
    EXPECT_TRUE(lineText("Edit9").isEmpty());

    files->openName = tempFile("missing.kyr");
    click("spOpen");
    waitIdle();
    ASSERT_EQ(sink->texts("warning").size(), 2);
    EXPECT_TRUE(sink->texts("warning")[1].startsWith("Cannot open")) << sink->texts("warning")[1].toStdString();
}

TEST_F(WindowTest, ConnectShowsTheIdentityAndEnablesWrite)
{
    connectedWindow();
    EXPECT_EQ(panel(0), "Ready");
    const std::string serial = tools::serialText(table::setupOf(unit->table));
    EXPECT_EQ(panel(1), QString::fromStdString("KYR 3 v3.2 :: " + serial));
    EXPECT_EQ(panel(2), "Fuel and Timing");
    EXPECT_TRUE(button("spWrite")->isEnabled());
    EXPECT_FALSE(button("spConnect")->isEnabled());
    EXPECT_FALSE(control("ComboBox1")->isEnabled());
    EXPECT_EQ(lineText("Edit18"), "Fuel and Timing");
    EXPECT_EQ(lineText("Edit6"), "3");
    EXPECT_EQ(lineText("Edit7"), "3");
    EXPECT_EQ(lineText("Edit8"), "2");
    EXPECT_EQ(window->model().maps().values, table::decodeMaps(unit->table).values);
}

TEST_F(WindowTest, WriteSendsTheWholeEncodedTable)
{
    connectedWindow();
    unit->device.clearWritten();
    window->model().applyMapPoint(table::MapId::TimingRpm, 1, 17);
    window->model().mapsEdited();
    click("spWrite");
    waitIdle();
    const auto expected = link::writeTable(table::encode(window->model().state().setup, window->model().maps()).raw);
    // The unit's table is read first (its backup), then written, then read back.
    ASSERT_EQ(unit->device.writes().size(), 4u);
    EXPECT_EQ(unit->device.writes()[0], link::readTable());
    EXPECT_EQ(unit->device.writes()[1], expected.command);
    EXPECT_EQ(unit->device.writes()[2], expected.payload);
    EXPECT_EQ(unit->device.writes()[2].size(), 482u);
    EXPECT_EQ(unit->device.writes()[3], link::readTable());
    EXPECT_EQ(panel(0), "Data table written to KYR");
    EXPECT_FALSE(window->windowTitle().endsWith("*")) << "the unit holds what is shown";
}

// A file made for another unit type is written only when the user says so.
TEST_F(WindowTest, WritingAnotherTypesFileAsksFirst)
{
    files::MapFile file = demoTune();
    file.identity[1] = 1; // a "Timing and Vacuum" file
    files->openName = tempFile("timing.kyr");
    ASSERT_TRUE(files::saveMapFile(files->openName.toStdString(), file).ok());
    showWindow();
    click("spOpen");
    waitIdle();
    click("spConnect"); // the decoded file joins the unit
    waitIdle();
    ASSERT_TRUE(window->model().state().flags.UnitConnected);
    ASSERT_TRUE(button("spWrite")->isEnabled());
    unit->device.clearWritten();

    sink->answer = app::Answer::No;
    click("spWrite");
    waitIdle();
    ASSERT_EQ(sink->texts("question").size(), 1);
    EXPECT_TRUE(sink->texts("question")[0].contains("Timing and Vacuum"));
    EXPECT_TRUE(unit->writesStartingWith(link::CmdWriteTable).empty());

    sink->answer = app::Answer::Yes;
    click("spWrite");
    waitIdle();
    EXPECT_EQ(unit->writesStartingWith(link::CmdWriteTable).size(), 1u);
    const auto& writes = unit->device.writes();
    ASSERT_GE(writes.size(), 2u);
    EXPECT_EQ(writes[writes.size() - 2], link::writeTable(table::encode(table::setupOf(file.image),
                                                                        table::decodeMaps(file.image)).raw).payload);
}

TEST_F(WindowTest, SaveFromPcWritesWhatTheProgramShows)
{
    makeWindow();
    files->openName = demoTunePath();
    click("spOpen");
    waitIdle();
    click("spSave");
    QDialog* save = dialogNamed(*window, "TSaveFrm");
    auto* fromKyr = save->findChild<QRadioButton*>("RadioButton1");
    auto* fromPc = save->findChild<QRadioButton*>("RadioButton2");
    EXPECT_FALSE(fromKyr->isEnabled()) << "no unit connected";
    EXPECT_TRUE(fromPc->isChecked());
    files->saveName = tempFile("out.kyr");
    press(save, "Button1");
    EXPECT_TRUE(window->isEnabled());
    auto saved = files::loadMapFile(files->saveName.toStdString());
    ASSERT_TRUE(saved.ok()) << saved.error().message;
    const auto demo = demoTune();
    EXPECT_EQ(saved.value().make, demo.make);
    EXPECT_EQ(saved.value().identity, demo.identity);
    EXPECT_EQ(saved.value().image, table::encode(table::setupOf(demo.image), table::decodeMaps(demo.image)).plusOne);
}

// The vehicle texts are one Windows-1252 byte a character in the file: they
// show as such and save back byte for byte; a character without a byte is refused.
TEST_F(WindowTest, VehicleTextsOpenShowAndSaveBackByteForByte)
{
    makeWindow();
    QByteArray text = readAll(demoTunePath());
    text.replace("Datsun~", "Citro\xEBn~");
    text.replace("A12 1171cc~", "120\xB0~");
    files->openName = tempFile("citroen.kyr");
    writeText(files->openName, text);
    click("spOpen");
    waitIdle();
    EXPECT_EQ(lineText("Edit9"), QString::fromUtf8("Citro\u00EBn"));
    EXPECT_EQ(lineText("Edit11"), QString::fromUtf8("120\u00B0"));

    click("spSave");
    QDialog* save = dialogNamed(*window, "TSaveFrm");
    files->saveName = tempFile("out.kyr");
    press(save, "Button1");
    EXPECT_TRUE(readAll(files->saveName).contains("\r\nCitro\xEBn~1200 Coupe~120\xB0~\r\n"));

    auto* model = window->findChild<QLineEdit*>("Edit10");
    model->selectAll();
    QTest::keyClick(model, Qt::Key_Delete);
    // One key that types a letter QTest has no key code for.
    QTest::sendKeyEvent(QTest::Click, model, Qt::Key_unknown, QString::fromUtf8("\u0141ada"), Qt::NoModifier);
    ASSERT_EQ(window->model().vehicle().model, QString::fromUtf8("\u0141ada"));
    click("spSave");
    files->saveName = tempFile("refused.kyr");
    press(save, "Button1");
    ASSERT_EQ(sink->texts("warning").size(), 1);
    const QString refused = sink->texts("warning")[0];
    EXPECT_TRUE(refused.startsWith(QString::fromUtf8("Vehicle Model: '\u0141' (U+0141) cannot be stored")))
        << refused.toStdString();
    EXPECT_FALSE(QFile::exists(files->saveName));
}

TEST_F(WindowTest, SaveFromKyrReadsTheUnitAndRefusesAShortRead)
{
    connectedWindow();
    click("spSave");
    QDialog* save = dialogNamed(*window, "TSaveFrm");
    ASSERT_TRUE(save->findChild<QRadioButton*>("RadioButton1")->isChecked());
    files->saveName = tempFile("unit.kyr");
    press(save, "Button1");
    waitIdle();
    auto saved = files::loadMapFile(files->saveName.toStdString());
    ASSERT_TRUE(saved.ok()) << saved.error().message;
    table::ImageBytes expected = unit->table;
    expected[table::TrailerOffset] = 0;
    EXPECT_EQ(saved.value().image, expected);

    unit->tableCut = 300;
    files->saveName = tempFile("short.kyr");
    click("spSave");
    press(save, "Button1");
    waitIdle();
    EXPECT_FALSE(QFile::exists(files->saveName));
    ASSERT_EQ(sink->texts("warning").size(), 1);
    EXPECT_TRUE(sink->texts("warning")[0].startsWith("Incomplete read from KYR: 300 of 481"));
}

// Close all without a unit: the file's vehicle, setup and maps go, and
// nothing of it can be written or saved from the program any more.
TEST_F(WindowTest, CloseAllWithoutAUnitClearsTheTune)
{
    makeWindow();
    files->openName = demoTunePath();
    click("spOpen");
    waitIdle();
    session::TuneState quiet = window->model().state();
    quiet.flags.ImageChanged = false; // nothing to offer
    window->model().apply(quiet, {});
    click("spClose");
    waitIdle();
    const auto& s = window->model().state();
    EXPECT_FALSE(s.flags.FileOpen);
    EXPECT_FALSE(s.imageWhole);
    EXPECT_TRUE(lineText("Edit9").isEmpty());
    EXPECT_TRUE(lineText("Edit18").isEmpty());
    EXPECT_TRUE(lineText("Edit6").isEmpty());
    EXPECT_FALSE(window->model().mapsShown());
    EXPECT_FALSE(button("spWrite")->isEnabled());
    EXPECT_TRUE(panel(1).isEmpty());
    EXPECT_TRUE(panel(2).isEmpty());
    EXPECT_TRUE(window->model().state().unit.modelText.empty());
}

TEST_F(WindowTest, CloseAllWithAUnitKeepsItsMaps)
{
    connectedWindow();
    const auto maps = window->model().maps().values;
    click("spClose");
    waitIdle();
    EXPECT_TRUE(window->model().mapsShown());
    EXPECT_EQ(window->model().maps().values, maps);
    EXPECT_TRUE(button("spWrite")->isEnabled());
}

// The setup-changed prompt on Exit: Cancel stays, No leaves without writing.
TEST_F(WindowTest, ChangedSetupPromptCancelAndNo)
{
    makeWindow();
    files->openName = demoTunePath();
    click("spOpen");
    waitIdle();
    ASSERT_TRUE(window->model().state().flags.ImageChanged);
    QDialog* prompt = dialogNamed(*window, "savesetup");
    bool exited = false;
    QObject::connect(window.get(), &app::window::EFICom::exitFinished, [&] { exited = true; });

    click("spExit");
    ASSERT_TRUE(prompt->isVisible());
    EXPECT_FALSE(window->isEnabled());
    press(prompt, "Button3"); // Cancel
    waitIdle();
    EXPECT_FALSE(exited);
    EXPECT_TRUE(window->isEnabled());

    click("spExit");
    press(prompt, "Button2"); // No
    ASSERT_TRUE(waitFor([&] { return exited; }));
    EXPECT_TRUE(unit->writesStartingWith(link::CmdWriteTable).empty());
}

// Yes connects, writes the file to the unit, then closes.
TEST_F(WindowTest, ChangedSetupPromptYesWritesThenCloses)
{
    showWindow();
    files->openName = demoTunePath();
    click("spOpen");
    waitIdle();
    bool exited = false;
    QObject::connect(window.get(), &app::window::EFICom::exitFinished, [&] { exited = true; });
    click("spExit");
    press(dialogNamed(*window, "savesetup"), "Button1");
    ASSERT_TRUE(waitFor([&] { return exited; }));
    EXPECT_EQ(unit->writesStartingWith(link::CmdWriteTable).size(), 1u);
    EXPECT_FALSE(unit->device.isOpen());
}

// Yes with no unit to write to keeps the program open and says so.
TEST_F(WindowTest, ChangedSetupPromptYesWithoutAUnitStays)
{
    unit->silent = true;
    showWindow();
    files->openName = demoTunePath();
    click("spOpen");
    waitIdle();
    bool exited = false;
    QObject::connect(window.get(), &app::window::EFICom::exitFinished, [&] { exited = true; });
    click("spClose");
    press(dialogNamed(*window, "savesetup"), "Button1");
    waitIdle();
    EXPECT_FALSE(exited);
    ASSERT_EQ(sink->texts("warning").size(), 1);
    EXPECT_TRUE(sink->texts("warning")[0].contains("KYR not connected"));
    EXPECT_TRUE(window->model().state().flags.FileOpen) << "Close all did not go ahead";
    EXPECT_TRUE(unit->writesStartingWith(link::CmdWriteTable).empty());
}
