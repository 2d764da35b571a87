#pragma once
// The link thread. One QThread owns the serial component EFI and the link
// sequences; the window thread hands it requests and takes the results back
// through queued signals, so the window keeps repainting and taking input
// while a command waits out its pause.
//
// Every request (a sequence, a single send, a ReadLive transaction) goes
// through one queue and runs strictly in the order it was posted. A
// sequence takes a copy of the window's SessionState when its turn comes
// (so it sees what every earlier request left) and its resulting state is
// applied to the TuneModel before its done callback runs.

#include "app/TuneModel.h"
#include "link/Sequences.h"
#include "link/TQCCom32.h"

#include <QObject>
#include <QString>
#include <QThread>

#include <deque>
#include <functional>
#include <map>
#include <optional>

namespace kyr::app {

/// How the link reaches the unit; the defaults are the program's.
struct LinkSetup {
    link::DeviceFactory factory = link::posixDeviceFactory(); ///< makes the device of each Open
    link::Clock* clock = &link::systemClock();                ///< times the pauses
    link::PortEnv env = link::PortEnv::system();              ///< resolves "COMn" to a device
};

/// How a sequence shows itself while it runs.
struct LinkOptions {
    bool progress = false; ///< show the busy indicator
};

/// What a request has at hand on the link thread.
struct LinkContext {
    link::TQCCom32& efi;
    link::LinkSequences& sequences;
    link::Clock& clock;
};

/// What a request gives back to the window thread.
struct LinkReply {
    link::SessionState state;  ///< a sequence: the state as it left it
    link::Outcome outcome;     ///< a sequence: what it did
    std::optional<Result<table::ImageBytes>> saved; ///< Save From KYR: the unit's table
    link::Bytes reply;         ///< a transaction: what arrived
    bool sent = false;         ///< a single send: every byte went out
};

/// The object that lives on the link thread. Only LinkWorker talks to it.
class LinkExecutor : public QObject, private link::SequenceObserver {
    Q_OBJECT
public:
    using Job = std::function<void(LinkContext&, LinkReply&)>;

    /// EFI: Baud 19200, ShowErrors false, Port 1.
    explicit LinkExecutor(LinkSetup setup);
    ~LinkExecutor() override;

    /// Runs one request (on the link thread) and emits finished.
    void execute(quint64 id, const Job& job, LinkReply start);

signals:
    /// A status text, the moment a sequence shows it.
    void statusShown(const QString& text);
    void finished(quint64 id, const kyr::app::LinkReply& reply);

private:
    void status(const std::string& text) override;

    link::Clock& m_clock;
    link::TQCCom32 m_efi;
    link::LinkSequences m_sequences;
};

class LinkWorker : public QObject {
    Q_OBJECT
public:
    /// Work on the link thread; reply.state holds the window's state when it starts.
    using Job = LinkExecutor::Job;
    /// Runs on the window thread when the request's turn comes and returns its job
    /// (for requests that must see what earlier ones left, such as Write encoding the image).
    using Prepare = std::function<Job()>;
    /// Runs on the window thread with the result, after the state was applied.
    using Done = std::function<void(const LinkReply&)>;

    using Options = LinkOptions;

    /// Starts the link thread. The model must outlive the worker.
    explicit LinkWorker(TuneModel& model, LinkSetup setup = {}, QObject* parent = nullptr);
    /// Lets the running request finish, drops the rest and stops the thread.
    ~LinkWorker() override;

    /// A sequence: job gets a copy of the model's state when its turn comes;
    /// the state it leaves is applied to the model.
    void postSequence(Job job, Done done = {}, Options options = {});
    /// A sequence whose job is built on the window thread when its turn comes.
    void postPrepared(Prepare prepare, Done done = {}, Options options = {});
    /// A single send (WriteByte, WritePoint, calibration): dropped, with done(false),
    /// while no unit is connected.
    void postSend(link::Bytes bytes, std::function<void(bool sent)> done = {});
    /// A command with a reply: purge, send, pause, take what arrived.
    void postTransaction(link::Bytes command, int pauseMs, std::function<void(const link::Bytes&)> done);
    /// The real-time poll's ReadLive with its 20 ms pause.
    void postReadLive(std::function<void(const link::Bytes&)> done);

    /// Nothing queued or running.
    bool idle() const { return m_queue.empty() && m_inFlight == 0; }
    /// Requests queued or running.
    int pending() const { return static_cast<int>(m_queue.size()) + m_inFlight; }

signals:
    /// A status text, in the order the sequences show them.
    void status(const QString& text);
    /// A request that shows the busy indicator started (true) or ended (false).
    void progressChanged(bool on);
    /// The queue ran empty.
    void drained();

private:
    struct Request {
        bool sequence = false;  // carries the state
        bool sendOnly = false;  // dropped while no unit is connected
        Options options;
        Prepare prepare;
        Done done;
    };

    void enqueue(Request r);
    void pump();
    void dispatch(Request r);
    void onFinished(quint64 id, const LinkReply& reply);
    void updateBusy();

    TuneModel& m_model;
    QThread m_thread;
    LinkExecutor* m_executor; // deleted on the link thread when it ends
    std::deque<Request> m_queue;
    std::map<quint64, Request> m_running;
    quint64 m_nextId = 1;
    int m_inFlight = 0;
    int m_sequencesInFlight = 0;
    int m_progressInFlight = 0;
    bool m_pumping = false;
};

} // namespace kyr::app
