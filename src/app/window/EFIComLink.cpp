// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's link handlers: the port search, the port chooser,
// Connect, Refresh Com Port, Read, Write, Exit and the setup-changed prompt.

#include "app/window/EFICom.h"

#include "app/window/WriteCheck.h"
#include "session/WriteRules.h"
#include "table/Codec.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QTabWidget>

namespace kyr::app::window {

namespace {

constexpr int GearboxPage = 5;

} // namespace

void EFICom::FormShow()
{
    if (QScreen* screen = this->screen())
        move(x(), screen->availableGeometry().top());
    // The page follows the first search only, not a later Refresh.
    onAnswer(&link::LinkWorker::portsSearched, m_link->searchPorts(), [this](const session::SessionResult&) {
        m_pageControl->setCurrentIndex(m_model.state().unit.typeName == "Gearbox" ? GearboxPage : 0);
    });
}

void EFICom::ComboBox1Change(const QString& text)
{
    if (text.isEmpty())
        return;
    const session::PortAddress port = session::portFromChooserText(text.toStdString());
    if (port.empty()) {
        m_model.showStatus("\"" + text.toStdString() + "\" is not a port name");
        return;
    }
    m_link->choosePort(port);
}

// "Quick connect" in the button's menu takes each reply as soon as it is
// whole; off (the default), Connect keeps the unit's fixed pauses.
void EFICom::spConnectClick() { m_link->connectUnit(connectPace()); }

session::ConnectPace EFICom::connectPace()
{
    return QSettings().value(QStringLiteral("Link/QuickConnect"), false).toBool() ? session::ConnectPace::Quick
                                                                                 : session::ConnectPace::UnitPauses;
}

void EFICom::connectFinished(link::Ticket t, const session::SessionResult& result)
{
    // A port that would not open says why ("permission denied on /dev/ttyUSB0: ...").
    if (result.error && isPortFault(result.error->kind))
        m_messages->warning(QStringLiteral("Connect"), QString::fromStdString(result.error->message));
    if (auto it = m_afterConnect.find(t); it != m_afterConnect.end()) {
        auto then = std::move(it->second);
        m_afterConnect.erase(it);
        then();
    }
}

// Disconnect: a tune the unit does not keep yet (a setup change, map points
// tuned live) is offered for writing first, as on Exit; the tune stays in
// view either way.
void EFICom::spDisconnectClick()
{
    if (differsFromUnit())
        askSetupChanged(PendingAction::Disconnect);
    else
        disconnectUnit();
}

void EFICom::disconnectUnit()
{
    m_link->disconnectUnit();
}

void EFICom::spRetryClick() { m_link->refreshPorts(); }

void EFICom::spReadClick() { m_link->readTable(); }

void EFICom::spWriteClick() { writeImage({}); }

// What would be written is looked over first: not connected or a stored 0
// stop it; a file made for another unit type, and likely slips (a point far
// off its neighbours, timing above the tuner's limit, a setting pushed to an
// end of its range) are the tuner's to accept.
bool EFICom::confirmWrite(const session::WritePlan& plan)
{
    if (!plan.storedZeros.empty())
        return WriteCheck::allowsStoredBytes(*m_messages, plan.image.plusOne);
    if (plan.refusal) {
        m_model.showStatus(plan.refusal->message);
        return false;
    }
    if (plan.mismatch) {
        const QString text =
            QString::fromStdString(plan.mismatch->text()) + QStringLiteral("\nWrite it to the KYR anyway?");
        if (m_messages->question(QStringLiteral("Write to KYR"), text) != Answer::Yes)
            return false;
    }
    return WriteCheck::confirm(*m_messages, plan.slips);
}

// Write to KYR: the image is encoded from the setup copy and the map arrays
// when the write's turn comes, so it carries every edit made before it.
void EFICom::writeImage(std::function<void(WriteResult)> then)
{
    const WriteCheck check = WriteCheck::load();
    session::WriteLook look;
    look.slips = check.enabled && m_model.mapsShown();
    look.timingLimit = check.timingLimit;
    const session::WritePlan plan = session::prepareWrite(m_model.state(), m_model.maps(), look);
    if (!confirmWrite(plan)) {
        if (then)
            then(plan.refusal && plan.storedZeros.empty() ? WriteResult::Failed : WriteResult::Declined);
        return;
    }
    const link::Ticket t = m_link->writeTable();
    if (then)
        m_afterWrite[t] = std::move(then);
}

// A write the unit does not hold whole is never passed off as done: the user
// is told which offsets differ.
void EFICom::tableWritten(link::Ticket t, const session::SessionResult& result)
{
    if (result.mapsRedrawn)
        m_model.mapsEdited();
    if (result.error && result.error->kind == ErrorKind::VerifyMismatch)
        m_messages->warning(QStringLiteral("Write to KYR"),
                            QString::fromStdString(m_model.state().status.message));
    auto it = m_afterWrite.find(t);
    if (it == m_afterWrite.end())
        return;
    auto then = std::move(it->second);
    m_afterWrite.erase(it);
    then(result.error ? WriteResult::Failed : WriteResult::Written);
}

void EFICom::spExitClick()
{
    if (m_exiting)
        return;
    if (differsFromUnit())
        askSetupChanged(PendingAction::Exit);
    else
        finishExit();
}

void EFICom::askSetupChanged(PendingAction action)
{
    m_pending = action;
    m_setupChanged->setMapsOnly(!m_model.state().flags.ImageChanged);
    m_setupChanged->show();
}

// Yes connects (unless a unit is connected) and writes the image, then goes
// on with Exit or Close all; a write that did not happen stops there, so
// that the changed setup is not lost without the user knowing. No goes on
// without writing; Cancel stays.
void EFICom::setupChangedAnswered(dialogs::SetupChangedDialog::Choice choice)
{
    const PendingAction action = std::exchange(m_pending, PendingAction::None);
    if (choice == dialogs::SetupChangedDialog::Cancel || action == PendingAction::None)
        return;
    if (choice == dialogs::SetupChangedDialog::No) {
        carryOut(action);
        return;
    }
    auto afterWrite = [this, action](WriteResult result) {
        if (result == WriteResult::Written) {
            carryOut(action);
        } else if (result == WriteResult::Failed) {
            m_messages->warning(QStringLiteral("Write to KYR"),
                                QStringLiteral("The new setup was not written to the KYR: %1")
                                    .arg(QString::fromStdString(m_model.state().status.message)));
        }
    };
    if (m_model.state().flags.UnitConnected) {
        writeImage(afterWrite);
        return;
    }
    m_afterConnect[m_link->connectUnit(connectPace())] = [this, afterWrite] { writeImage(afterWrite); };
}

void EFICom::carryOut(PendingAction action)
{
    if (action == PendingAction::Exit)
        finishExit();
    else if (action == PendingAction::CloseAll)
        closeAll();
    else if (action == PendingAction::Disconnect)
        disconnectUnit();
}

// Exit: the port is closed on the link thread after everything asked for
// before it, then the window closes (and with it the program).
void EFICom::finishExit()
{
    m_exiting = true;
    for (QDialog* d : m_dialogs)
        d->hide();
    onAnswer(&link::LinkWorker::portClosed, m_link->closePort(), [this] {
        m_exitDone = true;
        emit exitFinished();
        close();
    });
}

} // namespace kyr::app::window
