// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A round gauge of the "Engine Monitor": a needle over a 240 degree scale
// with numbered ticks, the warning zone in amber and the danger zone in red at
// either end of the scale, the value in digits under the hub, the channel's
// name above it and the unit below.
//
// Cheap to keep up to date: the dial (face, ticks, numbers, zones) is drawn
// once into a pixmap and only drawn again when the size or the limits change;
// a new value repaints the gauge only when its digits, its zone or the
// needle's tip pixel change, and at most once a frame (FrameMs), the newest
// value winning. A gauge that gets no value for StaleMs greys out.

#include "link/Clock.h"
#include "live/LiveState.h"

#include <QPixmap>
#include <QTimer>
#include <QWidget>

#include <optional>

namespace kyr::app::live {

class RoundGauge : public QWidget {
    Q_OBJECT
public:
    static constexpr int StaleMs = 500; ///< no value for this long: grey, "--"
    static constexpr int FrameMs = 33;  ///< at most one repaint per frame

    /// clock times the values for the stale check.
    explicit RoundGauge(const kyr::live::GaugeDef& def, kyr::link::Clock& clock = kyr::link::systemClock(),
                        QWidget* parent = nullptr);

    const kyr::live::GaugeDef& def() const { return m_def; }
    /// The warning and danger limits drawn and used for the digits' colour.
    void setLimits(const kyr::live::GaugeLimits& limits);
    const kyr::live::GaugeLimits& limits() const { return m_limits; }

    /// A record arrived: the value it gives (empty: the unit gave no reading).
    void setValue(std::optional<double> value);
    /// Nothing to show (the poll stopped, the link is gone): "--", grey.
    void clear();
    /// Greys the gauge out when no value came for StaleMs (a timer calls it; tests may too).
    void checkStale();

    /// The digits shown: the value at the gauge's places, or "--".
    QString text() const { return m_shown.text; }
    /// Whether the gauge shows a present value (not greyed out).
    bool live() const { return m_shown.live; }
    /// The zone of the value shown (Normal when none).
    kyr::live::GaugeZone zone() const { return m_shown.zone; }
    /// Repaints asked for so far (each one at most a frame after the last).
    int repaints() const { return m_repaints; }
    /// A repaint was made less than a frame ago: a change now waits for the frame's end.
    bool holding() const { return m_frame.isActive(); }

    QSize sizeHint() const override { return {200, 200}; }
    QSize minimumSizeHint() const override { return {120, 120}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    struct Shown {
        QString text = QStringLiteral("--");
        QPoint tip;          // needle tip, in whole pixels
        kyr::live::GaugeZone zone = kyr::live::GaugeZone::Normal;
        bool live = false;
        bool operator==(const Shown&) const = default;
    };

    Shown shownFor(std::optional<double> value, bool live) const;
    void show(const Shown& s);
    void frameDue();
    QRect changedRect(const Shown& from, const Shown& to) const;
    double angleOf(double value) const;
    QPointF pointAt(double angleDeg, double radius) const;
    QRectF dialRect() const;
    QRectF digitsRect() const;
    QPixmap blankPixmap() const;
    void buildDial();
    void drawZones(class QPainter& p) const;
    void drawScale(class QPainter& p) const;

    kyr::live::GaugeDef m_def;
    kyr::live::GaugeLimits m_limits;
    kyr::link::Clock& m_clock;
    std::optional<double> m_value; // the newest value given
    uint32_t m_valueAt = 0;        // when it came (clock ticks)
    Shown m_shown;                 // what the next paint draws
    QPixmap m_dial;                // the static parts under the needle, at the device's pixel ratio
    QPixmap m_labels;              // and over it: name, unit, the digits' box
    QTimer m_frame;                // holds repaints to one a frame
    QRect m_pending;               // changed since the last repaint, waiting for the frame to end
    int m_repaints = 0;
};

} // namespace kyr::app::live
