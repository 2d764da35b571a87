// SPDX-License-Identifier: GPL-3.0-or-later
// Fuel suggestions from lambda readings: the sign, the delay, the filters,
// the weights, the deadband, authority and locks, and another tool's log.

#include "live/FuelAnalysis.h"

#include <gtest/gtest.h>

namespace kyr::live {
namespace {

constexpr double Hz = 100;

// Warm, steady throttle, injectors on: samples every 10 ms from t0 to t1,
// the reading wavering by a few millivolts as a live sensor's does.
std::vector<FuelSample> steady(double t0, double t1, double rpm, double volts, double kpa = 60)
{
    std::vector<FuelSample> out;
    int n = 0;
    for (double t = t0; t < t1 - 1e-9; t += 1 / Hz)
        out.push_back({t, rpm, kpa, volts > 0 ? volts + 0.002 * (n++ % 5) : 0.0, 85, 20, 30});
    return out;
}

std::vector<FuelSample> operator+(std::vector<FuelSample> a, const std::vector<FuelSample>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Cruise points under the default axes (R 7000): point i at 70 i / 32 hundreds.
double cruiseRpm(int i) { return 7000.0 * i / 32; }

// A varying lean/rich reading: "lean" of every ten readings are lean.
std::vector<FuelSample> mixed(double t0, double t1, double rpm, int lean)
{
    auto out = steady(t0, t1, rpm, 0);
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i].volts = static_cast<int>(i % 10) < lean ? 0.12 + 0.001 * (i % 7) : 0.8 + 0.001 * (i % 7);
    return out;
}

} // namespace

TEST(FuelAnalysis, LeanWantsMoreFuelAndRichLess)
{
    FuelAnalysis a(FuelCurve::Cruise, {});
    // At the ends of the sensor's swing: far off, so each moves by the authority.
    a.addSamples(steady(0, 10, cruiseRpm(10), 0.1) + steady(10, 20, cruiseRpm(20), 0.86));
    const FuelReport r = a.report();
    EXPECT_EQ(r.points[9].change, 5);
    EXPECT_EQ(r.points[19].change, -5);
    EXPECT_FALSE(r.points[4].change.has_value()) << "never seen";
    std::vector<double> cruise(32, 0.0);
    cruise[9] = 10;
    const auto tuned = a.applied(cruise);
    EXPECT_EQ(tuned[9], 16); // 1.10 * 1.05 = 1.155
    EXPECT_EQ(tuned[19], -5);
}

// A narrowband sensor's reading of a mixture this many % lean (negative: rich).
double sensor(double leanPercent)
{
    return 0.45 - (leanPercent > 0 ? 0.35 : 0.40) * std::tanh(leanPercent / 2);
}

// The engine swept slowly across Cruise points 8 to 13, the mixture at each
// moment interpolated between the points' errors (in % lean).
std::vector<FuelSample> sweep(const std::vector<double>& leanByPoint)
{
    std::vector<FuelSample> out;
    for (int n = 0; n < 3000; ++n) {
        const double x = 8 + 5.0 * n / 3000; // in points
        const auto i = static_cast<std::size_t>(x) - 8;
        const double f = x - std::floor(x);
        const double lean = leanByPoint[i] * (1 - f) + leanByPoint[std::min(i + 1, leanByPoint.size() - 1)] * f;
        out.push_back(steady(n / Hz, n / Hz + 0.001, cruiseRpm(8) * (x / 8), sensor(lean)).front());
    }
    return out;
}

// A point just off moves by about what it is off, not by the authority, and
// a right point beside one far off is left as it is: never past the need.
TEST(FuelAnalysis, APointMovesByWhatItIsOffNotByItsNeighbours)
{
    FuelAnalysis a(FuelCurve::Cruise, {});
    //          point 8   9    10   11    12   13
    a.addSamples(sweep({0, 1.6, 0, -9, -9, 0}));
    const FuelReport r = a.report();
    EXPECT_EQ(r.points[7].change, 0);
    EXPECT_EQ(r.points[8].change, 1) << "1.6 % lean: a little more fuel";
    EXPECT_EQ(r.points[9].change, 0) << "right, though its samples towards point 11 read rich";
    EXPECT_EQ(r.points[10].change, -5) << "far off: the authority";
    EXPECT_EQ(r.points[11].change, -5);
}

// A sample between two points counts for both, the nearer more.
TEST(FuelAnalysis, ASampleCountsForItsTwoNeighboursByDistance)
{
    FuelAnalysis a(FuelCurve::Cruise, {});
    a.addSamples(steady(0, 2, (cruiseRpm(10) * 3 + cruiseRpm(11)) / 4, 0.1));
    const FuelReport r = a.report();
    EXPECT_NEAR(r.points[9].weight / r.points[10].weight, 3.0, 1e-6);
    EXPECT_EQ(r.points[9].hits, r.points[10].hits);
    EXPECT_NEAR(r.points[9].meanVolts, 0.104, 0.001);
    EXPECT_DOUBLE_EQ(r.points[9].leanShare, 1.0);
}

// The reading a second later belongs to a sample: the operating point moves
// at 5 s, the mixture turns rich at 6 s, and both points read one way only.
TEST(FuelAnalysis, TheDelayPairsEachSampleWithItsLaterReading)
{
    auto samples = steady(0, 5, cruiseRpm(8), 0.1) + steady(5, 11, cruiseRpm(24), 0.1);
    for (auto& s : samples)
        if (s.seconds >= 6 - 1e-9)
            s.volts = 0.85;
    FuelSettings late;
    late.delaySeconds = 1;
    FuelAnalysis a(FuelCurve::Cruise, {}, late);
    a.addSamples(samples);
    const FuelReport r = a.report();
    EXPECT_DOUBLE_EQ(r.points[7].leanShare, 1.0);
    EXPECT_DOUBLE_EQ(r.points[23].richShare, 1.0);

    FuelAnalysis none(FuelCurve::Cruise, {}, FuelSettings{.delaySeconds = 0});
    none.addSamples(samples);
    EXPECT_GT(none.report().points[23].leanShare, 0.1) << "without the delay the move's first second reads lean";
}

TEST(FuelAnalysis, EachFilterCountsWhatItRemoves)
{
    FuelAnalysis a(FuelCurve::Cruise, {});
    std::vector<FuelSample> s = steady(0, 1, 3000, 0.1);                   // used
    auto cold = steady(1, 2, 3000, 0.1);
    for (auto& c : cold)
        c.waterC = 40;
    auto step = steady(2, 3, 3000, 0.1);
    step.front().throttle = 80;                                            // a step, and the 0.5 s after it
    auto overrun = steady(3, 4, 3000, 0.1);
    for (auto& o : overrun)
        o.duty = 0;
    auto off = steady(4, 5, 7500, 0.1);                                    // above R
    auto dead = steady(5, 6, 3000, 0.0);                                   // 0 V: no reading
    auto stuck = steady(6, 9.5, 3000, 0.33);                               // unchanged for over 2 s
    for (auto& f : stuck)
        f.volts = 0.33;
    a.addSamples(s + cold + step + overrun + off + dead + stuck + steady(9.5, 10, 3000, 0.2));
    const FilterCounts c = a.report().counts;
    EXPECT_EQ(c.cold, 100u);
    EXPECT_NEAR(static_cast<double>(c.transient), 52, 2); // the step's 0.5 s both ways of its own change
    EXPECT_EQ(c.overrun, 100u);
    // A segment's last 0.2 s read the lambda of the one after it: the 0 V segment's.
    EXPECT_NEAR(static_cast<double>(c.offAxis), 80, 1);
    EXPECT_NEAR(static_cast<double>(c.noReading), 100 + 150, 2);
    EXPECT_GT(c.used, 100u);
}

TEST(FuelAnalysis, DeadbandMinimumWeightAuthorityAndLocks)
{
    FuelSettings s;
    s.authority = 3;
    s.minWeight = 50;
    FuelAnalysis a(FuelCurve::Cruise, {}, s);
    a.addSamples(mixed(0, 10, cruiseRpm(6), 5) + mixed(10, 20, cruiseRpm(12), 7) + mixed(20, 20.3, cruiseRpm(18), 10)
                 + mixed(21, 31, cruiseRpm(26), 10));
    a.setLocked(26, true);
    const FuelReport r = a.report();
    EXPECT_EQ(r.points[5].change, 0) << "as often rich as lean";
    EXPECT_EQ(r.points[11].change, 1) << "a mean 0.36 of the swing below the target, of 3 %";
    EXPECT_FALSE(r.points[17].change.has_value()) << "too few samples";
    EXPECT_TRUE(r.points[25].locked);
    EXPECT_FALSE(r.points[25].change.has_value());
    std::vector<double> cruise(32, 4.0);
    EXPECT_EQ(a.applied(cruise)[25], 4.0);
}

// Another tool's names for the same channels; a log without lambda is refused.
TEST(FuelAnalysis, AnotherToolsLogAndAMissingChannel)
{
    LogData log;
    for (int i = 0; i < 300; ++i)
        log.times.push_back(i / Hz);
    const auto column = [&](const char* name, float v) {
        log.channels.push_back({name, "", 0, std::vector<float>(300, v)});
    };
    column("RPM", 3000);
    column("MAP", 55);
    column("CLT", 88);
    column("TPS", 18);
    FuelAnalysis a(FuelCurve::Vacuum, table::Axes{.mapSensor = 10}, {}, 20);
    const auto refused = a.addLog(log);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().message, "The log has no Lambda channel");
    column("O2", 0.8f);
    for (std::size_t i = 0; i < 300; ++i)
        log.channels.back().values[i] += 0.003f * static_cast<float>(i % 4);
    ASSERT_TRUE(a.addLog(log));
    const FuelReport r = a.report();
    EXPECT_GT(r.counts.used, 250u);
    const auto rich = std::find_if(r.points.begin(), r.points.end(), [](const auto& p) { return p.richShare > 0; });
    ASSERT_NE(rich, r.points.end());
    EXPECT_NEAR(rich->x, 0.55, 0.02);
    ASSERT_TRUE(r.warning.has_value()) << "Control Percentage 20 hides the map's error";
}

} // namespace kyr::live

namespace kyr::live {

// With the unit's pressure limits a fuel-by-RPM curve takes only the samples
// at the pressures it is used at.
TEST(FuelAnalysis, APressureBandKeepsEachCurveToItsOwnSamples)
{
    const auto samples = mixed(0, 5, 3000, 10) + mixed(5, 10, 3000, 0);
    for (const auto& [curve, used] : {std::pair{FuelCurve::Low, 0}, {FuelCurve::Cruise, 1}, {FuelCurve::High, 0}}) {
        FuelAnalysis a(curve, {});
        a.setPressureBand(30, 90);
        a.addSamples(samples); // all at 60 kPa: Cruise
        EXPECT_EQ(a.report().counts.used > 0, used == 1);
        EXPECT_EQ(a.report().counts.otherCurve > 0, used == 0);
    }
}

} // namespace kyr::live
