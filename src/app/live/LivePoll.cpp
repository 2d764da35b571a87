// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/live/LivePoll.h"

#include "app/link/LinkWorker.h"
#include "app/common/TuneModel.h"
#include "live/LiveState.h"

namespace kyr::app::live {

LivePoll::LivePoll(TuneModel& model, link::LinkWorker& link, QObject* parent)
    : QObject(parent), m_model(model), m_link(&link)
{
    m_timer.setObjectName(QStringLiteral("Timer1"));
    m_timer.setInterval(IntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &LivePoll::tick);
    m_frame.setObjectName(QStringLiteral("LiveFrame"));
    m_frame.setSingleShot(true);
    m_frame.setInterval(FrameMs);
    connect(&m_frame, &QTimer::timeout, this, &LivePoll::showFrame);
    connect(&model, &TuneModel::stateChanged, this, &LivePoll::follow);
    connect(&model, &TuneModel::busyChanged, this, &LivePoll::follow);
    connect(&link, &link::LinkWorker::liveRead, this, [this](link::Ticket t, const kyr::link::Bytes& reply) {
        if (m_pending && t == m_ticket)
            received(reply);
    });
    // The window ends its link before its model: no tick may reach it after.
    connect(&link, &QObject::destroyed, this, [this] {
        m_link = nullptr;
        m_timer.stop();
    });
    follow();
}

void LivePoll::setInterval(int ms)
{
    m_off = ms <= 0;
    if (!m_off)
        m_timer.setInterval(ms);
    follow();
}

bool LivePoll::wanted() const
{
    const session::TuneState& s = m_model.state();
    // A lost link gets no requests: nothing is sent into a device that is gone.
    return !m_off && m_link && s.flags.UnitConnected && s.live.analogSignals && !m_model.busy() &&
           !s.link.lost && !s.link.choosing;
}

// Timer1 runs only while it has something to do; a sequence stops it and
// its end starts it again.
void LivePoll::follow()
{
    const bool want = wanted();
    if (want == m_timer.isActive())
        return;
    if (want) {
        m_timer.start();
    } else {
        m_timer.stop();
        m_frame.stop();
        m_unshown = false;
        m_latest.reset();
        if (!m_replaying)
            emit operatingPoint({});
    }
    emit runningChanged(want);
    if (want && fastPoll())
        tick();
}

void LivePoll::setAnalogEnabled(bool on)
{
    m_model.setAnalogSignals(on);
}

void LivePoll::setTracking(bool on)
{
    m_model.setRealtimeTracking(on);
}

bool LivePoll::tracking() const { return m_model.state().live.realtimeTracking; }

void LivePoll::setFastPoll(bool on)
{
    m_model.setFastPoll(on);
    // The chain starts at once rather than at the next tick.
    if (on && running())
        tick();
}

bool LivePoll::fastPoll() const { return m_model.state().live.fastPoll; }

void LivePoll::tick()
{
    if (m_pending || !wanted())
        return;
    m_pending = true;
    m_ticket = m_link->readLive(fastPoll() ? session::LivePace::Fast : session::LivePace::Normal);
}

void LivePoll::received(const std::vector<uint8_t>& reply)
{
    m_pending = false;
    // The fast poll asks again before anything else is done with this record.
    if (fastPoll() && m_timer.isActive())
        tick();
    auto decoded = kyr::live::decodeLive(reply);
    if (!decoded.ok()) {
        // Old values must not pass for the engine's present state.
        m_latest.reset();
        m_unshown = false;
        emit liveMissed(QString::fromStdString(decoded.error().message));
        if (!m_replaying)
            emit operatingPoint({});
        return;
    }
    // A reply that was on its way when the poll stopped is not shown.
    if (!m_timer.isActive())
        return;
    m_latest = decoded.value();
    ++m_records;
    emit liveUpdated(*m_latest);
    // The first record of a frame is shown at once, the newest of the rest when it ends.
    if (m_frame.isActive())
        m_unshown = true;
    else
        show();
}

void LivePoll::showFrame()
{
    if (m_unshown && m_latest)
        show();
}

void LivePoll::show()
{
    m_unshown = false;
    if (!m_latest) // the poll stopped while the record was handed on
        return;
    m_frame.start();
    // While a log is replayed its cursor owns the bars and the key cursors.
    if (!m_replaying)
        showPoint(*m_latest);
    emit liveShown(*m_latest);
}

// The bars stand at the point, and with "Realtime Tracking" the key cursors go there.
void LivePoll::showPoint(const kyr::live::LiveValues& values)
{
    if (tracking() && m_link) {
        for (table::ChartId chart : kyr::live::trackedCharts())
            if (auto x = kyr::live::trackingCursorX(chart, values))
                emit trackingCursor(chart, *x);
    }
    emit operatingPoint(values);
}

void LivePoll::showReplay(const kyr::live::LiveValues& values)
{
    m_replaying = true;
    showPoint(values);
}

// The bars go back to the engine: its newest record, or none.
void LivePoll::endReplay()
{
    if (!m_replaying)
        return;
    m_replaying = false;
    emit operatingPoint(m_latest.value_or(kyr::live::LiveValues{}));
}

} // namespace kyr::app::live
