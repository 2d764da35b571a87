// SPDX-License-Identifier: GPL-3.0-or-later
// What keeps a tune safe in the window: a file that cannot be used never
// lets fill bytes reach the unit, a write the unit does not hold is never
// passed off as done, every table read is kept as a backup that can be
// opened again, and the title says which tune is shown.

#include "window/AppFixture.h"

#include "app/dialogs/SetupChangedDialog.h"
#include "link/Protocol.h"
#include "session/Backups.h"
#include "tools/SerialNumber.h"

#include <QPushButton>

using namespace kyr;
using namespace kyr::apptest;

namespace {

class TuneSafetyTest : public WindowTest {
protected:
    /// A good file whose setup differs from the unit's, and a file that cannot be used.
    void writeFiles()
    {
        files::MapFile other = demoTune();
        for (int off : {1, 20, 40, 60})
            other.image[off] = static_cast<uint8_t>(other.image[off] + 1);
        goodFile = tempFile("good.kyr");
        ASSERT_TRUE(files::saveMapFile(goodFile.toStdString(), other).ok());
        QByteArray text = readAll(goodFile);
        text[text.indexOf(',', text.indexOf("#Table")) - 1] = 'x';
        badFile = tempFile("bad.kyr");
        writeText(badFile, text);
    }

    void open(const QString& name)
    {
        files->openName = name;
        click("spOpen");
        waitIdle();
    }

    /// The setup area of the last table write, plus-one, as the unit will hold it.
    std::vector<uint8_t> writtenSetup() const
    {
        const auto& writes = unit->device.writes();
        for (auto it = writes.rbegin(); it != writes.rend(); ++it)
            if (it->size() == static_cast<std::size_t>(table::TableSize)) {
                std::vector<uint8_t> out;
                for (int off = 0; off < table::SetupSize; ++off)
                    out.push_back(static_cast<uint8_t>((*it)[off] + 1));
                return out;
            }
        return {};
    }

    std::vector<uint8_t> unitSetup() const
    {
        return std::vector<uint8_t>(unit->table.begin(), unit->table.begin() + table::SetupSize);
    }

    QString goodFile, badFile;
};

} // namespace

TEST_F(TuneSafetyTest, AFailedOpenThenConnectAndWriteSendsTheUnitsOwnSetup)
{
    writeFiles();
    showWindow();
    open(goodFile);
    open(badFile);
    ASSERT_EQ(sink->texts("warning").size(), 1);
    EXPECT_FALSE(window->model().state().flags.FileDecoded) << "nothing of a file is left to decode";
    click("spConnect");
    waitIdle();
    ASSERT_TRUE(window->model().state().flags.UnitConnected);
    EXPECT_EQ(unit->writesStartingWith(link::CmdReadTable).size(), 2u) << "the unit's setup, then its table";
    click("spWrite");
    waitIdle();
    EXPECT_EQ(writtenSetup(), unitSetup());
    EXPECT_EQ(panel(0), "Data table written to KYR");
}

// Exit after the failed open offers to store the changed setup; Yes connects
// and writes with no further question, so it must be the unit's own setup.
TEST_F(TuneSafetyTest, AFailedOpenThenExitWithYesWritesTheUnitsOwnSetup)
{
    writeFiles();
    showWindow();
    open(goodFile);
    open(badFile);
    click("spExit");
    auto* prompt = window->findChild<app::dialogs::SetupChangedDialog*>();
    ASSERT_TRUE(prompt && prompt->isVisible());
    prompt->findChild<QPushButton*>(QStringLiteral("Button1"))->click(); // Yes
    waitIdle();
    ASSERT_TRUE(waitFor([this] { return !writtenSetup().empty(); }));
    EXPECT_EQ(writtenSetup(), unitSetup());
}

TEST_F(TuneSafetyTest, AFailedOpenWithNoEarlierFileStillReadsTheUnitsSetup)
{
    writeFiles();
    showWindow();
    open(badFile);
    click("spConnect");
    waitIdle();
    click("spWrite");
    waitIdle();
    EXPECT_EQ(writtenSetup(), unitSetup());
}

TEST_F(TuneSafetyTest, AWriteTheUnitDoesNotHoldNamesTheOffset)
{
    unit->corruptAt = {200};
    connectedWindow();
    click("spWrite");
    waitIdle();
    EXPECT_TRUE(panel(0).startsWith("Write to KYR not verified")) << panel(0).toStdString();
    ASSERT_EQ(sink->texts("warning").size(), 1);
    EXPECT_TRUE(sink->texts("warning")[0].contains("200")) << sink->texts("warning")[0].toStdString();
    EXPECT_TRUE(window->windowTitle().endsWith("*")) << "the unit does not hold what is shown";
}

TEST_F(TuneSafetyTest, EveryTableReadLeavesABackupThatOpensAgain)
{
    unit->backupRoot = tempFile("backups").toStdString();
    connectedWindow();
    const session::BackupStore store(unit->backupRoot);
    const std::string serial = session::serialFolder(tools::serialText(table::setupOf(unit->table)));
    const auto backups = store.list(serial);
    ASSERT_EQ(backups.size(), 1u);
    auto kept = files::loadMapFile(backups[0].path);
    ASSERT_TRUE(kept.ok()) << kept.error().message;
    EXPECT_TRUE(std::equal(unit->table.begin(), unit->table.begin() + link::ReadTableKeep, kept.value().image.begin()));

    files->backupChoice = 0;
    click("spRestore");
    waitIdle();
    ASSERT_EQ(files->backupLabels.size(), 1);
    EXPECT_EQ(window->model().state().filePath, backups[0].path);
    EXPECT_TRUE(window->windowTitle().contains(QString::fromStdString(backups[0].path.filename().string())));
}

TEST_F(TuneSafetyTest, TheTitleNamesTheFileAndMarksATuneTheUnitDoesNotHold)
{
    connectedWindow();
    EXPECT_EQ(window->windowTitle(), "KYR Tuner");
    window->model().applyMapPoint(table::MapId::TimingRpm, 1, 17);
    window->model().mapsEdited();
    EXPECT_EQ(window->windowTitle(), "KYR Tuner *");
    click("spWrite");
    waitIdle();
    EXPECT_EQ(window->windowTitle(), "KYR Tuner");
    open(demoTunePath());
    EXPECT_EQ(window->windowTitle(), "KYR Tuner - demo.kyr *");
}
