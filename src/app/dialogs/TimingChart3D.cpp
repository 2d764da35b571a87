// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/dialogs/TimingChart3D.h"

#include <QFontMetricsF>
#include <QPaintEvent>
#include <QPainter>

namespace kyr::app::dialogs {

namespace {

QColor colourOf(tools::PenColour c) { return c == tools::PenColour::Green ? Qt::green : Qt::red; }

} // namespace

TimingChart3D::TimingChart3D(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("TimingDChart"));
    setAutoFillBackground(false);
    setMinimumSize(320, 240);
}

void TimingChart3D::setFrame(tools::WireFrame frame)
{
    m_frame = std::move(frame);
    update();
}

void TimingChart3D::clearFrame()
{
    m_frame = {};
    update();
}

void TimingChart3D::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    p.setRenderHint(QPainter::Antialiasing);
    drawTitles(p);
    // The drawing takes the canvas below the titles.
    const int top = 2 * fontMetrics().height() + 8;
    drawFrame(p, QRectF(0, top, width(), height() - top));
}

void TimingChart3D::drawTitles(QPainter& p) const
{
    p.setPen(Qt::white);
    QFont bold = font();
    bold.setBold(true);
    const int line = fontMetrics().height();
    p.setFont(bold);
    p.drawText(QRect(0, 4, width(), line), Qt::AlignHCenter, QStringLiteral("Timing Analysis"));
    p.setFont(font());
    p.drawText(QRect(0, 4 + line, width(), line), Qt::AlignHCenter, QStringLiteral("(Degrees)"));
}

void TimingChart3D::drawFrame(QPainter& p, const QRectF& area) const
{
    auto at = [&](const tools::Point3& q) {
        const tools::Point2 s = tools::project(q, m_view, area.width(), area.height());
        return QPointF(area.left() + s.x, area.top() + s.y);
    };
    for (const tools::Polyline& line : m_frame.lines) {
        if (line.points.size() < 2)
            continue;
        p.setPen(QPen(colourOf(line.pen), 1));
        QPolygonF poly;
        poly.reserve(static_cast<int>(line.points.size()));
        for (const tools::Point3& q : line.points)
            poly << at(q);
        p.drawPolyline(poly);
    }
    for (const tools::Label3& label : m_frame.labels) {
        QFont f = font();
        f.setPointSize(label.fontSize);
        p.setFont(f);
        p.save();
        p.translate(at(label.at));
        p.rotate(-label.angle); // counter-clockwise on the screen
        // A label may lie on the mesh of its own colour ("RPM" on the red
        // rows): it stands on a dark plate, in a lighter shade.
        const QString text = QString::fromStdString(label.text);
        const QRectF plate = QFontMetricsF(f).boundingRect(text).adjusted(-2, -1, 2, 1);
        p.fillRect(plate, QColor(0, 0, 0, 200));
        p.setPen(colourOf(label.colour).lighter(160));
        p.drawText(QPointF(0, 0), text);
        p.restore();
    }
}

} // namespace kyr::app::dialogs
