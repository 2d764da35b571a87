// SPDX-License-Identifier: GPL-3.0-or-later
#include "Engine.h"

#include "table/Codec.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace kyr::sim {

namespace {

using live::LiveField;
using table::MapId;

constexpr double kIdleRpm = 900;
constexpr double kStartC = 20, kRunningC = 88; // water at a cold start and once warm
constexpr double kRpmPerThrottlePercent = 51; // 100 % holds 6000 RPM

// A point of the drive cycle: the RPM as a share of the way from idle to the
// top of the sweep, and the throttle in percent.
struct Keyframe {
    double t, share, throttle;
};

// Five sweeps from idle to the top, each opening the throttle a little as the
// RPM rises (so each covers a band of pressure), then lifting off into an
// overrun back to idle; then a full-throttle pull. About two minutes.
std::vector<Keyframe> buildCycle()
{
    std::vector<Keyframe> k{{0, 0, 0}};
    auto sweep = [&k](double from, double to, double seconds) {
        double t = k.back().t;
        k.push_back({t += 1, 0, from});         // tip in
        k.push_back({t += seconds, 1, to});     // pull through the range
        k.push_back({t += 1, 1, 0});            // lift off
        k.push_back({t += 4, 0, 0});            // overrun down to idle
        k.push_back({t += 2, 0, 0});            // idle
    };
    for (double base : {5.0, 20.0, 35.0, 50.0, 65.0})
        sweep(base, base + 12, 14);
    sweep(95, 95, 6);
    return k;
}

const std::vector<Keyframe>& cycle()
{
    static const std::vector<Keyframe> k = buildCycle();
    return k;
}

// Manifold pressure: the throttle opens it from 30 kPa at idle towards
// 100 kPa; a closed throttle at high RPM (overrun) pulls it below idle's.
double vacuumFor(double throttle, double rpm)
{
    const double overrun = std::clamp((rpm - kIdleRpm) / 5100.0, 0.0, 1.0);
    return 30.0 + 0.7 * throttle - 8.0 * (1.0 - throttle / 100.0) * overrun;
}

// The shown value of a map at x, interpolated between its first `used` points.
double mapAt(MapId id, double x, int used, const table::Axes& axes, const table::ImageBytes& raw)
{
    const auto& m = table::mapDef(id);
    auto y = [&](int i) { return static_cast<double>(raw[table::pointOffset(m, i)]) - m.bias; };
    if (x <= table::pointX(m, 1, axes))
        return y(1);
    for (int i = 2; i <= used; ++i) {
        const double x0 = table::pointX(m, i - 1, axes), x1 = table::pointX(m, i, axes);
        if (x <= x1)
            return x1 > x0 ? y(i - 1) + (y(i) - y(i - 1)) * (x - x0) / (x1 - x0) : y(i);
    }
    return y(used);
}

table::Axes axesOf(const table::ImageBytes& raw)
{
    std::array<uint8_t, table::SetupSize> plusOne{};
    for (int o = 0; o < table::SetupSize; ++o)
        plusOne[o] = static_cast<uint8_t>(raw[o] + 1);
    return table::deriveAxes(plusOne);
}

// A number in [-1, 1] that depends only on the seed and the millisecond.
double noiseAt(uint64_t seed, double t)
{
    uint64_t z = seed * 0x9E3779B97F4A7C15ULL + static_cast<uint64_t>(std::llround(std::max(t, 0.0) * 1000.0));
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    z ^= z >> 31;
    return static_cast<double>(z >> 11) / static_cast<double>(1ULL << 53) * 2.0 - 1.0;
}

} // namespace

EngineState Engine::state(double t, double rpmRange) const
{
    EngineState s;
    if (m_throttle) {
        s.throttle = std::clamp(*m_throttle, 0.0, 100.0);
        s.rpm = kIdleRpm + kRpmPerThrottlePercent * s.throttle;
    } else {
        const auto& k = cycle();
        const double c = std::fmod(std::max(t, 0.0), k.back().t);
        const auto next = std::find_if(k.begin(), k.end(), [c](const Keyframe& f) { return f.t > c; });
        const Keyframe& b = next == k.end() ? k.back() : *next;
        const Keyframe& a = next == k.begin() ? b : *(next - 1);
        const double f = b.t > a.t ? (c - a.t) / (b.t - a.t) : 0.0;
        const double top = std::max(rpmRange - 50.0, kIdleRpm + 500.0);
        s.rpm = kIdleRpm + (top - kIdleRpm) * (a.share + (b.share - a.share) * f);
        s.throttle = a.throttle + (b.throttle - a.throttle) * f;
    }
    // The unit reads its pressure sensor in whole kPa and works, and reports,
    // on that reading: the fuel maps it chooses agree with what a log shows.
    s.vacuum = std::nearbyint(vacuumFor(s.throttle, s.rpm));
    return s;
}

double Engine::timingAt(double rpm, double vacuumKpa, const table::ImageBytes& raw)
{
    const auto axes = axesOf(raw);
    const double byRpm = mapAt(MapId::TimingRpm, rpm / 100.0, axes.timingPoints, axes, raw);
    const double byVac = mapAt(MapId::TimingVac, vacuumKpa / 100.0, table::mapDef(MapId::TimingVac).points, axes, raw);
    return byRpm + byVac;
}

MapId Engine::fuelRpmMapAt(double vacuumKpa, const table::ImageBytes& raw)
{
    // Both settings are hundredths of a bar, that is kPa.
    if (vacuumKpa < raw[table::setupOffset(table::SetupParam::LowThrottleVac)])
        return MapId::FuelLow;
    if (vacuumKpa > raw[table::setupOffset(table::SetupParam::HighThrottleVac)])
        return MapId::FuelHigh;
    return MapId::FuelCruise;
}

double Engine::deliveredFactor(double rpm, double vacuumKpa, const table::ImageBytes& raw)
{
    const auto axes = axesOf(raw);
    const MapId rpmMap = fuelRpmMapAt(vacuumKpa, raw);
    const double byRpm = mapAt(rpmMap, rpm / 100.0, table::mapDef(rpmMap).points, axes, raw);
    const double byVac = mapAt(MapId::FuelVac, vacuumKpa / 100.0, table::mapDef(MapId::FuelVac).points, axes, raw);
    return (1.0 + byRpm / 100.0) * (1.0 + byVac / 100.0);
}

double Engine::sensorVolts(double mixtureError)
{
    // Steep within a few percent of the right mixture, flat beyond.
    const double swing = std::tanh(mixtureError / 0.02);
    return LambdaSwitchVolts + (swing > 0 ? 0.40 : 0.35) * swing;
}

double Engine::mixtureError(double t, const table::ImageBytes& raw) const
{
    const EngineState s = state(t, axesOf(raw).rpmRange);
    return deliveredFactor(s.rpm, s.vacuum, raw) / m_need.factor(s.rpm, s.vacuum) - 1.0;
}

double Engine::lambdaVolts(double t, const table::ImageBytes& raw) const
{
    const double seen = std::max(t - LambdaDelaySeconds, 0.0);
    const double v = sensorVolts(mixtureError(seen, raw)) + LambdaNoiseVolts * noiseAt(m_seed, t);
    return std::clamp(v, 0.0, 1.1);
}

live::LiveValues Engine::sample(double t, const table::ImageBytes& raw) const
{
    const EngineState s = state(t, axesOf(raw).rpmRange);
    const double baseDuty = s.rpm / 6000.0 * s.vacuum / 100.0 * 85.0;
    const double duty = baseDuty * deliveredFactor(s.rpm, s.vacuum, raw);

    live::LiveValues v;
    v.set(LiveField::Rpm, s.rpm);
    v.set(LiveField::Timing, timingAt(s.rpm, s.vacuum, raw));
    v.set(LiveField::Vacuum, s.vacuum);
    v.set(LiveField::Lambda, lambdaVolts(t, raw));
    v.set(LiveField::Battery, 13.8 + 0.2 * std::sin(t / 7.0));
    v.set(LiveField::InjectorDuty, std::clamp(duty, 0.0, 100.0));
    v.set(LiveField::WaterTemp, m_warm ? kRunningC : kStartC + (kRunningC - kStartC) * (1.0 - std::exp(-t / 20.0)));
    v.set(LiveField::AirTemp, 25.0);
    v.set(LiveField::Throttle,
          ThrottleClosedCounts + (ThrottleOpenCounts - ThrottleClosedCounts) * s.throttle / 100.0);
    v.set(LiveField::Pot, 50.0);
    return v;
}

} // namespace kyr::sim
