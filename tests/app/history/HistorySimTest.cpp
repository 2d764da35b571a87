// SPDX-License-Identifier: GPL-3.0-or-later
// The tune history of a unit against kyr-sim over a pseudo-terminal: the
// tables a Connect reads and a Write to KYR leaves are kept, and the History
// panel shows them, newest first, with what changed between them.

#ifdef KYR_WITH_SIM

#include "window/AppFixture.h"

#include "SimProcess.h"
#include "app/history/HistoryPanel.h"
#include "app/history/TuneHistory.h"
#include "app/maps/MapEditSession.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>

using namespace kyr;
using namespace kyr::apptest;
using app::history::HistoryPanel;

namespace {

class HistorySimTest : public WindowTest {
protected:
    void SetUp() override
    {
        m_sim = std::make_unique<test::SimProcess>(m_dir.path(), test::SimOptions{.port = 3});
        makeWindow(ptyLinkSetup(m_dir.path()));
    }
    void TearDown() override
    {
        WindowTest::TearDown();
        m_sim.reset();
    }

    /// Types a value into a Setup page field and enters it; waits for the
    /// unit's log to show its WriteByte.
    void enterSetupValue(const char* name, const QString& text)
    {
        auto* tabs = window->findChild<QTabWidget*>(QStringLiteral("PageControl1"));
        tabs->setCurrentIndex(0);
        QApplication::setActiveWindow(window.get());
        auto* e = qobject_cast<QLineEdit*>(control(QString::fromLatin1(name)));
        ASSERT_NE(e, nullptr) << name;
        e->setFocus(Qt::MouseFocusReason);
        e->selectAll();
        QTest::keyClick(e, Qt::Key_Delete);
        QTest::keyClicks(e, text);
        QTest::keyClick(e, Qt::Key_Return);
        ASSERT_TRUE(m_sim->waitForLog("cmd", "WriteByte")) << "the value reached the unit";
    }

    QTreeWidget& tree() const { return *window->historyPanel()->tree(); }
    QString cell(int row, int column) const { return tree().topLevelItem(row)->text(column); }
    QString hashLabel() const { return window->findChild<QLabel*>(QStringLiteral("TableHash"))->text(); }

    test::TempFolder m_dir{"kyr-history"};
    std::unique_ptr<test::SimProcess> m_sim;
};

} // namespace

// Connect, a Timing Map point and Cylinders changed, Write to KYR, Connect
// again: the unit's first table, and the table it holds now, read before the
// write (the edits went to it as they were made), written and read again.
TEST_F(HistorySimTest, ConnectEditWriteAndConnectAgainShowTheTablesAndTheEdits)
{
    connectedWindow();
    window->showHistory();
    ASSERT_EQ(tree().topLevelItemCount(), 1) << window->historyPanel()->heading()->text().toStdString();
    EXPECT_FALSE(hashLabel().isEmpty());
    EXPECT_FALSE(hashLabel().endsWith('*')) << "the table read is kept";

    const table::MapId timing = table::MapId::TimingRpm;
    const double point = window->model().maps().at(timing, 30);
    ASSERT_TRUE(window->mapEditSession().setPointValue(timing, 30, point + 2));
    ASSERT_TRUE(m_sim->waitForLog("cmd", "WritePoint"));
    enterSetupValue("Edit12", QStringLiteral("6"));
    EXPECT_TRUE(hashLabel().endsWith(QStringLiteral(" *"))) << hashLabel().toStdString();

    sink->choice = 0; // the look before writing may find the point steep: write anyway
    click("spWrite");
    waitIdle();
    ASSERT_TRUE(m_sim->waitForLog("cmd", "WriteTable"));
    click("spDisconnect");
    waitIdle();
    click("spConnect");
    waitIdle();
    ASSERT_TRUE(window->model().state().flags.UnitConnected);

    // Three takings of the new table (read before the write, written, read
    // again) shown once, above the first table.
    ASSERT_EQ(tree().topLevelItemCount(), 2);
    QStringList what = cell(0, HistoryPanel::WhatColumn).split('\n');
    what.sort();
    EXPECT_EQ(what, (QStringList{"read", "read", "written"}));
    EXPECT_EQ(cell(0, HistoryPanel::TakenColumn).split('\n').size(), 3);
    EXPECT_EQ(cell(1, HistoryPanel::WhatColumn), QStringLiteral("read"));
    const QString summary = cell(0, HistoryPanel::ChangesColumn);
    EXPECT_TRUE(summary.contains("Timing Map point")) << summary.toStdString();
    EXPECT_TRUE(summary.contains("Cylinders")) << summary.toStdString();
    EXPECT_TRUE(tree().topLevelItem(0)->font(0).bold()) << "the tune shown";
    EXPECT_EQ(hashLabel(), QStringLiteral("Table %1").arg(cell(0, HistoryPanel::HashColumn).left(8)));
    EXPECT_EQ(cell(0, HistoryPanel::HashColumn).size(), 16);
    EXPECT_TRUE(sink->texts("warning").isEmpty()) << sink->texts("warning").join('\n').toStdString();
}

#endif // KYR_WITH_SIM
