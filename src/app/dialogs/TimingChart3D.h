// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// TimingDChart of the timing analysis: a black canvas with the titles
// "Timing Analysis" and "(Degrees)" that draws the wire-frame it is given,
// projected with the analysis view. Plain QPainter lines and text, so it
// needs no OpenGL context.

#include "tools/TimingAnalysis.h"

#include <QWidget>

namespace kyr::app::dialogs {

class TimingChart3D : public QWidget {
    Q_OBJECT
public:
    explicit TimingChart3D(QWidget* parent = nullptr);

    /// Draws this wire-frame from now on.
    void setFrame(tools::WireFrame frame);
    /// Back to the titles only.
    void clearFrame();
    /// Whether a wire-frame is drawn.
    bool hasFrame() const { return !m_frame.lines.empty(); }

    QSize sizeHint() const override { return {700, 420}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void drawTitles(QPainter& p) const;
    void drawFrame(QPainter& p, const QRectF& area) const;

    tools::WireFrame m_frame;
    tools::View3D m_view;
};

} // namespace kyr::app::dialogs
