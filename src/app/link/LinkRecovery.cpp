// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/link/LinkRecovery.h"

#include "app/common/MessageSink.h"
#include "app/common/TuneModel.h"
#include "session/WriteRules.h"

namespace kyr::app::link {

namespace {

const QString kTitle = QStringLiteral("KYR link");

} // namespace

LinkRecovery::LinkRecovery(TuneModel& model, LinkWorker& link, MessageSink& messages, int retryMs, QObject* parent)
    : QObject(parent), m_model(model), m_link(link), m_messages(messages)
{
    m_timer.setObjectName(QStringLiteral("ReconnectTimer"));
    m_timer.setInterval(retryMs);
    connect(&m_timer, &QTimer::timeout, this, &LinkRecovery::tick);
    connect(&model, &TuneModel::stateChanged, this, &LinkRecovery::follow);
    connect(&link, &LinkWorker::unitProbed, this, &LinkRecovery::probed);
    connect(&link, &LinkWorker::rejoined, this, &LinkRecovery::rejoined);
    connect(&link, &LinkWorker::connected, this,
            [this](Ticket, const session::SessionResult& r) { offerLeftovers(r); });
    // A write on the user's word that found no unit: ask again.
    connect(&link, &LinkWorker::tableWritten, this, [this](Ticket, const session::SessionResult&) {
        if (m_model.state().link.powerCycle)
            m_powerCycleAsked = false;
    });
    follow();
}

void LinkRecovery::follow()
{
    const bool lost = m_model.state().link.lost;
    if (lost == m_timer.isActive())
        return;
    if (lost) {
        m_otherSaid = false;
        m_powerCycleAsked = false;
        m_timer.start();
    } else {
        m_timer.stop();
    }
}

// One attempt at a time: a probe or rejoin still on its way skips the tick.
void LinkRecovery::tick()
{
    if (m_probe || m_rejoin || !m_model.state().link.lost)
        return;
    if (m_model.state().link.powerCycle) {
        askPowerCycle();
        return;
    }
    m_probe = m_link.probeUnit();
}

// A unit that got only part of an image takes whatever comes next for the
// rest of it: only the user can say that it no longer waits.
void LinkRecovery::askPowerCycle()
{
    if (m_powerCycleAsked || !m_link.idle())
        return;
    m_powerCycleAsked = true;
    const QString text = QStringLiteral(
        "The table write was cut off part-way. The KYR may still be waiting for the rest of the table and "
        "would store whatever is sent to it next, so nothing is sent to it now.\n\n"
        "Switch the KYR off and on. Then the whole table is written again and read back.\n"
        "(Write to KYR does the same later.)");
    const QStringList choices{QStringLiteral("It was switched off and on: write the table"),
                              QStringLiteral("Not yet")};
    if (m_messages.choose(kTitle, text, choices, NotYet) == SwitchedOffAndOn)
        m_link.writeTable();
}

void LinkRecovery::probed(Ticket t, session::ProbeOutcome outcome)
{
    if (t != m_probe)
        return;
    m_probe = 0;
    if (outcome == session::ProbeOutcome::SameUnit) {
        m_rejoin = m_link.rejoin();
    } else if (outcome == session::ProbeOutcome::OtherUnit && !m_otherSaid) {
        // Said once per loss; the tune is never sent to another unit.
        m_otherSaid = true;
        m_model.showStatus("Another KYR answers on " + m_model.state().port.label() + ": not joined");
    }
}

void LinkRecovery::rejoined(Ticket t, const session::RejoinResult& result)
{
    if (t != m_rejoin)
        return;
    m_rejoin = 0;
    using O = session::RejoinOutcome;
    if (result.outcome == O::StillLost || result.outcome == O::OtherUnit)
        return;
    emit restored(result);
    if (result.outcome == O::Diverged)
        askWhichTable(result);
}

// Neither side is overwritten without the user's answer. "Decide later"
// leaves Write to KYR (the program's tune) and Read from KYR (the unit's
// table) to choose with.
void LinkRecovery::askWhichTable(const session::RejoinResult& result)
{
    const session::TuneState& s = m_model.state();
    QString text = QStringLiteral("The link to the KYR is back, but the KYR holds other values than the "
                                  "program at offset%1 %2.")
                       .arg(result.differences.size() > 1 ? QStringLiteral("s") : QString(),
                            QString::fromStdString(session::offsetList(result.differences)));
    if (s.link.writeCut)
        text += QStringLiteral("\nA table write was cut off when the link was lost: the KYR may hold a partial table.");
    else
        text += QStringLiteral("\nIt was changed or reset while the link was down.");
    if (s.link.journaled > 0)
        text += QStringLiteral("\n%1 edit(s) made meanwhile are kept in the program's tune.").arg(s.link.journaled);
    text += QStringLiteral("\n\nWhich table do you want to keep?");
    const QStringList choices{QStringLiteral("Write the program's tune to the KYR"),
                              QStringLiteral("Take the KYR's table"), QStringLiteral("Decide later")};
    switch (m_messages.choose(kTitle, text, choices, Later)) {
    case KeepProgram: m_link.writeTable(); break;
    case KeepUnit: m_link.readTable(); break;
    default: break;
    }
}

// Edits a crash (or an Exit while the link was down) left unsent.
void LinkRecovery::offerLeftovers(const session::SessionResult& result)
{
    if (result.unsentEdits == 0)
        return;
    const QString text =
        QStringLiteral("%1 edit(s) made while the link to this KYR was down were not sent before the program "
                       "ended.\n\nSend them to the KYR now?")
            .arg(result.unsentEdits);
    const QStringList choices{QStringLiteral("Send them"), QStringLiteral("Drop them"),
                              QStringLiteral("Decide later")};
    const int answer = m_messages.choose(kTitle, text, choices, 2);
    if (answer == 0 || answer == 1)
        m_link.settleLeftovers(answer == 0);
}

} // namespace kyr::app::link
