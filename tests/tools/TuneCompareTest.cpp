// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/TuneCompare.h"

#include "files/MapFile.h"

#include <gtest/gtest.h>

using namespace kyr;
using namespace kyr::tools;
using table::MapId;

namespace {

table::ImageBytes demoImage()
{
    auto f = files::loadMapFile(std::filesystem::path(KYR_SOURCE_DIR) / "examples" / "demo.kyr");
    EXPECT_TRUE(f) << (f ? "" : f.error().message);
    return f ? f.value().image : table::ImageBytes{};
}

} // namespace

TEST(TuneCompare, ListsAChangedSettingAndPointInTheirUnits)
{
    const table::ImageBytes mine = demoImage();
    table::ImageBytes other = mine;
    other[82] = 6;  // Coil Time raw 5: 2.5 ms
    other[81] = 66; // RPM Range 6500
    const table::MapDef& timing = table::mapDef(MapId::TimingRpm);
    other[table::pointOffset(timing, 35)] = static_cast<uint8_t>(other[table::pointOffset(timing, 35)] + 3);

    const TuneComparison c = compareTunes(mine, other, 3, 3);
    ASSERT_EQ(c.setup.size(), 2u);
    const SettingDifference& range = c.setup[0];
    EXPECT_EQ(range.name, "RPM Range");
    EXPECT_EQ(range.unit, "RPM");
    EXPECT_EQ(range.other.text, "6500");
    EXPECT_DOUBLE_EQ(range.other.number, 6500);
    const SettingDifference& coil = c.setup[1];
    EXPECT_EQ(coil.name, "Coil Time (ms)");
    EXPECT_EQ(withUnit(coil.other.text, coil.unit), "2.5 ms");
    EXPECT_EQ(coil.def->offset, 82);
    EXPECT_EQ(coil.def->param, table::SetupParam::CoilTime);

    // The other tune's 65 points are compared under the larger count of mine (70).
    ASSERT_EQ(c.points.size(), 1u);
    const PointDifference& p = c.points[0];
    EXPECT_EQ(p.map, MapId::TimingRpm);
    EXPECT_EQ(p.index, 35);
    EXPECT_DOUBLE_EQ(p.x, 35);
    EXPECT_DOUBLE_EQ(p.otherX, 35 * 65.0 / 65);
    EXPECT_DOUBLE_EQ(p.other - p.mine, 3);
    EXPECT_EQ(pointXText(p.map, p.x), "3500 RPM");
    EXPECT_TRUE(c.bytes.empty());
    EXPECT_TRUE(compareTunes(mine, mine).empty());
}

TEST(TuneCompare, ShownValuesNamesAndUnits)
{
    table::ImageBytes image = demoImage();
    image[81] = 1; // a stored 0 runs at 7000 RPM
    EXPECT_EQ(shownSetting(table::setupDef(table::SetupParam::RpmRange), image).text, "7000");
    image[81] = 255;
    EXPECT_TRUE(shownSetting(table::setupDef(table::SetupParam::RpmRange), image).absent);
    EXPECT_EQ(settingName(table::setupDef(table::SetupParam::IdleRpm)), "Idle Control RPM");
    EXPECT_EQ(settingName(table::setupDef(table::SetupParam::Out2Max)), "Output 2 Max");
    EXPECT_EQ(settingName(table::setupDef(table::SetupParam::Cylinders)), "Cylinders");
    EXPECT_EQ(settingName(table::setupDef(table::SetupParam::AccTpsSens)), "Accelerator pump, throttle: sensitivity");
    EXPECT_EQ(pointValueText(MapId::TimingRpm, 28), "28\u00b0");
    EXPECT_EQ(pointValueText(MapId::FuelVac, -5), "-5 %");
    EXPECT_EQ(pointXText(MapId::FuelVac, 0.453125), "0.45 bar");
    EXPECT_EQ(pointXText(MapId::WaterTemp, 25), "25 \u00b0C");
    EXPECT_EQ(pointXText(MapId::Voltage, 12), "12 V");
    EXPECT_EQ(mapName(MapId::FuelCruise), "RPM Map, Cruise");
    EXPECT_EQ(mapName(MapId::TimingVac), "Vacuum Map (timing)");
}

TEST(TuneCompare, MapsOfATypeNeitherTuneHasAndStrayBytes)
{
    const table::ImageBytes mine = demoImage();
    table::ImageBytes other = mine;
    const int fuelOff = table::pointOffset(table::mapDef(MapId::FuelLow), 3);
    other[fuelOff] = static_cast<uint8_t>(other[fuelOff] + 1);
    other[20] = static_cast<uint8_t>(other[20] + 1); // no setup row
    // Two timing-only tunes: the fuel map byte is a stray byte.
    TuneComparison c = compareTunes(mine, other, 1, 1);
    EXPECT_TRUE(c.points.empty());
    ASSERT_EQ(c.bytes.size(), 2u);
    EXPECT_EQ(c.bytes[0].offset, 20);
    EXPECT_EQ(c.bytes[1].offset, fuelOff);
    // One of them has fuel maps: the point is listed.
    c = compareTunes(mine, other, 1, 3);
    ASSERT_EQ(c.points.size(), 1u);
    EXPECT_EQ(c.points[0].map, MapId::FuelLow);
}
