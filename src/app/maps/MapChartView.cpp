// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/maps/MapChartView.h"

#include "app/common/ControlNames.h"

#include <QAccessible>
#include <QAreaSeries>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QGraphicsSimpleTextItem>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QMouseEvent>
#include <QPainter>
#include <QValueAxis>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace kyr::app::maps {

namespace {

constexpr int BarWidth = 7;     // pixels: a bar stays a bar whatever the axis span
constexpr int MarkerWidth = 2;
constexpr int PrintMargin = 10;
constexpr int OtherAlpha = 110; // the compared tune's curves: seen, not in the way
// Room a tick label needs, and what the title, axis titles and legend take
// from the view, in pixels: enough to keep labels from running together.
constexpr int TickHeight = 24;
constexpr int TickWidth = 64;
constexpr int ChromeHeight = 120;
constexpr int ChromeWidth = 110;

QString text(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

// The smallest tick interval of 1, 2, 2.5 or 5 times a power of ten that
// leaves at most `ticks` intervals on the span.
double niceInterval(double span, int ticks)
{
    if (!(span > 0))
        return 1.0;
    const double raw = span / std::max(ticks, 1);
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 2.5, 5.0})
        if (raw <= m * power + 1e-12)
            return m * power;
    return 10.0 * power;
}

} // namespace

QColor curveColour(const kyr::maps::CurveDef& curve) { return QColor(QString::fromLatin1(curveLook(curve.map).colour)); }

MapChartView::MapChartView(const kyr::maps::ChartDef& def, QWidget* parent) : QChartView(parent), m_def(def)
{
    setObjectName(QString::fromLatin1(chartLook(def.id).object));
    setAccessibleName(text(def.title));
    auto* chart = new QChart();
    chart->setTitle(text(def.title));
    setChart(chart);
    setRenderHint(QPainter::Antialiasing);
    setRubberBand(QChartView::NoRubberBand);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setMouseTracking(true);

    buildAxes();
    buildSeries();
    buildLegend();
    m_note = new QGraphicsSimpleTextItem(chart);
    QFont font = m_note->font();
    font.setPointSizeF(font.pointSizeF() * 1.4);
    m_note->setFont(font);
    m_note->setBrush(QColor(110, 110, 110));
    m_note->setZValue(10);
    m_note->hide();
    connect(chart, &QChart::plotAreaChanged, this, &MapChartView::placeNote);
    setBottomAxis(kyr::maps::bottomAxis(def.id, table::Axes{}));
    setEnabled(false);
}

void MapChartView::buildAxes()
{
    m_left = new QValueAxis(chart());
    m_left->setTitleText(QString::fromStdString(kyr::maps::valueAxisTitle(m_def.id, m_def.curves.front().map)));
    m_left->setRange(m_def.leftMin, m_def.leftMax);
    m_left->setLabelFormat(QStringLiteral("%g"));
    m_left->setTickType(QValueAxis::TicksDynamic);
    m_left->setTickAnchor(0);
    m_bottom = new QValueAxis(chart());
    m_bottom->setTitleText(QString::fromStdString(kyr::maps::bottomAxisTitle(m_def.id)));
    m_bottom->setLabelFormat(QStringLiteral("%g"));
    chart()->addAxis(m_left, Qt::AlignLeft);
    chart()->addAxis(m_bottom, Qt::AlignBottom);
}

void MapChartView::showValueAxisOf(table::MapId map)
{
    m_left->setTitleText(QString::fromStdString(kyr::maps::valueAxisTitle(m_def.id, map)));
}

// Every series in its place of the row's order, then added to the chart in that order.
void MapChartView::buildSeries()
{
    const auto& def = m_def;
    const ChartLook& look = chartLook(def.id);
    int count = std::max({look.cursorSeries, look.liveSeries, look.lowVacSeries, look.highVacSeries}) + 1;
    for (const auto& c : def.curves)
        count = std::max(count, curveLook(c.map).series + 1);
    m_series.assign(count, nullptr);
    m_series[look.cursorSeries] = addBar(QStringLiteral("Cursor"), QColor(90, 90, 90, 150), BarWidth, Qt::SolidLine);
    m_series[look.liveSeries] = addBar(QStringLiteral("Live"), QColor(230, 140, 0, 170), BarWidth, Qt::SolidLine);
    if (look.lowVacSeries >= 0)
        m_series[look.lowVacSeries] =
            addBar(QStringLiteral("Low throttle vacuum"), QColor(0, 128, 128), MarkerWidth, Qt::DashLine);
    if (look.highVacSeries >= 0)
        m_series[look.highVacSeries] =
            addBar(QStringLiteral("High throttle vacuum"), QColor(128, 0, 128), MarkerWidth, Qt::DashLine);
    for (const auto& c : def.curves) {
        auto* s = new QLineSeries(this);
        s->setName(text(c.caption));
        QPen pen(curveColour(c));
        pen.setWidth(2);
        s->setPen(pen);
        s->setPointsVisible(true);
        m_series[curveLook(c.map).series] = s;
    }
    m_firstCurve = m_series[curveLook(def.curves.front().map).series];
    // The compared tune's curves come after the series of the row, so its order stays.
    for (const auto& c : def.curves) {
        auto* s = new QLineSeries(this);
        QColor faint = curveColour(c);
        faint.setAlpha(OtherAlpha);
        QPen pen(faint);
        pen.setWidth(2);
        pen.setStyle(Qt::DashLine);
        s->setPen(pen);
        m_others.push_back(s);
    }
    for (const auto& list : {m_series, m_others})
        for (QXYSeries* s : list) {
            chart()->addSeries(s);
            s->attachAxis(m_bottom);
            s->attachAxis(m_left);
        }
    // The selection band comes last, outside the row's series order.
    m_band = new QAreaSeries(new QLineSeries(this), new QLineSeries(this));
    m_band->setName(QStringLiteral("Selection"));
    m_band->setBrush(QColor(30, 110, 220, 45));
    m_band->setPen(QPen(QColor(30, 110, 220, 120), 1));
    chart()->addSeries(m_band);
    m_band->attachAxis(m_bottom);
    m_band->attachAxis(m_left);
    m_suggested = new QLineSeries(this);
    m_suggested->setName(QStringLiteral("Suggested"));
    QPen pen(QColor(0, 160, 60, 150));
    pen.setWidth(2);
    pen.setStyle(Qt::DashDotLine);
    m_suggested->setPen(pen);
    m_suggested->setPointsVisible(true);
    chart()->addSeries(m_suggested);
    m_suggested->attachAxis(m_bottom);
    m_suggested->attachAxis(m_left);
}

void MapChartView::showSelection(double x0, double x1)
{
    ensureCurrent();
    const double lo = m_def.leftMin;
    const double hi = m_def.leftMax;
    m_band->upperSeries()->replace(QList<QPointF>{{x0, hi}, {x1, hi}});
    m_band->lowerSeries()->replace(QList<QPointF>{{x0, lo}, {x1, lo}});
}

void MapChartView::clearSelection()
{
    m_band->upperSeries()->clear();
    m_band->lowerSeries()->clear();
}

void MapChartView::announce(const QString& text)
{
    setAccessibleDescription(text);
    QAccessibleEvent event(this, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&event);
}

// A legend only where it tells something: the curves of a shared chart, the
// vacuum markers, and a compared tune's curves while they are drawn.
void MapChartView::buildLegend() { showLegendMarkers(); }

// The legend first: showing it shows every marker again.
void MapChartView::showLegendMarkers()
{
    QLegend* legend = chart()->legend();
    const bool compared = std::any_of(m_others.begin(), m_others.end(), [](QXYSeries* s) { return s->count() > 0; })
                          || (m_suggested && m_suggested->count() > 0);
    const ChartLook& look = chartLook(m_def.id);
    const bool own = m_def.curves.size() > 1 || look.lowVacSeries >= 0;
    // A legend of the compared curve alone goes beside the plot: the short
    // charts have no height to give.
    legend->setAlignment(own ? Qt::AlignBottom : Qt::AlignRight);
    legend->setVisible(own || compared);
    for (QLegendMarker* m : legend->markers()) {
        const auto other = std::find(m_others.begin(), m_others.end(), m->series());
        if (other != m_others.end())
            m->setVisible((*other)->count() > 0);
        else if (m->series() == m_suggested)
            m->setVisible(m_suggested->count() > 0);
        else if (m->series() == m_band || m->series() == m_series[look.cursorSeries] || m->series() == m_series[look.liveSeries]
                 || (m_def.curves.size() == 1 && m->series() == m_firstCurve))
            m->setVisible(false);
    }
}

QLineSeries* MapChartView::addBar(const QString& name, const QColor& colour, int width, Qt::PenStyle style)
{
    auto* s = new QLineSeries(this);
    s->setName(name);
    QPen pen(colour);
    pen.setWidth(width);
    pen.setStyle(style);
    pen.setCapStyle(Qt::FlatCap);
    s->setPen(pen);
    return s;
}

void MapChartView::setBar(QLineSeries* bar, double x, double low, double high)
{
    bar->replace(QList<QPointF>{{x, low}, {x, high}});
}

QPointF MapChartView::valueAt(const QPointF& viewportPos) const
{
    ensureCurrent();
    const QPointF scene = mapToScene(viewportPos.toPoint());
    return chart()->mapToValue(chart()->mapFromScene(scene), m_firstCurve);
}

QPointF MapChartView::positionOf(const QPointF& value) const
{
    ensureCurrent();
    const QPointF item = chart()->mapToPosition(value, m_firstCurve);
    return mapFromScene(chart()->mapToScene(item));
}

void MapChartView::setBottomAxis(const kyr::maps::AxisRange& range)
{
    ensureCurrent();
    m_bottomIncrement = range.increment;
    m_bottom->setRange(range.min, range.max);
    m_bottom->setTickType(QValueAxis::TicksDynamic);
    m_bottom->setTickAnchor(range.min);
    fitTicks(size());
}

// As many ticks as there is room for; a set increment (the small vacuum range) stays.
void MapChartView::fitTicks(const QSize& room)
{
    const int rows = std::max(2, (room.height() - ChromeHeight) / TickHeight);
    const int columns = std::max(2, (room.width() - ChromeWidth) / TickWidth);
    m_left->setTickInterval(niceInterval(m_def.leftMax - m_def.leftMin, rows));
    m_bottom->setTickInterval(m_bottomIncrement ? *m_bottomIncrement
                                                : niceInterval(m_bottom->max() - m_bottom->min(), columns));
}

// A table arriving redraws the charts in view at once; the others wait
// until they are shown or read, so that its turn of the event loop stays short.
void MapChartView::redrawWhenShown(std::function<void()> redraw)
{
    m_pendingRedraw = std::move(redraw);
    if (isVisible())
        ensureCurrent();
}

void MapChartView::ensureCurrent() const
{
    if (!m_pendingRedraw)
        return;
    const auto redraw = std::move(m_pendingRedraw);
    m_pendingRedraw = nullptr; // the redraw's own calls find none kept
    redraw();
}

void MapChartView::showEvent(QShowEvent* event)
{
    ensureCurrent();
    QChartView::showEvent(event);
}

void MapChartView::resizeEvent(QResizeEvent* event)
{
    QChartView::resizeEvent(event);
    fitTicks(size());
}

void MapChartView::setCurve(table::MapId map, const std::vector<kyr::maps::CurvePoint>& points)
{
    ensureCurrent();
    QXYSeries* s = curve(map);
    if (!s)
        return;
    QList<QPointF> list;
    list.reserve(static_cast<qsizetype>(points.size()));
    for (const auto& p : points)
        list.append({p.x, p.y});
    s->replace(list);
}

void MapChartView::setOtherCurve(table::MapId map, const std::vector<kyr::maps::CurvePoint>& points, const QString& name)
{
    ensureCurrent();
    QXYSeries* s = otherCurve(map);
    if (!s)
        return;
    QList<QPointF> list;
    for (const auto& p : points)
        list.append({p.x, p.y});
    const bool shownBefore = s->count() > 0;
    const QString caption = curveCaption(map);
    s->setName(caption.isEmpty() ? name : caption + QStringLiteral(" in ") + name);
    s->replace(list);
    if (shownBefore != !list.isEmpty())
        showLegendMarkers();
}

// The series is apart from what a kept redraw draws: a hidden chart stays kept.
void MapChartView::setSuggestedCurve(const std::vector<kyr::maps::CurvePoint>& points)
{
    QList<QPointF> list;
    for (const auto& p : points)
        list.append({p.x, p.y});
    const bool shownBefore = m_suggested->count() > 0;
    m_suggested->replace(list);
    if (shownBefore == !list.isEmpty())
        return;
    // The legend lays out its markers again only when it is shown again.
    chart()->legend()->setVisible(false);
    showLegendMarkers();
}

QString MapChartView::curveCaption(table::MapId map) const
{
    for (const auto& c : m_def.curves)
        if (c.map == map)
            return text(c.caption);
    return {};
}

QXYSeries* MapChartView::otherCurve(table::MapId map) const
{
    ensureCurrent();
    for (std::size_t i = 0; i < m_def.curves.size(); ++i)
        if (m_def.curves[i].map == map)
            return m_others[i];
    return nullptr;
}

void MapChartView::clearCurves()
{
    ensureCurrent();
    for (const auto& c : m_def.curves)
        m_series[curveLook(c.map).series]->clear();
}

QXYSeries* MapChartView::curve(table::MapId map) const
{
    ensureCurrent();
    for (const auto& c : m_def.curves)
        if (c.map == map)
            return m_series[curveLook(c.map).series];
    return nullptr;
}

QXYSeries* MapChartView::seriesAt(int index) const
{
    ensureCurrent();
    return index >= 0 && index < static_cast<int>(m_series.size()) ? m_series[index] : nullptr;
}

void MapChartView::showKeyBar(double x, double height)
{
    ensureCurrent();
    setBar(static_cast<QLineSeries*>(m_series[chartLook(m_def.id).cursorSeries]), x, 0, height);
}

void MapChartView::clearKeyBar()
{
    ensureCurrent();
    m_series[chartLook(m_def.id).cursorSeries]->clear();
}

void MapChartView::showLiveBar(double x, double height)
{
    setBar(static_cast<QLineSeries*>(m_series[chartLook(m_def.id).liveSeries]), x, 0, height);
}

void MapChartView::clearLiveBar() { m_series[chartLook(m_def.id).liveSeries]->clear(); }

void MapChartView::showVacuumMarker(bool high, double x)
{
    const int index = high ? chartLook(m_def.id).highVacSeries : chartLook(m_def.id).lowVacSeries;
    if (index < 0)
        return;
    setBar(static_cast<QLineSeries*>(m_series[index]), x, m_def.leftMin, m_def.leftMax);
}

void MapChartView::setNote(const QString& text)
{
    ensureCurrent();
    m_note->setText(text);
    m_note->setVisible(!text.isEmpty());
    placeNote();
}

QString MapChartView::note() const
{
    ensureCurrent();
    return m_note->isVisible() ? m_note->text() : QString();
}

void MapChartView::placeNote()
{
    const QRectF plot = chart()->plotArea();
    m_note->setPos(plot.center() - m_note->boundingRect().center());
}

void MapChartView::hidePointer() { viewport()->setCursor(Qt::BlankCursor); }

QPicture MapChartView::printSheet()
{
    ensureCurrent();
    QChart* c = chart();
    c->setMargins(QMargins(PrintMargin, PrintMargin, PrintMargin, PrintMargin));
    const QRectF shown = c->geometry();
    fitTicks(PrintSize);
    c->setGeometry(QRectF(QPointF(0, 0), PrintSize));
    if (c->layout())
        c->layout()->activate();
    QPicture sheet;
    sheet.setBoundingRect(QRect(QPoint(0, 0), PrintSize));
    {
        QPainter painter(&sheet);
        painter.setRenderHint(QPainter::Antialiasing);
        c->scene()->render(&painter, QRectF(QPointF(0, 0), PrintSize), c->geometry());
    }
    c->setGeometry(shown);
    fitTicks(size());
    if (c->layout())
        c->layout()->activate();
    return sheet;
}

void MapChartView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        event->accept();
        return;
    }
    if (event->modifiers() & Qt::ShiftModifier) {
        m_rangeFrom = valueAt(event->position());
        emit rangeDragged(*m_rangeFrom, *m_rangeFrom);
        event->accept();
        return;
    }
    m_dragging = true;
    emit dragStarted();
    emit dragged(valueAt(event->position()));
    event->accept();
}

void MapChartView::mouseMoveEvent(QMouseEvent* event)
{
    viewport()->unsetCursor();
    const QPointF value = valueAt(event->position());
    emit pointerMoved(value);
    if (m_rangeFrom && (event->buttons() & Qt::LeftButton))
        emit rangeDragged(*m_rangeFrom, value);
    else if (m_dragging && (event->buttons() & Qt::LeftButton))
        emit dragged(value);
    event->accept();
}

void MapChartView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        m_dragging = false;
        m_rangeFrom.reset();
    }
    event->accept();
}

// The wheel would scroll or zoom; over a map chart it does nothing.
void MapChartView::wheelEvent(QWheelEvent* event) { event->accept(); }

} // namespace kyr::app::maps
