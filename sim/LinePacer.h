// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Paces replies at the line rate. A pseudo-terminal takes any amount at once
// and ignores the baud rate, so the simulator hands bytes over only when a
// real line would have delivered them: byte k of a reply that starts at S is
// due at S + (k + 1) * 10 bits / baud. Plain arithmetic on times passed in;
// the caller does the writing and the waiting.

#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kyr::sim {

/// A reply whose last byte has gone out.
struct SentReply {
    std::string name;
    size_t length = 0;
    double queuedMs = 0; ///< when the command that asked for it arrived
    double startMs = 0;  ///< when the reply went on the line (first start bit)
    double firstMs = 0;  ///< when its first byte was handed over
    double endMs = 0;    ///< when its last byte was handed over
};

class LinePacer {
public:
    /// Ten bits per byte (start, eight data, stop) at the given baud.
    explicit LinePacer(int baud);

    double byteMs() const { return m_byteMs; }

    /// Queues a reply to start no earlier than earliestMs and not before the
    /// previous reply has ended. An empty reply is not queued.
    void enqueue(std::string name, std::vector<uint8_t> bytes, double queuedMs, double earliestMs);

    bool idle() const { return m_queue.empty(); }
    /// When the next byte falls due, or nullopt with nothing queued.
    std::optional<double> nextDueMs() const;
    /// The bytes of the current reply that are due at nowMs and not yet handed over.
    std::span<const uint8_t> due(double nowMs) const;
    /// Records that n bytes of the current reply went out at nowMs; returns the
    /// reply when that was its last byte.
    std::optional<SentReply> sent(size_t n, double nowMs);
    /// Drops everything queued (the line went down).
    void clear() { m_queue.clear(); }

private:
    struct Pending {
        SentReply info;
        std::vector<uint8_t> bytes;
        size_t done = 0;
    };

    double m_byteMs;
    double m_lineFreeMs = 0; ///< when the last queued reply will have ended
    std::deque<Pending> m_queue;
};

} // namespace kyr::sim
