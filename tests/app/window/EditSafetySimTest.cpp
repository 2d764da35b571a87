// SPDX-License-Identifier: GPL-3.0-or-later
// What reaches the unit from the window, read back from kyr-sim's log and
// memory: a refused entry sends nothing, the wheel changes no slider it is
// only passing over, a typed value goes with the write that follows it, and
// Exit and Connect keep map points tuned live.

#ifdef KYR_WITH_SIM

#include "window/AppFixture.h"

#include "Memory.h"
#include "SimProcess.h"
#include "app/dialogs/SetupChangedDialog.h"
#include "app/setup/PendingEdits.h"
#include "table/Codec.h"

#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QWheelEvent>
#include <QtTest/qtestspontaneevent.h>

using namespace kyr;
using namespace kyr::apptest;

namespace {

class EditSafetySimTest : public WindowTest {
protected:
    void SetUp() override { startSim({}); }
    void TearDown() override
    {
        WindowTest::TearDown();
        m_sim.reset();
    }

    void startSim(std::vector<std::string> args)
    {
        window.reset();
        m_sim.reset();
        m_sim = std::make_unique<test::SimProcess>(m_dir.path(), test::SimOptions{.port = 3, .args = std::move(args)});
        makeWindow(ptyLinkSetup(m_dir.path()));
    }

    QLineEdit* field(const char* name) const { return qobject_cast<QLineEdit*>(control(QString::fromLatin1(name))); }

    void showPage(const char* caption)
    {
        auto* tabs = window->findChild<QTabWidget*>(QStringLiteral("PageControl1"));
        for (int i = 0; i < tabs->count(); ++i)
            if (tabs->tabText(i) == QLatin1String(caption))
                tabs->setCurrentIndex(i);
        QApplication::setActiveWindow(window.get());
    }

    void typeInto(const char* name, const QString& text)
    {
        QLineEdit* e = field(name);
        e->setFocus(Qt::MouseFocusReason);
        e->selectAll();
        QTest::keyClick(e, Qt::Key_Delete);
        QTest::keyClicks(e, text);
    }

    /// Whether the simulator logged the command, the window's events running meanwhile.
    bool logged(std::string_view command)
    {
        return waitFor([&] { return !m_sim->logWhere("cmd", command).empty(); }, 5000);
    }

    /// The WriteBytes the unit took, once the one at `fenceOffset` is among them.
    std::vector<nlohmann::json> writesUpTo(int fenceOffset)
    {
        std::vector<nlohmann::json> writes;
        waitFor([&] {
            writes = m_sim->logWhere("cmd", "WriteByte");
            for (const auto& w : writes)
                if (w["offset"] == fenceOffset)
                    return true;
            return false;
        }, 5000);
        return writes;
    }

    /// A wheel notch over a widget as the window system delivers it.
    static void wheel(QWidget* w, int notches)
    {
        const QPoint at = w->rect().center();
        QWheelEvent e(at, w->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
        QSpontaneKeyEvent::setSpontaneous(&e);
        qApp->notify(w, &e); // as delivered: sendEvent would make it a synthesized one

    }

    int unitByte(int offset)
    {
        auto memory = sim::loadMemory(m_sim->memoryPath());
        return memory.ok() ? memory.value()[offset] : -1;
    }

    test::TempFolder m_dir{"kyr-safety"};
    std::unique_ptr<test::SimProcess> m_sim;
};

} // namespace

// Out-of-range entries in fields that used to answer with "0": nothing goes
// out, and the field shows what the unit still holds. "20" in Map Sensor is
// the fence that shows the line carried everything typed before it.
TEST_F(EditSafetySimTest, RefusedEntriesSendNothing)
{
    connectedWindow();
    showPage("Setup");
    const std::pair<const char*, const char*> refused[] = {
        {"Edit36", "30"}, {"Edit41", "12000"}, {"Edit35", "2.555"}, {"Edit33", "254"}, {"Edit55", "200"}};
    for (const auto& [name, text] : refused) {
        const QString before = field(name)->text();
        typeInto(name, QString::fromLatin1(text));
        QTest::keyClick(field(name), Qt::Key_Tab);
        EXPECT_EQ(field(name)->text(), before) << name;
        EXPECT_TRUE(field(name)->toolTip().contains(QStringLiteral("refused"))) << name;
    }
    typeInto("Edit15", QStringLiteral("20"));
    QTest::keyClick(field("Edit15"), Qt::Key_Return);
    const auto writes = writesUpTo(83);
    ASSERT_EQ(writes.size(), 1u) << "only the fence went out";
    EXPECT_EQ(writes[0]["value"], 20);
}

// Three notches over every slider of the Setup page and the jets scroll the
// page and move nothing; a slider with the focus still takes the wheel.
TEST_F(EditSafetySimTest, TheWheelOverAnUnfocusedSliderScrollsInstead)
{
    connectedWindow();
    window->resize(1200, 500); // the Setup page scrolls
    for (const char* page : {"Setup", "Fuel Maps"}) {
        showPage(page);
        QApplication::processEvents();
        for (QSlider* s : window->findChildren<QSlider*>()) {
            if (!s->isVisible() || !s->isEnabled())
                continue;
            const int before = s->value();
            wheel(s, -3);
            EXPECT_EQ(s->value(), before) << s->objectName().toStdString();
        }
    }
    showPage("Setup");
    auto* scroll = window->findChild<QScrollArea*>(QStringLiteral("SetupScroll"));
    auto* target = window->findChild<QSlider*>(QStringLiteral("TrackBar7"));
    scroll->verticalScrollBar()->setValue(0);
    scroll->ensureWidgetVisible(target);
    const int top = scroll->verticalScrollBar()->value();
    wheel(target, top == scroll->verticalScrollBar()->maximum() ? 3 : -3);
    EXPECT_NE(scroll->verticalScrollBar()->value(), top) << "the page scrolled ";

    // Clicked, the slider takes the wheel: the one WriteByte is its own.
    target->setFocus(Qt::MouseFocusReason);
    const int before = target->value();
    wheel(target, -1);
    EXPECT_NE(target->value(), before);
    const auto writes = writesUpTo(10);
    ASSERT_EQ(writes.size(), 1u) << "no slider passed over sent anything";
    EXPECT_EQ(writes[0]["value"], target->value());
}

// Ctrl+Shift+W while "Cylinders" holds typing: the value goes out first and
// the written table carries it; a refused typing stops the write.
TEST_F(EditSafetySimTest, TheWriteKeyTakesTypingNotYetEntered)
{
    connectedWindow();
    showPage("Setup");
    sink->choice = 0; // write even if the look before writing finds something
    typeInto("Edit12", QStringLiteral("13"));
    QTest::keyClick(field("Edit12"), Qt::Key_W, Qt::ControlModifier | Qt::ShiftModifier);
    // The button's key clicks it a moment later; the typing is judged first.
    ASSERT_TRUE(waitFor([&] { return field("Edit12")->text() != QStringLiteral("13"); }));
    waitIdle();
    EXPECT_TRUE(m_sim->logWhere("cmd", "WriteTable").empty()) << "a refused entry stops the write";

    typeInto("Edit12", QStringLiteral("6"));
    ASSERT_TRUE(app::setup::PendingEdits::holds(field("Edit12")));
    QTest::keyClick(field("Edit12"), Qt::Key_W, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_TRUE(logged("WriteTable"));
    waitIdle();
    ASSERT_TRUE(waitFor([&] { return unitByte(80) == 6; }, 3000));
    EXPECT_EQ(window->model().state().setup[80], 7);
}

// A point raised with the Up key reaches the unit's working map only: Exit
// asks, and Yes writes the table before the program ends.
TEST_F(EditSafetySimTest, ExitAfterLiveMapTuningOffersTheWrite)
{
    connectedWindow();
    const table::MapId timing = table::MapId::TimingRpm;
    const double before = window->model().maps().at(timing, 30);
    window->model().applyMapPoint(timing, 30, before + 2);
    window->model().mapsEdited();
    ASSERT_FALSE(window->model().state().flags.ImageChanged) << "map points never mark the setup";
    auto* prompt = window->findChild<app::dialogs::SetupChangedDialog*>();
    ASSERT_NE(prompt, nullptr);
    sink->choice = 0;
    click("spExit");
    ASSERT_TRUE(prompt->isVisible()) << "Exit asks before the tuning is lost";
    prompt->done(app::dialogs::SetupChangedDialog::Yes);
    ASSERT_TRUE(logged("WriteTable"));
    const table::ImageBytes written = table::encode(window->model().state().setup, window->model().maps()).raw;
    const int offset = table::pointOffset(table::mapDef(timing), 30);
    EXPECT_TRUE(waitFor([&] { return unitByte(offset) == written[offset]; }, 3000));
}

// Disconnect asks the same, and No lets go of the unit without a write.
TEST_F(EditSafetySimTest, DisconnectAfterLiveMapTuningAsksFirst)
{
    connectedWindow();
    window->model().applyMapPoint(table::MapId::FuelCruise, 10, window->model().maps().at(table::MapId::FuelCruise, 10) + 3);
    window->model().mapsEdited();
    auto* prompt = window->findChild<app::dialogs::SetupChangedDialog*>();
    click("spDisconnect");
    ASSERT_TRUE(prompt->isVisible());
    prompt->done(app::dialogs::SetupChangedDialog::No);
    waitIdle();
    EXPECT_FALSE(window->model().state().flags.UnitConnected);
    EXPECT_TRUE(m_sim->logWhere("cmd", "WriteTable").empty());
}

// A point edited in an opened file before Connect is the point joined to the
// unit, and the point a Write sends.
TEST_F(EditSafetySimTest, MapEditsBeforeConnectAreKept)
{
    files->openName = demoTunePath();
    showWindow();
    click("spOpen");
    waitIdle();
    const table::MapId timing = table::MapId::TimingRpm;
    const double edited = window->model().maps().at(timing, 25) + 2;
    window->model().applyMapPoint(timing, 25, edited);
    window->model().mapsEdited();
    click("spConnect");
    waitIdle();
    ASSERT_TRUE(window->model().state().flags.UnitConnected);
    EXPECT_EQ(window->model().maps().at(timing, 25), edited);
    sink->choice = 0;
    click("spWrite");
    ASSERT_TRUE(logged("WriteTable"));
    waitIdle();
    const auto& def = table::mapDef(timing);
    EXPECT_TRUE(waitFor([&] { return unitByte(table::pointOffset(def, 25)) == edited + def.bias; }, 3000));
}

// A unit whose table reply stops short: Connect fails, and a field typed
// afterwards sends nothing to it.
TEST_F(EditSafetySimTest, AConnectCutShortTakesNoEdits)
{
    startSim({"--short", "300"});
    showWindow();
    click("spConnect");
    waitIdle();
    EXPECT_FALSE(window->model().state().flags.EditsLive);
    EXPECT_TRUE(button("spConnect")->isEnabled()) << "Connect may be tried again";
    showPage("Setup");
    typeInto("Edit15", QStringLiteral("21"));
    QTest::keyClick(field("Edit15"), Qt::Key_Return);
    waitIdle();
    EXPECT_TRUE(m_sim->logWhere("cmd", "WriteByte").empty());
}

#endif // KYR_WITH_SIM
