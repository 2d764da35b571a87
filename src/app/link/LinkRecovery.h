// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Brings a lost link back. While the state says the link is lost, a timer
// probes the unit's COM name about once a second (the name is resolved afresh
// each time; a port that does not open costs nothing on the line). When the
// same unit answers, its table is compared with the tune shown: the journal is
// sent again, or the user is asked which table to keep. Edits an earlier run
// could not send are offered after Connect. After a table write cut off
// part-way nothing is probed: the user is asked to switch the unit off and on,
// and on that word the whole table is written again.

#include "app/link/LinkWorker.h"

#include <QObject>
#include <QTimer>

namespace kyr::app {
class MessageSink;
class TuneModel;
}

namespace kyr::app::link {

class LinkRecovery : public QObject {
    Q_OBJECT
public:
    static constexpr int RetryMs = 1000;

    LinkRecovery(TuneModel& model, LinkWorker& link, MessageSink& messages, int retryMs = RetryMs,
                 QObject* parent = nullptr);

    /// Whether the retry timer runs (the link is lost).
    bool retrying() const { return m_timer.isActive(); }
    /// The timer that paces the attempts (one a tick).
    QTimer& retryTimer() { return m_timer; }

    /// The answers of the choice after a return to a changed table.
    enum Choice { KeepProgram = 0, KeepUnit = 1, Later = 2 };
    /// The answers after a table write cut off part-way.
    enum PowerCycleChoice { SwitchedOffAndOn = 0, NotYet = 1 };

signals:
    /// The link is back (live again, or waiting for the user's choice).
    void restored(const kyr::session::RejoinResult& result);

private:
    void follow();
    void tick();
    void probed(Ticket t, session::ProbeOutcome outcome);
    void rejoined(Ticket t, const session::RejoinResult& result);
    void askWhichTable(const session::RejoinResult& result);
    void askPowerCycle();
    void offerLeftovers(const session::SessionResult& result);

    TuneModel& m_model;
    LinkWorker& m_link;
    MessageSink& m_messages;
    QTimer m_timer;
    Ticket m_probe = 0;  // the probe in flight
    Ticket m_rejoin = 0; // the rejoin in flight
    bool m_otherSaid = false; // "another KYR answers" was shown for this loss
    bool m_powerCycleAsked = false; // the user was asked to switch the unit off and on
};

} // namespace kyr::app::link
