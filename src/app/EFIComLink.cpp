// The main window's link handlers: the port search, the port chooser,
// Connect, Refresh Com Port, Read, Write, Exit and the setup-changed prompt.

#include "app/EFICom.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTabWidget>

namespace kyr::app {

namespace {

constexpr int GearboxPage = 5;

QString typeNameOf(int code)
{
    if (auto t = table::unitType(code))
        return QString::fromUtf8(t->name.data(), static_cast<int>(t->name.size()));
    return QStringLiteral("type %1").arg(code);
}

} // namespace

void EFICom::FormShow()
{
    if (QScreen* screen = this->screen())
        move(x(), screen->availableGeometry().top());
    m_link->postSequence(
        [](LinkContext& c, LinkReply& r) { r.outcome = c.sequences.portSearch(r.state); },
        [this](const LinkReply& r) {
            m_pageControl->setCurrentIndex(r.state.unit.typeName == "Gearbox" ? GearboxPage : 0);
        },
        {.progress = true});
}

void EFICom::ComboBox1Change(const QString& text)
{
    if (text.isEmpty())
        return;
    m_link->postSequence(
        [combo = text.toStdString()](LinkContext& c, LinkReply& r) {
            r.outcome = c.sequences.selectPort(r.state, combo);
            // A port that will not open says why where the statuses go.
            if (r.outcome.error && r.outcome.statuses.empty())
                r.state.panel[0] = r.outcome.error->message;
        });
}

void EFICom::spConnectClick()
{
    m_link->postSequence(
        [](LinkContext& c, LinkReply& r) { r.outcome = c.sequences.connect(r.state); },
        [this](const LinkReply& r) {
            // A port that would not open says why ("permission denied on /dev/ttyUSB0: ...").
            const auto& e = r.outcome.error;
            if (e && (e->kind == ErrorKind::PermissionDenied || e->kind == ErrorKind::PortUnavailable ||
                      e->kind == ErrorKind::OsError))
                m_messages->warning(QStringLiteral("Connect"), QString::fromStdString(e->message));
        },
        {.progress = true});
}

void EFICom::spRetryClick()
{
    m_link->postSequence([](LinkContext& c, LinkReply& r) { r.outcome = c.sequences.refreshComPort(r.state); },
                         {}, {.progress = true});
}

void EFICom::spReadClick()
{
    m_link->postSequence([](LinkContext& c, LinkReply& r) { r.outcome = c.sequences.tableRead(r.state); }, {},
                         {.progress = true});
}

void EFICom::spWriteClick() { writeImage({}); }

// A file made for another unit type would put its maps where the unit keeps
// others: the user confirms such a write.
bool EFICom::confirmTypeMismatch()
{
    const link::SessionState& s = m_model.state();
    if (s.fileTypeCode == 0 || s.unitTypeCode == 0 || s.fileTypeCode == s.unitTypeCode)
        return true;
    const QString text = QStringLiteral("This file was made for a %1 unit, but the connected KYR is a %2 unit.\n"
                                        "Write it to the KYR anyway?")
                             .arg(typeNameOf(s.fileTypeCode), typeNameOf(s.unitTypeCode));
    return m_messages->question(QStringLiteral("Write to KYR"), text) == Answer::Yes;
}

// Write to KYR: the image is encoded from the setup copy and the map arrays
// when the write's turn comes, so it carries every edit made before it.
void EFICom::writeImage(std::function<void(WriteResult)> then)
{
    if (!m_model.state().sendsAllowed()) {
        m_model.mutableState().panel[0] = "KYR not connected";
        m_model.stateEdited();
        if (then)
            then(WriteResult::Failed);
        return;
    }
    if (!confirmTypeMismatch()) {
        if (then)
            then(WriteResult::Declined);
        return;
    }
    m_link->postPrepared(
        [this]() -> LinkWorker::Job {
            const table::EncodedImage image = table::encode(m_model.state().setup, m_model.maps());
            return [image](LinkContext& c, LinkReply& r) {
                // The unit may have gone since the click; no unit, no sends.
                if (!r.state.sendsAllowed())
                    r.outcome.error = makeError(ErrorKind::NoUnit, "KYR not connected");
                else
                    r.outcome = c.sequences.tableWrite(r.state, image);
            };
        },
        [this, then](const LinkReply& r) {
            if (r.outcome.mapsRedrawn)
                m_model.mapsEdited();
            if (then)
                then(r.outcome.error ? WriteResult::Failed : WriteResult::Written);
        },
        {.progress = true});
}

void EFICom::spExitClick()
{
    if (m_exiting)
        return;
    if (m_model.state().flags.ImageChanged)
        askSetupChanged(PendingAction::Exit);
    else
        finishExit();
}

void EFICom::askSetupChanged(PendingAction action)
{
    m_pending = action;
    m_setupChanged->show();
}

// Yes connects (unless a unit is connected) and writes the image, then goes
// on with Exit or Close all; a write that did not happen stops there, so
// that the changed setup is not lost without the user knowing. No goes on
// without writing; Cancel stays.
void EFICom::setupChangedAnswered(SetupChangedDialog::Choice choice)
{
    const PendingAction action = std::exchange(m_pending, PendingAction::None);
    if (choice == SetupChangedDialog::Cancel || action == PendingAction::None)
        return;
    if (choice == SetupChangedDialog::No) {
        carryOut(action);
        return;
    }
    auto afterWrite = [this, action](WriteResult result) {
        if (result == WriteResult::Written) {
            carryOut(action);
        } else if (result == WriteResult::Failed) {
            m_messages->warning(QStringLiteral("Write to KYR"),
                                QStringLiteral("The new setup was not written to the KYR: %1")
                                    .arg(QString::fromStdString(m_model.state().panel[0])));
        }
    };
    if (m_model.state().flags.UnitConnected) {
        writeImage(afterWrite);
        return;
    }
    m_link->postSequence([](LinkContext& c, LinkReply& r) { r.outcome = c.sequences.connect(r.state); },
                         [this, afterWrite](const LinkReply&) { writeImage(afterWrite); }, {.progress = true});
}

void EFICom::carryOut(PendingAction action)
{
    if (action == PendingAction::Exit)
        finishExit();
    else if (action == PendingAction::CloseAll)
        closeAll();
}

// Exit: the port is closed on the link thread after everything posted
// before it, then the window closes (and with it the program).
void EFICom::finishExit()
{
    m_exiting = true;
    for (QDialog* d : m_dialogs)
        d->hide();
    m_link->postSequence([](LinkContext& c, LinkReply& r) { c.sequences.exit(r.state); },
                         [this](const LinkReply&) {
                             m_exitDone = true;
                             emit exitFinished();
                             close();
                         });
}

} // namespace kyr::app
