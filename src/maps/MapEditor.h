// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The editing session of the map charts: the map arrays, the axes fixed when
// the table was shown, and the mouse and key editors.
//
// The editor owns the map arrays; the app draws from maps() and encodes the
// table from it, so the screen, the unit and the written table agree. The app
// converts pixels to axis values of the chart's curve series, applies the
// results (curves, bars, read-outs), and sends every WritePoint returned.
//
// Keys: the app calls keyDown/keyUp only while the key target chart is visible
// and enabled and no text field has the keyboard focus; Shift, Ctrl and Alt
// are ignored, Escape is the Exit button and never reaches the editor.

#include "maps/Charts.h"
#include "maps/Jets.h"
#include "maps/PointRules.h"
#include "maps/Readout.h"
#include "table/Result.h"

#include <array>
#include <optional>
#include <vector>

namespace kyr::maps {

/// The keys the editor knows; every other key is Other.
enum class Key { Left, Right, Up, Down, PageUp, PageDown, Other };

/// Which fuel-by-RPM map `FuelRPMChart` edits (`RadioLow`, `RadioCruise`, `RadioHigh`).
enum class FuelRpmMap { Low, Cruise, High };
/// Which air temperature map `AirTmpChart` edits (`RadioFuel`, `RadioTiming`).
enum class AirTempMap { Fuel, Timing };

/// One point's change, enough for an undo step (set oldValue back with setPoint).
struct PointChange {
    MapId map;
    int index; ///< 1-based
    double oldValue;
    double newValue;
};

/// An accepted drag.
struct DragEdit {
    PointChange change;
    WritePoint write;              ///< send at once
    std::optional<double> cursorX; ///< new cursor x of the chart (timing and the vacuum charts)
};

/// A key-down on the key target.
struct KeyEdit {
    ChartId chart;
    MapId map;
    int index;                        ///< the point under the cursor, 1-based
    double barX;                      ///< draw the key-cursor bar here...
    double barHeight;                 ///< ...this high
    double cursorX;                   ///< the chart's cursor x after the key
    std::vector<PointChange> changes; ///< points whose value changed (all N on Page Up/Down)
    Readout readout;
};

class MapEditor {
public:
    /// An editor with no table shown: every chart disabled, mouse tuning off, Cruise and Fuel selected.
    MapEditor();

    /// Shows a table: takes its map arrays and the axes (R, N, M) that place
    /// the points until the next call. A later change of the RPM range or map
    /// sensor field does not move the points; only this call changes the axes.
    /// Selects Cruise (the air temperature choice is kept) and drops a pending key.
    void showTable(const table::MapArrays& maps, const Axes& axes);
    /// The arrays the charts show and the encoder writes.
    const table::MapArrays& maps() const { return m_maps; }
    /// The axes fixed at showTable.
    const Axes& axes() const { return m_axes; }

    /// Enables the charts of the unit's map groups (all disabled at start).
    void enableGroups(bool timing, bool fuel);
    /// Whether a chart takes edits.
    bool isEnabled(ChartId chart) const;

    /// Mouse tuning (`SpeedButton3`), off at start; drags need it.
    void setMouseTuning(bool on) { m_mouseTuning = on; }
    bool mouseTuning() const { return m_mouseTuning; }

    /// Selects the fuel-by-RPM map that drags and keys on `FuelRPMChart` edit.
    void selectFuelRpm(FuelRpmMap map) { m_fuelRpm = map; }
    FuelRpmMap fuelRpm() const { return m_fuelRpm; }
    /// Selects the air temperature map that `AirTmpChart` edits.
    void selectAirTemp(AirTempMap map) { m_airTemp = map; }
    AirTempMap airTemp() const { return m_airTemp; }
    /// The map a chart edits now (the selected one on the two shared charts).
    MapId editedMap(ChartId chart) const;

    /// The chart keys act on: the one the mouse last moved over (none at start).
    std::optional<ChartId> keyTarget() const { return m_keyTarget; }
    /// A chart's cursor x (the vacuum charts share one).
    double cursorX(ChartId chart) const;
    /// Moves a chart's cursor x (realtime tracking).
    void setCursorX(ChartId chart, double x);
    /// The point the last key-down on a chart edited, 0 for none yet.
    int lastKeyIndex(ChartId chart) const { return m_lastKeyIndex[static_cast<int>(chart)]; }

    /// A drag over a chart at axis values (x, y). Refused (nullopt, nothing
    /// changes) when mouse tuning is off, the chart is disabled, y made whole is
    /// outside the chart's range, x outside the chart's accepted x, or x picks no point
    /// in use (index 0 or past the end). Stores the value and returns the write.
    std::optional<DragEdit> drag(ChartId chart, double x, double y);

    /// The mouse moved over an enabled chart: it becomes the key target and
    /// its cursor x is set. Returns the read-out texts; nullopt for a disabled chart.
    std::optional<Readout> mouseMove(ChartId chart, double x, double y);

    /// A key went down on the key target. Left/Right move the cursor by the
    /// key step (not past the first or last point); Up/Down add +1/-1 within
    /// the chart's value range; Page Up/Down on the timing chart move every one
    /// of the N points by 1 within 0..45; any other key re-sets the point to
    /// its value made whole. nullopt when there is no enabled key target or the
    /// cursor is on no point.
    std::optional<KeyEdit> keyDown(Key key);

    /// A key came up: the writes of every point a key-down edited since the
    /// last key-up, each once, in the order they were first edited (rolled
    /// keys and auto-repeat included; all N points after Page Up/Down), with
    /// their present values. Empty when no key-down is pending.
    std::vector<WritePoint> keyUp();

    /// Sets a point (undo and redo): the value is made whole and kept within
    /// what its byte can hold. BadArgument for an index outside the points in use.
    Result<WritePoint> setPoint(MapId map, int index, double value);

    /// The write that sends a point's present value. BadArgument for an index
    /// outside the points in use.
    Result<WritePoint> writePointBytes(MapId map, int index) const;

    /// The curve of a map under the fixed axes (timing: the first N points).
    std::vector<CurvePoint> pointsOf(MapId map) const;

    /// A jet letter key; nullopt for other keys or while the fuel group is disabled.
    std::optional<JetMove> jetKey(char key) const;

private:
    struct PendingPoint {
        MapId map;
        int index;
        bool operator==(const PendingPoint&) const = default;
    };

    static int cursorSlot(ChartId chart);
    bool indexInUse(MapId map, int index) const;
    double keyValue(MapId map, Key key, double old) const;
    void shiftTiming(Key key, std::vector<PointChange>& changes);
    void store(MapId map, int index, double value, std::vector<PointChange>& changes);
    void keepPending(MapId map, int index);

    table::MapArrays m_maps;
    Axes m_axes;
    bool m_timingEnabled = false;
    bool m_fuelEnabled = false;
    bool m_mouseTuning = false;
    FuelRpmMap m_fuelRpm = FuelRpmMap::Cruise;
    AirTempMap m_airTemp = AirTempMap::Fuel;
    std::optional<ChartId> m_keyTarget;
    std::array<double, table::ChartCount> m_cursorX{};
    std::array<int, table::ChartCount> m_lastKeyIndex{};
    std::vector<PendingPoint> m_pending; // points edited by keys not yet up
};

} // namespace kyr::maps
