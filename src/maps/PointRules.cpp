// SPDX-License-Identifier: GPL-3.0-or-later
#include "maps/PointRules.h"

#include "table/Rounding.h"

#include <algorithm>
#include <cmath>

namespace kyr::maps {

using table::Axes;
using table::MapDef;
using table::MapId;
using table::XRule;

namespace {

/// The pick formula of a chart before rounding; nullopt where it would divide by zero.
std::optional<double> rawIndex(const MapDef& m, double x, const Axes& axes)
{
    const double r100 = axes.rpmRange / 100.0;
    const double vac = axes.mapSensor / 10.0;
    switch (m.xRule) {
    case XRule::RpmTiming:
        if (r100 <= 0) return std::nullopt;
        return x / r100 * axes.timingPoints;
    case XRule::Vacuum:
        if (vac <= 0) return std::nullopt;
        return x * m.points / vac;
    case XRule::RpmFuel:
        if (r100 <= 0) return std::nullopt;
        return x * m.points / r100;
    case XRule::WaterTemp: return x * m.points / 120.0;
    case XRule::AirTemp: return (x + 20.0) / (120.0 / (m.points - 1)) + 1.0;
    case XRule::Voltage: return x * 15.0 / 8.0 - 14.0;
    }
    return std::nullopt;
}

} // namespace

int pointCount(MapId map, const Axes& axes)
{
    const auto& m = table::mapDef(map);
    if (m.xRule == XRule::RpmTiming)
        return std::clamp(axes.timingPoints, 0, m.points);
    return m.points;
}

std::optional<int> pointIndexAt(MapId map, double x, const Axes& axes)
{
    const auto t = rawIndex(table::mapDef(map), x, axes);
    if (!t || !std::isfinite(*t))
        return std::nullopt;
    const double idx = roundEven(*t);
    if (idx < 1 || idx > pointCount(map, axes))
        return std::nullopt;
    return static_cast<int>(idx);
}

bool dragXAccepted(MapId map, double x, const Axes& axes)
{
    const auto& m = table::mapDef(map);
    if (m.xRule == XRule::Vacuum)
        return axes.mapSensor > 0 && x >= 0 && x <= axes.mapSensor / 10.0;
    if (m.xRule == XRule::AirTemp)
        return x >= -20.0;
    return std::isfinite(x);
}

double fitValue(MapId map, double value)
{
    const auto& m = table::mapDef(map);
    const double lo = -m.bias;
    const double hi = table::MaxRawSent - m.bias;
    if (std::isnan(value))
        return lo;
    return std::clamp(roundEven(value), lo, hi) + 0.0; // + 0.0: no -0 from rounding -0.4
}

WritePoint makeWritePoint(MapId map, int i, double value)
{
    const auto& m = table::mapDef(map);
    const int raw = static_cast<int>(fitValue(map, value)) + m.bias;
    return {m.bank, static_cast<uint8_t>(table::writeIndex(m, i)), static_cast<uint8_t>(raw)};
}

std::vector<CurvePoint> curvePoints(MapId map, const table::MapArrays& maps, const Axes& axes)
{
    const auto& m = table::mapDef(map);
    const int n = pointCount(map, axes);
    std::vector<CurvePoint> out;
    out.reserve(n);
    for (int i = 1; i <= n; ++i)
        out.push_back({table::pointX(m, i, axes), maps.at(map, i)});
    return out;
}

} // namespace kyr::maps
