// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated engine's fuel: the need and its text form, the fuel the
// unit's maps deliver, and the lambda sensor that compares the two.

#include "Engine.h"
#include "EngineNeed.h"
#include "Memory.h"

#include "SimTestSupport.h"
#include "table/Codec.h"
#include "table/Layout.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

using namespace kyr::sim;
namespace table = kyr::table;
using table::MapId;

namespace {

constexpr double kFastPollHz = 170;

table::ImageBytes demoTune()
{
    auto t = loadTune(KYR_SOURCE_DIR "/examples/demo.kyr");
    EXPECT_TRUE(t.ok()) << t.error().message;
    return t.ok() ? t.value() : table::ImageBytes{};
}

// Every fuel map of the tune at `percent`.
void fillFuel(table::ImageBytes& raw, MapId id, int percent)
{
    const auto& m = table::mapDef(id);
    for (int i = 1; i <= m.points; ++i)
        raw[table::pointOffset(m, i)] = static_cast<uint8_t>(m.bias + percent);
}

double pointX(const table::ImageBytes& raw, MapId id, int i)
{
    std::array<uint8_t, table::SetupSize> plusOne{};
    for (int o = 0; o < table::SetupSize; ++o)
        plusOne[o] = static_cast<uint8_t>(raw[o] + 1);
    return table::pointX(table::mapDef(id), i, table::deriveAxes(plusOne));
}

double shown(const table::ImageBytes& raw, MapId id, int i)
{
    const auto& m = table::mapDef(id);
    return raw[table::pointOffset(m, i)] - m.bias;
}

} // namespace

TEST(SimEngineNeed, ReadsBothCurvesAndInterpolates)
{
    const auto need = parseEngineNeed("# a need\r\n\nrpm 1000 5\r\n  rpm 3000 -5 # leaner up high\nkpa 40 -3\nkpa 80 1.5\n", "n");
    ASSERT_TRUE(need.ok()) << need.error().message;
    const NeedCurve& rpm = need.value().byRpm;
    EXPECT_DOUBLE_EQ(rpm.at(500), 5);
    EXPECT_DOUBLE_EQ(rpm.at(2000), 0);
    EXPECT_DOUBLE_EQ(rpm.at(9000), -5);
    EXPECT_DOUBLE_EQ(need.value().byKpa.at(60), -0.75);
    EXPECT_DOUBLE_EQ(need.value().factor(1000, 40), 1.05 * 0.97);

    const auto rpmOnly = parseEngineNeed("rpm 2000 10\n", "n");
    ASSERT_TRUE(rpmOnly.ok());
    EXPECT_DOUBLE_EQ(rpmOnly.value().factor(2000, 55), 1.1);
}

TEST(SimEngineNeed, RefusesAWholeFileOverOneBadLineAndNamesIt)
{
    const std::pair<const char*, const char*> bad[] = {
        {"rpm 1000 5\nrmp 2000 5\n", "line 2: \"rmp\" is not rpm or kpa"},
        {"rpm 1000\n", "line 1: expected \"rpm RPM PERCENT\""},
        {"kpa 40 x\n", "line 1: expected \"kpa KPA PERCENT\""},
        {"kpa 40 3%\n", "line 1: expected"},
        {"kpa 40 nan\n", "line 1: expected"},
        {"rpm 1000 5 extra\n", "line 1: unexpected \"extra\""},
        {"rpm 2000 5\nrpm 1000 5\n", "line 2: rpm points must rise"},
        {"rpm 2000 5\nrpm 2000 6\n", "line 2: rpm points must rise"},
        {"kpa 40 60\n", "line 1: percent must lie in -50 to 50"},
        {"kpa 900 1\n", "line 1: kPa must lie in 0 to 500"},
        {"rpm -1 1\n", "line 1: RPM must lie in 0 to 25000"},
        {"# nothing\n\n", "has no rpm or kpa points"},
    };
    for (const auto& [text, why] : bad) {
        const auto r = parseEngineNeed(text, "need.txt");
        ASSERT_FALSE(r.ok()) << text;
        EXPECT_NE(r.error().message.find("Engine need need.txt"), std::string::npos) << r.error().message;
        EXPECT_NE(r.error().message.find(why), std::string::npos) << text << " -> " << r.error().message;
    }
    EXPECT_FALSE(loadEngineNeed(KYR_BINARY_DIR "/no-such-need.txt").ok());
}

// The built-in need asks for up to about 15 % more and less than the demo
// tune's Cruise curve gives, so a fuel analysis has something to find.
TEST(SimEngineNeed, DefaultDiffersFromTheDemoCruiseCurveByUpToFifteenPercent)
{
    const auto raw = demoTune();
    const EngineNeed need = EngineNeed::defaults();
    double most = -100, least = 100;
    for (int i = 1; i <= 32; ++i) {
        const double diff = need.byRpm.at(pointX(raw, MapId::FuelCruise, i) * 100) - shown(raw, MapId::FuelCruise, i);
        most = std::max(most, diff);
        least = std::min(least, diff);
    }
    EXPECT_GT(most, 13);
    EXPECT_LE(most, 15);
    EXPECT_LT(least, -13);
    EXPECT_GE(least, -15);
}

TEST(SimEngineFuel, TheMapInUseFollowsTheThrottleVacuumSettings)
{
    auto raw = demoTune(); // low 30 kPa, high 90 kPa
    EXPECT_EQ(Engine::fuelRpmMapAt(29.9, raw), MapId::FuelLow);
    EXPECT_EQ(Engine::fuelRpmMapAt(30, raw), MapId::FuelCruise);
    EXPECT_EQ(Engine::fuelRpmMapAt(90, raw), MapId::FuelCruise);
    EXPECT_EQ(Engine::fuelRpmMapAt(90.1, raw), MapId::FuelHigh);

    fillFuel(raw, MapId::FuelVac, 10);
    fillFuel(raw, MapId::FuelCruise, 0);
    fillFuel(raw, MapId::FuelLow, -20);
    fillFuel(raw, MapId::FuelHigh, 20);
    EXPECT_DOUBLE_EQ(Engine::deliveredFactor(3000, 20, raw), 0.8 * 1.1);
    EXPECT_DOUBLE_EQ(Engine::deliveredFactor(3000, 60, raw), 1.1);
    EXPECT_DOUBLE_EQ(Engine::deliveredFactor(3000, 95, raw), 1.2 * 1.1);
}

TEST(SimEngineLambda, LeanReadsLowAndRichReadsHigh)
{
    auto raw = demoTune();
    for (MapId id : {MapId::FuelVac, MapId::FuelCruise, MapId::FuelLow, MapId::FuelHigh})
        fillFuel(raw, id, 0);
    auto engine = [](double percent) {
        return Engine(40.0, parseEngineNeed("rpm 0 " + std::to_string(percent) + "\n", "n").value());
    };
    for (double t = 1; t < 3; t += 0.25) {
        EXPECT_LT(engine(10).lambdaVolts(t, raw), 0.15) << "needs 10 % more: lean";
        EXPECT_GT(engine(-10).lambdaVolts(t, raw), 0.8) << "needs 10 % less: rich";
        EXPECT_NEAR(engine(0).lambdaVolts(t, raw), LambdaSwitchVolts, LambdaNoiseVolts);
    }
    EXPECT_LT(Engine::sensorVolts(-0.03), 0.15);
    EXPECT_GT(Engine::sensorVolts(0.03), 0.78);
    EXPECT_LT(Engine::sensorVolts(-0.005), LambdaSwitchVolts - 0.05);
    EXPECT_GT(Engine::sensorVolts(0.005), LambdaSwitchVolts + 0.05);
}

TEST(SimEngineLambda, NoiseIsSmallAndRepeatsUnderItsSeed)
{
    const auto raw = demoTune();
    const Engine a(std::nullopt, EngineNeed::defaults(), 7), b(std::nullopt, EngineNeed::defaults(), 7),
        c(std::nullopt, EngineNeed::defaults(), 8);
    int differs = 0;
    for (double t = 50; t < 52; t += 0.01) {
        const double clean = Engine::sensorVolts(a.mixtureError(t - LambdaDelaySeconds, raw));
        ASSERT_LE(std::abs(a.lambdaVolts(t, raw) - clean), LambdaNoiseVolts + 1e-12);
        ASSERT_EQ(a.lambdaVolts(t, raw), b.lambdaVolts(t, raw));
        differs += a.lambdaVolts(t, raw) != c.lambdaVolts(t, raw);
    }
    EXPECT_GT(differs, 150);
}

// The sensor reads the mixture of 0.15 s before: when the throttle lifts and
// a lean Low map takes over, the reading stays at the switch point that long.
TEST(SimEngineLambda, TheReadingLagsTheMixture)
{
    auto raw = demoTune();
    for (MapId id : {MapId::FuelVac, MapId::FuelCruise, MapId::FuelHigh})
        fillFuel(raw, id, 0);
    fillFuel(raw, MapId::FuelLow, -30);
    const Engine e(std::nullopt, parseEngineNeed("rpm 0 0\n", "n").value());
    double lean = -1;
    for (double t = 0; t < 130 && lean < 0; t += 0.001)
        if (e.mixtureError(t, raw) < -0.1)
            lean = t;
    ASSERT_GT(lean, 0) << "the cycle never lifts into the Low map";
    EXPECT_NEAR(e.lambdaVolts(lean, raw), LambdaSwitchVolts, LambdaNoiseVolts + 1e-9);
    EXPECT_NEAR(e.lambdaVolts(lean + LambdaDelaySeconds - 0.002, raw), LambdaSwitchVolts, LambdaNoiseVolts + 1e-9);
    EXPECT_LT(e.lambdaVolts(lean + LambdaDelaySeconds + 0.01, raw), 0.2);
}

// Logged at the fast poll, three minutes of the cycle put warm samples on
// every Cruise point the engine can reach (from idle up), within half a
// point of it and at a pressure where Cruise is the map in use.
TEST(SimEngineCycle, CoversEveryCruisePointFromIdleUpWithinThreeMinutes)
{
    const auto raw = demoTune();
    const Engine e;
    const double step = pointX(raw, MapId::FuelCruise, 1) * 100;
    std::array<int, 33> count{};
    double hottest = 0;
    for (int n = 0; n < 3 * 60 * kFastPollHz; ++n) {
        const double t = n / kFastPollHz;
        const auto v = e.sample(t, raw);
        const double rpm = *v.get(kyr::live::LiveField::Rpm), kpa = *v.get(kyr::live::LiveField::Vacuum);
        hottest = std::max(hottest, *v.get(kyr::live::LiveField::WaterTemp));
        if (t < 60 || Engine::fuelRpmMapAt(kpa, raw) != MapId::FuelCruise)
            continue;
        ASSERT_GT(*v.get(kyr::live::LiveField::WaterTemp), 80.0) << t;
        const int nearest = static_cast<int>(std::lround(rpm / step));
        if (nearest >= 1 && nearest <= 32)
            ++count[nearest];
    }
    EXPECT_GT(hottest, 80);
    for (int i = 1; i <= 32; ++i) {
        if (i * step < 900 - step / 2)
            EXPECT_EQ(count[i], 0) << "point " << i << " lies below idle";
        else
            EXPECT_GE(count[i], 100) << "point " << i << " at " << i * step << " RPM";
    }
}

// A tune that equals the need reads rich and lean about equally often
// against the demo's target of 0.45 V.
TEST(SimEngineCycle, ATuneEqualToTheNeedReadsBalanced)
{
    auto raw = demoTune();
    // One fuel-by-RPM curve for all three maps, and a need through the points.
    EngineNeed need;
    for (int i = 1; i <= 32; ++i) {
        raw[table::pointOffset(table::mapDef(MapId::FuelLow), i)] = raw[table::pointOffset(table::mapDef(MapId::FuelCruise), i)];
        raw[table::pointOffset(table::mapDef(MapId::FuelHigh), i)] = raw[table::pointOffset(table::mapDef(MapId::FuelCruise), i)];
        need.byRpm.points.emplace_back(pointX(raw, MapId::FuelCruise, i) * 100, shown(raw, MapId::FuelCruise, i) + 3);
    }
    for (int i = 1; i <= 64; ++i)
        need.byKpa.points.emplace_back(pointX(raw, MapId::FuelVac, i) * 100, shown(raw, MapId::FuelVac, i));
    ASSERT_EQ(raw[table::setupOffset(table::SetupParam::LambdaTarget)], 45);
    const double target = 0.45;

    auto richShare = [&](const Engine& e) {
        int rich = 0, all = 0;
        for (int n = 60 * kFastPollHz; n < 4 * 60 * kFastPollHz; ++n, ++all)
            rich += e.lambdaVolts(n / kFastPollHz, raw) > target;
        return static_cast<double>(rich) / all;
    };
    EXPECT_LT(richShare(Engine(std::nullopt, need)), 0.02) << "3 % short of the need reads lean";
    for (auto& p : need.byRpm.points)
        p.second -= 3;
    const double share = richShare(Engine(std::nullopt, need));
    EXPECT_GT(share, 0.45) << share;
    EXPECT_LT(share, 0.55);
}
