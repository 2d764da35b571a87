// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One map chart, built from its row of maps::chartTable(): title, axes,
// the key-cursor bar, the live bar, the vacuum markers and the curves, in
// the series order of that row. All seven charts are this one class.
//
// The bars are line series at their real x, not bar series: a bar series on
// a value axis would put its bars at 0, 1, 2... whatever x they stand for.
// Pixels are mapped through the chart each time, never cached, so a resize
// or a new axis range is always taken into account.
//
// A hidden chart keeps the redraw it was given (redrawWhenShown()) until it
// is shown or read: every accessor and every change below runs it first, so
// what a reader sees is always the table as it stands.

#include "maps/Charts.h"
#include "maps/PointRules.h"

#include <QChartView>
#include <QPicture>
#include <QPointF>

#include <functional>
#include <optional>
#include <vector>

class QAreaSeries;
class QGraphicsSimpleTextItem;
class QLineSeries;
class QValueAxis;
class QXYSeries;

namespace kyr::app::maps {

class MapChartView : public QChartView {
    Q_OBJECT
public:
    /// The chart of a row; starts disabled with no points.
    explicit MapChartView(const kyr::maps::ChartDef& def, QWidget* parent = nullptr);

    kyr::maps::ChartId chartId() const { return m_def.id; }
    const kyr::maps::ChartDef& def() const { return m_def; }

    /// Runs redraw now when the chart is shown; a hidden chart keeps it (in
    /// place of any it kept before) until it is shown or read.
    void redrawWhenShown(std::function<void()> redraw);
    /// Whether a redraw is kept for when the chart is shown.
    bool redrawPending() const { return static_cast<bool>(m_pendingRedraw); }
    /// Runs the redraw kept, if any.
    void ensureCurrent() const;

    /// Axis values under a viewport position.
    QPointF valueAt(const QPointF& viewportPos) const;
    /// The viewport position of axis values (for tests and tools that point at a value).
    QPointF positionOf(const QPointF& value) const;

    /// Sets the bottom axis (range and, when given, the tick increment).
    void setBottomAxis(const kyr::maps::AxisRange& range);
    /// The bottom axis as shown.
    QValueAxis* bottomAxis() const
    {
        ensureCurrent();
        return m_bottom;
    }
    QValueAxis* leftAxis() const
    {
        ensureCurrent();
        return m_left;
    }
    /// The value axis title follows the map being edited (degrees or percent).
    void showValueAxisOf(table::MapId map);

    /// Replaces the points of a map's curve.
    void setCurve(table::MapId map, const std::vector<kyr::maps::CurvePoint>& points);
    /// Empties every curve (no table shown).
    void clearCurves();
    /// The curve series of a map (null when the map is not on this chart).
    QXYSeries* curve(table::MapId map) const;
    /// Draws another tune's curve of a map, faint, beside the map's own, with
    /// the tune's name in the legend; an empty list takes it away. It takes no edits.
    void setOtherCurve(table::MapId map, const std::vector<kyr::maps::CurvePoint>& points, const QString& name = {});
    /// The faint curve of a map (null when the map is not on this chart).
    QXYSeries* otherCurve(table::MapId map) const;
    /// Draws the fuel suggestions' curve, faint and dotted, beside the tune's
    /// own and the compared tune's; an empty list takes it away. It takes no edits.
    void setSuggestedCurve(const std::vector<kyr::maps::CurvePoint>& points);
    /// The suggested curve's series (empty while no suggestion is shown).
    QXYSeries* suggestedCurve() const { return m_suggested; }
    /// The series at an index of the chart's series order.
    QXYSeries* seriesAt(int index) const;

    /// Draws the key-cursor bar from 0 to height at x.
    void showKeyBar(double x, double height);
    void clearKeyBar();
    /// Draws the live bar (the engine's operating point) from 0 to height at x.
    void showLiveBar(double x, double height);
    void clearLiveBar();
    /// Moves a throttle vacuum marker (FuelVacChart only): a line over the
    /// whole value range at x bar.
    void showVacuumMarker(bool high, double x);

    /// A line across the middle of the plot that says why it is empty; an
    /// empty text shows none.
    void setNote(const QString& text);
    QString note() const;

    /// Shades the plot from x0 to x1 (the selected points and half a key
    /// step beyond each end); clearSelection takes the band away.
    void showSelection(double x0, double x1);
    void clearSelection();
    /// The band's series (empty when nothing is selected).
    QAreaSeries* selectionBand() const { return m_band; }

    /// Says the key cursor's point to a screen reader, as the description of
    /// the chart ("Timing Map point 30, 3000 RPM, 25°").
    void announce(const QString& text);

    /// Hides the mouse pointer until the mouse moves again (after a key edit).
    void hidePointer();

    /// The chart as printed: one sheet at PrintSize with margins of 10 on
    /// every side, laid out for the sheet whatever its size on the screen
    /// (a chart on a page never shown has none yet).
    QPicture printSheet();
    static constexpr QSize PrintSize{1000, 700};

signals:
    /// The mouse moved over the chart to these axis values.
    void pointerMoved(QPointF value);
    /// The left button went down: a new drag starts.
    void dragStarted();
    /// A drag (button down, or moving with it held) is over these axis values.
    void dragged(QPointF value);
    /// Shift+drag: the points between where the button went down and value are selected.
    void rangeDragged(QPointF from, QPointF value);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void fitTicks(const QSize& room);
    void buildAxes();
    void buildSeries();
    void buildLegend();
    void showLegendMarkers();
    QString curveCaption(table::MapId map) const;
    QLineSeries* addBar(const QString& name, const QColor& colour, int width, Qt::PenStyle style);
    void setBar(QLineSeries* bar, double x, double low, double high);
    void placeNote();

    const kyr::maps::ChartDef& m_def;
    QValueAxis* m_bottom = nullptr;
    QValueAxis* m_left = nullptr;
    std::vector<QXYSeries*> m_series; // by series index
    std::vector<QXYSeries*> m_others; // the compared tune's curves, by curve of the row
    QXYSeries* m_firstCurve = nullptr;
    QGraphicsSimpleTextItem* m_note = nullptr;
    std::optional<double> m_bottomIncrement;
    bool m_dragging = false;
    std::optional<QPointF> m_rangeFrom; // Shift+drag: where the button went down
    QAreaSeries* m_band = nullptr;
    QXYSeries* m_suggested = nullptr; // after the band, outside the row's series order
    mutable std::function<void()> m_pendingRedraw;
};

/// The colour of a curve by its colour name ("navy").
QColor curveColour(const kyr::maps::CurveDef& curve);

} // namespace kyr::app::maps
