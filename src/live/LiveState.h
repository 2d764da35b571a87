// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the live displays make of one LiveRecord: where the engine's operating
// point sits on each map chart, where realtime tracking puts the key cursors,
// and the gauges of the "Engine Monitor" page. Pure functions of the
// decoded values, so the window only draws what they say.

#include "live/DataLog.h"
#include "live/GaugeLimits.h"
#include "live/LiveRecord.h"
#include "table/Layout.h"

#include <optional>
#include <span>
#include <string_view>

namespace kyr::live {

/// The bottom-axis value of the engine's operating point on a chart: RPM / 100
/// on the RPM charts, the pressure in bar on the vacuum charts, the water and
/// air temperature, the battery voltage. Empty when the unit gave no reading.
std::optional<double> liveChartX(table::ChartId chart, const LiveValues& v);

/// The cursor x realtime tracking gives a chart: the timing and fuel-by-RPM
/// cursors follow the live RPM, the vacuum cursor (shared by both vacuum
/// charts) the live pressure. Empty for the charts tracking leaves alone and
/// when the reading is missing.
std::optional<double> trackingCursorX(table::ChartId chart, const LiveValues& v);

/// The charts whose cursor realtime tracking moves (the vacuum charts share one
/// cursor, so only VacuumChart is listed).
std::span<const table::ChartId> trackedCharts();

/// Air/fuel ratio shown for a narrow-band lambda sensor voltage: a straight
/// line through 16.0 at 0.1 V (lean) and 13.0 at 0.9 V (rich), so that the
/// switching point 0.45 V reads about 14.7. Kept within 10..20.
double airFuelRatio(double lambdaVolts);

/// The gauges of the "Engine Monitor" page, one for every live channel (the
/// lambda sensor twice: in volts and as an air/fuel ratio).
enum class Gauge {
    RpmHundreds, Degrees, KpaTens, LambdaVolts, AirFuel, Volts,
    InjectorPercent, InjectorMs, Celsius, AirCelsius, ThrottlePercent, PotPercent,
};
constexpr int GaugeCount = 12;

/// One gauge: its names, scale, places and default limits.
struct GaugeDef {
    Gauge gauge;
    std::string_view key;  ///< stable name in the settings ("battery")
    std::string_view name; ///< the channel ("Battery")
    std::string_view unit; ///< the read-out's own caption ("RPM x 100", "V")
    double min, max;       ///< the scale
    int decimals;          ///< places shown
    double majorStep;      ///< numbered tick every majorStep
    int minorTicks;        ///< ticks between two numbered ones
    GaugeLimits limits;    ///< the default warning and danger limits

    GaugeScale scale() const { return {name, min, max, decimals}; }
};

/// The gauges in page order.
std::span<const GaugeDef> gaugeTable();
const GaugeDef& gaugeDef(Gauge g);
/// The value a gauge shows, empty when the unit gave no reading (or, for the
/// injector time and throttle, the value cannot be derived).
std::optional<double> gaugeValue(Gauge g, const LiveValues& v, ThrottleCal cal = {});

} // namespace kyr::live
