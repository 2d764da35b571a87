#pragma once
// The "Engine Monitor" page: "Analog Signals" (AnalogEn) switches the
// real-time poll, "Realtime Tracking" (RT_Track) lets the map cursors follow
// the engine, and one read-out per gauge shows the last LiveRecord.

#include "app/window/Page.h"
#include "live/LiveState.h"

#include <array>

class QCheckBox;
class QLabel;
class QProgressBar;

namespace kyr::app {

class LivePoll;

class MonitorPage : public Page {
    Q_OBJECT
public:
    explicit MonitorPage(AppContext context, QWidget* parent = nullptr);

    /// The text a gauge shows now ("--" without a reading).
    QString gaugeText(live::Gauge gauge) const;
    /// The bar of a gauge.
    QProgressBar* gaugeBar(live::Gauge gauge) const { return m_bars[static_cast<int>(gauge)]; }

private:
    QWidget* buildGauges();
    void showValues(const live::LiveValues& values);
    void showIdle();

    LivePoll& m_poll;
    QCheckBox* m_analog = nullptr;
    QCheckBox* m_track = nullptr;
    QLabel* m_state = nullptr;
    QWidget* m_gauges = nullptr;
    std::array<QLabel*, live::GaugeCount> m_values{};
    std::array<QProgressBar*, live::GaugeCount> m_bars{};
};

} // namespace kyr::app
