// SPDX-License-Identifier: GPL-3.0-or-later
#include "LinePacer.h"

#include <algorithm>
#include <cmath>

namespace kyr::sim {

LinePacer::LinePacer(int baud) : m_byteMs(10.0 * 1000.0 / std::max(baud, 1)) {}

void LinePacer::enqueue(std::string name, std::vector<uint8_t> bytes, double queuedMs, double earliestMs)
{
    if (bytes.empty())
        return; // nothing goes on the line
    Pending p;
    p.info.name = std::move(name);
    p.info.length = bytes.size();
    p.info.queuedMs = queuedMs;
    p.info.startMs = std::max(earliestMs, m_lineFreeMs);
    p.bytes = std::move(bytes);
    m_lineFreeMs = p.info.startMs + static_cast<double>(p.bytes.size()) * m_byteMs;
    m_queue.push_back(std::move(p));
}

std::optional<double> LinePacer::nextDueMs() const
{
    if (m_queue.empty())
        return std::nullopt;
    const Pending& p = m_queue.front();
    return p.info.startMs + static_cast<double>(p.done + 1) * m_byteMs;
}

std::span<const uint8_t> LinePacer::due(double nowMs) const
{
    if (m_queue.empty())
        return {};
    const Pending& p = m_queue.front();
    // Bytes whose last bit has left the line by now; a late caller catches up
    // in one go so the average rate stays that of the line.
    const double elapsed = (nowMs - p.info.startMs) / m_byteMs;
    const size_t dueTotal = elapsed < 1.0 ? 0 : std::min(p.bytes.size(), static_cast<size_t>(std::floor(elapsed + 1e-9)));
    if (dueTotal <= p.done)
        return {};
    return std::span(p.bytes).subspan(p.done, dueTotal - p.done);
}

std::optional<SentReply> LinePacer::sent(size_t n, double nowMs)
{
    if (m_queue.empty() || n == 0)
        return std::nullopt;
    Pending& p = m_queue.front();
    if (p.done == 0)
        p.info.firstMs = nowMs;
    p.done = std::min(p.bytes.size(), p.done + n);
    if (p.done < p.bytes.size())
        return std::nullopt;
    SentReply info = p.info;
    info.endMs = nowMs;
    m_queue.pop_front();
    return info;
}

} // namespace kyr::sim
