// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Edits of a whole range of a map's points at once: set, add a step, scale,
// interpolate, smooth and paste. Each gives the list of point changes (only
// points whose value changes), every value made whole and kept within the
// chart's range and what the point's byte can hold, so no byte ever wraps.
// The caller stores and sends them as one undo step.

#include "maps/MapEditor.h"
#include "table/Result.h"

#include <string>
#include <string_view>
#include <vector>

namespace kyr::maps {

/// A contiguous range of points of one map, first..last inclusive, from 1.
struct Selection {
    MapId map{};
    int first = 1;
    int last = 1;
    int count() const { return last - first + 1; }
    bool contains(int index) const { return index >= first && index <= last; }
    bool operator==(const Selection&) const = default;
};

/// Which step a map's +/- keys use: degrees for the timing maps, % for the
/// fuel maps and for the corrections.
enum class StepKind { Timing, Fuel, Correction };
StepKind stepKindOf(MapId map);
/// The step a tuner starts with: 1° or 1 %.
inline constexpr double DefaultStep = 1.0;

/// How pasted values meet what is there.
enum class PasteMode {
    Replace,  ///< the values as they are
    Add,      ///< added to each point
    Multiply, ///< each point multiplied by the value (1.04 leans 4 % richer)
};

/// The lowest and highest value a point of this map may take.
struct ValueRange {
    double low;
    double high;
};
ValueRange valueRange(MapId map);

/// A selection that lies within the points in use (timing by RPM: its first
/// N points); BadArgument otherwise.
Result<Selection> checkedSelection(Selection s, const Axes& axes);

/// Every selected point set to value.
std::vector<PointChange> setRange(const table::MapArrays& maps, Selection s, double value);
/// step added to every selected point (negative subtracts).
std::vector<PointChange> addStep(const table::MapArrays& maps, Selection s, double step);
/// Every selected point multiplied by percent / 100 (96 leans by 4 %).
std::vector<PointChange> scaleRange(const table::MapArrays& maps, Selection s, double percent);
/// The points between the selection's end points on the straight line
/// joining them; the end points stay.
std::vector<PointChange> interpolateRange(const table::MapArrays& maps, Selection s);
/// Each inner point replaced by the 1-2-1 weighted mean of itself and its
/// neighbours (taken from the values before the edit); the end points stay.
std::vector<PointChange> smoothRange(const table::MapArrays& maps, Selection s);

/// values pasted from point `first` on. Refused whole, changing nothing, when
/// they run past the points in use or a result is outside the map's range;
/// the error says which value and why.
Result<std::vector<PointChange>> pasteValues(const table::MapArrays& maps, MapId map, int first,
                                             const std::vector<double>& values, PasteMode mode,
                                             const Axes& axes);

/// Numbers as a spreadsheet copies them: separated by tabs or line breaks,
/// with "." or "," as the decimal point. Refused whole when one is not a
/// number or there is none.
Result<std::vector<double>> parseValues(std::string_view text);
/// The selected values as tab-separated text, as a spreadsheet pastes them.
std::string copyText(const table::MapArrays& maps, Selection s);

} // namespace kyr::maps
