// SPDX-License-Identifier: GPL-3.0-or-later
#include "Unit.h"

#include "live/LiveRecord.h"

#include <algorithm>
#include <cstdio>

namespace kyr::sim {

std::optional<int> writeOffset(uint8_t bank, int index)
{
    const auto first = table::bankOffset(bank, 0);
    if (!first || index < 0)
        return std::nullopt;
    // A bank reaches up to the next bank's base; the last one stops before the trailer.
    int end = table::TrailerOffset;
    for (const auto& b : table::bankTable())
        if (b.base > *first)
            end = std::min(end, b.base);
    const int offset = *first + index;
    if (offset >= end)
        return std::nullopt;
    return offset;
}

std::string hexBytes(std::span<const uint8_t> bytes)
{
    std::string out;
    char buf[4];
    for (uint8_t b : bytes) {
        std::snprintf(buf, sizeof buf, "%02X", b);
        if (!out.empty())
            out += ' ';
        out += buf;
    }
    return out;
}

Unit::Unit(Identity identity, const table::ImageBytes& raw, Engine engine)
    : m_identity(identity), m_raw(raw), m_engine(engine)
{
}

table::ImageBytes Unit::plusOne() const
{
    table::ImageBytes out;
    std::transform(m_raw.begin(), m_raw.end(), out.begin(), [](uint8_t b) { return static_cast<uint8_t>(b + 1); });
    return out;
}

Outcome Unit::apply(const Command& c, double t)
{
    Outcome out;
    switch (c.kind) {
    case CommandKind::ReadIdentity: {
        const auto id = m_identity.bytes();
        out.reply = std::vector<uint8_t>(id.begin(), id.end());
        break;
    }
    case CommandKind::ReadTable: {
        const auto image = plusOne();
        out.reply = std::vector<uint8_t>(image.begin(), image.end());
        break;
    }
    case CommandKind::ReadLive: {
        const auto record = live::encodeLive(m_engine.sample(t, m_raw));
        out.reply = std::vector<uint8_t>(record.begin(), record.end());
        out.details["live"] = hexBytes(record);
        break;
    }
    case CommandKind::WriteByte:
    case CommandKind::WritePoint: return writeOne(c);
    case CommandKind::WriteTable: return writeTable(c);
    case CommandKind::Unknown: break;
    }
    return out;
}

Outcome Unit::writeOne(const Command& c)
{
    Outcome out;
    if (c.kind == CommandKind::WritePoint)
        out.details["bank"] = hexBytes(std::span(c.bytes).first(1));
    out.details["index"] = c.index();
    out.details["value"] = c.value();
    const auto offset = writeOffset(c.bank(), c.index());
    if (!offset) {
        out.details["refused"] = "index out of range";
        return out;
    }
    out.details["offset"] = *offset;
    out.changed = m_raw[*offset] != c.value();
    m_raw[*offset] = c.value();
    return out;
}

Outcome Unit::writeTable(const Command& c)
{
    Outcome out;
    const auto payload = c.payload();
    out.details["length"] = payload.size();
    out.details["trailer"] = payload.back();
    out.details["payload_first_ms"] = logMs(c.secondMs);
    out.details["last_ms"] = logMs(c.lastMs);
    table::ImageBytes stored = m_raw;
    std::copy(payload.begin(), payload.end(), stored.begin());
    if (m_corruptWriteOffset && *m_corruptWriteOffset >= 0 && *m_corruptWriteOffset < table::TableSize) {
        // One flipped low bit: always a different value, yet still a plausible one.
        uint8_t& b = stored[static_cast<size_t>(*m_corruptWriteOffset)];
        out.details["corrupted"] = *m_corruptWriteOffset;
        out.details["sent"] = b;
        b ^= 0x01;
        out.details["stored"] = b;
    }
    out.changed = stored != m_raw;
    m_raw = stored;
    return out;
}

Outcome Unit::writePartial(const Command& c)
{
    Outcome out;
    const auto head = c.payload().first(std::min<size_t>(c.payload().size(), m_raw.size()));
    out.details["length"] = head.size();
    out.details["partial"] = true;
    if (!head.empty())
        out.details["payload_first_ms"] = logMs(c.secondMs);
    out.changed = !std::equal(head.begin(), head.end(), m_raw.begin());
    std::copy(head.begin(), head.end(), m_raw.begin());
    return out;
}

uint8_t Unit::flipLowBit(int offset)
{
    uint8_t& b = m_raw.at(static_cast<size_t>(offset));
    const uint8_t before = b;
    b ^= 0x01;
    return before;
}

} // namespace kyr::sim
