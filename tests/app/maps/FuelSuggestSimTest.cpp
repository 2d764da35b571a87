// SPDX-License-Identifier: GPL-3.0-or-later
// "Fuel Suggestions" live against kyr-sim's engine over a pseudo-terminal:
// the real-time poll fills the table in as the throttle moves, and Apply
// sends the suggested points to the unit. With KYR_SCREENSHOT_DIR set the
// window is saved there as fuel-suggestions-live.png.

#ifdef KYR_WITH_SIM

#include "maps/MapEditFixture.h"

#include "Memory.h"
#include "SimProcess.h"

#include "app/live/LivePoll.h"
#include "app/maps/FuelPage.h"
#include "app/maps/FuelSuggestPanel.h"

#include <QDir>
#include <QPixmap>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include <fstream>

using namespace kyr;
using namespace kyr::apptest;
using app::maps::FuelSuggestPanel;
using table::MapId;

namespace {

class FuelSuggestSimTest : public MapEditTest {
protected:
    void SetUp() override
    {
        setThrottle(40);
        m_sim = std::make_unique<test::SimProcess>(
            m_dir.path(), test::SimOptions{.port = 3, .args = {"--warm", "--throttle-file", throttlePath().string()}});
        livePollMs = app::live::LivePoll::IntervalMs;
        makeWindow(ptyLinkSetup(m_dir.path()));
        start();
    }
    void TearDown() override
    {
        WindowTest::TearDown();
        m_sim.reset();
    }

    std::filesystem::path throttlePath() const { return m_dir.path() / "throttle"; }
    // kyr-sim reads the file at every ReadLive: 40 % holds about 2940 RPM, 60 % about 3960.
    void setThrottle(int percent) { std::ofstream(throttlePath()) << percent << "\n"; }

    FuelSuggestPanel* panel() const { return window->findChild<FuelSuggestPanel*>(); }
    QString change(int point) const { return panel()->table()->item(point - 1, FuelSuggestPanel::ChangeCol)->text(); }
    /// Points with a change other than none or 0 %.
    std::vector<int> suggested() const
    {
        std::vector<int> out;
        for (int i = 1; i <= panel()->table()->rowCount(); ++i)
            if (change(i) != QStringLiteral("—") && change(i) != QStringLiteral("0 %"))
                out.push_back(i);
        return out;
    }
    /// The Cruise point nearest to rpm.
    int pointAt(double rpm) const
    {
        int best = 1;
        for (int i = 1; i <= table::mapDef(MapId::FuelCruise).points; ++i)
            if (std::abs(xOf(MapId::FuelCruise, i) * 100 - rpm) < std::abs(xOf(MapId::FuelCruise, best) * 100 - rpm))
                best = i;
        return best;
    }
    bool unitHolds(int point, double value) const
    {
        const auto& def = table::mapDef(MapId::FuelCruise);
        return waitFor([&] {
            auto raw = sim::loadMemory(m_sim->memoryPath());
            return raw && static_cast<int>(raw.value()[table::pointOffset(def, point)]) - def.bias == value;
        });
    }

    test::TempFolder m_dir{"kyr-fuelsim"};
    std::unique_ptr<test::SimProcess> m_sim;
};

} // namespace

TEST_F(FuelSuggestSimTest, LiveRecordsFillTheTableInAndApplyReachesTheUnit)
{
    auto* page = window->findChild<app::maps::FuelPage*>();
    showPageOf(page->panel());
    page->suggestionsButton()->click();
    ASSERT_TRUE(panel()->isVisible());

    const int first = pointAt(2940);
    ASSERT_TRUE(waitFor([&] { return change(first) != QStringLiteral("—"); }, 20000))
        << "the engine held at 40 % judges the point at 2940 RPM";
    const int second = pointAt(3960);
    EXPECT_EQ(change(second), QStringLiteral("—")) << "not visited yet";
    setThrottle(60);
    ASSERT_TRUE(waitFor([&] { return change(second) != QStringLiteral("—"); }, 20000))
        << "and, once the throttle opens, the point at 3960 RPM";
    if (const QByteArray dir = qgetenv("KYR_SCREENSHOT_DIR"); !dir.isEmpty()) {
        // For the picture, a slow sweep through the cruise band first.
        for (int percent = 20; percent <= 80; percent += 4) {
            setThrottle(percent);
            const int point = pointAt(900 + 51 * percent);
            waitFor([&] { return change(point) != QStringLiteral("—"); }, 20000);
            QTest::qWait(1500);
        }
        window->grab().save(QDir(QString::fromLocal8Bit(dir)).filePath(QStringLiteral("fuel-suggestions-live.png")));
    }

    const std::vector<int> points = suggested();
    ASSERT_FALSE(points.empty()) << "the default need differs from the demo tune at these speeds";
    window->findChild<QPushButton*>(QStringLiteral("FuelSuggestApply"))->click();
    for (int i : points) {
        const double value = modelValue(MapId::FuelCruise, i);
        EXPECT_TRUE(unitHolds(i, value)) << "point " << i << " reaches the unit as " << value;
    }
}

#endif
