// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// An editor showing a table at the design range: R 7000 (N 70), M 20 (2.0 bar),
// every chart enabled and mouse tuning on.

#include "maps/MapEditor.h"
#include "table/Rounding.h"

#include <algorithm>

#include <gtest/gtest.h>

namespace kyr::maps::test {

inline table::Axes axesOf(int rpmRange, int mapSensor)
{
    table::Axes a;
    a.rpmRange = rpmRange;
    a.timingPoints = std::clamp(roundInt(rpmRange / 100.0), 1, 100);
    a.mapSensor = mapSensor;
    return a;
}

inline WritePoint wp(uint8_t bank, int index, int value)
{
    return {bank, static_cast<uint8_t>(index), static_cast<uint8_t>(value)};
}

class EditorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ed.showTable(table::MapArrays{}, axesOf(7000, 20));
        ed.enableGroups(true, true);
        ed.setMouseTuning(true);
    }

    /// A drag that must be accepted.
    DragEdit dragOk(ChartId c, double x, double y)
    {
        auto d = ed.drag(c, x, y);
        EXPECT_TRUE(d.has_value()) << "drag at " << x << ", " << y << " refused";
        return d.value_or(DragEdit{{MapId::TimingRpm, 0, 0, 0}, {}, std::nullopt});
    }

    MapEditor ed;
};

} // namespace kyr::maps::test
