#pragma once
// What the live displays make of one LiveRecord: where the engine's operating
// point sits on each map chart, where realtime tracking puts the key cursors,
// and the read-outs of the "Engine Monitor" page. Pure functions of the
// decoded values, so the window only draws what they say.

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

/// The read-outs of the "Engine Monitor" page.
enum class Gauge { RpmHundreds, KpaTens, AirFuel, Volts, Degrees, Celsius, InjectorPercent };
constexpr int GaugeCount = 7;

/// One read-out: its caption, range and decimals.
struct GaugeDef {
    Gauge gauge;
    std::string_view caption; ///< "RPM x 100"
    double min, max;          ///< the scale of its bar
    int decimals;             ///< places shown
};

/// The read-outs in page order.
std::span<const GaugeDef> gaugeTable();
/// The value a read-out shows, empty when the unit gave no reading.
std::optional<double> gaugeValue(Gauge g, const LiveValues& v);

} // namespace kyr::live
