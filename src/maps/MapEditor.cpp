// SPDX-License-Identifier: GPL-3.0-or-later
#include "maps/MapEditor.h"

#include "table/Rounding.h"

#include <algorithm>
#include <cmath>

namespace kyr::maps {

using table::mapDef;

MapEditor::MapEditor() = default;

void MapEditor::showTable(const table::MapArrays& maps, const Axes& axes)
{
    m_maps = maps;
    // Every array must hold all places of its map: the rules index them freely.
    for (const auto& m : table::mapTable())
        m_maps[m.id].resize(m.points, 0.0);
    m_axes = axes;
    m_fuelRpm = FuelRpmMap::Cruise;
    m_pending.clear();
}

void MapEditor::enableGroups(bool timing, bool fuel)
{
    m_timingEnabled = timing;
    m_fuelEnabled = fuel;
}

bool MapEditor::isEnabled(ChartId chart) const
{
    return chartDef(chart).group == MapGroup::Timing ? m_timingEnabled : m_fuelEnabled;
}

MapId MapEditor::editedMap(ChartId chart) const
{
    if (chart == ChartId::FuelRpm) {
        switch (m_fuelRpm) {
        case FuelRpmMap::Low: return MapId::FuelLow;
        case FuelRpmMap::High: return MapId::FuelHigh;
        case FuelRpmMap::Cruise: break;
        }
        return MapId::FuelCruise;
    }
    if (chart == ChartId::AirTmp)
        return m_airTemp == AirTempMap::Timing ? MapId::AirTempTiming : MapId::AirTempFuel;
    return chartDef(chart).curves.front().map;
}

int MapEditor::cursorSlot(ChartId chart)
{
    // The two vacuum charts show the same vacuum axis and share one cursor.
    return static_cast<int>(chart == ChartId::FuelVac ? ChartId::Vacuum : chart);
}

double MapEditor::cursorX(ChartId chart) const { return m_cursorX[cursorSlot(chart)]; }

void MapEditor::setCursorX(ChartId chart, double x) { m_cursorX[cursorSlot(chart)] = x; }

bool MapEditor::indexInUse(MapId map, int index) const
{
    return index >= 1 && index <= pointCount(map, m_axes);
}

std::optional<DragEdit> MapEditor::drag(ChartId chart, double x, double y)
{
    if (!m_mouseTuning || !isEnabled(chart))
        return std::nullopt;
    const MapId map = editedMap(chart);
    const auto& def = mapDef(map);
    // The value is y made whole, so y = 45.4 on the timing chart still stores 45.
    const double whole = roundEven(y);
    if (!(whole >= def.minValue && whole <= def.maxValue) || !dragXAccepted(map, x, m_axes))
        return std::nullopt;
    const auto idx = pointIndexAt(map, x, m_axes);
    if (!idx)
        return std::nullopt;

    const double value = fitValue(map, whole);
    const double old = m_maps.at(map, *idx);
    m_maps.set(map, *idx, value);

    std::optional<double> cursor;
    if (chart == ChartId::Timing)
        cursor = table::pointX(def, *idx, m_axes);
    else if (def.xRule == table::XRule::Vacuum)
        cursor = roundTo(table::pointX(def, *idx, m_axes), 2);
    if (cursor)
        setCursorX(chart, *cursor);
    return DragEdit{{map, *idx, old, value}, makeWritePoint(map, *idx, value), cursor};
}

std::optional<Readout> MapEditor::mouseMove(ChartId chart, double x, double y)
{
    if (!isEnabled(chart))
        return std::nullopt;
    m_keyTarget = chart;
    setCursorX(chart, mouseCursorX(chart, x));
    return mouseReadout(chart, x, y, m_axes);
}

double MapEditor::keyValue(MapId map, Key key, double old) const
{
    // Up and Down stop at the chart's range and never push a value that lies
    // outside it further out; every value kept is one its byte can carry.
    const auto& def = mapDef(map);
    if (key == Key::Up || key == Key::PageUp)
        return fitValue(map, old < def.maxValue ? std::min(old + 1.0, def.maxValue) : old);
    if (key == Key::Down || key == Key::PageDown)
        return fitValue(map, old > def.minValue ? std::max(old - 1.0, def.minValue) : old);
    return fitValue(map, old);
}

void MapEditor::store(MapId map, int index, double value, std::vector<PointChange>& changes)
{
    const double old = m_maps.at(map, index);
    m_maps.set(map, index, value);
    if (value != old)
        changes.push_back({map, index, old, value});
}

void MapEditor::shiftTiming(Key key, std::vector<PointChange>& changes)
{
    const int n = pointCount(MapId::TimingRpm, m_axes);
    for (int i = 1; i <= n; ++i)
        store(MapId::TimingRpm, i, keyValue(MapId::TimingRpm, key, m_maps.at(MapId::TimingRpm, i)), changes);
}

std::optional<KeyEdit> MapEditor::keyDown(Key key)
{
    if (!m_keyTarget || !isEnabled(*m_keyTarget))
        return std::nullopt;
    const ChartId chart = *m_keyTarget;
    const MapId map = editedMap(chart);
    const auto& def = mapDef(map);
    double x = cursorX(chart);

    std::optional<int> idx;
    if (key == Key::Left || key == Key::Right) {
        const double step = keyStep(chart, m_axes);
        const double moved = x + (key == Key::Right ? step : -step);
        idx = pointIndexAt(map, moved, m_axes);
        if (idx)
            x = moved;
    }
    if (!idx)
        idx = pointIndexAt(map, x, m_axes);
    if (!idx)
        return std::nullopt;
    if (chart == ChartId::FuelVac)
        x = table::pointX(def, *idx, m_axes);

    const bool page = chart == ChartId::Timing && (key == Key::PageUp || key == Key::PageDown);
    std::vector<PointChange> changes;
    if (page) {
        shiftTiming(key, changes);
        for (int i = 1; i <= pointCount(map, m_axes); ++i)
            keepPending(map, i);
    } else {
        // Page Up/Down elsewhere are plain keys: the point is re-set.
        const Key k = (key == Key::PageUp || key == Key::PageDown) ? Key::Other : key;
        store(map, *idx, keyValue(map, k, m_maps.at(map, *idx)), changes);
        keepPending(map, *idx);
    }

    setCursorX(chart, x);
    m_lastKeyIndex[static_cast<int>(chart)] = *idx;

    const double px = table::pointX(def, *idx, m_axes);
    return KeyEdit{chart, map, *idx, px, chartDef(chart).keyBarHeight, x, std::move(changes),
                   keyReadout(chart, px, m_maps.at(map, *idx))};
}

// Keys roll over: a second key can go down before the first comes up, so
// every point edited since the last key-up waits for the next one.
void MapEditor::keepPending(MapId map, int index)
{
    const PendingPoint p{map, index};
    if (std::find(m_pending.begin(), m_pending.end(), p) == m_pending.end())
        m_pending.push_back(p);
}

std::vector<WritePoint> MapEditor::keyUp()
{
    std::vector<WritePoint> out;
    for (const PendingPoint& p : m_pending)
        if (indexInUse(p.map, p.index))
            out.push_back(makeWritePoint(p.map, p.index, m_maps.at(p.map, p.index)));
    m_pending.clear();
    return out;
}

Result<WritePoint> MapEditor::setPoint(MapId map, int index, double value)
{
    if (!indexInUse(map, index))
        return makeError(ErrorKind::BadArgument, "No point " + std::to_string(index) + " in this map");
    if (!std::isfinite(value))
        return makeError(ErrorKind::BadArgument, "A map value must be a number");
    const double v = fitValue(map, value);
    m_maps.set(map, index, v);
    return makeWritePoint(map, index, v);
}

Result<WritePoint> MapEditor::writePointBytes(MapId map, int index) const
{
    if (!indexInUse(map, index))
        return makeError(ErrorKind::BadArgument, "No point " + std::to_string(index) + " in this map");
    return makeWritePoint(map, index, m_maps.at(map, index));
}

std::vector<CurvePoint> MapEditor::pointsOf(MapId map) const { return curvePoints(map, m_maps, m_axes); }

std::optional<JetMove> MapEditor::jetKey(char key) const
{
    if (!m_fuelEnabled)
        return std::nullopt;
    return maps::jetKey(key);
}

} // namespace kyr::maps
