// SPDX-License-Identifier: GPL-3.0-or-later
#include "Engine.h"

#include "table/Codec.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace kyr::sim {

namespace {

using live::LiveField;
using table::MapId;

// One pass of the cycle: idle, rev up, back to cruise, cruise, back to idle.
struct Keyframe {
    double t, rpm, throttle;
};
constexpr Keyframe kCycle[] = {
    {0, 900, 0}, {5, 900, 0}, {8, 6000, 80}, {10, 3000, 25}, {17, 3000, 25}, {20, 900, 0},
};
constexpr double kCycleSeconds = 20.0;

constexpr double kIdleRpm = 900;
constexpr double kRpmPerThrottlePercent = 51; // 100 % holds 6000 RPM

double vacuumFor(double throttle) { return 30.0 + 0.7 * throttle; }

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

} // namespace

EngineState Engine::state(double t) const
{
    EngineState s;
    if (m_throttle) {
        s.throttle = std::clamp(*m_throttle, 0.0, 100.0);
        s.rpm = kIdleRpm + kRpmPerThrottlePercent * s.throttle;
    } else {
        const double c = std::fmod(std::max(t, 0.0), kCycleSeconds);
        const auto* next = std::find_if(std::begin(kCycle), std::end(kCycle), [c](const Keyframe& k) { return k.t > c; });
        const Keyframe& b = next == std::end(kCycle) ? kCycle[std::size(kCycle) - 1] : *next;
        const Keyframe& a = next == std::begin(kCycle) ? b : *(next - 1);
        const double f = b.t > a.t ? (c - a.t) / (b.t - a.t) : 0.0;
        s.rpm = a.rpm + (b.rpm - a.rpm) * f;
        s.throttle = a.throttle + (b.throttle - a.throttle) * f;
    }
    s.vacuum = vacuumFor(s.throttle);
    return s;
}

double Engine::timingAt(double rpm, double vacuumKpa, const table::ImageBytes& raw)
{
    const auto axes = axesOf(raw);
    const double byRpm = mapAt(MapId::TimingRpm, rpm / 100.0, axes.timingPoints, axes, raw);
    const double byVac = mapAt(MapId::TimingVac, vacuumKpa / 100.0, table::mapDef(MapId::TimingVac).points, axes, raw);
    return byRpm + byVac;
}

live::LiveValues Engine::sample(double t, const table::ImageBytes& raw) const
{
    const EngineState s = state(t);
    const auto axes = axesOf(raw);
    const double fuelVac = mapAt(MapId::FuelVac, s.vacuum / 100.0, table::mapDef(MapId::FuelVac).points, axes, raw);
    const double fuelRpm = mapAt(MapId::FuelCruise, s.rpm / 100.0, table::mapDef(MapId::FuelCruise).points, axes, raw);
    const double baseDuty = s.rpm / 6000.0 * s.vacuum / 100.0 * 85.0;
    const double duty = baseDuty * (1.0 + fuelVac / 100.0) * (1.0 + fuelRpm / 100.0);

    live::LiveValues v;
    v.set(LiveField::Rpm, s.rpm);
    v.set(LiveField::Timing, timingAt(s.rpm, s.vacuum, raw));
    v.set(LiveField::Vacuum, s.vacuum);
    v.set(LiveField::Lambda, 0.45 + 0.4 * std::sin(2.0 * std::numbers::pi * t / 1.3));
    v.set(LiveField::Battery, 13.8 + 0.2 * std::sin(t / 7.0));
    v.set(LiveField::InjectorDuty, std::clamp(duty, 0.0, 100.0));
    v.set(LiveField::WaterTemp, 20.0 + 65.0 * (1.0 - std::exp(-t / 60.0)));
    v.set(LiveField::AirTemp, 25.0);
    v.set(LiveField::Throttle,
          ThrottleClosedCounts + (ThrottleOpenCounts - ThrottleClosedCounts) * s.throttle / 100.0);
    v.set(LiveField::Pot, 50.0);
    return v;
}

} // namespace kyr::sim
