#include "app/LinkWorker.h"

#include "link/Protocol.h"

namespace kyr::app {

// ---------------------------------------------------------------- link thread

LinkExecutor::LinkExecutor(LinkSetup setup)
    : m_clock(*setup.clock), m_efi(std::move(setup.factory), *setup.clock, std::move(setup.env)),
      m_sequences(m_efi, *setup.clock)
{
    m_efi.setBaud(19200);
    m_efi.setShowErrors(false);
    m_efi.setPort(1);
    m_sequences.setObserver(this);
}

LinkExecutor::~LinkExecutor() { m_efi.Close(); }

void LinkExecutor::execute(quint64 id, const Job& job, LinkReply start)
{
    LinkContext context{m_efi, m_sequences, m_clock};
    job(context, start);
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

void LinkWorker::postSequence(Job job, Done done, Options options)
{
    postPrepared([job = std::move(job)] { return job; }, std::move(done), options);
}

void LinkWorker::postPrepared(Prepare prepare, Done done, Options options)
{
    enqueue(Request{true, false, options, std::move(prepare), std::move(done)});
}

void LinkWorker::postSend(link::Bytes bytes, std::function<void(bool)> done)
{
    Job job = [bytes = std::move(bytes)](LinkContext& c, LinkReply& r) { r.sent = c.efi.Send(bytes); };
    Done finished;
    if (done)
        finished = [done = std::move(done)](const LinkReply& r) { done(r.sent); };
    enqueue(Request{false, true, {}, [job = std::move(job)] { return job; }, std::move(finished)});
}

void LinkWorker::postTransaction(link::Bytes command, int pauseMs, std::function<void(const link::Bytes&)> done)
{
    Job job = [command = std::move(command), pauseMs](LinkContext& c, LinkReply& r) {
        r.reply = link::transact(c.efi, c.clock, command, pauseMs);
    };
    Done finished;
    if (done)
        finished = [done = std::move(done)](const LinkReply& r) { done(r.reply); };
    enqueue(Request{false, false, {}, [job = std::move(job)] { return job; }, std::move(finished)});
}

void LinkWorker::postReadLive(std::function<void(const link::Bytes&)> done)
{
    postTransaction(link::readLive(), link::pause::ReadLiveMs, std::move(done));
}

void LinkWorker::enqueue(Request r)
{
    m_queue.push_back(std::move(r));
    updateBusy();
    pump();
}

// A sequence starts only when nothing runs, so that it takes the state every
// earlier request left. Sends and transactions do not touch the state: they
// follow each other at once, but never overtake a sequence.
void LinkWorker::pump()
{
    if (m_pumping)
        return;
    m_pumping = true;
    while (!m_queue.empty()) {
        const Request& head = m_queue.front();
        const bool canStart = head.sequence ? m_inFlight == 0 : m_sequencesInFlight == 0;
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
        if (r.done)
            r.done(LinkReply{});
        return;
    }
    Job job = r.prepare();
    LinkReply start;
    if (r.sequence) {
        start.state = m_model.state();
        ++m_sequencesInFlight;
    }
    if (r.options.progress && m_progressInFlight++ == 0)
        emit progressChanged(true);
    ++m_inFlight;
    const quint64 id = m_nextId++;
    m_running.emplace(id, std::move(r));
    LinkExecutor* executor = m_executor;
    QMetaObject::invokeMethod(
        executor, [executor, id, job = std::move(job), start = std::move(start)]() mutable {
            executor->execute(id, job, std::move(start));
        },
        Qt::QueuedConnection);
}

void LinkWorker::onFinished(quint64 id, const LinkReply& reply)
{
    auto it = m_running.find(id);
    if (it == m_running.end())
        return;
    Request r = std::move(it->second);
    m_running.erase(it);
    --m_inFlight;
    if (r.sequence) {
        --m_sequencesInFlight;
        m_model.apply(reply.state, reply.outcome);
    }
    if (r.options.progress && --m_progressInFlight == 0)
        emit progressChanged(false);
    if (r.done)
        r.done(reply);
    pump();
}

void LinkWorker::updateBusy()
{
    bool sequencePending = m_sequencesInFlight > 0;
    for (const Request& r : m_queue)
        sequencePending = sequencePending || r.sequence;
    m_model.setBusy(sequencePending);
}

} // namespace kyr::app
