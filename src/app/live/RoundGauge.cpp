// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/live/RoundGauge.h"

#include "table/Rounding.h"

#include <QEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace kyr::app::live {

namespace {

// The scale runs clockwise from lower left to lower right over 240 degrees (Qt angles: counter-
// clockwise from three o'clock).
constexpr double StartDeg = 210.0, SweepDeg = 240.0;
constexpr double PiOver180 = 3.14159265358979323846 / 180.0;

// Radii as shares of the dial's.
constexpr double TickOuter = 0.90, MajorInner = 0.76, MinorInner = 0.83;
constexpr double ZoneRadius = 0.835, ZoneWidth = 0.09;
constexpr double NumberRadius = 0.62, NeedleLength = 0.80;

const QColor Face(0x20, 0x22, 0x26), Rim(0x60, 0x64, 0x6c), Ink(0xee, 0xee, 0xee), Dim(0x80, 0x80, 0x80);
const QColor Amber(0xff, 0xb0, 0x00), Red(0xe0, 0x28, 0x28), Needle(0xff, 0x60, 0x20);

QColor zoneColour(kyr::live::GaugeZone z)
{
    switch (z) {
    case kyr::live::GaugeZone::Warning:
        return Amber;
    case kyr::live::GaugeZone::Danger:
        return Red;
    case kyr::live::GaugeZone::Normal:
        break;
    }
    return Ink;
}

QFont sized(const QFont& base, double pixels, bool bold)
{
    QFont f = base;
    f.setPixelSize(std::max(6, static_cast<int>(pixels)));
    f.setBold(bold);
    return f;
}

QString fromView(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

} // namespace

RoundGauge::RoundGauge(const kyr::live::GaugeDef& def, kyr::link::Clock& clock, QWidget* parent)
    : QWidget(parent), m_def(def), m_limits(def.limits), m_clock(clock)
{
    setObjectName(QStringLiteral("Gauge_%1").arg(fromView(def.key)));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    m_frame.setSingleShot(true);
    m_frame.setInterval(FrameMs);
    connect(&m_frame, &QTimer::timeout, this, &RoundGauge::frameDue);
    m_shown = shownFor(std::nullopt, false);
}

void RoundGauge::setLimits(const kyr::live::GaugeLimits& limits)
{
    if (limits == m_limits)
        return;
    m_limits = limits;
    m_dial = {};
    m_shown.zone = m_shown.live && m_value ? kyr::live::zoneOf(m_limits, *m_value) : kyr::live::GaugeZone::Normal;
    update();
}

void RoundGauge::setValue(std::optional<double> value)
{
    m_value = value;
    m_valueAt = m_clock.tickMs();
    show(shownFor(value, value.has_value()));
}

void RoundGauge::clear()
{
    m_value.reset();
    show(shownFor(std::nullopt, false));
}

void RoundGauge::checkStale()
{
    if (m_shown.live && static_cast<uint32_t>(m_clock.tickMs() - m_valueAt) >= StaleMs)
        show(shownFor(std::nullopt, false));
}

RoundGauge::Shown RoundGauge::shownFor(std::optional<double> value, bool live) const
{
    Shown s;
    s.live = live && value;
    const double at = s.live ? std::clamp(*value, m_def.min, m_def.max) : m_def.min;
    s.tip = pointAt(angleOf(at), NeedleLength).toPoint();
    if (s.live) {
        s.text = QString::number(roundTo(*value, m_def.decimals), 'f', m_def.decimals);
        s.zone = kyr::live::zoneOf(m_limits, *value);
    }
    return s;
}

// Repaints what changed at once when the last frame is over, else once it is.
void RoundGauge::show(const Shown& s)
{
    if (s == m_shown)
        return;
    m_pending |= changedRect(m_shown, s);
    m_shown = s;
    if (m_frame.isActive())
        return;
    frameDue();
}

void RoundGauge::frameDue()
{
    if (m_pending.isEmpty())
        return;
    update(m_pending);
    m_pending = {};
    ++m_repaints;
    m_frame.start();
}

// The needle's sweep from the old tip to the new one, and the digits when they
// change: the rest of the gauge stays as painted.
QRect RoundGauge::changedRect(const Shown& from, const Shown& to) const
{
    const QRectF r = dialRect();
    const double radius = r.width() / 2.0;
    QRect changed;
    if (from.tip != to.tip || from.live != to.live) {
        const QPoint hub = r.center().toPoint();
        const int pad = static_cast<int>(radius * 0.08) + 3; // the hub and the needle's width
        changed = QRect(hub, hub).united(QRect(from.tip, from.tip)).united(QRect(to.tip, to.tip))
                      .normalized().adjusted(-pad, -pad, pad, pad);
        // The labels lie over the needle; they are drawn again where it crosses them.
    }
    if (from.text != to.text || from.zone != to.zone || from.live != to.live)
        changed |= digitsRect().toAlignedRect();
    return changed;
}

double RoundGauge::angleOf(double value) const
{
    const double share = m_def.max > m_def.min ? (value - m_def.min) / (m_def.max - m_def.min) : 0.0;
    return StartDeg - std::clamp(share, 0.0, 1.0) * SweepDeg;
}

QRectF RoundGauge::dialRect() const
{
    const double side = std::max(10, std::min(width(), height()) - 4);
    return {(width() - side) / 2.0, (height() - side) / 2.0, side, side};
}

QPointF RoundGauge::pointAt(double angleDeg, double radius) const
{
    const QRectF r = dialRect();
    const double a = angleDeg * PiOver180;
    const double len = radius * r.width() / 2.0;
    return r.center() + QPointF(len * std::cos(a), -len * std::sin(a));
}

void RoundGauge::resizeEvent(QResizeEvent*)
{
    m_dial = {};
    m_shown.tip = shownFor(m_value, m_shown.live).tip;
}

void RoundGauge::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange || event->type() == QEvent::PaletteChange ||
        event->type() == QEvent::FontChange)
        m_dial = {};
    QWidget::changeEvent(event);
}

QRectF RoundGauge::digitsRect() const
{
    const QRectF r = dialRect();
    const double radius = r.width() / 2.0;
    return {r.center().x() - radius * 0.36, r.center().y() + radius * 0.32, radius * 0.72, radius * 0.30};
}

QPixmap RoundGauge::blankPixmap() const
{
    const qreal dpr = devicePixelRatioF();
    QPixmap pixmap((QSizeF(size()) * dpr).toSize());
    pixmap.setDevicePixelRatio(dpr);
    pixmap.fill(Qt::transparent); // the page shows around the dial
    return pixmap;
}

void RoundGauge::buildDial()
{
    const QRectF r = dialRect();
    const double radius = r.width() / 2.0;
    const double opacity = isEnabled() ? 1.0 : 0.45;
    m_dial = blankPixmap();
    QPainter p(&m_dial);
    p.setRenderHint(QPainter::Antialiasing);
    p.setOpacity(opacity);
    p.setPen(QPen(Rim, std::max(1.0, radius * 0.04)));
    p.setBrush(Face);
    p.drawEllipse(r.adjusted(radius * 0.02, radius * 0.02, -radius * 0.02, -radius * 0.02));
    drawZones(p);
    drawScale(p);

    // The labels lie over the needle, so that it never hides them.
    m_labels = blankPixmap();
    QPainter l(&m_labels);
    l.setRenderHint(QPainter::Antialiasing);
    l.setOpacity(opacity);
    l.setPen(Ink);
    l.setFont(sized(font(), radius * 0.13, true));
    l.drawText(QRectF(r.left(), r.center().y() + radius * 0.11, r.width(), radius * 0.2), Qt::AlignCenter,
               fromView(m_def.name));
    l.setPen(Dim);
    l.setFont(sized(font(), radius * 0.12, false));
    l.drawText(QRectF(r.left(), r.center().y() + radius * 0.63, r.width(), radius * 0.2), Qt::AlignCenter,
               fromView(m_def.unit));
    l.setPen(Qt::NoPen);
    l.setBrush(QColor(0x10, 0x10, 0x12));
    l.drawRoundedRect(digitsRect(), radius * 0.05, radius * 0.05);
}

void RoundGauge::drawZones(QPainter& p) const
{
    const QRectF r = dialRect();
    const double radius = r.width() / 2.0 * ZoneRadius;
    const QRectF arc(r.center() - QPointF(radius, radius), QSizeF(2 * radius, 2 * radius));
    auto band = [&](std::optional<double> from, std::optional<double> to, const QColor& colour) {
        if (!from || !to || *to <= *from)
            return;
        p.setPen(QPen(colour, r.width() / 2.0 * ZoneWidth, Qt::SolidLine, Qt::FlatCap));
        const double a = angleOf(*from), b = angleOf(*to);
        p.drawArc(arc, static_cast<int>(a * 16), static_cast<int>((b - a) * 16));
    };
    const kyr::live::GaugeLimits& l = m_limits;
    const std::optional<double> lo = m_def.min, hi = m_def.max;
    band(lo, l.lowDanger, Red);
    band(l.lowDanger ? l.lowDanger : lo, l.lowWarning, Amber);
    band(l.highWarning, l.highDanger ? l.highDanger : hi, Amber);
    band(l.highDanger, hi, Red);
}

void RoundGauge::drawScale(QPainter& p) const
{
    const double radius = dialRect().width() / 2.0;
    const int majors = static_cast<int>(std::lround((m_def.max - m_def.min) / m_def.majorStep));
    const int labelPlaces = m_def.majorStep >= 1 ? 0 : 1;
    p.setFont(sized(font(), radius * 0.13, false));
    for (int i = 0; i <= majors; ++i) {
        const double v = m_def.min + i * m_def.majorStep;
        const double a = angleOf(v);
        p.setPen(QPen(Ink, std::max(1.0, radius * 0.025)));
        p.drawLine(pointAt(a, MajorInner), pointAt(a, TickOuter));
        const QPointF at = pointAt(a, NumberRadius);
        const QRectF box(at.x() - radius * 0.3, at.y() - radius * 0.1, radius * 0.6, radius * 0.2);
        p.drawText(box, Qt::AlignCenter, QString::number(v, 'f', labelPlaces));
        if (i == majors)
            break;
        p.setPen(QPen(Dim, std::max(1.0, radius * 0.012)));
        for (int k = 1; k <= m_def.minorTicks; ++k) {
            const double m = angleOf(v + k * m_def.majorStep / (m_def.minorTicks + 1));
            p.drawLine(pointAt(m, MinorInner), pointAt(m, TickOuter));
        }
    }
}

void RoundGauge::paintEvent(QPaintEvent*)
{
    if (m_dial.isNull() || m_dial.size() != (QSizeF(size()) * devicePixelRatioF()).toSize())
        buildDial();
    QPainter p(this);
    p.drawPixmap(0, 0, m_dial);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = dialRect();
    const double radius = r.width() / 2.0;
    const bool live = m_shown.live && isEnabled();

    // The needle from the hub to its tip pixel.
    const QPointF hub = r.center();
    p.setPen(QPen(live ? Needle : Dim, std::max(2.0, radius * 0.04), Qt::SolidLine, Qt::RoundCap));
    p.drawLine(hub, QPointF(m_shown.tip));
    p.setPen(Qt::NoPen);
    p.setBrush(live ? QColor(0x50, 0x52, 0x58) : Dim);
    p.drawEllipse(hub, radius * 0.08, radius * 0.08);

    // Name, unit and the digits' box over it; the digits in the zone's colour.
    p.drawPixmap(0, 0, m_labels);
    p.setPen(live ? zoneColour(m_shown.zone) : Dim);
    p.setFont(sized(font(), radius * 0.22, true));
    p.drawText(digitsRect(), Qt::AlignCenter, live ? m_shown.text : QStringLiteral("--"));
}

} // namespace kyr::app::live
