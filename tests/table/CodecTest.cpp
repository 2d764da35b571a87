// SPDX-License-Identifier: GPL-3.0-or-later
#include "table/Codec.h"

#include <gtest/gtest.h>

#include <random>

using namespace kyr::table;

namespace {

ImageBytes randomImage(unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> byte(1, 255);
    ImageBytes img{};
    for (auto& b : img)
        b = static_cast<uint8_t>(byte(rng));
    return img;
}

ImageBytes withSetup(ImageBytes img, SetupParam p, int raw)
{
    img[setupOffset(p)] = static_cast<uint8_t>(raw + 1);
    return img;
}

} // namespace

// Decoding then encoding an unedited image gives back every byte, whatever the
// unit type: groups a unit lacks carry the bytes that were read.
TEST(Codec, GoldenRoundTripForEveryUnitType)
{
    for (int type : {1, 2, 3, 5, 6}) {
        ImageBytes img = randomImage(static_cast<unsigned>(type));
        img[0] = 0; // a plus-one 0 (raw 255 in 8 bits) must survive as well
        img[300] = 0;
        auto maps = decodeMaps(img);
        auto enc = encode(setupOf(img), maps);
        for (int o = 0; o < TrailerOffset; ++o) {
            EXPECT_EQ(enc.plusOne[o], img[o]) << "type " << type << " offset " << o;
            EXPECT_EQ(static_cast<uint8_t>(enc.raw[o] + 1), img[o]);
        }
        EXPECT_EQ(enc.raw[TrailerOffset], 55);
        EXPECT_EQ(enc.plusOne[TrailerOffset], 56);
    }
}

TEST(Codec, BiasEdges)
{
    MapArrays maps;
    SetupCopy setup{};
    setup.fill(1);
    maps.set(MapId::TimingVac, 1, -10);      // raw 0
    maps.set(MapId::FuelVac, 1, -100);       // raw 0
    maps.set(MapId::FuelVac, 2, 155);        // raw 255
    maps.set(MapId::TimingRpm, 1, 12.5);     // ties to even
    maps.set(MapId::TimingRpm, 2, 13.5);
    maps.set(MapId::AirTempTiming, 1, -3);   // degrees, bias 100
    auto enc = encode(setup, maps);
    EXPECT_EQ(enc.raw[201], 0);
    EXPECT_EQ(enc.plusOne[201], 1);
    EXPECT_EQ(enc.raw[233], 0);
    EXPECT_EQ(enc.raw[234], 255);
    EXPECT_EQ(enc.plusOne[234], 0);          // 8-bit plus-one
    EXPECT_EQ(enc.raw[101], 12);
    EXPECT_EQ(enc.raw[102], 14);
    EXPECT_EQ(enc.raw[457], 97);
    EXPECT_EQ(enc.raw[0], 0);                // setup copy byte - 1
}

TEST(Codec, DecodedValuesRemoveBiasAndPlusOne)
{
    ImageBytes img{};
    img.fill(101);
    img[101] = 13;   // timing 12 degrees
    img[201] = 1;    // vacuum raw 0 -> -10
    img[233] = 151;  // fuel +50 %
    auto maps = decodeMaps(img);
    EXPECT_EQ(maps.at(MapId::TimingRpm, 1), 12);
    EXPECT_EQ(maps.at(MapId::TimingVac, 1), -10);
    EXPECT_EQ(maps.at(MapId::FuelVac, 1), 50);
    EXPECT_EQ(maps.at(MapId::FuelCruise, 1), 0);
}

// Points beyond N are kept from the table and written back, never zeroed.
TEST(Codec, TimingPointsBeyondNAreCarried)
{
    ImageBytes img = randomImage(42);
    img = withSetup(img, SetupParam::RpmRange, 0); // 7000 RPM, 70 points
    auto axes = deriveAxes(img);
    EXPECT_EQ(axes.rpmRange, 7000);
    EXPECT_EQ(axes.timingPoints, 70);
    auto enc = encode(setupOf(img), decodeMaps(img));
    for (int o = 171; o <= 200; ++o)
        EXPECT_EQ(enc.plusOne[o], img[o]) << o;
}

TEST(Codec, AxesFromTheSetupArea)
{
    ImageBytes img{};
    img.fill(1);
    auto a = deriveAxes(withSetup(img, SetupParam::RpmRange, 100));
    EXPECT_EQ(a.rpmRange, 10000);
    EXPECT_EQ(a.timingPoints, 100);
    a = deriveAxes(withSetup(img, SetupParam::RpmRange, 150)); // more than the table holds
    EXPECT_EQ(a.rpmRange, 15000);
    EXPECT_EQ(a.timingPoints, 100);
    a = deriveAxes(withSetup(img, SetupParam::MapSensor, 20));
    EXPECT_EQ(a.mapSensor, 20);
    EXPECT_EQ(a.timingPoints, 70);
}

TEST(Codec, PointXFollowsEachRule)
{
    Axes a{7000, 70, 10};
    EXPECT_DOUBLE_EQ(pointX(mapDef(MapId::TimingRpm), 70, a), 70);
    EXPECT_DOUBLE_EQ(pointX(mapDef(MapId::TimingVac), 32, a), 1.0);
    EXPECT_DOUBLE_EQ(pointX(mapDef(MapId::FuelVac), 32, a), 0.5);
    EXPECT_DOUBLE_EQ(pointX(mapDef(MapId::FuelCruise), 32, a), 70);
    EXPECT_DOUBLE_EQ(pointX(mapDef(MapId::WaterTemp), 1, a), 5);
    EXPECT_DOUBLE_EQ(pointX(mapDef(MapId::AirTempFuel), 1, a), -20);
    EXPECT_DOUBLE_EQ(pointX(mapDef(MapId::AirTempFuel), 24, a), 100);
    EXPECT_DOUBLE_EQ(pointX(mapDef(MapId::Voltage), 1, a), 8);
    EXPECT_DOUBLE_EQ(pointX(mapDef(MapId::Voltage), 16, a), 16);
    // M = 0 puts the vacuum points at 0 instead of failing.
    Axes zero{7000, 70, 0};
    EXPECT_DOUBLE_EQ(pointX(mapDef(MapId::FuelVac), 10, zero), 0);
}
