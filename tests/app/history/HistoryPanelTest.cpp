// SPDX-License-Identifier: GPL-3.0-or-later
// The History panel and the table hash in the status bar, over an in-memory
// unit and a backup folder of the test's own: the mark of a tune not kept
// yet, notes, the logs recorded on a table, and opening and comparing a
// table of the history.

#include "window/AppFixture.h"

#include "app/compare/TuneComparer.h"
#include "app/history/HistoryDialogs.h"
#include "app/history/HistoryPanel.h"
#include "app/history/TuneHistory.h"
#include "app/live/LoggerPage.h"
#include "live/LogFile.h"
#include "session/History.h"
#include "table/Codec.h"
#include "tools/SerialNumber.h"

#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTreeWidget>

using namespace kyr;
using namespace kyr::apptest;
using app::history::HistoryPanel;

namespace {

class HistoryPanelTest : public WindowTest {
protected:
    void SetUp() override
    {
        unit->backupRoot = root();
        makeWindow();
    }

    std::filesystem::path root() { return std::filesystem::path(tempFile("backups").toStdString()); }
    QString hashLabel() const { return window->findChild<QLabel*>(QStringLiteral("TableHash"))->text(); }
    HistoryPanel& panel() const { return *window->historyPanel(); }
    QTreeWidget& tree() const { return *panel().tree(); }
    QString cell(int row, int column) const { return tree().topLevelItem(row)->text(column); }
    void press(const char* name)
    {
        auto* b = panel().findChild<QPushButton*>(QString::fromLatin1(name));
        ASSERT_NE(b, nullptr) << name;
        ASSERT_TRUE(b->isEnabled()) << name;
        b->click();
    }
    void openFile(const QString& path)
    {
        files->openName = path;
        click("spOpen");
        waitIdle();
    }
    /// The demo tune's hash, and its serial number's folder.
    static std::string demoHash() { return session::tuneHash(demoTune().image); }
    static std::string demoSerial() { return tools::serialText(table::setupOf(demoTune().image)); }

    /// Keeps the demo tune, and a copy with timing point 11 five degrees
    /// higher a minute later, as read from its unit.
    files::MapFile keepTwoTables()
    {
        auto minute = std::make_shared<int>(0);
        session::BackupStore store(root(), [minute] {
            return std::chrono::system_clock::time_point{} + std::chrono::hours(24 * 365 * 50) +
                   std::chrono::minutes((*minute)++);
        });
        files::MapFile changed = demoTune();
        changed.image[table::pointOffset(table::mapDef(table::MapId::TimingRpm), 11)] += 5;
        EXPECT_TRUE(store.save(demoTune(), demoSerial()));
        EXPECT_TRUE(store.save(changed, demoSerial()));
        return changed;
    }
};

} // namespace

// A tune shown that the history does not hold is marked; saving it keeps it
// there ("saved as"), and an edit marks it again.
TEST_F(HistoryPanelTest, TheStatusBarMarksATuneTheHistoryDoesNotHold)
{
    showWindow();
    EXPECT_EQ(hashLabel(), QString()) << "no tune shown";
    openFile(demoTunePath());
    const QString shortHash = QString::fromStdString(demoHash().substr(0, 8));
    EXPECT_EQ(hashLabel(), QStringLiteral("Table %1 *").arg(shortHash));

    click("spSave");
    QDialog* save = window->findChild<QDialog*>(QStringLiteral("TSaveFrm"));
    ASSERT_NE(save, nullptr);
    ASSERT_TRUE(save->findChild<QRadioButton*>("RadioButton2")->isChecked()) << "from the PC";
    files->saveName = tempFile("base.kyr");
    save->findChild<QPushButton*>("Button1")->click();
    EXPECT_EQ(hashLabel(), QStringLiteral("Table %1").arg(shortHash));
    window->showHistory();
    ASSERT_EQ(tree().topLevelItemCount(), 1);
    EXPECT_EQ(cell(0, HistoryPanel::WhatColumn), QStringLiteral("saved as base.kyr"));
    EXPECT_EQ(cell(0, HistoryPanel::HashColumn), QString::fromStdString(demoHash()));

    const table::MapId timing = table::MapId::TimingRpm;
    window->model().applyMapPoint(timing, 11, window->model().maps().at(timing, 11) + 1);
    window->model().mapsEdited();
    EXPECT_TRUE(hashLabel().endsWith(QStringLiteral(" *"))) << hashLabel().toStdString();
    EXPECT_FALSE(hashLabel().contains(shortHash));
    const QString tip = window->findChild<QLabel*>(QStringLiteral("TableHash"))->toolTip();
    EXPECT_TRUE(tip.contains("not in the unit's history")) << tip.toStdString();
}

// A note is kept through the core (the next reading of the folder has it),
// shown in its row, and an empty one removes it.
TEST_F(HistoryPanelTest, ANoteIsKeptShownAndRemoved)
{
    connectedWindow();
    window->showHistory();
    ASSERT_EQ(tree().topLevelItemCount(), 1) << panel().heading()->text().toStdString();
    EXPECT_EQ(cell(0, HistoryPanel::WhatColumn), QStringLiteral("read"));
    EXPECT_FALSE(panel().findChild<QPushButton*>("HistoryEditNote")->isEnabled()) << "nothing selected";
    panel().select(0);
    press("HistoryEditNote");
    app::history::NoteDialog& dialog = *panel().noteDialog();
    ASSERT_TRUE(dialog.isVisible());
    dialog.text()->setText(QStringLiteral("Ran well at the track, 14 °C"));
    dialog.accept();

    EXPECT_EQ(cell(0, HistoryPanel::NoteColumn), QStringLiteral("Ran well at the track, 14 °C"));
    EXPECT_TRUE(panel().heading()->text().contains("1 note"));
    auto read = session::History(root()).load(demoSerial());
    ASSERT_TRUE(read) << read.error().message;
    ASSERT_EQ(read.value().entries.size(), 1u);
    EXPECT_EQ(read.value().entries[0].note, "Ran well at the track, 14 °C");

    panel().select(0);
    press("HistoryEditNote");
    EXPECT_EQ(dialog.text()->text(), QStringLiteral("Ran well at the track, 14 °C")) << "the note as it is";
    dialog.text()->clear();
    dialog.accept();
    EXPECT_EQ(cell(0, HistoryPanel::NoteColumn), QString());
    EXPECT_EQ(session::History(root()).load(demoSerial()).value().entries[0].note, "");
    EXPECT_TRUE(sink->entries.empty()) << sink->entries[0].text.toStdString();
}

// A log whose "Table hash" is a table's is listed under it, from the log
// folder set in "Log folders…", and opens on the Data Logger page; a log of
// another table is not listed.
TEST_F(HistoryPanelTest, LogsRecordedOnATableAreListedUnderItAndOpen)
{
    connectedWindow();
    const QString logs = tempFile("logs");
    ASSERT_TRUE(QDir().mkpath(logs + "/track"));
    const std::vector<kyr::live::LogColumn> columns{kyr::live::LogColumn::Rpm};
    for (auto [name, hash] : {std::pair{"/track/run1.csv", demoHash()}, {"/other.csv", std::string(16, '0')}}) {
        kyr::live::LogInfo info;
        info.tableHash = hash;
        auto writer = kyr::live::LogWriter::create((logs + name).toStdString(), columns, info);
        ASSERT_TRUE(writer.ok()) << writer.error().message;
        ASSERT_TRUE(writer.value()->close().ok());
    }
    window->showHistory();
    panel().findChild<QPushButton*>("HistoryLogFolders")->click();
    app::history::LogFoldersDialog& folders = *panel().logFoldersDialog();
    ASSERT_TRUE(folders.isVisible());
    folders.list()->setPlainText(logs);
    folders.accept();

    ASSERT_EQ(tree().topLevelItemCount(), 1);
    QTreeWidgetItem* row = tree().topLevelItem(0);
    ASSERT_EQ(row->childCount(), 1);
    EXPECT_EQ(row->child(0)->text(HistoryPanel::TakenColumn), QStringLiteral("run1.csv"));
    EXPECT_EQ(window->tuneHistory().logFolders(), QStringList{logs});

    panel().select(0, 0);
    EXPECT_FALSE(panel().findChild<QPushButton*>("HistoryOpen")->isEnabled()) << "a log is not a tune";
    press("HistoryOpenLog");
    auto* tabs = window->findChild<QTabWidget*>(QStringLiteral("PageControl1"));
    auto* logger = qobject_cast<app::live::LoggerPage*>(tabs->currentWidget());
    ASSERT_NE(logger, nullptr) << "the Data Logger page is shown";
    EXPECT_TRUE(logger->viewingLog());
    EXPECT_TRUE(logger->shownText().contains("run1.csv")) << logger->shownText().toStdString();
}

// "Compare with the tune shown" puts a table beside the tune; "Compare with
// the entry before" shows a table and puts the one before it beside it;
// "Open" opens a table as a file.
TEST_F(HistoryPanelTest, TablesOpenAndCompareFromTheHistory)
{
    const files::MapFile changed = keepTwoTables();
    showWindow();
    openFile(demoTunePath());
    window->showHistory();
    ASSERT_EQ(tree().topLevelItemCount(), 2);
    EXPECT_TRUE(cell(0, HistoryPanel::ChangesColumn).contains("Timing Map")) << cell(0, 3).toStdString();
    EXPECT_TRUE(tree().topLevelItem(1)->font(0).bold()) << "the tune shown";
    EXPECT_FALSE(tree().topLevelItem(0)->font(0).bold());
    panel().select(1);
    EXPECT_FALSE(panel().findChild<QPushButton*>("HistoryCompareBefore")->isEnabled()) << "the oldest";

    panel().select(0);
    press("HistoryCompareShown");
    app::compare::TuneComparer& comparer = window->tuneComparer();
    ASSERT_TRUE(comparer.active());
    EXPECT_EQ(comparer.otherName(), QStringLiteral("the table of %1").arg(cell(0, HistoryPanel::TakenColumn)));
    EXPECT_EQ(comparer.comparison().points.size(), 1u);

    comparer.stop();
    panel().select(0);
    press("HistoryCompareBefore");
    waitIdle();
    EXPECT_EQ(session::tuneHash(table::encode(window->model().state().setup, window->model().maps()).plusOne),
              session::tuneHash(changed.image))
        << "the newer table is shown";
    ASSERT_TRUE(comparer.active());
    EXPECT_EQ(comparer.otherName(), QStringLiteral("the table of %1").arg(cell(1, HistoryPanel::TakenColumn)));
    EXPECT_EQ(comparer.comparison().points.size(), 1u);

    panel().select(1);
    press("HistoryOpen");
    waitIdle();
    EXPECT_EQ(window->model().state().filePath.parent_path().parent_path(), root());
    EXPECT_TRUE(tree().topLevelItem(1)->font(0).bold()) << "the older table is shown";
    EXPECT_TRUE(sink->entries.empty()) << sink->entries[0].text.toStdString();
}

// A table from the history takes the place of the tune shown only after a
// question when the tune holds edits kept nowhere else (no file, no unit
// table, no history entry); No leaves the edit where it is.
TEST_F(HistoryPanelTest, OpeningATableOverEditsKeptNowhereAsksFirst)
{
    keepTwoTables();
    showWindow();
    openFile(demoTunePath());
    window->showHistory();
    const table::MapId timing = table::MapId::TimingRpm;
    const double before = window->model().maps().at(timing, 3);
    window->model().applyMapPoint(timing, 3, before + 1);
    window->model().mapsEdited();
    panel().select(0);
    press("HistoryOpen");
    waitIdle();
    ASSERT_EQ(sink->texts("question").size(), 1);
    EXPECT_EQ(window->model().maps().at(timing, 3), before + 1) << "No keeps the edit";

    sink->answer = app::Answer::Yes;
    press("HistoryCompareBefore");
    waitIdle();
    EXPECT_EQ(sink->texts("question").size(), 2);
    EXPECT_EQ(window->model().maps().at(timing, 3), before) << "the history's newer table, shown";
    EXPECT_TRUE(window->tuneComparer().active());
}

// An index damaged by a crash mid-write: the tuner is told once, through the
// message seam, and the note it still held is shown.
TEST_F(HistoryPanelTest, ADamagedIndexIsToldOnceAndItsNoteStaysShown)
{
    connectedWindow();
    ASSERT_TRUE(session::History(root()).setNote(demoSerial(), demoHash(), "base tune"));
    const QString index =
        QString::fromStdString((root() / session::serialFolder(demoSerial()) / "index.json").string());
    QByteArray text = readAll(index);
    ASSERT_TRUE(text.contains("base tune"));
    writeText(index, text.left(text.indexOf("base tune") + 12)); // cut after the note's line

    window->showHistory();
    ASSERT_EQ(sink->texts("information").size(), 1) << "told once";
    EXPECT_TRUE(sink->texts("information")[0].contains("damaged")) << sink->texts("information")[0].toStdString();
    ASSERT_EQ(tree().topLevelItemCount(), 1);
    EXPECT_EQ(cell(0, HistoryPanel::NoteColumn), QStringLiteral("base tune"));
    window->showHistory();
    EXPECT_EQ(sink->texts("information").size(), 1);
}
