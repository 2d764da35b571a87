// SPDX-License-Identifier: GPL-3.0-or-later
// The main window against kyr-sim over a pseudo-terminal: the program's own
// serial devices and clock, a ports folder of the test's own, and a device
// folder with nothing in it, so that no real serial port is ever opened.

#ifdef KYR_WITH_SIM

#include "window/AppFixture.h"

#include "app/compare/ComparePanel.h"
#include "app/compare/TuneComparer.h"

#include "Memory.h"
#include "SimProcess.h"
#include "link/Protocol.h"
#include "session/Backups.h"
#include "tools/SerialNumber.h"

#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace kyr;
using namespace kyr::apptest;

namespace {

class SimWindowTest : public WindowTest {
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

    /// Commands the simulator took, by name, in order.
    std::vector<std::string> commands() const
    {
        std::vector<std::string> out;
        for (const auto& line : m_sim->log())
            if (line.contains("cmd"))
                out.push_back(line["cmd"].get<std::string>());
        return out;
    }

    /// Whether another program could take the port now.
    bool portFree() const
    {
        const int fd = ::open(m_sim->entryPath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd < 0)
            return false;
        const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
        ::close(fd);
        return locked;
    }

    test::TempFolder m_dir{"kyr-app"};
    std::unique_ptr<test::SimProcess> m_sim;
};

} // namespace

TEST_F(SimWindowTest, StartUpSearchSelectsTheUnitsPort)
{
    showWindow();
    EXPECT_EQ(window->model().state().port.com, 3);
    EXPECT_TRUE(button("spConnect")->isEnabled());
    EXPECT_EQ(panel(0), "Fuel and Timing Module found on Com3");
    EXPECT_EQ(commands(), std::vector<std::string>{"ReadIdentity"});
}

TEST_F(SimWindowTest, ConnectShowsTheUnitAndWriteSendsTheWholeTable)
{
    connectedWindow();
    EXPECT_EQ(panel(0), "Ready");
    EXPECT_TRUE(panel(1).startsWith("KYR 3 v3.2 :: "));
    EXPECT_EQ(panel(2), "Fuel and Timing");
    EXPECT_TRUE(button("spWrite")->isEnabled());

    window->model().applyMapPoint(table::MapId::TimingRpm, 2, 21);
    window->model().mapsEdited();
    sink->choice = 0; // the look before writing may find the edit steep: write anyway
    click("spWrite");
    waitIdle();
    EXPECT_EQ(panel(0), "Data table written to KYR");
    ASSERT_TRUE(m_sim->waitForLog("cmd", "WriteTable"));
    const table::ImageBytes expected =
        table::encode(window->model().state().setup, window->model().maps()).raw;
    EXPECT_TRUE(waitFor([&] {
        auto memory = sim::loadMemory(m_sim->memoryPath());
        return memory.ok() && memory.value() == expected;
    }, 3000)) << "the unit holds the written table";
    EXPECT_EQ(window->model().maps().at(table::MapId::TimingRpm, 2), 21) << "the edit survives the write";
}

// A unit that stores one byte of the table wrong: the window says which, and
// never that the table was written.
TEST_F(SimWindowTest, WriteToAUnitThatCorruptsAByteIsNotReportedAsDone)
{
    m_sim.reset();
    m_sim = std::make_unique<test::SimProcess>(m_dir.path(),
                                               test::SimOptions{.port = 3, .args = {"--corrupt-write", "200"}});
    connectedWindow();
    click("spWrite");
    waitIdle();
    EXPECT_TRUE(panel(0).startsWith("Write to KYR not verified")) << panel(0).toStdString();
    EXPECT_TRUE(panel(0).contains("offset 200")) << panel(0).toStdString();
    ASSERT_EQ(sink->texts("warning").size(), 1);
    EXPECT_TRUE(sink->texts("warning")[0].contains("200"));
    EXPECT_TRUE(window->windowTitle().endsWith("*"));
    // The unit's table before the write was kept.
    EXPECT_FALSE(session::BackupStore(m_dir.path() / "backups").serials().empty());
}

TEST_F(SimWindowTest, OpenFileTalksToNobody)
{
    showWindow();
    const auto before = commands();
    files->openName = demoTunePath();
    click("spOpen");
    waitIdle();
    EXPECT_EQ(panel(0), "KYR file opened successfully");
    EXPECT_TRUE(window->model().mapsShown());
    EXPECT_EQ(commands(), before);
}

TEST_F(SimWindowTest, ExitClosesThePort)
{
    connectedWindow();
    EXPECT_FALSE(portFree()) << "the program holds the port while connected";
    bool exited = false;
    QObject::connect(window.get(), &app::window::EFICom::exitFinished, [&] { exited = true; });
    click("spExit");
    ASSERT_TRUE(waitFor([&] { return exited; }));
    EXPECT_TRUE(portFree());
}

// Disconnect lets go of the port and keeps the tune in view; Connect takes
// the unit up again.
TEST_F(SimWindowTest, DisconnectFreesThePortAndKeepsTheTune)
{
    connectedWindow();
    const table::MapArrays shown = window->model().maps();
    ASSERT_TRUE(button("spDisconnect")->isEnabled());
    click("spDisconnect");
    waitIdle();
    EXPECT_TRUE(portFree());
    EXPECT_EQ(panel(0), "Disconnected");
    EXPECT_EQ(window->model().maps().values, shown.values);
    EXPECT_FALSE(button("spDisconnect")->isEnabled());
    EXPECT_FALSE(button("spWrite")->isEnabled());
    EXPECT_TRUE(button("spConnect")->isEnabled());
    EXPECT_EQ(window->findChild<QLabel*>(QStringLiteral("LinkIndicator"))->text(), "Not connected");

    click("spConnect");
    waitIdle();
    EXPECT_TRUE(window->model().state().flags.UnitConnected);
    EXPECT_FALSE(portFree());
    EXPECT_TRUE(button("spDisconnect")->isEnabled());
}

// The unit's own table, read now, beside a tune that moved away from it: the
// point taken back goes to the unit as its WritePoint.
TEST_F(SimWindowTest, ComparingWithTheUnitTakesItsPointBack)
{
    connectedWindow();
    const auto& def = table::mapDef(table::MapId::TimingRpm);
    const double held = window->model().maps().at(def.id, 40);
    window->model().applyMapPoint(def.id, 40, held + 3);
    window->model().mapsEdited();

    auto* menu = window->findChild<QMenu*>("CompareMenu");
    emit menu->aboutToShow();
    menu->findChild<QAction*>("CompareUnit")->trigger();
    ASSERT_TRUE(waitFor([&] { return window->tuneComparer().active(); }));
    app::compare::ComparePanel& panel = *window->comparePanel();
    ASSERT_EQ(panel.list()->count(), 1);
    EXPECT_TRUE(panel.list()->item(0)->text().startsWith("Timing Map point 40")) << panel.list()->item(0)->text().toStdString();

    panel.list()->setCurrentRow(0);
    panel.useButton()->click();
    const auto write = m_sim->waitForLog("cmd", "WritePoint");
    ASSERT_TRUE(write);
    EXPECT_EQ((*write)["offset"].get<int>(), table::pointOffset(def, 40));
    EXPECT_EQ((*write)["value"].get<int>(), static_cast<int>(held) + def.bias);
    EXPECT_EQ(window->model().maps().at(def.id, 40), held);
    EXPECT_EQ(panel.list()->count(), 0);
}

#endif // KYR_WITH_SIM
