// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The real-time poll (Timer1). Every 20 ms, while "Analog Signals" is checked
// and a unit is connected, one ReadLive goes to the link; its LiveRecord is
// decoded and handed to the live displays, and with "Realtime Tracking"
// checked the timing, fuel-by-RPM and vacuum key cursors follow the engine.
//
// The poll keeps at most one ReadLive in the link queue: a tick that finds
// one still waiting is skipped, so a slow link never piles up requests. It
// also holds off while a sequence is queued or running (the model is busy),
// so that Read and Write to KYR run without live requests between them.
//
// "Fast poll" asks for the next record as soon as the last one is in, and
// has the link take each record the moment it is whole (with a limit for
// one that does not come); Timer1 then only starts the chain again after a
// pause. Every record is handed on (the logger keeps them all), but the
// charts follow at display rate: liveShown carries the newest record at
// most once a frame, and realtime tracking moves the cursors with it, so
// that the key edits the point the live bar shows.

#include "app/link/LinkWorker.h"
#include "live/LiveRecord.h"
#include "table/Layout.h"

#include <QObject>
#include <QTimer>

#include <optional>

namespace kyr::app {
class TuneModel;
}
namespace kyr::app::link {
class LinkWorker;
}

namespace kyr::app::live {

class LivePoll : public QObject {
    Q_OBJECT
public:
    static constexpr int IntervalMs = 20; ///< Timer1
    static constexpr int FrameMs = 33;    ///< the charts follow the engine at most this often

    /// Follows the model's link state; sends through link.
    LivePoll(TuneModel& model, link::LinkWorker& link, QObject* parent = nullptr);

    /// Timer1's interval; 0 switches the poll off for good (a window that
    /// must not talk to the unit unasked).
    void setInterval(int ms);

    /// Whether Timer1 runs ("Analog Signals" checked and a unit connected).
    bool running() const { return m_timer.isActive(); }
    /// A ReadLive is queued or running.
    bool pending() const { return m_pending; }
    /// The last record decoded since the poll started, if any.
    const std::optional<kyr::live::LiveValues>& latest() const { return m_latest; }
    /// Counts every record decoded: a logger tick knows whether it has news.
    quint64 records() const { return m_records; }

    /// "Analog Signals" (`AnalogEn`) was clicked: the poll follows it.
    void setAnalogEnabled(bool on);
    /// "Realtime Tracking" (`RT_Track`) was clicked.
    void setTracking(bool on);
    /// Whether "Realtime Tracking" is checked.
    bool tracking() const;
    /// "Fast poll" (`FastPoll`) was clicked.
    void setFastPoll(bool on);
    /// Whether "Fast poll" is checked.
    bool fastPoll() const;
    /// The shortest time between two liveShown (FrameMs by default).
    void setFrameInterval(int ms) { m_frame.setInterval(ms); }

    /// One tick of Timer1 (the timer calls it; tests may too).
    void tick();
    /// The end of a frame: the newest record not yet shown goes to the charts
    /// (the frame timer calls it; tests may too).
    void showFrame();

    /// A log is replayed: the live bars and tracking follow these values, not
    /// the poll's records, until endReplay(). The poll's records still reach
    /// liveUpdated (the monitor, the logger).
    void showReplay(const kyr::live::LiveValues& values);
    void endReplay();
    bool replaying() const { return m_replaying; }

signals:
    /// A LiveRecord arrived and decoded: every one of them.
    void liveUpdated(const kyr::live::LiveValues& values);
    /// The newest record, at most once a frame, for what draws.
    void liveShown(const kyr::live::LiveValues& values);
    /// A reply was missing or short: the displays drop the values they show.
    void liveMissed(const QString& why);
    /// Timer1 started (true) or stopped (false).
    void runningChanged(bool running);
    /// Where the map charts' live bars stand: the newest record, the replayed
    /// row of a log, or no values (the bars go).
    void operatingPoint(const kyr::live::LiveValues& values);
    /// With "Realtime Tracking": the key cursor of chart goes to x (the map
    /// edit session follows it), before operatingPoint.
    void trackingCursor(kyr::table::ChartId chart, double x);

private:
    void follow();
    void received(const std::vector<uint8_t>& reply);
    void show();
    bool wanted() const;
    void showPoint(const kyr::live::LiveValues& values);

    TuneModel& m_model;
    link::LinkWorker* m_link; // null once the link is gone
    QTimer m_timer;
    QTimer m_frame;     // runs for a frame after each liveShown
    bool m_unshown = false; // a record came in during the frame
    bool m_pending = false;
    link::Ticket m_ticket = 0; // the ReadLive this poll waits for
    std::optional<kyr::live::LiveValues> m_latest;
    quint64 m_records = 0;
    bool m_off = false;
    bool m_replaying = false;
};

} // namespace kyr::app::live
