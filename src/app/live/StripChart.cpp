// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/live/StripChart.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <limits>

namespace kyr::app::live {

namespace {

constexpr int LeftMargin = 64;  // the scales' numbers
constexpr int RightMargin = 12;
constexpr int TopMargin = 6;
constexpr int AxisHeight = 36;  // time numbers and "Time (s)"
constexpr int StripGap = 6;
constexpr int TitleHeight = 18;
constexpr double MinSeconds = 0.05;
constexpr double ScrollUnit = 1000.0; // scroll bar steps per second, while the log fits
constexpr double MaxScrollSteps = 1e9; // a longer log scrolls in coarser steps
constexpr double MaxPixel = 1e6;       // far outside any screen, well inside an int
constexpr double ZoomStep = 1.25;

const QColor kTraceColors[] = {QColor(0x1f, 0x77, 0xb4), QColor(0xd6, 0x27, 0x28), QColor(0x2c, 0xa0, 0x2c),
                               QColor(0x94, 0x67, 0xbd), QColor(0xff, 0x7f, 0x0e), QColor(0x8c, 0x56, 0x4b),
                               QColor(0xe3, 0x77, 0xc2), QColor(0x7f, 0x7f, 0x7f), QColor(0xbc, 0xbd, 0x22),
                               QColor(0x17, 0xbe, 0xcf), QColor(0x39, 0x3b, 0x79)};

// Whole numbers for Qt from doubles that may be huge, infinite or NaN:
// clamped while still a double, so the conversion is always defined.
int clampedInt(double v, double lo, double hi)
{
    return std::isnan(v) ? 0 : static_cast<int>(std::clamp(v, lo, hi));
}
int pixel(double x) { return clampedInt(std::round(x), -MaxPixel, MaxPixel); }
int steps(double v) { return clampedInt(v, 0, MaxScrollSteps); }

QString number(double v, int places) { return QString::number(v, 'f', std::max(0, places)); }

// Places enough to tell ticks a step apart.
int placesOf(double step) { return step >= 1 ? 0 : clampedInt(std::ceil(-std::log10(step) - 1e-9), 0, 12); }

// A scale a little wider than the readings, never empty.
kyr::live::ValueSpan padded(std::optional<kyr::live::ValueSpan> span)
{
    if (!span)
        return {0, 1};
    const double pad = span->hi > span->lo ? (span->hi - span->lo) * 0.08 : std::max(1.0, std::abs(span->hi) * 0.1);
    return {span->lo - pad, span->hi + pad};
}

} // namespace

StripChart::StripChart(QWidget* parent) : QWidget(parent), m_scroll(new QScrollBar(Qt::Horizontal, this))
{
    setObjectName(QStringLiteral("StripChart"));
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(320, 200);
    setAutoFillBackground(true);
    m_repaint.setSingleShot(true);
    m_repaint.setInterval(RepaintMs);
    connect(&m_repaint, &QTimer::timeout, this, [this] {
        syncScrollBar();
        update();
    });
    connect(m_scroll, &QScrollBar::valueChanged, this, &StripChart::scrolled);
    syncScrollBar();
}

void StripChart::setLog(kyr::live::LogData log)
{
    m_log = std::move(log);
    m_spans.clear();
    for (const kyr::live::LogChannel& ch : m_log.channels)
        m_spans.push_back(kyr::live::channelSpan(ch));
    m_live = false;
    m_follow = false;
    m_cursor.reset();
    m_firstShown = 0;
    emit shownChanged();
    fit();
    if (m_log.rows() > 0)
        setCursorTime(m_log.times.front());
}

kyr::live::LogData StripChart::takeLog()
{
    kyr::live::LogData out = std::move(m_log);
    m_log = {};
    m_spans.clear();
    m_cursor.reset();
    m_firstShown = 0;
    emit shownChanged();
    settle();
    return out;
}

void StripChart::startLive(std::vector<kyr::live::LogChannel> channels)
{
    kyr::live::LogData log;
    log.channels = std::move(channels);
    m_log = std::move(log);
    m_spans.assign(m_log.channels.size(), std::nullopt);
    m_live = true;
    m_follow = true;
    m_cursor.reset();
    m_firstShown = 0;
    emit shownChanged();
    m_start = 0;
    m_seconds = LiveSeconds;
    settle();
}

// A row without a time is dropped; one earlier than the row before (a clock
// set back) takes that row's time, so the times never go back.
void StripChart::appendRow(double seconds, const std::vector<float>& values)
{
    if (!std::isfinite(seconds))
        return;
    if (!m_log.times.empty())
        seconds = std::max(seconds, m_log.times.back());
    m_log.times.push_back(seconds);
    for (std::size_t i = 0; i < m_log.channels.size(); ++i) {
        const float v = i < values.size() ? values[i] : kyr::live::LogData::missing();
        m_log.channels[i].values.push_back(v);
        if (kyr::live::LogData::isMissing(v))
            continue;
        if (m_spans[i])
            m_spans[i]->include(v);
        else
            m_spans[i] = kyr::live::ValueSpan{v, v};
    }
    if (m_follow)
        m_start = std::max(firstTime(), seconds - m_seconds);
    scheduleRepaint();
}

void StripChart::addMarker(double seconds, const std::string& text)
{
    m_log.markers.push_back({seconds, text});
    scheduleRepaint();
}

double StripChart::firstTime() const { return m_log.times.empty() ? 0.0 : m_log.times.front(); }

// Never infinite: times near both ends of a double's range span more than it holds.
double StripChart::duration() const
{
    const double span = m_log.times.empty() ? 0.0 : m_log.times.back() - firstTime();
    return std::isfinite(span) ? span : std::numeric_limits<double>::max();
}

void StripChart::setView(double start, double seconds)
{
    m_seconds = std::isfinite(seconds) ? std::max(seconds, MinSeconds) : std::max(duration(), MinSeconds);
    m_start = std::isfinite(start) ? start : firstTime();
    settle();
}

// Keeps the view on the log: not before its start, not past its end unless
// the whole log is shorter than the view.
void StripChart::settle()
{
    const double last = firstTime() + std::max(duration(), 0.0);
    m_start = std::clamp(m_start, firstTime(), std::max(firstTime(), last - m_seconds));
    if (m_live && m_follow)
        m_start = std::max(firstTime(), last - m_seconds);
    syncScrollBar();
    update();
}

void StripChart::zoom(double factor, double anchor)
{
    const double widest = std::max(duration(), LiveSeconds);
    const double most = widest < std::numeric_limits<double>::max() / 1.2 ? widest * 1.2 : widest;
    const double seconds = std::clamp(m_seconds * factor, MinSeconds, most);
    const double share = m_seconds > 0 && std::isfinite(anchor) ? (anchor - m_start) / m_seconds : 0.5;
    m_seconds = seconds;
    m_start = anchor - share * seconds;
    if (!std::isfinite(m_start))
        m_start = firstTime();
    settle();
}

void StripChart::fit()
{
    m_seconds = std::max(duration(), m_live ? LiveSeconds : MinSeconds);
    m_start = firstTime();
    if (m_live)
        m_follow = true;
    settle();
}

void StripChart::syncScrollBar()
{
    m_syncing = true;
    const double spare = std::max(0.0, duration() - m_seconds);
    m_scrollUnit = spare * ScrollUnit <= MaxScrollSteps ? ScrollUnit : MaxScrollSteps / spare;
    m_scroll->setRange(0, steps(std::ceil(spare * m_scrollUnit)));
    m_scroll->setPageStep(std::max(1, steps(m_seconds * m_scrollUnit)));
    m_scroll->setSingleStep(std::max(1, steps(m_seconds * m_scrollUnit / 20)));
    m_scroll->setValue(steps(std::round((m_start - firstTime()) * m_scrollUnit)));
    m_syncing = false;
}

// The user moved the scroll bar: back from the end stops following, to the end follows again.
void StripChart::scrolled(int value)
{
    if (m_syncing)
        return;
    const double latest = std::max(firstTime(), firstTime() + duration() - m_seconds);
    m_start = std::clamp(firstTime() + value / m_scrollUnit, firstTime(), latest); // never past either end
    m_follow = m_live && value >= m_scroll->maximum();
    update();
}

void StripChart::scheduleRepaint()
{
    if (!m_repaint.isActive())
        m_repaint.start();
}

void StripChart::setCursorTime(double t)
{
    const auto row = kyr::live::nearestRow(m_log.times, t);
    if (!row)
        return;
    m_cursor = row;
    const double at = m_log.times[*row];
    if (at < m_start || at > m_start + m_seconds) {
        m_follow = false;
        m_start = at - m_seconds / 2;
        settle();
    }
    update();
    emit cursorMoved(at, *row);
}

void StripChart::stepCursor(int steps)
{
    if (m_log.rows() == 0 || steps == 0)
        return;
    const std::size_t from = m_cursor.value_or(0);
    const double perPixel = m_seconds / std::max(1, plotRect().width());
    auto row = kyr::live::nearestRow(m_log.times, m_log.times[from] + steps * perPixel).value_or(from);
    if (row == from)
        row = steps > 0 ? std::min(from + 1, m_log.rows() - 1) : (from > 0 ? from - 1 : 0);
    setCursorTime(m_log.times[row]);
}

std::size_t StripChart::shownCount() const
{
    return std::min(MaxShown, m_log.channels.size() - std::min(m_firstShown, m_log.channels.size()));
}

void StripChart::showChannels(std::size_t first)
{
    const std::size_t total = m_log.channels.size();
    first = total > MaxShown ? std::min(first, total - MaxShown) : 0;
    if (first == m_firstShown)
        return;
    m_firstShown = first;
    update();
    emit shownChanged();
}

QString StripChart::shownText() const
{
    const std::size_t total = m_log.channels.size();
    if (total <= MaxShown)
        return {};
    return QStringLiteral("Channels %1 to %2 of %3 are shown (at most %4 at once); Page Up and Page Down on the "
                          "chart show the others.")
        .arg(m_firstShown + 1).arg(m_firstShown + shownCount()).arg(total).arg(MaxShown);
}

QString StripChart::valueText(std::size_t channel, std::size_t row) const
{
    const kyr::live::LogChannel& ch = m_log.channels.at(channel);
    if (row >= ch.values.size() || kyr::live::LogData::isMissing(ch.values[row]))
        return QStringLiteral("--");
    const QString unit = QString::fromStdString(ch.unit);
    const QString value = number(ch.values[row], ch.digits);
    return unit.isEmpty() ? value : value + QLatin1Char(' ') + unit;
}

QRect StripChart::plotRect() const
{
    const int bottom = height() - m_scroll->sizeHint().height() - AxisHeight;
    return QRect(LeftMargin, TopMargin, std::max(1, width() - LeftMargin - RightMargin),
                 std::max(1, bottom - TopMargin));
}

double StripChart::timeAt(double x) const
{
    const QRect plot = plotRect();
    const double t = m_start + (x - plot.left()) / plot.width() * m_seconds;
    return std::isfinite(t) ? t : (x < plot.left() ? -1 : 1) * std::numeric_limits<double>::max();
}

double StripChart::xOf(double t) const
{
    const QRect plot = plotRect();
    return plot.left() + (t - m_start) / m_seconds * plot.width();
}

void StripChart::resizeEvent(QResizeEvent*)
{
    const int h = m_scroll->sizeHint().height();
    m_scroll->setGeometry(LeftMargin, height() - h, std::max(1, width() - LeftMargin - RightMargin), h);
}

void StripChart::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), palette().base());
    const QRect plot = plotRect();
    const std::size_t n = shownCount();
    if (n == 0) {
        p.setPen(palette().color(QPalette::Text));
        p.drawText(plot, Qt::AlignCenter, QStringLiteral("\"On\" logs the live values here; \"Open log...\" shows a log file."));
        return;
    }
    const int each = (plot.height() - StripGap * static_cast<int>(n - 1)) / static_cast<int>(n);
    for (std::size_t i = 0; i < n; ++i) {
        const QRect strip(plot.left(), plot.top() + static_cast<int>(i) * (each + StripGap), plot.width(),
                          std::max(each, 8));
        drawStrip(p, m_firstShown + i, strip);
    }
    if (n < m_log.channels.size()) {
        p.setPen(palette().color(QPalette::Text));
        p.drawText(QRect(0, plot.bottom() + 19, plot.left() + plot.width() / 3, 16), Qt::AlignLeft,
                   QStringLiteral("%1 to %2 of %3 (Page Up, Page Down)")
                       .arg(m_firstShown + 1).arg(m_firstShown + n).arg(m_log.channels.size()));
    }
    drawMarkers(p, plot);
    drawTimeAxis(p, plot);
    drawCursor(p, plot);
}

void StripChart::drawStrip(QPainter& p, std::size_t channel, const QRect& strip)
{
    const kyr::live::LogChannel& ch = m_log.channels[channel];
    const kyr::live::ValueSpan scale = padded(m_spans[channel]);
    // The top of the strip holds the channel's name; the trace keeps below it.
    const QRect trace = strip.adjusted(0, std::min(TitleHeight, strip.height() / 3), 0, 0);
    auto yOf = [&](double v) { return trace.bottom() - (v - scale.lo) * trace.height() / (scale.hi - scale.lo); };

    p.setPen(QColor(0xd8, 0xd8, 0xd8));
    p.drawRect(strip.adjusted(0, 0, -1, -1));
    const int most = std::max(2, trace.height() / 20);
    const double step = kyr::live::niceStep(scale.lo, scale.hi, most);
    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    p.setFont(small);
    for (double v : kyr::live::niceTicks(scale.lo, scale.hi, most)) {
        const int y = pixel(yOf(v));
        p.setPen(QColor(0xee, 0xee, 0xee));
        p.drawLine(strip.left() + 1, y, strip.right() - 1, y);
        p.setPen(palette().color(QPalette::Text));
        p.drawText(QRect(0, y - 8, LeftMargin - 6, 16), Qt::AlignRight | Qt::AlignVCenter, number(v, placesOf(step)));
    }

    const QColor color = kTraceColors[channel % std::size(kTraceColors)];
    p.setFont(font());
    p.setPen(color);
    p.drawText(strip.adjusted(6, 2, -6, -2), Qt::AlignLeft | Qt::AlignTop, stripTitle(channel));

    const std::vector<kyr::live::PixelSpan> spans =
        kyr::live::pixelSpans(m_log.times, ch.values, m_start, m_seconds / strip.width(), strip.width());
    p.save();
    p.setClipRect(strip);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(color, 1));
    QPainterPath path;
    bool open = false;
    for (std::size_t x = 0; x < spans.size(); ++x) {
        const kyr::live::PixelSpan& s = spans[x];
        if (s.gap)
            open = false;
        if (!s.any)
            continue;
        const double px = strip.left() + static_cast<double>(x) + 0.5;
        if (open)
            path.lineTo(px, yOf(s.hi));
        else
            path.moveTo(px, yOf(s.hi));
        path.lineTo(px, yOf(s.lo));
        open = !s.gap;
    }
    p.drawPath(path);
    p.restore();
}

// A channel's caption: its name, with its unit unless the name carries it.
QString StripChart::stripTitle(std::size_t channel) const
{
    const kyr::live::LogChannel& ch = m_log.channels[channel];
    const QString name = QString::fromStdString(ch.name), unit = QString::fromStdString(ch.unit);
    const bool named = unit.isEmpty() || name == unit || name.endsWith(QLatin1Char(' ') + unit)
        || name.contains(QStringLiteral("(%1)").arg(unit));
    return named ? name : QStringLiteral("%1 (%2)").arg(name, unit);
}

void StripChart::drawTimeAxis(QPainter& p, const QRect& plot)
{
    p.setPen(palette().color(QPalette::Text));
    const int most = std::max(2, plot.width() / 90);
    const double step = kyr::live::niceStep(m_start, m_start + m_seconds, most);
    for (double t : kyr::live::niceTicks(m_start, m_start + m_seconds, most)) {
        const int x = pixel(xOf(t));
        p.drawLine(x, plot.bottom() + 1, x, plot.bottom() + 5);
        p.drawText(QRect(x - 40, plot.bottom() + 5, 80, 16), Qt::AlignCenter, number(t, placesOf(step)));
    }
    p.drawText(QRect(plot.left(), plot.bottom() + 19, plot.width(), 16), Qt::AlignCenter, QStringLiteral("Time (s)"));
}

void StripChart::drawMarkers(QPainter& p, const QRect& plot)
{
    for (const kyr::live::LogMarker& m : m_log.markers) {
        if (m.seconds < m_start || m.seconds > m_start + m_seconds)
            continue;
        const int x = pixel(xOf(m.seconds));
        p.setPen(QPen(QColor(0xe0, 0x80, 0x00), 1, Qt::DashLine));
        p.drawLine(x, plot.top(), x, plot.bottom());
        p.setPen(QColor(0xb0, 0x60, 0x00));
        p.drawText(QRect(x + 3, plot.top(), 160, 16), Qt::AlignLeft | Qt::AlignTop, QString::fromStdString(m.text));
    }
}

void StripChart::drawCursor(QPainter& p, const QRect& plot)
{
    if (!m_cursor || *m_cursor >= m_log.rows())
        return;
    const double t = m_log.times[*m_cursor];
    if (t < m_start || t > m_start + m_seconds)
        return;
    const int x = pixel(xOf(t));
    p.setPen(QPen(Qt::black, 1));
    p.drawLine(x, plot.top(), x, plot.bottom());
    const std::size_t n = shownCount();
    const int each = (plot.height() - StripGap * static_cast<int>(n - 1)) / static_cast<int>(n);
    const bool left = x > plot.center().x(); // the read-outs stay inside the plot
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t channel = m_firstShown + i;
        const QString text = valueText(channel, *m_cursor);
        const int top = plot.top() + static_cast<int>(i) * (each + StripGap);
        const int w = p.fontMetrics().horizontalAdvance(text) + 8;
        QRect box(left ? x - w - 4 : x + 4, top + 2, w, 18);
        // The strip's caption stays readable: a read-out over it goes below it.
        const QRect caption(plot.left() + 6, top + 2, QFontMetrics(font()).horizontalAdvance(stripTitle(channel)), 18);
        if (box.intersects(caption))
            box.moveTop(caption.bottom() + 2);
        p.fillRect(box, QColor(255, 255, 225, 230));
        p.drawText(box, Qt::AlignCenter, text);
    }
    const QString at = QStringLiteral("%1 s").arg(number(t, 3));
    p.fillRect(QRect(x - 36, plot.bottom() + 4, 72, 16), QColor(255, 255, 225));
    p.drawText(QRect(x - 36, plot.bottom() + 4, 72, 16), Qt::AlignCenter, at);
}

void StripChart::wheelEvent(QWheelEvent* e)
{
    const int delta = e->angleDelta().y();
    if (delta == 0)
        return;
    zoom(delta > 0 ? 1 / ZoomStep : ZoomStep, timeAt(e->position().x()));
    e->accept();
}

void StripChart::mousePressEvent(QMouseEvent* e)
{
    setFocus(Qt::MouseFocusReason);
    if (e->button() == Qt::LeftButton && plotRect().contains(e->position().toPoint()))
        setCursorTime(timeAt(e->position().x()));
}

void StripChart::mouseMoveEvent(QMouseEvent* e)
{
    if (e->buttons() & Qt::LeftButton) {
        const QRect plot = plotRect();
        setCursorTime(timeAt(std::clamp<double>(e->position().x(), plot.left(), plot.right())));
    }
}

void StripChart::keyPressEvent(QKeyEvent* e)
{
    const int fast = (e->modifiers() & Qt::ShiftModifier) ? 10 : 1;
    switch (e->key()) {
    case Qt::Key_Left: stepCursor(-fast); break;
    case Qt::Key_Right: stepCursor(fast); break;
    case Qt::Key_PageDown: showChannels(m_firstShown + MaxShown); break;
    case Qt::Key_PageUp: showChannels(m_firstShown >= MaxShown ? m_firstShown - MaxShown : 0); break;
    case Qt::Key_Plus: case Qt::Key_Equal: zoom(1 / ZoomStep, m_start + m_seconds / 2); break;
    case Qt::Key_Minus: zoom(ZoomStep, m_start + m_seconds / 2); break;
    default: QWidget::keyPressEvent(e); return;
    }
    e->accept();
}

} // namespace kyr::app::live
