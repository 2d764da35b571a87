// SPDX-License-Identifier: GPL-3.0-or-later
#include "table/Layout.h"

#include <gtest/gtest.h>

#include <set>

using namespace kyr::table;

// The maps tile offsets 101..480 without gaps or overlaps, in table order.
TEST(Layout, MapsTileTheMapArea)
{
    std::set<int> seen;
    for (const auto& m : mapTable())
        for (int i = 1; i <= m.points; ++i)
            EXPECT_TRUE(seen.insert(pointOffset(m, i)).second) << m.name << " point " << i;
    EXPECT_EQ(seen.size(), 380u);
    EXPECT_EQ(*seen.begin(), 101);
    EXPECT_EQ(*seen.rbegin(), 480);
}

// The live-write index of every point lands on the point's own table offset.
TEST(Layout, LiveWriteIndexMatchesTableOffset)
{
    for (const auto& m : mapTable()) {
        for (int i = 1; i <= m.points; ++i) {
            int index = writeIndex(m, i);
            EXPECT_GE(index, 0) << m.name;
            EXPECT_LE(index, 255) << m.name;
            auto off = bankOffset(m.bank, index);
            ASSERT_TRUE(off.has_value());
            EXPECT_EQ(*off, pointOffset(m, i)) << m.name << " point " << i;
        }
    }
}

TEST(Layout, MapIdsIndexTheTable)
{
    for (int k = 0; k < MapCount; ++k)
        EXPECT_EQ(static_cast<int>(mapTable()[k].id), k);
    EXPECT_EQ(mapByName("fuel-rpm-low"), MapId::FuelLow);
    EXPECT_FALSE(mapByName("nope").has_value());
}

TEST(Layout, EverySetupParamHasOneRowInsideTheSetupArea)
{
    std::set<int> offsets;
    for (const auto& d : setupTable()) {
        EXPECT_GE(d.offset, 0);
        EXPECT_LT(d.offset, SetupSize);
        EXPECT_TRUE(offsets.insert(d.offset).second) << "offset " << d.offset << " twice";
        EXPECT_EQ(&setupDef(d.param), &d);
    }
    EXPECT_EQ(setupOffset(SetupParam::Cylinders), 80);
    EXPECT_EQ(setupOffset(SetupParam::RpmRange), 81);
    EXPECT_EQ(setupByOffset(20), nullptr); // carried through, no row
}

TEST(Layout, UnitTypesGiveTheirMapGroups)
{
    EXPECT_TRUE(hasGroup(*unitType(1), MapGroup::Timing));
    EXPECT_FALSE(hasGroup(*unitType(1), MapGroup::Fuel));
    EXPECT_FALSE(hasGroup(*unitType(2), MapGroup::Timing));
    for (int c : {3, 5, 6}) {
        EXPECT_TRUE(unitType(c)->timing);
        EXPECT_TRUE(unitType(c)->fuel);
    }
    EXPECT_EQ(unitType(5)->name, "Advanced Fuel and Timing");
    EXPECT_EQ(unitType(1)->searchName, "Timing");
    EXPECT_FALSE(unitType(4).has_value());
}

TEST(Layout, ShownValuesFollowTheirConversion)
{
    EXPECT_EQ(shownValue(setupDef(SetupParam::RpmRange), 70), 7000);
    EXPECT_EQ(shownValue(setupDef(SetupParam::CoilTime), 5), 2.5);
    EXPECT_EQ(shownValue(setupDef(SetupParam::Out1Min), 30, 1), 3000);
    EXPECT_EQ(shownValue(setupDef(SetupParam::Out1Min), 150, 2), 1.5);
    EXPECT_EQ(shownValue(setupDef(SetupParam::Out1Min), 150, 0), 0);
    EXPECT_EQ(shownValue(setupDef(SetupParam::Out1Min), 150, 3), 150);
}
