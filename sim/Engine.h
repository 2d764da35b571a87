// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A small engine for the simulated unit to report on. Everything is a plain
// function of the time since start (a drive cycle of RPM sweeps at several
// throttle openings) or of a fixed throttle, and of a seed, so two runs
// report the same values. The timing comes from the unit's own maps; the
// lambda sensor reads how the fuel the maps deliver compares with the fuel
// the engine needs.

#include "EngineNeed.h"
#include "live/LiveRecord.h"
#include "table/Layout.h"

#include <cstdint>
#include <optional>

namespace kyr::sim {

/// Sensor counts the simulated throttle sensor gives fully closed and fully open.
constexpr int ThrottleClosedCounts = 20;
constexpr int ThrottleOpenCounts = 230;

/// Seconds from the mixture in the cylinder to the lambda reading of it.
constexpr double LambdaDelaySeconds = 0.15;
/// Lambda volts at the right mixture, and the most the noise adds or takes.
constexpr double LambdaSwitchVolts = 0.45;
constexpr double LambdaNoiseVolts = 0.03;

/// Engine speed, throttle and manifold pressure at one moment.
struct EngineState {
    double rpm = 0;
    double throttle = 0; ///< percent
    double vacuum = 0;   ///< kPa
};

class Engine {
public:
    /// With a throttle given, the engine holds that opening instead of cycling.
    explicit Engine(std::optional<double> fixedThrottle = std::nullopt, EngineNeed need = EngineNeed::defaults(),
                    uint64_t seed = 1)
        : m_throttle(fixedThrottle), m_need(std::move(need)), m_seed(seed)
    {
    }

    /// Fixes the throttle opening in percent, or lets the engine cycle again.
    void setThrottle(std::optional<double> percent) { m_throttle = percent; }
    std::optional<double> throttle() const { return m_throttle; }
    /// A warm engine reads its running temperature from the start.
    void setWarm(bool warm) { m_warm = warm; }
    const EngineNeed& need() const { return m_need; }

    /// Speed, throttle and pressure at t seconds after start. The cycle's
    /// sweeps reach rpmRange − 50 RPM (rpmRange: the tune's RPM range).
    EngineState state(double t, double rpmRange = 7000) const;
    /// Every LiveRecord value at t seconds, the timing and fuel taken from the unit's raw table.
    live::LiveValues sample(double t, const table::ImageBytes& raw) const;

    /// Delivered fuel over needed fuel, minus one, at t seconds: above 0 is rich.
    double mixtureError(double t, const table::ImageBytes& raw) const;
    /// The lambda sensor at t seconds: the mixture of t − LambdaDelaySeconds, plus noise.
    double lambdaVolts(double t, const table::ImageBytes& raw) const;

    /// Total advance: timing by RPM at rpm plus timing by vacuum at the pressure, both interpolated.
    static double timingAt(double rpm, double vacuumKpa, const table::ImageBytes& raw);
    /// The fuel-by-RPM map in use at this pressure: Low below the low throttle
    /// vacuum setting, High above the high throttle vacuum setting, else Cruise.
    static table::MapId fuelRpmMapAt(double vacuumKpa, const table::ImageBytes& raw);
    /// The fuel the maps deliver as a factor of an all-zero tune:
    /// (1 + fuel by RPM/100)(1 + fuel by vacuum/100), both interpolated.
    static double deliveredFactor(double rpm, double vacuumKpa, const table::ImageBytes& raw);
    /// The narrowband sensor's curve: about 0.1 V lean, 0.85 V rich, 0.45 V at error 0.
    static double sensorVolts(double mixtureError);

private:
    std::optional<double> m_throttle;
    EngineNeed m_need;
    uint64_t m_seed;
    bool m_warm = false;
};

} // namespace kyr::sim
