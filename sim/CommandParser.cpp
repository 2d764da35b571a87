// SPDX-License-Identifier: GPL-3.0-or-later
#include "CommandParser.h"

#include "link/Protocol.h"
#include "table/Layout.h"

#include <algorithm>

namespace kyr::sim {

namespace {

// The command bytes are the program's own: the unit answers what the link sends.
constexpr uint8_t kReadIdentity = link::CmdReadIdentity;
constexpr uint8_t kReadTable = link::CmdReadTable;
constexpr uint8_t kReadLive = link::CmdReadLive;
constexpr uint8_t kWriteTable = link::CmdWriteTable;
constexpr uint8_t kWriteByte = link::CmdWriteByte;

bool isMapBank(uint8_t b)
{
    const auto banks = table::bankTable();
    return b != kWriteByte &&
           std::any_of(banks.begin(), banks.end(), [b](const table::Bank& k) { return k.command == b; });
}

} // namespace

std::string_view commandName(CommandKind kind)
{
    switch (kind) {
    case CommandKind::ReadIdentity: return "ReadIdentity";
    case CommandKind::ReadTable: return "ReadTable";
    case CommandKind::ReadLive: return "ReadLive";
    case CommandKind::WriteTable: return "WriteTable";
    case CommandKind::WriteByte: return "WriteByte";
    case CommandKind::WritePoint: return "WritePoint";
    case CommandKind::Unknown: return "Unknown";
    }
    return "Unknown";
}

CommandKind CommandParser::kindOf(uint8_t first)
{
    switch (first) {
    case kReadIdentity: return CommandKind::ReadIdentity;
    case kReadTable: return CommandKind::ReadTable;
    case kReadLive: return CommandKind::ReadLive;
    case kWriteTable: return CommandKind::WriteTable;
    case kWriteByte: return CommandKind::WriteByte;
    default: return isMapBank(first) ? CommandKind::WritePoint : CommandKind::Unknown;
    }
}

int CommandParser::argumentCount(uint8_t first)
{
    switch (kindOf(first)) {
    case CommandKind::WriteTable: return table::TableSize;
    case CommandKind::WriteByte:
    case CommandKind::WritePoint: return 2;
    case CommandKind::Unknown: return -1;
    default: return 0;
    }
}

std::vector<Command> CommandParser::feed(std::span<const uint8_t> bytes, double nowMs)
{
    std::vector<Command> done;
    for (size_t i = 0; i < bytes.size();) {
        if (m_need > 0) {
            // Take as many argument bytes as this chunk holds in one go: a table
            // payload arrives in large pieces.
            const size_t take = std::min<size_t>(m_need, bytes.size() - i);
            if (m_current.bytes.size() == 1)
                m_current.secondMs = nowMs;
            m_current.bytes.insert(m_current.bytes.end(), bytes.begin() + i, bytes.begin() + i + take);
            m_need -= static_cast<int>(take);
            i += take;
            if (m_need == 0) {
                m_current.lastMs = nowMs;
                done.push_back(std::move(m_current));
                m_current = Command{};
            }
            continue;
        }
        const uint8_t b = bytes[i++];
        Command c;
        c.kind = kindOf(b);
        c.bytes = {b};
        c.firstMs = c.secondMs = c.lastMs = nowMs;
        const int args = argumentCount(b);
        if (args > 0) {
            m_current = std::move(c);
            m_need = args;
        } else {
            done.push_back(std::move(c));
        }
    }
    return done;
}

void CommandParser::reset()
{
    m_current = Command{};
    m_need = 0;
}

} // namespace kyr::sim
