// SPDX-License-Identifier: GPL-3.0-or-later
// What desktop programs have: the tunes opened last under "Open file", and the window's size and page kept from
// one run to the next.

#include "window/AppFixture.h"

#include "app/window/RecentFiles.h"

#include <QAction>
#include <QFile>
#include <QMenu>
#include <QSettings>
#include <QTabWidget>

namespace kyr::apptest {

class DesktopHabitsTest : public WindowTest {
protected:
    void SetUp() override { QSettings().remove(QString()); }
    void TearDown() override
    {
        QSettings().remove(QString());
        WindowTest::TearDown();
    }
    QStringList recentShown()
    {
        auto* menu = window->findChild<QMenu*>(QStringLiteral("RecentFiles"));
        emit menu->aboutToShow();
        QStringList texts;
        for (QAction* a : menu->actions())
            if (a->isEnabled())
                texts << a->text();
        return texts;
    }
};

TEST_F(DesktopHabitsTest, OpenFileListsTheTunesOpenedLastAndOpensOne)
{
    makeWindow();
    const QString copy = tempFile(QStringLiteral("copy.kyr"));
    ASSERT_TRUE(QFile::copy(demoTunePath(), copy));
    EXPECT_TRUE(recentShown().isEmpty());
    for (const QString& name : {demoTunePath(), copy}) {
        files->openName = name;
        click(QStringLiteral("spOpen"));
        waitIdle();
    }
    QStringList shown = recentShown();
    ASSERT_EQ(shown.size(), 2);
    EXPECT_TRUE(shown[0].endsWith(QStringLiteral("copy.kyr"))) << "newest first";

    // A file gone since is not offered; one chosen opens without the dialog.
    QFile::remove(copy);
    shown = recentShown();
    ASSERT_EQ(shown.size(), 1);
    click(QStringLiteral("spClose"));
    waitIdle();
    window->findChild<QMenu*>(QStringLiteral("RecentFiles"))->actions().first()->trigger();
    waitIdle();
    EXPECT_TRUE(window->model().state().flags.FileOpen);
    EXPECT_EQ(files->opens, 2);
}

TEST_F(DesktopHabitsTest, TheWindowComesBackAtItsSizeAndPage)
{
    makeWindow();
    window->resize(1000, 640);
    window->findChild<QTabWidget*>(QStringLiteral("PageControl1"))->setCurrentIndex(3);
    app::window::WindowMemory::remember(*window);
    window.reset();

    makeWindow();
    app::window::WindowMemory::restore(*window);
    EXPECT_EQ(window->findChild<QTabWidget*>(QStringLiteral("PageControl1"))->currentIndex(), 3);
    EXPECT_EQ(window->size(), QSize(1000, 640));
}

} // namespace kyr::apptest
