// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The link thread. One QThread owns the serial component EFI and the tune
// session; the window thread asks for one typed request at a time (search,
// connect, read, write, send, read live...) and hears of each through a
// signal of its own, so no window code can reach the port from its thread.
//
// Requests run in the order they were asked for, with one exception: a
// single send goes ahead of the real-time poll's ReadLives still waiting in
// the queue, so that an edit waits at most for the exchange on the line. A
// ReadLive is handed to the link thread only when nothing else runs there.
// A request that changes the tune takes a copy of the window's TuneState
// when its turn comes (so it sees what every earlier request left), and the
// state it leaves is applied to the TuneModel before its signal is emitted.
// Every request returns a ticket that its signal carries, so that the one
// who asked can tell its own answer.

#include "app/common/TuneModel.h"
#include "files/MapFile.h"
#include "link/TQCCom32.h"
#include "session/Backups.h"
#include "session/LinkKeeper.h"
#include "session/TuneSession.h"

#include <QObject>
#include <QString>
#include <QThread>

#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>

namespace kyr::app::link {

/// How the link reaches the unit; the defaults are the program's.
struct LinkSetup {
    kyr::link::DeviceFactory factory = kyr::link::systemDeviceFactory(); ///< makes the device of each Open
    kyr::link::Clock* clock = &kyr::link::systemClock();                ///< times the pauses
    kyr::link::PortEnv env = kyr::link::PortEnv::system();              ///< resolves "COMn" to a device
    std::filesystem::path backupRoot = session::defaultBackupRoot(); ///< empty: no backups
};

/// A ticket: which request a signal answers.
using Ticket = quint64;

/// What a request gives back to the window thread (internal to the worker).
struct LinkReply {
    session::TuneState state;       ///< a tune request: the state as it left it
    session::SessionResult result;  ///< a tune request: what it did
    std::optional<Result<table::ImageBytes>> saved; ///< Save From KYR: the unit's table
    kyr::link::Bytes reply;              ///< ReadLive: what arrived
    bool sent = false;              ///< a single send: every byte went out, or it waits in the journal
    session::ProbeOutcome probe = session::ProbeOutcome::NoAnswer; ///< a probe of the lost unit's port
    session::RejoinResult rejoin;   ///< rejoining the unit
    std::optional<std::string> lostAt; ///< the link was lost during this request, at this time
    std::size_t journaled = 0;      ///< edits waiting in the journal afterwards
};

/// The object that lives on the link thread. Only LinkWorker talks to it.
class LinkExecutor : public QObject, private session::SessionObserver {
    Q_OBJECT
public:
    struct Context {
        kyr::link::TQCCom32& efi;
        session::TuneSession& session;
        kyr::link::Clock& clock;
        session::LinkKeeper& keeper;
    };
    using Job = std::function<void(Context&, LinkReply&)>;

    /// EFI: Baud 19200, ShowErrors false, Port 1.
    explicit LinkExecutor(LinkSetup setup);
    ~LinkExecutor() override;

    /// Runs one request (on the link thread) and emits finished.
    void execute(Ticket id, const Job& job, LinkReply start);

signals:
    /// A status text, the moment a use case shows it.
    void statusShown(const QString& text);
    void finished(kyr::app::link::Ticket id, const kyr::app::link::LinkReply& reply);

private:
    void status(const std::string& text) override;

    kyr::link::Clock& m_clock;
    kyr::link::TQCCom32 m_efi;
    std::optional<session::BackupStore> m_backups;
    session::TuneSession m_session;
    session::LinkKeeper m_keeper;
};

class LinkWorker : public QObject {
    Q_OBJECT
public:
    /// Starts the link thread. The model must outlive the worker.
    explicit LinkWorker(TuneModel& model, LinkSetup setup = {}, QObject* parent = nullptr);
    /// Lets the running request finish, drops the rest and stops the thread.
    ~LinkWorker() override;

    // ---- requests that change the tune; each ends with its signal
    Ticket searchPorts();                        ///< portsSearched
    Ticket refreshPorts();                       ///< portsSearched
    Ticket choosePort(session::PortAddress port);///< portChosen
    Ticket connectUnit(session::ConnectPace pace = session::ConnectPace::UnitPauses); ///< connected
    Ticket readTable();                          ///< tableRead
    /// Encodes the setup copy and the maps when its turn comes, so it carries
    /// every edit asked for before it.
    Ticket writeTable();                         ///< tableWritten
    Ticket openFile(files::MapFile file, std::filesystem::path path); ///< fileOpened
    Ticket openFileFailed();                     ///< fileOpened (with nothing decoded)
    Ticket closeAll();                           ///< closedAll
    Ticket readForSave();                        ///< readForSaveDone
    Ticket closePort();                          ///< portClosed
    /// Closes the unit's port and leaves the tune shown.
    Ticket disconnectUnit();                     ///< disconnected

    // ---- a lost link
    /// Opens the lost unit's port afresh and asks who answers.
    Ticket probeUnit();                          ///< unitProbed
    /// After the same unit answered: compares its table with the tune shown
    /// (encoded when its turn comes) and sends the journal or leaves the choice.
    Ticket rejoin();                             ///< rejoined
    /// Sends the edits an earlier run left unsent (true) or drops them (false).
    Ticket settleLeftovers(bool send);           ///< leftoversSettled

    // ---- single commands
    /// WriteByte, WritePoint, calibration: dropped, with sent(false), while no
    /// unit is connected; kept in the journal while its link is lost.
    Ticket send(kyr::link::Bytes bytes);              ///< sent
    /// The real-time poll's ReadLive: with its 20 ms pause, or (fast) taken
    /// as soon as the whole record is in.
    Ticket readLive(session::LivePace pace = session::LivePace::Normal); ///< liveRead

    /// Nothing queued or running.
    bool idle() const { return m_queue.empty() && m_inFlight == 0; }
    /// Requests queued or running.
    int pending() const { return static_cast<int>(m_queue.size()) + m_inFlight; }

signals:
    void portsSearched(kyr::app::link::Ticket t, const kyr::session::SessionResult& result);
    void portChosen(kyr::app::link::Ticket t, const kyr::session::SessionResult& result);
    void connected(kyr::app::link::Ticket t, const kyr::session::SessionResult& result);
    void tableRead(kyr::app::link::Ticket t, const kyr::session::SessionResult& result);
    void tableWritten(kyr::app::link::Ticket t, const kyr::session::SessionResult& result);
    void fileOpened(kyr::app::link::Ticket t, const kyr::session::SessionResult& result);
    void closedAll(kyr::app::link::Ticket t, const kyr::session::SessionResult& result);
    void readForSaveDone(kyr::app::link::Ticket t, const kyr::Result<kyr::table::ImageBytes>& table);
    void portClosed(kyr::app::link::Ticket t);
    void disconnected(kyr::app::link::Ticket t, const kyr::session::SessionResult& result);
    void unitProbed(kyr::app::link::Ticket t, kyr::session::ProbeOutcome outcome);
    void rejoined(kyr::app::link::Ticket t, const kyr::session::RejoinResult& result);
    void leftoversSettled(kyr::app::link::Ticket t, const kyr::session::SessionResult& result);
    /// The link to the connected unit was lost (the state says so already).
    void linkLost();
    void sent(kyr::app::link::Ticket t, bool ok);
    void liveRead(kyr::app::link::Ticket t, const kyr::link::Bytes& reply);

    /// A status text, in the order the use cases show them.
    void status(const QString& text);
    /// A request that shows the busy indicator started (true) or ended (false).
    void progressChanged(bool on);
    /// The queue ran empty.
    void drained();

private:
    using Job = LinkExecutor::Job;
    using Prepare = std::function<Job()>;
    using Deliver = std::function<void(Ticket, const LinkReply&)>;

    struct Request {
        bool tune = false;      // carries the state
        bool sendOnly = false;  // dropped while no unit is connected
        bool progress = false;  // shows the busy indicator
        bool live = false;      // a ReadLive: sends overtake it while it waits
        Prepare prepare;
        Deliver deliver;
        Ticket id = 0;
    };

    /// A request that changes the tune; its result goes to signal.
    Ticket tuneRequest(std::function<session::SessionResult(session::TuneSession&, session::TuneState&)> run,
                       void (LinkWorker::*signal)(Ticket, const session::SessionResult&), session::Activity activity,
                       bool progress = true);
    void followLink(const Request& r, const LinkReply& reply);
    Ticket enqueue(Request r);
    void pump();
    void dispatch(Request r);
    void onFinished(Ticket id, const LinkReply& reply);
    void updateBusy();

    TuneModel& m_model;
    QThread m_thread;
    LinkExecutor* m_executor; // deleted on the link thread when it ends
    std::deque<Request> m_queue;
    std::map<Ticket, Request> m_running;
    Ticket m_nextId = 1;
    int m_inFlight = 0;
    int m_tuneInFlight = 0;
    int m_progressInFlight = 0;
    bool m_pumping = false;
};

} // namespace kyr::app::link
