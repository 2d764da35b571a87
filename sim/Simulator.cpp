// SPDX-License-Identifier: GPL-3.0-or-later
#include "Simulator.h"

#include "Memory.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iostream>
#include <poll.h>
#include <unistd.h>

namespace kyr::sim {

namespace fs = std::filesystem;

fs::path defaultMemoryPath(int port)
{
    fs::path state;
    if (const char* xdg = std::getenv("XDG_STATE_HOME"); xdg && *xdg)
        state = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        state = fs::path(home) / ".local" / "state";
    else
        state = ".";
    return state / "kyr" / (portName(port) + ".mem");
}

Simulator::Simulator(SimConfig config)
    : m_cfg(std::move(config)), m_log(m_cfg.log), m_pacer(m_cfg.baud), m_random(m_cfg.seed)
{
}

Simulator::~Simulator() = default;

Status Simulator::start()
{
    m_startMs = monotonicMs();
    if (!m_log.ok())
        return makeError(ErrorKind::OsError, "Cannot open the log file " + m_cfg.log.string() + ": " + m_log.error());
    EngineNeed need = EngineNeed::defaults();
    if (!m_cfg.engineNeed.empty()) {
        auto loaded = loadEngineNeed(m_cfg.engineNeed);
        if (!loaded)
            return loaded.error();
        need = std::move(loaded).value();
    }
    auto memory = openMemory(m_cfg.memory, m_cfg.tune);
    if (!memory)
        return memory.error();
    Engine engine(m_cfg.throttle, std::move(need), m_cfg.seed);
    engine.setWarm(m_cfg.warm);
    m_unit = std::make_unique<Unit>(m_cfg.identity, memory.value(), std::move(engine));
    m_unit->setCorruptWriteOffset(m_cfg.corruptWriteOffset);
    m_log.write({{"event", "start"},
                 {"port", portName(m_cfg.port)},
                 {"memory", m_cfg.memory.string()},
                 {"baud", m_cfg.baud},
                 {"identity", hexBytes(m_cfg.identity.bytes())}},
                m_startMs);
    return openLine();
}

Status Simulator::openLine()
{
    auto pty = Pty::open();
    if (!pty)
        return pty.error();
    m_pty = std::move(pty.value());
    auto entry = PortEntry::create(m_cfg.portDir, m_cfg.port, m_pty.slavePath());
    if (!entry) {
        m_pty.close();
        return entry.error();
    }
    m_entry = std::move(entry.value());
    m_parser.reset();
    m_outputBlocked = false;
    m_log.write({{"event", "open"}, {"port", portName(m_cfg.port)}, {"device", m_pty.slavePath()},
                 {"entry", m_entry.path().string()}},
                monotonicMs());
    return okStatus();
}

namespace {
// Closing a pseudo-terminal discards what the client has not read, so the
// drop waits until the last reply has been taken; a client that does not read
// loses it after this long, as with a pulled cable.
constexpr double kDrainMs = 1000.0;
// The kernel moves written bytes to the client's queue a moment after the
// write; an empty queue counts only after this.
constexpr double kSettleMs = 5.0;
} // namespace

void Simulator::dropWhenDrained(double now)
{
    if (!m_pacer.idle())
        return;
    if (!m_dropSince)
        m_dropSince = now;
    const double waited = now - *m_dropSince;
    if ((waited >= kSettleMs && m_pty.unread() == 0) || waited >= kDrainMs)
        dropLine(now);
}

void Simulator::dropLine(double now)
{
    m_dropSince.reset();
    m_dropped = true;
    m_dropDue = false;
    m_entry.remove();
    m_pty.close();
    m_parser.reset();
    m_pacer.clear();
    m_log.write({{"event", "drop"}, {"commands", m_commands}}, now);
    if (m_cfg.changeWhileDown)
        changeWhileDown(now);
    if (m_cfg.reconnectMs)
        m_reconnectAt = now + *m_cfg.reconnectMs;
}

void Simulator::changeWhileDown(double now)
{
    // As if another program had written to the unit while this line was away.
    const int offset = *m_cfg.changeWhileDown;
    const uint8_t before = m_unit->flipLowBit(offset);
    m_log.write({{"event", "changed"}, {"offset", offset}, {"from", before}, {"to", m_unit->raw()[offset]}}, now);
    storeMemory(now);
}

void Simulator::run(const volatile std::sig_atomic_t& stop, const sigset_t* waitMask)
{
    while (!stop) {
        double now = monotonicMs();
        if (m_reconnectAt && now >= *m_reconnectAt) {
            m_reconnectAt.reset();
            if (auto s = openLine(); !s) {
                m_log.write({{"event", "error"}, {"message", s.error().message}}, now);
                std::cerr << "kyr-sim: " << s.error().message << "\n";
            }
        }
        pump(now);
        if (m_dropDue && m_pty.isOpen())
            dropWhenDrained(now);

        std::optional<double> wake = m_outputBlocked ? std::nullopt : m_pacer.nextDueMs();
        if (m_dropSince)
            wake = wake ? std::min(*wake, now + kSettleMs) : now + kSettleMs;
        if (m_reconnectAt)
            wake = wake ? std::min(*wake, *m_reconnectAt) : *m_reconnectAt;
        timespec ts{};
        if (wake) {
            const double ms = std::max(0.0, *wake - monotonicMs());
            ts.tv_sec = static_cast<time_t>(ms / 1000.0);
            ts.tv_nsec = static_cast<long>(std::fmod(ms, 1000.0) * 1e6);
        }
        pollfd fd{m_pty.master(), static_cast<short>(POLLIN | (m_outputBlocked ? POLLOUT : 0)), 0};
        const int nfds = m_pty.isOpen() ? 1 : 0;
        const int r = ::ppoll(&fd, nfds, wake ? &ts : nullptr, waitMask);
        if (r <= 0)
            continue; // time to send, or a signal
        if (fd.revents & POLLOUT)
            m_outputBlocked = false;
        if (fd.revents & POLLIN)
            receive(monotonicMs());
    }
}

void Simulator::receive(double now)
{
    uint8_t buf[4096];
    while (m_pty.isOpen()) {
        const ssize_t n = ::read(m_pty.master(), buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        if (m_dropDue) {
            // The line is going down: what arrives now is lost.
            m_log.write({{"event", "lost"}, {"bytes", hexBytes(std::span(buf, static_cast<size_t>(n)))}}, now);
            continue;
        }
        consume(std::span(buf, static_cast<size_t>(n)), now);
        now = monotonicMs();
    }
}

void Simulator::consume(std::span<const uint8_t> bytes, double now)
{
    while (!bytes.empty()) {
        const size_t step = std::min(bytes.size(), feedStep());
        for (const Command& c : m_parser.feed(bytes.first(step), now))
            handle(c, now);
        bytes = bytes.subspan(step);
        if (m_dropDue) {
            // The line goes down after the Nth command: what came behind it in the same read is lost.
            if (!bytes.empty())
                m_log.write({{"event", "lost"}, {"bytes", hexBytes(bytes)}}, now);
            return;
        }
        if (writeCutDue()) {
            cutWrite(now);
            if (!bytes.empty())
                m_log.write({{"event", "lost"}, {"bytes", hexBytes(bytes)}}, now);
            return;
        }
    }
}

size_t Simulator::feedStep() const
{
    if (m_dropped || m_dropDue)
        return SIZE_MAX;
    // One byte at a time while a drop is armed: a byte may complete the command it counts.
    if (m_cfg.dropAfter && !m_cfg.dropInWrite)
        return 1;
    if (!m_cfg.dropInWrite)
        return SIZE_MAX;
    // Up to the cut within a table image; elsewhere one byte at a time, as
    // any byte may start the next WriteTable.
    const Command* c = m_parser.pendingCommand();
    if (c && c->kind == CommandKind::WriteTable) {
        const size_t cut = static_cast<size_t>(*m_cfg.dropInWrite);
        return cut > c->payload().size() ? cut - c->payload().size() : 1;
    }
    return 1;
}

bool Simulator::writeCutDue() const
{
    if (!m_cfg.dropInWrite || m_dropped || m_dropDue)
        return false;
    const Command* c = m_parser.pendingCommand();
    return c && c->kind == CommandKind::WriteTable && static_cast<int>(c->payload().size()) >= *m_cfg.dropInWrite;
}

void Simulator::cutWrite(double now)
{
    const Command& c = *m_parser.pendingCommand();
    ++m_commands;
    Outcome out = m_unit->writePartial(c);
    Json entry{{"cmd", std::string(commandName(c.kind))}, {"bytes", hexBytes(std::span(c.bytes).first(1))},
               {"first_ms", logMs(c.firstMs)}};
    entry.update(out.details);
    logStored(entry, now, out.changed, now);
    dropLine(now); // at once: no reply is owed, and the rest of the image is lost
}

void Simulator::handle(const Command& c, double now)
{
    const auto name = std::string(commandName(c.kind));
    Json entry{{"cmd", name}};
    if (c.kind == CommandKind::Unknown) {
        entry["bytes"] = hexBytes(c.bytes);
        entry["skipped"] = true;
        m_log.write(entry, c.firstMs);
        return;
    }
    ++m_commands;
    if (m_busyUntil && c.firstMs < *m_busyUntil) {
        // Still storing the last table: the command is neither carried out nor answered.
        entry["bytes"] = hexBytes(std::span(c.bytes).first(std::min<size_t>(c.bytes.size(), 3)));
        entry["ignored"] = "busy";
        m_log.write(entry, c.lastMs);
        dropIfDue();
        return;
    }
    if (c.kind == CommandKind::ReadLive && !m_cfg.throttleFile.empty())
        readThrottleFile();
    Outcome out = m_unit->apply(c, (now - m_startMs) / 1000.0);
    entry["bytes"] = hexBytes(std::span(c.bytes).first(std::min<size_t>(c.bytes.size(), 3)));
    if (c.kind == CommandKind::WriteTable)
        entry["bytes"] = hexBytes(std::span(c.bytes).first(1));
    if (c.bytes.size() > 1)
        entry["first_ms"] = logMs(c.firstMs);
    entry.update(out.details);
    logStored(entry, c.lastMs, out.changed, now);
    if (out.reply)
        queueReply(c, std::move(*out.reply), now);
    if (c.kind == CommandKind::WriteTable && m_cfg.busyAfterWriteMs > 0)
        m_busyUntil = c.lastMs + m_cfg.busyAfterWriteMs;
    dropIfDue();
}

void Simulator::dropIfDue()
{
    if (m_cfg.dropAfter && !m_dropped && m_commands >= *m_cfg.dropAfter)
        m_dropDue = true;
}

void Simulator::queueReply(const Command& c, std::vector<uint8_t> reply, double now)
{
    const auto name = std::string(commandName(c.kind));
    if (m_cfg.silent) {
        m_log.write({{"reply", name}, {"length", 0}, {"suppressed", "silent"}}, now);
        return;
    }
    if (m_cfg.shortReply && static_cast<int>(reply.size()) > *m_cfg.shortReply)
        reply.resize(static_cast<size_t>(*m_cfg.shortReply));
    if (m_cfg.garbage)
        std::generate(reply.begin(), reply.end(), [this] { return static_cast<uint8_t>(m_random() & 0xFF); });
    if (reply.empty()) {
        m_log.write({{"reply", name}, {"length", 0}, {"suppressed", "short"}}, now);
        return;
    }
    m_pacer.enqueue(name, std::move(reply), c.lastMs, c.lastMs + m_cfg.slowMs);
    pump(monotonicMs());
}

void Simulator::pump(double now)
{
    if (!m_pty.isOpen() || m_outputBlocked)
        return;
    for (auto due = m_pacer.due(now); !due.empty(); due = m_pacer.due(now)) {
        const ssize_t n = ::write(m_pty.master(), due.data(), due.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            m_outputBlocked = true; // nobody reads: wait until the queue drains
            return;
        }
        if (n < 0) {
            m_log.write({{"event", "error"}, {"message", std::string("write: ") + std::strerror(errno)}}, now);
            m_pacer.clear();
            return;
        }
        const double at = monotonicMs();
        if (auto done = m_pacer.sent(static_cast<size_t>(n), at)) {
            Json entry{{"reply", done->name},
                       {"length", done->length},
                       {"queued_ms", logMs(done->queuedMs)},
                       {"start_ms", logMs(done->startMs)},
                       {"first_ms", logMs(done->firstMs)},
                       {"end_ms", logMs(done->endMs)}};
            if (m_cfg.garbage)
                entry["garbage"] = true;
            if (m_cfg.shortReply)
                entry["short"] = *m_cfg.shortReply;
            m_log.write(entry, done->endMs);
        }
        now = at;
    }
}

void Simulator::readThrottleFile()
{
    std::ifstream in(m_cfg.throttleFile);
    double value = 0;
    if (in >> value && std::isfinite(value))
        m_unit->engine().setThrottle(std::clamp(value, 0.0, 100.0));
    else
        m_unit->engine().setThrottle(m_cfg.throttle);
}

void Simulator::storeMemory(double now)
{
    reportStoreFailure(saveTable(), now);
}

Status Simulator::saveTable()
{
    auto s = saveMemory(m_cfg.memory, m_unit->raw());
    m_unsaved = !s;
    return s;
}

void Simulator::reportStoreFailure(const Status& s, double now)
{
    if (!s) {
        m_log.write({{"event", "error"}, {"message", s.error().message}}, now);
        std::cerr << "kyr-sim: " << s.error().message << "\n";
    }
}

void Simulator::logStored(const Json& entry, double at, bool changed, double now)
{
    // The memory file holds a change before its command's line is logged, so
    // whoever reads the line finds the table stored.
    const Status s = changed ? saveTable() : okStatus();
    m_log.write(entry, at);
    reportStoreFailure(s, now);
}

void Simulator::finish()
{
    const double now = monotonicMs();
    // Every change was stored when it arrived; this retries one that failed then.
    if (m_unit && m_unsaved)
        storeMemory(now);
    m_entry.remove();
    m_pty.close();
    m_log.write({{"event", "stop"}, {"commands", m_commands}}, now);
}

} // namespace kyr::sim
