// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/TuneCheck.h"
#include "tools/TuneCompare.h"

#include "files/MapFile.h"
#include "setup/Fields.h"
#include "table/Codec.h"

#include <gtest/gtest.h>

using namespace kyr;
using namespace kyr::tools;
using table::MapId;
using P = table::SetupParam;

namespace {

table::ImageBytes demoImage()
{
    auto f = files::loadMapFile(std::filesystem::path(KYR_SOURCE_DIR) / "examples" / "demo.kyr");
    EXPECT_TRUE(f) << (f ? "" : f.error().message);
    return f ? f.value().image : table::ImageBytes{};
}

double valueAt(const table::ImageBytes& image, MapId map, int i) { return table::decodeMaps(image).at(map, i); }

void setPoint(table::ImageBytes& image, MapId map, int i, double value)
{
    const table::MapDef& m = table::mapDef(map);
    image[table::pointOffset(m, i)] = static_cast<uint8_t>(table::mapRawByte(m, value) + 1);
}

// Stores a field's value as the page would (plus-one byte of the scaled raw value).
void setRaw(table::ImageBytes& image, table::SetupParam param, int raw)
{
    image[table::setupOffset(param)] = static_cast<uint8_t>(raw + 1);
}

std::vector<Finding> ofKind(const std::vector<Finding>& all, FindingKind kind)
{
    std::vector<Finding> out;
    for (const auto& f : all)
        if (f.kind == kind)
            out.push_back(f);
    return out;
}

} // namespace

TEST(TuneCheck, TheDemoTuneIsSmooth)
{
    EXPECT_TRUE(checkTune(demoImage()).empty());
    CheckOptions againstItself;
    againstItself.unit = demoImage();
    EXPECT_TRUE(checkTune(demoImage(), againstItself).empty());
}

TEST(TuneCheck, TimingPointTwentyDegreesAboveItsNeighboursIsCaught)
{
    table::ImageBytes image = demoImage();
    const double before = valueAt(image, MapId::TimingRpm, 34), after = valueAt(image, MapId::TimingRpm, 36);
    const double spike = std::max(before, after) + 20;
    setPoint(image, MapId::TimingRpm, 35, spike);

    CheckOptions o;
    o.timingLimit = 60; // the spike alone
    const auto found = checkTune(image, o);
    ASSERT_EQ(found.size(), 1u);
    const Finding& f = found[0];
    EXPECT_EQ(f.kind, FindingKind::PointSpike);
    EXPECT_EQ(f.map, MapId::TimingRpm);
    EXPECT_EQ(f.index, 35);
    EXPECT_DOUBLE_EQ(f.x, 35);
    EXPECT_DOUBLE_EQ(f.value, spike);
    EXPECT_EQ(f.neighbours, (std::vector<double>{before, after}));
    EXPECT_EQ(f.where, "Timing Map point 35 (3500 RPM)");
    EXPECT_NE(f.message.find("is " + std::to_string(static_cast<int>(spike)) + "\u00b0 while its neighbours are"),
              std::string::npos)
        << f.message;
}

TEST(TuneCheck, SpikesAreJudgedByEachMapsThreshold)
{
    EXPECT_EQ(spikeThreshold(MapId::TimingRpm), 10);
    EXPECT_EQ(spikeThreshold(MapId::TimingVac), 10);
    EXPECT_EQ(spikeThreshold(MapId::FuelCruise), 25);
    EXPECT_EQ(spikeThreshold(MapId::WaterTemp), 30);
    EXPECT_EQ(spikeThreshold(MapId::AirTempFuel), 10);

    table::ImageBytes image = demoImage();
    // A fuel dip of 30 % below both neighbours is caught; 20 % is not.
    const double n = valueAt(image, MapId::FuelLow, 10);
    setPoint(image, MapId::FuelLow, 9, n);
    setPoint(image, MapId::FuelLow, 11, n);
    setPoint(image, MapId::FuelLow, 10, n - 30);
    auto found = checkTune(image);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].map, MapId::FuelLow);
    EXPECT_EQ(found[0].where, "RPM Map, Low point 10 (2188 RPM)");
    EXPECT_NE(found[0].message.find(" %"), std::string::npos) << found[0].message;
    setPoint(image, MapId::FuelLow, 10, n - 20);
    EXPECT_TRUE(checkTune(image).empty());

    // A step up (above one neighbour only) and the end points are left alone.
    image = demoImage();
    for (int i = 20; i <= 32; ++i)
        setPoint(image, MapId::FuelHigh, i, 40);
    setPoint(image, MapId::FuelCruise, 1, 45);
    setPoint(image, MapId::FuelCruise, 32, -45);
    EXPECT_TRUE(checkTune(image).empty());
}

TEST(TuneCheck, TimingAboveTheLimitAndMapsTheUnitLacks)
{
    table::ImageBytes image = demoImage();
    for (int i = 60; i <= 70; ++i)
        setPoint(image, MapId::TimingRpm, i, 44);
    CheckOptions o;
    o.timingLimit = 42;
    const auto above = ofKind(checkTune(image, o), FindingKind::TimingAboveLimit);
    ASSERT_EQ(above.size(), 11u);
    EXPECT_EQ(above[0].message, "Timing Map point 60 (6000 RPM) is 44\u00b0, above the limit of 42\u00b0.");
    o.timingLimit = 44;
    EXPECT_TRUE(checkTune(image, o).empty());
    // Points past the RPM range are not in use.
    setPoint(image, MapId::TimingRpm, 80, 60);
    EXPECT_TRUE(checkTune(image, o).empty());

    // A fuel-only unit has no timing maps to judge.
    setPoint(image, MapId::TimingRpm, 35, 45);
    o.typeCode = 2;
    EXPECT_TRUE(checkTune(image, o).empty());
}

TEST(TuneCheck, SettingAtTheEdgeOfItsRangeThatDiffersFromTheUnit)
{
    const table::ImageBytes unit = demoImage();
    table::ImageBytes image = unit;
    CheckOptions o;
    o.unit = unit;

    setRaw(image, P::CoilTime, 200); // Coil Time 100 ms, its highest
    setRaw(image, P::Cylinders, 5);   // Cylinders 5: inside the range
    auto found = checkTune(image, o);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].kind, FindingKind::SettingAtEdge);
    EXPECT_EQ(found[0].where, "Coil Time (ms)");
    EXPECT_DOUBLE_EQ(found[0].value, 100);
    EXPECT_EQ(found[0].message.substr(0, found[0].message.find(", while")),
              "Coil Time (ms) is 100 ms, the highest value it takes");
    EXPECT_EQ(found[0].unitValue, withUnit(shownSetting(kyr::table::setupDef(P::CoilTime), unit).text, "ms"));

    // The same value in the unit is the tuner's choice; without the unit's table nothing is judged.
    o.unit = image;
    EXPECT_TRUE(checkTune(image, o).empty());
    EXPECT_TRUE(checkTune(image).empty());

    // Past the range (a byte no field would send) and at the lowest end.
    o.unit = unit;
    image = unit;
    setRaw(image, P::GearTeeth, 0);   // Gear Teeth 0, below 1
    setRaw(image, P::LambdaPercent, 0);   // Control Percentage 0 (the demo's is 20), its lowest
    found = checkTune(image, o);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_NE(found[0].message.find("past the lowest value it takes (1)"), std::string::npos) << found[0].message;
    EXPECT_EQ(found[1].message, "Lambda Control Percentage is 0 %, the lowest value it takes, while the unit has 20 %.");
}

// A stored 0 ends the unit's table reply at its byte: every one is named,
// in a map or the setup area, and the trailer is the unit's own.
TEST(TuneCheck, StoredZerosAreNamedByTheirByte)
{
    table::ImageBytes image = demoImage();
    const table::SetupDef* coil = &kyr::table::setupDef(P::Cylinders);
    ASSERT_NE(coil, nullptr);
    const table::MapDef& timing = table::mapDef(MapId::TimingRpm);
    const int point = table::pointOffset(timing, 12);
    image[static_cast<std::size_t>(coil->offset)] = 0;
    image[static_cast<std::size_t>(point)] = 0;
    image[481] = 0;

    const auto zeros = storedZeros(image);
    ASSERT_EQ(zeros.size(), 2u);
    const int first = std::min(coil->offset, point);
    EXPECT_EQ(zeros[0].offset, first);
    const auto& atPoint = zeros[point < coil->offset ? 0 : 1];
    EXPECT_EQ(atPoint.kind, FindingKind::StoredZero);
    EXPECT_EQ(atPoint.where, "table offset " + std::to_string(point) + " (" + mapName(MapId::TimingRpm) + " point 12)");
    EXPECT_NE(atPoint.message.find("stored 0 (raw 255)"), std::string::npos) << atPoint.message;
    EXPECT_EQ(zeros[point < coil->offset ? 1 : 0].where,
              "table offset " + std::to_string(coil->offset) + " (" + settingName(*coil) + ")");
    EXPECT_EQ(findingKindName(FindingKind::StoredZero), "stored-zero");

    const auto all = checkTune(image);
    ASSERT_GE(all.size(), 2u);
    EXPECT_EQ(all[0].kind, FindingKind::StoredZero) << "named before any spike it also makes";
    EXPECT_EQ(all[1].kind, FindingKind::StoredZero);
}
