// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The seven map charts as data: pages, titles, axes, curves, key steps and
// the rules of their read-outs. How the app draws them (object names,
// colours, series) is the app's own. The pages of the
// app build their charts from these rows; the editor takes its steps from them.

#include "table/Codec.h"
#include "table/Layout.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kyr::maps {

using table::Axes;
using table::ChartId;
using table::MapGroup;
using table::MapId;

/// One curve of a chart: the map it draws and how.
struct CurveDef {
    MapId map;
    std::string_view caption; ///< legend caption ("Cruise"); empty on single-curve charts
};

/// How a chart's bottom axis follows R and M.
enum class BottomRule {
    Fixed,         ///< bottomMin..bottomMax as given
    TimingRpm,     ///< 0..round(R/100)
    FuelRpm,       ///< 0..R/100
    Vacuum,        ///< 0..M/10 + 0.2, increment 0.1 while M/10 < 2
    VacuumRounded, ///< 0..M/10 + 0.2 rounded to two decimals
};

/// What a Left/Right key step divides: the bottom axis span or the vacuum range M/10.
enum class StepSpan { BottomAxis, VacuumRange };

/// Where the upper limit of the position read-out comes from.
enum class Limit { Fixed, TimingPoints, VacuumRange, RpmHundreds };

/// What the position read-out shows on a mouse move.
enum class PositionText { Hundreds, Cursor };

/// How the key-down read-out shows the point's x.
enum class KeyPosition { Hundreds, OneDecimal, Plain };

/// When a chart's two read-out fields (value, position) are written.
struct ReadoutRule {
    int cursorDecimals;             ///< mouse x rounded to this many places is the cursor x
    double valueMin, valueMax;      ///< round(y) is shown only within these
    int positionTestDecimals;       ///< mouse x rounded to this many places is tested
    double positionMin;
    Limit positionLimit;
    double positionMax;             ///< upper limit when positionLimit is Fixed
    PositionText positionText;
    KeyPosition keyPosition;
};

/// One chart.
struct ChartDef {
    ChartId id;
    std::string_view page;        ///< "Timing Map", "Fuel Maps" or "Correction Maps"
    std::string_view title;       ///< "Timing Map"
    std::string_view leftTitle;   ///< "Degrees"
    std::string_view bottomTitle; ///< "RPM x 100"
    double leftMin, leftMax;
    BottomRule bottom;
    double bottomMin, bottomMax;  ///< used when bottom is Fixed
    StepSpan stepSpan;
    int stepDivisor;              ///< 0 stands for the timing point count N
    double keyBarHeight;          ///< height of the key-cursor bar
    std::span<const CurveDef> curves;
    MapGroup group;               ///< the unit must have this group for the chart to be enabled
    ReadoutRule readout;
};

/// A bottom axis as the chart sets it.
struct AxisRange {
    double min;
    double max;
    std::optional<double> increment; ///< nullopt: the chart picks its own
};

/// The seven charts in ChartId order.
std::span<const ChartDef> chartTable();
/// The row of a chart.
const ChartDef& chartDef(ChartId id);
/// The curve that draws a map (every map has exactly one).
const CurveDef& curveOf(MapId map);

// ---------------------------------------------------------------- units
// Every unit the charts, their read-outs and the tune comparison show comes
// from here.

/// The unit of a map's values: "°" for the timing maps, "%" for the fuel and correction maps.
std::string_view valueUnit(MapId map);
/// The unit of a point's x as a tuner reads it: "RPM", "bar", "°C" or "V"
/// (the RPM charts count in hundreds on their axis).
std::string_view xUnit(table::XRule rule);
/// The unit of a chart's position read-out: "RPM", "bar", "°C" or "V".
std::string_view positionUnit(ChartId id);
/// The value axis title of a chart showing a map: the chart's own title
/// where that names the unit ("Degrees", "%"), else what the values are
/// with their unit ("Correction (%)"; on the air temperature chart the
/// curve being edited: "Fuel (%)", "Timing (°)").
std::string valueAxisTitle(ChartId id, MapId shown);
/// The bottom axis title: the chart's own ("RPM x 100", "Bar"), or the
/// quantity with its unit ("Water Temp (°C)", "Battery (V)").
std::string bottomAxisTitle(ChartId id);

/// The bottom axis of a chart under the axes fixed when the table was shown.
AxisRange bottomAxis(ChartId id, const Axes& axes);
/// The distance a Left/Right key moves the chart's cursor x (0 when M is 0).
double keyStep(ChartId id, const Axes& axes);
/// The upper limit of the chart's position read-out.
double positionLimit(ChartId id, const Axes& axes);

} // namespace kyr::maps
