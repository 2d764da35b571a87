// SPDX-License-Identifier: GPL-3.0-or-later
// Map editing through the real window against kyr-sim: a drag on each chart,
// a key edit and an undo reach the simulated unit's table at the point's offset.

#ifdef KYR_WITH_SIM

#include "maps/MapEditFixture.h"

#include "Memory.h"
#include "SimProcess.h"

#include "app/maps/MapPage.h"
#include "app/maps/MapTableView.h"

#include <QAreaSeries>
#include <QClipboard>
#include <QDoubleSpinBox>
#include <QGuiApplication>
#include <QLineSeries>
#include <QRadioButton>

using namespace kyr;
using namespace kyr::apptest;
using maps::ChartId;
using table::MapId;

namespace {

class MapSimTest : public MapEditTest {
protected:
    void SetUp() override
    {
        m_sim = std::make_unique<test::SimProcess>(m_dir.path(), test::SimOptions{.port = 3});
        makeWindow(ptyLinkSetup(m_dir.path()));
        start();
    }
    void TearDown() override
    {
        WindowTest::TearDown();
        m_sim.reset();
    }

    /// The shown value the simulated unit holds for point i of a map, once its
    /// memory shows `expected` (the unit stores a write a moment after it arrives).
    double unitValue(MapId map, int i, double expected)
    {
        const auto& def = table::mapDef(map);
        double value = 0;
        waitFor([&] {
            auto raw = sim::loadMemory(m_sim->memoryPath());
            if (!raw)
                return false;
            value = static_cast<int>(raw.value()[table::pointOffset(def, i)]) - def.bias;
            return value == expected;
        });
        return value;
    }

    test::TempFolder m_dir{"kyr-mapsim"};
    std::unique_ptr<test::SimProcess> m_sim;
};

struct SimDrag {
    ChartId chart;
    MapId map;
    int index;
    double value;
    const char* radio;
};

const SimDrag kSimDrags[] = {
    {ChartId::Timing, MapId::TimingRpm, 25, 31, nullptr},
    {ChartId::Vacuum, MapId::TimingVac, 10, 9, nullptr},
    {ChartId::FuelVac, MapId::FuelVac, 20, -7, nullptr},
    {ChartId::FuelRpm, MapId::FuelHigh, 12, 11, "RadioHigh"},
    {ChartId::Temp, MapId::WaterTemp, 4, 40, nullptr},
    {ChartId::AirTmp, MapId::AirTempFuel, 3, -9, "RadioFuel"},
    {ChartId::Voltage, MapId::Voltage, 5, -12, nullptr},
};

} // namespace

TEST_F(MapSimTest, ADragOnEachChartChangesTheUnitsTableAtThePointsOffset)
{
    for (const SimDrag& d : kSimDrags) {
        SCOPED_TRACE(table::mapDef(d.map).name.data());
        if (d.radio)
            qobject_cast<QRadioButton*>(control(QString::fromLatin1(d.radio)))->click();
        ASSERT_NE(modelValue(d.map, d.index), d.value);
        clickAt(d.chart, xOf(d.map, d.index), d.value);
        EXPECT_EQ(curveY(d.map, d.index), d.value);
        EXPECT_EQ(unitValue(d.map, d.index, d.value), d.value);
    }
}

TEST_F(MapSimTest, AKeyEditAndItsUndoReachTheUnit)
{
    const double before = modelValue(MapId::TimingRpm, 40);
    hover(ChartId::Timing, xOf(MapId::TimingRpm, 40), 5);
    tap(Qt::Key_Up);
    EXPECT_EQ(unitValue(MapId::TimingRpm, 40, before + 1), before + 1);
    tap(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(unitValue(MapId::TimingRpm, 40, before), before);
}

// Up goes down, Right goes down and Up again before either comes up: both
// raised points reach the unit.
TEST_F(MapSimTest, RolledKeysSendEveryPointTheyRaised)
{
    const double first = modelValue(MapId::TimingRpm, 40);
    const double second = modelValue(MapId::TimingRpm, 41);
    hover(ChartId::Timing, xOf(MapId::TimingRpm, 40), 5);
    press(Qt::Key_Up);
    press(Qt::Key_Right);
    press(Qt::Key_Up);
    release(Qt::Key_Up);
    release(Qt::Key_Right);
    EXPECT_EQ(unitValue(MapId::TimingRpm, 40, first + 1), first + 1);
    EXPECT_EQ(unitValue(MapId::TimingRpm, 41, second + 1), second + 1);
}

// A range of the Timing Map: points 30 to 35 selected with Shift+Right, two
// degrees added with +, each point in the unit's memory; Ctrl+Z puts them back.
TEST_F(MapSimTest, ARangeRaisedByTwoDegreesReachesTheUnitAndUndoPutsItBack)
{
    std::vector<double> before;
    for (int i = 30; i <= 35; ++i)
        before.push_back(modelValue(MapId::TimingRpm, i));
    hover(ChartId::Timing, xOf(MapId::TimingRpm, 30), 5);
    for (int n = 0; n < 5; ++n)
        tap(Qt::Key_Right, Qt::ShiftModifier);
    const auto selected = window->mapEditSession().selection(ChartId::Timing);
    ASSERT_TRUE(selected.has_value());
    EXPECT_EQ(selected->first, 30);
    EXPECT_EQ(selected->last, 35);
    EXPECT_EQ(chart(ChartId::Timing)->selectionBand()->upperSeries()->count(), 2);

    QWidget* page = chart(ChartId::Timing);
    while (page && !qobject_cast<app::maps::MapPage*>(page))
        page = page->parentWidget();
    ASSERT_NE(page, nullptr);
    auto* step = page->findChild<QDoubleSpinBox*>(QStringLiteral("RangeStep"));
    ASSERT_NE(step, nullptr);
    step->setValue(2);
    tap(Qt::Key_Plus);
    for (int i = 30; i <= 35; ++i) {
        const double raised = std::min(before[static_cast<std::size_t>(i - 30)] + 2, 45.0);
        EXPECT_EQ(unitValue(MapId::TimingRpm, i, raised), raised) << "point " << i;
    }
    EXPECT_TRUE(chart(ChartId::Timing)->accessibleDescription().startsWith(QStringLiteral("Timing Map point 35, ")));

    tap(Qt::Key_Z, Qt::ControlModifier);
    for (int i = 30; i <= 35; ++i)
        EXPECT_EQ(unitValue(MapId::TimingRpm, i, before[static_cast<std::size_t>(i - 30)]),
                  before[static_cast<std::size_t>(i - 30)])
            << "point " << i;
}

// Six values copied from a spreadsheet land from the key cursor's point on;
// a paste that is not all numbers changes and sends nothing.
TEST_F(MapSimTest, SixTabSeparatedValuesFromTheClipboardReachTheUnit)
{
    hover(ChartId::Timing, xOf(MapId::TimingRpm, 30), 5);
    QGuiApplication::clipboard()->setText(QStringLiteral("20\t21\tx\t23\t24\t25"));
    unit->device.clearWritten();
    tap(Qt::Key_V, Qt::ControlModifier);
    EXPECT_TRUE(pointWrites().empty());
    EXPECT_NE(window->model().state().status.message.find("is not a number"), std::string::npos);

    QGuiApplication::clipboard()->setText(QStringLiteral("20\t21\t22\t23\t24\t25\n"));
    tap(Qt::Key_V, Qt::ControlModifier);
    for (int i = 30; i <= 35; ++i)
        EXPECT_EQ(unitValue(MapId::TimingRpm, i, 20 + i - 30), 20 + i - 30) << "point " << i;
    // The table under the chart shows them too.
    auto* table = window->findChild<app::maps::MapTableView*>(QStringLiteral("TimingMapTable"));
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->item(1, 34)->text(), QStringLiteral("25"));
}

#endif
