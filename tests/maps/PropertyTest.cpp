// SPDX-License-Identifier: GPL-3.0-or-later
// Random drags, mouse moves, keys and undo steps over random tables and axes:
// every write must fit a byte the unit keeps, land inside the map it belongs
// to, at a point in use, and carry exactly the value the editor now holds.

#include "EditorFixture.h"

#include <random>

namespace kyr::maps::test {

namespace {

class Checker {
public:
    explicit Checker(const MapEditor& ed) : m_ed(ed) {}

    void check(const WritePoint& w)
    {
        ++m_checked;
        ASSERT_LE(w.value, table::MaxRawSent);
        const auto off = table::bankOffset(w.bank, w.index);
        ASSERT_TRUE(off);
        const table::MapDef* map = nullptr;
        for (const auto& m : table::mapTable())
            if (*off >= m.firstOffset && *off < m.firstOffset + m.points && m.bank == w.bank)
                map = &m;
        ASSERT_NE(map, nullptr) << "offset " << *off;
        const int i = *off - map->firstOffset + 1;
        ASSERT_LE(i, pointCount(map->id, m_ed.axes())) << map->name;
        EXPECT_EQ(m_ed.maps().at(map->id, i) + map->bias, w.value) << map->name << " " << i;
    }

    int checked() const { return m_checked; }

private:
    const MapEditor& m_ed;
    int m_checked = 0;
};

} // namespace

TEST(EditorProperties, RandomEditsSendOnlyBytesTheUnitKeeps)
{
    std::mt19937 rng(20240601);
    auto uni = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); };
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };

    int checked = 0;
    for (int round = 0; round < 40; ++round) {
        table::MapArrays maps;
        for (const auto& m : table::mapTable())
            for (int i = 1; i <= m.points; ++i)
                maps.set(m.id, i, pick(-m.bias - 1, 255 - m.bias)); // every byte, wrapped ones too
        MapEditor ed;
        ed.showTable(maps, axesOf(pick(1, 255) * 100, pick(0, 30)));
        ed.enableGroups(true, true);
        ed.setMouseTuning(true);
        Checker checker(ed);

        for (int step = 0; step < 400; ++step) {
            const auto chart = static_cast<ChartId>(pick(0, table::ChartCount - 1));
            const auto axis = bottomAxis(chart, ed.axes());
            const auto& c = chartDef(chart);
            const double x = uni(axis.min - 3, axis.max + 3);
            const double y = uni(c.leftMin - 5, c.leftMax + 5);
            switch (pick(0, 5)) {
            case 0:
                if (auto d = ed.drag(chart, x, y))
                    checker.check(d->write);
                break;
            case 1: ed.mouseMove(chart, x, y); break;
            case 2:
                ed.keyDown(static_cast<Key>(pick(0, 6)));
                break;
            case 3:
                for (const auto& w : ed.keyUp())
                    checker.check(w);
                break;
            case 4: {
                const auto map = static_cast<MapId>(pick(0, table::MapCount - 1));
                auto w = ed.setPoint(map, pick(-1, 101), uni(-300, 300));
                if (w)
                    checker.check(w.value());
                break;
            }
            default:
                ed.selectFuelRpm(static_cast<FuelRpmMap>(pick(0, 2)));
                ed.selectAirTemp(static_cast<AirTempMap>(pick(0, 1)));
                break;
            }
            if (::testing::Test::HasFatalFailure())
                return;
        }
        checked += checker.checked();
    }
    EXPECT_GT(checked, 4000); // the random edits did reach the unit
}

} // namespace kyr::maps::test
