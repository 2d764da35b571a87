// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the three map pages share: their charts (each with its read-outs)
// bound to the window's MapEditSession, the background panel that hides the
// read-outs, and the keys: undo and redo of the page's map edits, then the
// map keys of the key target.

#include "app/common/Page.h"
#include "live/LiveRecord.h"
#include "maps/Charts.h"

#include <QPointF>

#include <array>

class QCheckBox;
class QDoubleSpinBox;
class QFrame;
class QLabel;
class QLineEdit;
class QUndoStack;

namespace kyr::app::compare {
class TuneComparer;
}
namespace kyr::app::live {
class LivePoll;
class RealTimeFrames;
}

namespace kyr::app::maps {

class ChartReadout;
class MapChartView;
class MapEditSession;
class MapTableView;

/// The window's objects a map page works with.
struct MapServices {
    MapEditSession& session;          ///< the one map edit session of the window
    compare::TuneComparer& comparer;  ///< the tune compared with, drawn as other curves
    live::LivePoll& poll;             ///< the live bars and the real-time frame
    live::RealTimeFrames& frames;     ///< the window's real-time frames
};

class MapPage : public Page {
    Q_OBJECT
public:
    /// panelName names the page's background panel ("Panel3"), frameName
    /// the real-time frame below it ("RT1").
    MapPage(AppContext context, MapServices services, const QString& objectName, const QString& caption, const QString& panelName,
            const QString& frameName, QWidget* parent = nullptr);

    /// The chart of this page, or null for a chart of another page.
    MapChartView* chart(kyr::maps::ChartId id) const { return m_charts[static_cast<int>(id)]; }
    ChartReadout* readout(kyr::maps::ChartId id) const { return m_readouts[static_cast<int>(id)]; }
    /// The table under a chart of this page, or null.
    MapTableView* table(kyr::maps::ChartId id) const { return m_tables[static_cast<int>(id)]; }
    /// The value prompt of = and * (hidden until asked for).
    QLineEdit* rangePrompt() const { return m_prompt; }
    /// The background panel that holds the page's controls.
    QFrame* panel() const { return m_panel; }
    /// The undo stack of this page's maps.
    QUndoStack* undoStack() const;
    MapEditSession& session() const { return m_session; }

    /// The page's charts, in the order of the chart table.
    std::vector<MapChartView*> chartsToPrint() const override;

    /// Ctrl+Z undoes, Ctrl+Shift+Z and Ctrl+Y redo, then pageKey(), then the map keys.
    /// Nothing while a text field has the focus: the keys belong to the text.
    bool previewKey(QKeyEvent* event) override;

protected:
    /// Builds a chart and its read-outs, bound to the session; returns a widget holding both.
    QWidget* addChart(kyr::maps::ChartId id);
    /// A key of this page's own (the jet letters); true when taken.
    virtual bool pageKey(QKeyEvent*) { return false; }
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void redrawAll();
    void redrawChart(MapChartView* chart);
    void redrawCurve(table::MapId map);
    void redrawCompared();
    void drawCompared(MapChartView* chart);
    void applyEnabled();
    void showEditedUnits();
    void showLive(const kyr::live::LiveValues& values);
    // The range edits' controls (MapPageRange.cpp).
    QWidget* buildRangeBar();
    void showRange(kyr::maps::ChartId chart);
    void selectDragged(kyr::maps::ChartId chart, QPointF from, QPointF to);
    void askValue(kyr::maps::ChartId chart, bool scale);
    void takeValue();
    void announcePoint(kyr::maps::ChartId chart);
    void showTables(bool on);
    bool tableKey(QKeyEvent* event);

    MapEditSession& m_session;
    compare::TuneComparer& m_comparer;
    QFrame* m_panel;
    std::array<MapChartView*, table::ChartCount> m_charts{};
    std::array<ChartReadout*, table::ChartCount> m_readouts{};
    std::array<MapTableView*, table::ChartCount> m_tables{};
    QDoubleSpinBox* m_step = nullptr;
    QCheckBox* m_showTables = nullptr;
    QLabel* m_progress = nullptr;
    QLabel* m_promptLabel = nullptr;
    QLineEdit* m_prompt = nullptr;
    kyr::maps::ChartId m_promptChart{};
    bool m_promptScale = false;
};

} // namespace kyr::app::maps
