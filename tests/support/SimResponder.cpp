// SPDX-License-Identifier: GPL-3.0-or-later
#include "SimResponder.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace kyr::test {

link::Bytes SimResponder::answer(const link::Bytes& written)
{
    if (silent)
        return {};
    // What the test set since the last command is what the unit holds now.
    const auto& id = identity;
    m_unit.setIdentity(sim::Identity{id[0], id[1], id[2], id[3], id[4], id[5], id[6]});
    table::ImageBytes raw;
    std::transform(table.begin(), table.end(), raw.begin(), [](uint8_t b) { return static_cast<uint8_t>(b - 1); });
    m_unit.setRaw(raw);

    link::Bytes out;
    for (const sim::Command& c : m_parser.feed(written, 0)) {
        const link::Bytes r = reply(c);
        out.insert(out.end(), r.begin(), r.end());
    }
    // An image cut short is never taken: the line went quiet part-way.
    if (const sim::Command* p = m_parser.pendingCommand(); p && p->kind == sim::CommandKind::WriteTable && p->bytes.size() > 1)
        m_parser.reset();
    table = m_unit.plusOne();
    return out;
}

link::Bytes SimResponder::reply(const sim::Command& c)
{
    if (c.kind == sim::CommandKind::ReadLive) {
        ++liveReads;
        while (holdLive) // released by the test thread; not a timing wait
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return live;
    }
    const sim::Outcome o = m_unit.apply(c, 0);
    if (c.kind == sim::CommandKind::WriteTable)
        for (int offset : corruptAt)
            m_unit.flipLowBit(offset);
    link::Bytes r = o.reply.value_or(link::Bytes{});
    if (c.kind == sim::CommandKind::ReadTable) {
        ++tableReads;
        if (auto it = cutRead.find(tableReads); it != cutRead.end())
            r.resize(std::min(it->second, r.size()));
        if (tableCut)
            r.resize(std::min(*tableCut, r.size()));
    }
    return r;
}

} // namespace kyr::test
