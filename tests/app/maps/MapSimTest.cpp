// SPDX-License-Identifier: GPL-3.0-or-later
// Map editing through the real window against kyr-sim: a drag on each chart,
// a key edit and an undo reach the simulated unit's table at the point's offset.

#ifdef KYR_WITH_SIM

#include "maps/MapEditFixture.h"

#include "Memory.h"
#include "SimProcess.h"

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

#endif
