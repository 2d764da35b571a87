// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The "Engine Monitor" page: "Analog Signals" (AnalogEn) switches the
// real-time poll, "Realtime Tracking" (RT_Track) lets the map cursors follow
// the engine, and a round gauge per live channel shows the last LiveRecord,
// in a grid that reflows with the page's size. "Gauge Limits…" sets the
// gauges' warning and danger zones, kept across runs.

#include "app/live/GaugeLimitStore.h"
#include "app/common/Page.h"
#include "link/Clock.h"
#include "live/LiveState.h"

#include <QTimer>

#include <array>
#include <memory>

class QCheckBox;
class QLabel;
#include <QSettings>

namespace kyr::app::live {

class LivePoll;
class RoundGauge;

class MonitorPage : public Page {
    Q_OBJECT
public:
    /// clock times the records for the gauges' stale check; settings keep the
    /// limits (the user's settings of the program by default).
    MonitorPage(AppContext context, LivePoll& poll, QWidget* parent = nullptr, kyr::link::Clock& clock = kyr::link::systemClock(),
                         std::unique_ptr<QSettings> settings = nullptr);

    /// The text a gauge shows now ("--" without a reading).
    QString gaugeText(kyr::live::Gauge gauge) const;
    RoundGauge* gauge(kyr::live::Gauge gauge) const;

    /// "Gauge Limits…": the dialog, and its limits on the gauges when accepted.
    void editLimits();
    /// Every gauge's stale check (the page's timer calls it; tests may too).
    void checkStale();

private:
    QWidget* buildGauges(kyr::link::Clock& clock);
    void applyLimits(const GaugeLimitSet& limits);
    void showValues(const kyr::live::LiveValues& values);
    void showIdle();

    LivePoll& m_poll;
    GaugeLimitStore m_limitStore;
    QCheckBox* m_analog = nullptr;
    QCheckBox* m_track = nullptr;
    QLabel* m_state = nullptr;
    QWidget* m_gauges = nullptr;
    std::array<RoundGauge*, kyr::live::GaugeCount> m_gauge{};
    QTimer m_staleCheck;
};

} // namespace kyr::app::live
