// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/link/LinkWorker.h"

#include "link/Protocol.h"

#include <iterator>

namespace kyr::app::link {

// ---------------------------------------------------------------- link thread

LinkExecutor::LinkExecutor(LinkSetup setup)
    : m_clock(*setup.clock), m_efi(std::move(setup.factory), *setup.clock, std::move(setup.env)),
      m_backups(setup.backupRoot.empty() ? std::nullopt
                                         : std::optional<session::BackupStore>(std::in_place, setup.backupRoot)),
      m_session(m_efi, *setup.clock, m_backups ? &*m_backups : nullptr),
      m_keeper(m_efi, *setup.clock, m_session, setup.backupRoot)
{
    m_efi.setBaud(19200);
    m_efi.setShowErrors(false);
    m_efi.setPort(1);
    m_session.setObserver(this);
}

LinkExecutor::~LinkExecutor() { m_efi.Close(); }

void LinkExecutor::execute(Ticket id, const Job& job, LinkReply start)
{
    Context context{m_efi, m_session, m_clock, m_keeper};
    const bool wasLost = m_keeper.lost();
    job(context, start);
    if (!wasLost && m_keeper.lost())
        start.lostAt = m_keeper.lostAt();
    start.journaled = m_keeper.journal().size();
    emit finished(id, start);
}

void LinkExecutor::status(const std::string& text) { emit statusShown(QString::fromStdString(text)); }

// ---------------------------------------------------------------- window thread

LinkWorker::LinkWorker(TuneModel& model, LinkSetup setup, QObject* parent)
    : QObject(parent), m_model(model), m_executor(new LinkExecutor(std::move(setup)))
{
    m_thread.setObjectName(QStringLiteral("KYR link"));
    m_executor->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_executor, &QObject::deleteLater);
    // Both arrive queued, in the order the link thread emitted them, so a
    // request's statuses are shown before its result is applied.
    connect(m_executor, &LinkExecutor::statusShown, this, &LinkWorker::status, Qt::QueuedConnection);
    connect(m_executor, &LinkExecutor::finished, this, &LinkWorker::onFinished, Qt::QueuedConnection);
    m_thread.start();
}

LinkWorker::~LinkWorker()
{
    m_queue.clear();
    m_thread.quit();
    m_thread.wait();
}

Ticket LinkWorker::tuneRequest(std::function<session::SessionResult(session::TuneSession&, session::TuneState&)> run,
                               void (LinkWorker::*signal)(Ticket, const session::SessionResult&),
                               session::Activity activity, bool progress)
{
    Job job = [run = std::move(run), activity](LinkExecutor::Context& c, LinkReply& r) {
        r.result = c.keeper.guarded(r.state, activity, [&](session::TuneState& s) { return run(c.session, s); });
    };
    return enqueue(Request{.tune = true,
                           .progress = progress,
                           .prepare = [job] { return job; },
                           .deliver = [this, signal](Ticket t, const LinkReply& r) { emit(this->*signal)(t, r.result); }});
}

Ticket LinkWorker::searchPorts()
{
    return tuneRequest([](auto& session, auto& s) { return session.portSearch(s); }, &LinkWorker::portsSearched,
                       session::Activity::Talks);
}

Ticket LinkWorker::refreshPorts()
{
    return tuneRequest([](auto& session, auto& s) { return session.refreshComPort(s); },
                       &LinkWorker::portsSearched, session::Activity::Talks);
}

Ticket LinkWorker::choosePort(session::PortAddress port)
{
    return tuneRequest([port](auto& session, auto& s) { return session.selectPort(s, port); },
                       &LinkWorker::portChosen, session::Activity::Talks, false);
}

Ticket LinkWorker::connectUnit(session::ConnectPace pace)
{
    return tuneRequest([pace](auto& session, auto& s) { return session.connect(s, pace); }, &LinkWorker::connected,
                       session::Activity::Talks);
}

Ticket LinkWorker::readTable()
{
    // After the link came back to a unit that holds another table, reading
    // is the choice of the unit's table.
    Job job = [](LinkExecutor::Context& c, LinkReply& r) {
        if (r.state.link.choosing)
            r.result = c.keeper.keepUnitTable(r.state);
        else
            r.result = c.keeper.guarded(r.state, session::Activity::TableRead,
                                        [&](session::TuneState& s) { return c.session.tableRead(s); });
    };
    return enqueue(Request{.tune = true,
                           .progress = true,
                           .prepare = [job] { return job; },
                           .deliver = [this](Ticket t, const LinkReply& r) { emit tableRead(t, r.result); }});
}

Ticket LinkWorker::writeTable()
{
    Request r{.tune = true, .progress = true};
    r.prepare = [this]() -> Job {
        const table::EncodedImage image = table::encode(m_model.state().setup, m_model.maps());
        return [image](LinkExecutor::Context& c, LinkReply& r) {
            // After a write cut off mid-image, writing is the user's word that
            // the unit was switched off and on.
            if (c.keeper.awaitingPowerCycle())
                r.result = c.keeper.writeAfterPowerCycle(r.state, image);
            else
                r.result = c.keeper.guarded(r.state, session::Activity::TableWrite,
                                            [&](session::TuneState& s) { return c.session.tableWrite(s, image); });
        };
    };
    r.deliver = [this](Ticket t, const LinkReply& reply) { emit tableWritten(t, reply.result); };
    return enqueue(std::move(r));
}

Ticket LinkWorker::openFile(files::MapFile file, std::filesystem::path path)
{
    return tuneRequest([file = std::move(file), path = std::move(path)](auto& session,
                                                                       auto& s) { return session.openFile(s, file, path); },
                       &LinkWorker::fileOpened, session::Activity::Quiet);
}

Ticket LinkWorker::openFileFailed()
{
    return tuneRequest(
        [](auto& session, auto& s) {
            session.openFileFailed(s);
            return session::SessionResult{};
        },
        &LinkWorker::fileOpened, session::Activity::Quiet, false);
}

Ticket LinkWorker::closeAll()
{
    return tuneRequest([](auto& session, auto& s) { return session.closeAll(s); }, &LinkWorker::closedAll,
                       session::Activity::Quiet, false);
}

Ticket LinkWorker::readForSave()
{
    Job job = [](LinkExecutor::Context& c, LinkReply& r) {
        if (c.keeper.lost()) {
            r.saved = makeError(ErrorKind::LinkLost, "The link to the KYR is lost: nothing was read");
            return;
        }
        r.saved = c.session.readForSave(r.state);
    };
    return enqueue(Request{.tune = true,
                           .progress = true,
                           .prepare = [job] { return job; },
                           .deliver = [this](Ticket t, const LinkReply& r) {
                               emit readForSaveDone(t, r.saved ? *r.saved
                                                               : Result<table::ImageBytes>(makeError(
                                                                     ErrorKind::NoUnit, "Nothing was read from the KYR.")));
                           }});
}

Ticket LinkWorker::closePort()
{
    Job job = [](LinkExecutor::Context& c, LinkReply& r) { c.session.exit(r.state); };
    return enqueue(Request{.tune = true,
                           .prepare = [job] { return job; },
                           .deliver = [this](Ticket t, const LinkReply&) { emit portClosed(t); }});
}

Ticket LinkWorker::disconnectUnit()
{
    Job job = [](LinkExecutor::Context& c, LinkReply& r) { r.result = c.keeper.disconnect(r.state); };
    return enqueue(Request{.tune = true,
                           .prepare = [job] { return job; },
                           .deliver = [this](Ticket t, const LinkReply& r) { emit disconnected(t, r.result); }});
}

Ticket LinkWorker::send(kyr::link::Bytes bytes)
{
    Job job = [bytes = std::move(bytes)](LinkExecutor::Context& c, LinkReply& r) {
        r.sent = c.keeper.send(bytes) != session::SendOutcome::Refused;
    };
    return enqueue(Request{.sendOnly = true,
                           .prepare = [job] { return job; },
                           .deliver = [this](Ticket t, const LinkReply& r) { emit sent(t, r.sent); }});
}

Ticket LinkWorker::readLive(session::LivePace pace)
{
    Job job = [pace](LinkExecutor::Context& c, LinkReply& r) { r.reply = c.keeper.readLive(pace); };
    return enqueue(Request{.live = true,
                           .prepare = [job] { return job; },
                           .deliver = [this](Ticket t, const LinkReply& r) { emit liveRead(t, r.reply); }});
}

Ticket LinkWorker::probeUnit()
{
    Request r;
    r.prepare = [this]() -> Job {
        session::TuneState now = m_model.state();
        return [now](LinkExecutor::Context& c, LinkReply& r) mutable { r.probe = c.keeper.probe(now); };
    };
    r.deliver = [this](Ticket t, const LinkReply& reply) { emit unitProbed(t, reply.probe); };
    return enqueue(std::move(r));
}

Ticket LinkWorker::rejoin()
{
    Request r{.tune = true, .progress = true};
    r.prepare = [this]() -> Job {
        const table::EncodedImage mine = table::encode(m_model.state().setup, m_model.maps());
        return [mine](LinkExecutor::Context& c, LinkReply& r) {
            r.rejoin = c.keeper.rejoin(r.state, mine);
            r.result = r.rejoin.session;
        };
    };
    r.deliver = [this](Ticket t, const LinkReply& reply) { emit rejoined(t, reply.rejoin); };
    return enqueue(std::move(r));
}

Ticket LinkWorker::settleLeftovers(bool send)
{
    Job job = [send](LinkExecutor::Context& c, LinkReply& r) {
        if (send) {
            r.result = c.keeper.sendLeftovers(r.state);
        } else if (Status dropped = c.keeper.dropLeftovers(r.state); !dropped) {
            r.result.error = dropped.error();
        }
    };
    return enqueue(Request{.tune = true,
                           .prepare = [job] { return job; },
                           .deliver = [this](Ticket t, const LinkReply& r) { emit leftoversSettled(t, r.result); }});
}

Ticket LinkWorker::enqueue(Request r)
{
    r.id = m_nextId++;
    const Ticket id = r.id;
    // A send goes ahead of the ReadLives at the end of the queue, never ahead
    // of another send or a tune request.
    auto at = m_queue.end();
    if (r.sendOnly)
        while (at != m_queue.begin() && std::prev(at)->live)
            --at;
    m_queue.insert(at, std::move(r));
    updateBusy();
    pump();
    return id;
}

// A tune request starts only when nothing runs, so that it takes the state
// every earlier request left. Sends do not touch the state: they follow each
// other at once, but never overtake a tune request. A ReadLive also waits
// until nothing runs: handed over early it would sit on the link thread,
// where a send asked for after it could no longer go first.
void LinkWorker::pump()
{
    if (m_pumping)
        return;
    m_pumping = true;
    while (!m_queue.empty()) {
        const Request& head = m_queue.front();
        const bool canStart = head.tune || head.live ? m_inFlight == 0 : m_tuneInFlight == 0;
        if (!canStart)
            break;
        Request r = std::move(m_queue.front());
        m_queue.pop_front();
        dispatch(std::move(r));
    }
    m_pumping = false;
    updateBusy();
    if (idle())
        emit drained();
}

void LinkWorker::dispatch(Request r)
{
    // No unit, no sends: an edit with only a file open changes the image alone.
    if (r.sendOnly && !m_model.state().sendsAllowed()) {
        if (r.deliver)
            r.deliver(r.id, LinkReply{});
        return;
    }
    Job job = r.prepare();
    LinkReply start;
    if (r.tune) {
        start.state = m_model.state();
        ++m_tuneInFlight;
    }
    if (r.progress && m_progressInFlight++ == 0)
        emit progressChanged(true);
    ++m_inFlight;
    const Ticket id = r.id;
    m_running.emplace(id, std::move(r));
    LinkExecutor* executor = m_executor;
    QMetaObject::invokeMethod(
        executor, [executor, id, job = std::move(job), start = std::move(start)]() mutable {
            executor->execute(id, job, std::move(start));
        },
        Qt::QueuedConnection);
}

void LinkWorker::onFinished(Ticket id, const LinkReply& reply)
{
    auto it = m_running.find(id);
    if (it == m_running.end())
        return;
    Request r = std::move(it->second);
    m_running.erase(it);
    --m_inFlight;
    if (r.tune) {
        --m_tuneInFlight;
        m_model.apply(reply.state, reply.result);
    }
    followLink(r, reply);
    if (r.progress && --m_progressInFlight == 0)
        emit progressChanged(false);
    if (r.deliver)
        r.deliver(id, reply);
    pump();
}

// A send or a live read that found the link gone marks the window's state
// (a tune request has marked the state it brings back); journaled edits are counted.
void LinkWorker::followLink(const Request& r, const LinkReply& reply)
{
    if (!r.tune)
        m_model.followLink(reply.lostAt, reply.journaled);
    if (reply.lostAt)
        emit linkLost();
}

void LinkWorker::updateBusy()
{
    bool tunePending = m_tuneInFlight > 0;
    for (const Request& r : m_queue)
        tunePending = tunePending || r.tune;
    m_model.setBusy(tunePending);
}

} // namespace kyr::app::link
