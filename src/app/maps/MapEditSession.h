// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The map editing of the window, shared by the three map pages: the
// MapEditor with its arrays and fixed axes, the undo stacks, and the sends.
//
// Who owns what: the editor holds the arrays it edits; every change it
// makes is copied point by point into the TuneModel's arrays at once, which
// are what "Write to KYR" and "Save settings" encode. When the model shows a
// new table (mapsChanged from a read, a file or Close all), the editor takes
// the model's arrays and axes; its own copies into the model do not count as
// a new table, so the axes fixed at the read stay as they are.
//
// Every accepted change is sent as its WritePoint through the link worker,
// which drops sends while no unit is connected.

#include "maps/MapEditor.h"
#include "maps/RangeEdit.h"

#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QWidget>

#include <array>
#include <optional>
#include <string_view>
#include <vector>

class QKeyEvent;
class QUndoStack;
class QWidget;

namespace kyr::app {
class TuneModel;
}
namespace kyr::app::link {
class LinkWorker;
}

namespace kyr::app::maps {

class MapEditSession : public QObject {
    Q_OBJECT
public:
    /// Follows the model's maps, unit and mouse tuning; sends through link.
    MapEditSession(TuneModel& model, link::LinkWorker& link, QObject* parent = nullptr);
    ~MapEditSession() override;

    const kyr::maps::MapEditor& editor() const { return m_editor; }
    /// Whether a table is shown (the charts draw nothing before).
    bool hasTable() const;
    /// Whether a chart takes edits: its map group is the unit's and a table is shown.
    bool chartEnabled(kyr::maps::ChartId chart) const { return m_editor.isEnabled(chart); }

    /// The widget that shows a chart: map keys act only while it is visible and enabled.
    void setView(kyr::maps::ChartId chart, QWidget* view);
    /// The widget that shows a chart, or null.
    QWidget* view(kyr::maps::ChartId chart) const { return m_views[static_cast<int>(chart)]; }

    // ---- the mouse
    /// The left button went down on a chart: the drag steps that follow form one undo step.
    void beginDrag();
    /// A drag step over a chart at axis values; applied when the editor accepts it.
    void drag(kyr::maps::ChartId chart, QPointF value);
    /// The mouse moved over a chart: read-outs, key target, keyboard focus.
    void mouseMove(kyr::maps::ChartId chart, QPointF value);

    // ---- the keys
    /// A key went down in the window. Acts on the key target when its chart
    /// is shown and enabled and no text field has the focus. True when the
    /// key was a map key and is taken from the focused control.
    bool keyPress(const QKeyEvent& event);
    /// A key came up: sends what the last key-down changed.
    void keyRelease();
    /// A jet letter key while the fuel maps are enabled and no text field has the focus.
    std::optional<kyr::maps::JetMove> jetKey(const QKeyEvent& event) const;

    /// Sets one point to a value as an edit of the user's: kept in the model,
    /// sent as its WritePoint, one undo step. False when the point's chart
    /// takes no edits or the index is not a point in use.
    bool setPointValue(table::MapId map, int index, double value);

    // ---- selections and whole-range edits (MapRangeEdits.cpp)
    /// The selected points of a chart's edited map, if any.
    std::optional<kyr::maps::Selection> selection(kyr::maps::ChartId chart) const;
    /// Selects points of a chart (none clears); the chart shows them as a band.
    void select(kyr::maps::ChartId chart, std::optional<kyr::maps::Selection> range);
    /// What a range edit acts on: the selection, or else the key cursor's point.
    std::optional<kyr::maps::Selection> target(kyr::maps::ChartId chart) const;
    /// A range key on the key target: Shift+Left/Right, Ctrl+A, Ctrl+C,
    /// Ctrl+V, +, -, /, S (with a selection), = and * (these two ask for a
    /// value first). True when taken.
    bool rangeKey(const QKeyEvent& event);
    /// The step of + and - for a kind of map (1° or 1 % at first).
    double step(kyr::maps::StepKind kind) const;
    void setStep(kyr::maps::StepKind kind, double step);
    /// The range edits on a chart's target; each is one undo step and sends
    /// every changed point in order. False when there was nothing to change.
    bool stepTarget(kyr::maps::ChartId chart, int sign);
    bool setTarget(kyr::maps::ChartId chart, double value);
    bool scaleTarget(kyr::maps::ChartId chart, double percent);
    bool interpolateTarget(kyr::maps::ChartId chart);
    bool smoothTarget(kyr::maps::ChartId chart);
    /// The target's values as tab-separated text.
    QString copyTarget(kyr::maps::ChartId chart) const;
    /// Pastes tab-separated values from the selection's first point (or the
    /// key cursor's). A selection of more than one point takes exactly as
    /// many values. Refused whole, saying why, with nothing changed or sent.
    bool pasteText(kyr::maps::ChartId chart, const QString& text,
                   kyr::maps::PasteMode mode = kyr::maps::PasteMode::Replace);
    /// Applies changes made elsewhere (a range edit) as one undo step.
    bool applyRange(kyr::maps::ChartId chart, std::vector<kyr::maps::PointChange> changes);

    // ---- the map choices
    void selectFuelRpm(kyr::maps::FuelRpmMap map);
    void selectAirTemp(kyr::maps::AirTempMap map);

    /// Realtime tracking: a chart's key cursor moves to x (the vacuum charts
    /// share theirs). The next key edits the point there.
    void trackCursor(kyr::maps::ChartId chart, double x) { m_editor.setCursorX(chart, x); }

    /// The undo stack of a page's maps ("Timing Map", "Fuel Maps", "Correction Maps").
    QUndoStack* undoStack(std::string_view page) const;
    /// Whether the focus is in a text field, where keys belong to the text.
    static bool textFieldFocused();

signals:
    /// A new table is shown (or none): every chart redraws its curves and axes.
    void tableShown();
    /// A map's points changed.
    void curveChanged(kyr::table::MapId map);
    /// The key-cursor bar of a chart moves to x with this height.
    void keyBarShown(kyr::table::ChartId chart, double x, double height);
    void keyBarCleared(kyr::table::ChartId chart);
    /// A chart's read-outs show these texts.
    void readoutShown(kyr::table::ChartId chart, const kyr::maps::Readout& readout);
    /// A key edited a chart: the mouse pointer is hidden over it.
    void pointerHidden(kyr::table::ChartId chart);
    /// The charts that take edits changed.
    void chartsEnabledChanged();
    /// The fuel-by-RPM or air temperature choice changed (a new table selects Cruise).
    void selectionChanged();
    /// A chart's selected points changed.
    void rangeSelected(kyr::table::ChartId chart);
    /// A range key wants a value: a new value (scale false) or a percentage (scale true).
    void promptWanted(kyr::table::ChartId chart, bool scale);
    /// A range edit or paste was refused: why.
    void rangeRefused(const QString& why);
    /// Points of range edits sent so far, of how many (0 of 0 when none wait).
    void sendProgress(int done, int total);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showModelTable();
    void updateEnabled();
    void keepInModel(table::MapId map, int index);
    void send(const kyr::maps::WritePoint& write);
    void restore(const std::vector<kyr::maps::PointChange>& changes, bool toNew);
    void push(std::vector<kyr::maps::PointChange> changes, kyr::maps::ChartId chart, quint64 drag);
    bool keyTargetShown() const;
    static QString undoText(table::MapId map);
    std::optional<int> cursorIndex(kyr::maps::ChartId chart) const;
    bool extendSelection(kyr::maps::ChartId chart, bool right);
    void sendCounted(const kyr::maps::WritePoint& write);
    void countSent(quint64 ticket);

    TuneModel& m_model;
    link::LinkWorker& m_link;
    kyr::maps::MapEditor m_editor;
    std::array<QPointer<QWidget>, table::ChartCount> m_views;
    std::array<QUndoStack*, 3> m_stacks{};
    quint64 m_drag = 0;
    std::array<std::optional<kyr::maps::Selection>, table::ChartCount> m_selection{};
    std::array<int, table::ChartCount> m_anchor{};
    std::array<double, 3> m_steps{kyr::maps::DefaultStep, kyr::maps::DefaultStep, kyr::maps::DefaultStep};
    std::vector<quint64> m_rangeSends; // tickets of range sends not yet taken by the link
    int m_rangeTotal = 0;
    bool m_counting = false; // restore() is applying a range edit: count its sends
    bool m_copying = false; // our own copy into the model raised mapsChanged
};

} // namespace kyr::app::maps
