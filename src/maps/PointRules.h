// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The rules that tie a map point to the chart x that picks it and to the
// WritePoint command that sends it. Pure functions of the map, the axes and
// the values; the editor and the tools share them.

#include "table/Codec.h"
#include "table/Layout.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace kyr::maps {

/// One live write of a map point: bank command byte, index byte, raw value.
struct WritePoint {
    uint8_t bank = 0;
    uint8_t index = 0;
    uint8_t value = 0;

    /// The three bytes as they go on the wire.
    std::array<uint8_t, 3> bytes() const { return {bank, index, value}; }
    friend bool operator==(const WritePoint&, const WritePoint&) = default;
};

/// A point to draw.
struct CurvePoint {
    double x;
    double y;
};

/// Points of a map that are in use: N for timing by RPM (at most its 100
/// places), every place for the others.
int pointCount(table::MapId map, const table::Axes& axes);

/// The point under chart x by the chart's pick formula (round to the nearest
/// point, halves to even), or nullopt when that is not a point in use (index 0,
/// past the end, M = 0 on the vacuum charts, x not a number).
std::optional<int> pointIndexAt(table::MapId map, double x, const table::Axes& axes);

/// Whether a drag at chart x may edit this map at all: the vacuum charts need
/// M > 0 and 0 <= x <= M/10, the air temperature chart x >= -20.
bool dragXAccepted(table::MapId map, double x, const table::Axes& axes);

/// A value made fit to send: whole (halves to even) and within the values
/// whose raw byte is 0..253 (raw 254 would read back as the absent marker).
double fitValue(table::MapId map, double value);

/// The WritePoint of point i (1-based, within the map's places) holding value;
/// the value byte is made fit as by fitValue.
WritePoint makeWritePoint(table::MapId map, int i, double value);

/// The points a chart draws for a map: the first pointCount points, x by the
/// map's rule under the given axes.
std::vector<CurvePoint> curvePoints(table::MapId map, const table::MapArrays& maps,
                                    const table::Axes& axes);

} // namespace kyr::maps
