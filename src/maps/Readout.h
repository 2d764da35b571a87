// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The texts of a chart's two read-out fields (value, then position) for a
// mouse move and for a key press.

#include "maps/Charts.h"

#include <optional>
#include <string>
#include <string_view>

namespace kyr::maps {

/// What to write into a chart's read-out fields. Both fields and their labels
/// are shown; a text that is nullopt leaves its field as it was.
struct Readout {
    ChartId chart;                        ///< the chart whose read-out it is
    std::optional<std::string> value;
    std::optional<std::string> position;
};

/// A number as the read-outs show it: up to ten significant digits, no
/// trailing zeros, never "-0".
std::string formatNumber(double v);

/// The cursor x a mouse at chart x sets (x rounded to the chart's places).
double mouseCursorX(ChartId id, double x);

/// The read-out of a mouse at chart (x, y).
Readout mouseReadout(ChartId id, double x, double y, const Axes& axes);

/// The read-out after a key edit of the point at pointX holding value.
Readout keyReadout(ChartId id, double pointX, double value);

} // namespace kyr::maps
