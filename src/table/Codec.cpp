// SPDX-License-Identifier: GPL-3.0-or-later
#include "table/Codec.h"

#include "table/Rounding.h"

#include <algorithm>

namespace kyr::table {

Axes deriveAxes(std::span<const uint8_t> setupPlusOne)
{
    Axes a;
    auto raw = [&](SetupParam p) {
        int off = setupOffset(p);
        return off < static_cast<int>(setupPlusOne.size()) ? (setupPlusOne[off] - 1) & 0xFF : 0;
    };
    int r = raw(SetupParam::RpmRange) * 100;
    a.rpmRange = r == 0 ? 7000 : r;
    // The table holds 100 timing places; a range above 10000 RPM still uses 100.
    a.timingPoints = std::clamp(roundInt(a.rpmRange / 100.0), 1, mapDef(MapId::TimingRpm).points);
    a.mapSensor = raw(SetupParam::MapSensor);
    return a;
}

double pointX(const MapDef& m, int i, const Axes& axes)
{
    const double r100 = axes.rpmRange / 100.0;
    switch (m.xRule) {
    case XRule::RpmTiming: return i * r100 / axes.timingPoints;
    case XRule::Vacuum: return static_cast<double>(i) / m.points * axes.mapSensor / 10.0;
    case XRule::RpmFuel: return i * r100 / m.points;
    case XRule::WaterTemp: return i * 120.0 / m.points;
    case XRule::AirTemp: return (i - 1) * 120.0 / (m.points - 1) - 20.0;
    case XRule::Voltage: return (i + 14) / 15.0 * 8.0;
    }
    return 0.0;
}

MapArrays::MapArrays()
{
    for (const auto& m : mapTable())
        values[static_cast<int>(m.id)].assign(m.points, 0.0);
}

MapArrays decodeMaps(const ImageBytes& plusOne)
{
    MapArrays maps;
    for (const auto& m : mapTable())
        for (int i = 1; i <= m.points; ++i)
            maps.set(m.id, i, static_cast<int>(plusOne[pointOffset(m, i)]) - 1 - m.bias);
    return maps;
}

SetupCopy setupOf(const ImageBytes& plusOne)
{
    SetupCopy s{};
    std::copy_n(plusOne.begin(), SetupSize, s.begin());
    return s;
}

uint8_t mapRawByte(const MapDef& m, double value)
{
    long whole = static_cast<long>(roundEven(value)) + m.bias;
    return static_cast<uint8_t>(whole & 0xFF);
}

EncodedImage encode(const SetupCopy& setupPlusOne, const MapArrays& maps)
{
    EncodedImage out{};
    for (int o = 0; o < SetupSize; ++o)
        out.raw[o] = static_cast<uint8_t>(setupPlusOne[o] - 1);
    for (const auto& m : mapTable())
        for (int i = 1; i <= m.points; ++i)
            out.raw[pointOffset(m, i)] = mapRawByte(m, maps.at(m.id, i));
    out.raw[TrailerOffset] = TrailerRaw;
    for (int o = 0; o < TableSize; ++o)
        out.plusOne[o] = static_cast<uint8_t>(out.raw[o] + 1);
    return out;
}

} // namespace kyr::table
