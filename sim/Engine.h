// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A small engine for the simulated unit to report on. Everything is a plain
// function of the time since start (an idle, rev, cruise cycle) or of a fixed
// throttle, so two runs report the same values; the timing comes from the
// unit's own maps.

#include "live/LiveRecord.h"
#include "table/Layout.h"

#include <optional>

namespace kyr::sim {

/// Sensor counts the simulated throttle sensor gives fully closed and fully open.
constexpr int ThrottleClosedCounts = 20;
constexpr int ThrottleOpenCounts = 230;

/// Engine speed, throttle and manifold pressure at one moment.
struct EngineState {
    double rpm = 0;
    double throttle = 0; ///< percent
    double vacuum = 0;   ///< kPa
};

class Engine {
public:
    /// With a throttle given, the engine holds that opening instead of cycling.
    explicit Engine(std::optional<double> fixedThrottle = std::nullopt) : m_throttle(fixedThrottle) {}

    /// Fixes the throttle opening in percent, or lets the engine cycle again.
    void setThrottle(std::optional<double> percent) { m_throttle = percent; }
    std::optional<double> throttle() const { return m_throttle; }

    /// Speed, throttle and pressure at t seconds after start.
    EngineState state(double t) const;
    /// Every LiveRecord value at t seconds, the timing and fuel taken from the unit's raw table.
    live::LiveValues sample(double t, const table::ImageBytes& raw) const;

    /// Total advance: timing by RPM at rpm plus timing by vacuum at the pressure, both interpolated.
    static double timingAt(double rpm, double vacuumKpa, const table::ImageBytes& raw);

private:
    std::optional<double> m_throttle;
};

} // namespace kyr::sim
