// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Splits the byte stream the unit receives into commands. A plain state
// machine: it is fed bytes with their arrival time and hands back whole
// commands; it never reads or writes a device.

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace kyr::sim {

enum class CommandKind {
    ReadIdentity, ///< FF
    ReadTable,    ///< FD
    ReadLive,     ///< FC
    WriteTable,   ///< F3 and 482 raw bytes
    WriteByte,    ///< F2, offset, value
    WritePoint,   ///< bank byte (E8, DE, D4, CA), index, value
    Unknown,      ///< a byte that starts no command; skipped
};

/// The name used in the log ("ReadTable").
std::string_view commandName(CommandKind kind);

struct Command {
    CommandKind kind = CommandKind::Unknown;
    std::vector<uint8_t> bytes; ///< every byte of the command as received
    double firstMs = 0;         ///< arrival time of the first byte
    double secondMs = 0;        ///< arrival time of the second byte (WriteTable: first payload byte)
    double lastMs = 0;          ///< arrival time of the last byte

    uint8_t bank() const { return bytes.front(); }
    int index() const { return bytes.size() > 1 ? bytes[1] : 0; }
    uint8_t value() const { return bytes.size() > 2 ? bytes[2] : 0; }
    /// The WriteTable payload (raw form).
    std::span<const uint8_t> payload() const { return std::span(bytes).subspan(1); }
};

class CommandParser {
public:
    /// Feeds bytes that arrived at nowMs; returns the commands they complete, in order.
    std::vector<Command> feed(std::span<const uint8_t> bytes, double nowMs);
    /// True while a command has started but still waits for argument bytes.
    bool pending() const { return m_need > 0; }
    /// Bytes the pending command still waits for.
    int missing() const { return m_need; }
    /// The command still waiting for argument bytes, as far as it has come
    /// (a table write cut off part-way shows its payload so far); nullptr
    /// when none is pending.
    const Command* pendingCommand() const { return m_need > 0 ? &m_current : nullptr; }
    /// Drops a half-received command (the line went down).
    void reset();

    /// Argument bytes that follow a command byte, or -1 for a byte that starts no command.
    static int argumentCount(uint8_t first);
    static CommandKind kindOf(uint8_t first);

private:
    Command m_current;
    int m_need = 0;
};

} // namespace kyr::sim
