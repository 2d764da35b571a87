// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Turns the plus-one DataTable image into map arrays and back.

#include "table/Layout.h"

#include <array>
#include <vector>

namespace kyr::table {

/// The settings that place the map points: R, N and M.
struct Axes {
    int rpmRange = 7000;    ///< R, RPM: raw(81) * 100, 7000 when that is 0
    int timingPoints = 70;  ///< N = R/100 rounded, 1..100
    int mapSensor = 0;      ///< M = raw(83), tenths of a bar
};

/// R, N and M from a plus-one setup area (at least 101 bytes).
Axes deriveAxes(std::span<const uint8_t> setupPlusOne);

/// x of point i (1-based) of a map under the given axes. M = 0 puts every
/// vacuum point at 0 rather than dividing by it.
double pointX(const MapDef& m, int i, const Axes& axes);

/// One array of shown values per map, point i at [i-1]. Every map holds all
/// of its places (timing by RPM all 100), whatever N is.
struct MapArrays {
    std::array<std::vector<double>, MapCount> values;

    MapArrays();
    std::vector<double>& operator[](MapId id) { return values[static_cast<int>(id)]; }
    const std::vector<double>& operator[](MapId id) const { return values[static_cast<int>(id)]; }
    /// Value of point i (1-based).
    double at(MapId id, int i) const { return (*this)[id][i - 1]; }
    void set(MapId id, int i, double v) { (*this)[id][i - 1] = v; }
};

/// Every map of the image, shown values (byte - 1 - bias). Maps of groups a
/// unit lacks are decoded as well so that encoding carries their bytes back.
MapArrays decodeMaps(const ImageBytes& plusOne);

/// The setup copy: offsets 0..100 of an image, plus-one form.
using SetupCopy = std::array<uint8_t, SetupSize>;
SetupCopy setupOf(const ImageBytes& plusOne);

struct EncodedImage {
    ImageBytes raw;     ///< what WriteTable sends
    ImageBytes plusOne; ///< raw + 1 in 8 bits: what the map file stores
};

/// Builds the table from the setup copy and the map arrays: values are made
/// whole (halves to even) and their low 8 bits stored; offset 481 is 55.
EncodedImage encode(const SetupCopy& setupPlusOne, const MapArrays& maps);

/// The raw byte of a shown map value: round(value) + bias, low 8 bits.
uint8_t mapRawByte(const MapDef& m, double value);

} // namespace kyr::table
