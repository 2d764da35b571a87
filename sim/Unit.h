// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The simulated unit's behaviour: what each command does to its table and
// what it answers. No device and no clock of its own; the simulator passes
// the time in.

#include "CommandParser.h"
#include "Engine.h"
#include "table/Layout.h"

#include "EventLog.h"

#include <array>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kyr::sim {

/// What ReadIdentity answers: model, type code (= version major), minor, two
/// further bytes and the signature 5, 6. Bytes 3 and 4 are not zero so that a
/// reader that stops at a zero byte still reaches the signature.
struct Identity {
    uint8_t model = 3;
    uint8_t type = 3;
    uint8_t minor = 2;
    uint8_t byte3 = 7;
    uint8_t byte4 = 1;
    uint8_t sig5 = 5;
    uint8_t sig6 = 6;

    std::array<uint8_t, 7> bytes() const { return {model, type, minor, byte3, byte4, sig5, sig6}; }
};

/// The result of one command.
struct Outcome {
    std::optional<std::vector<uint8_t>> reply; ///< bytes to send back, if the command has a reply
    bool changed = false;                      ///< the table changed and must be stored
    Json details = Json::object(); ///< what the log records about the command
};

/// Table offset written by a bank byte and index, or nullopt when the index
/// lies outside the bank (each bank ends where the next begins; the last one
/// before the trailer).
std::optional<int> writeOffset(uint8_t bank, int index);

class Unit {
public:
    Unit(Identity identity, const table::ImageBytes& raw, Engine engine = Engine());

    /// Carries out one command received at t seconds after start.
    Outcome apply(const Command& c, double t);

    const table::ImageBytes& raw() const { return m_raw; }
    /// The table as ReadTable sends it: raw + 1 in 8 bits.
    table::ImageBytes plusOne() const;
    Engine& engine() { return m_engine; }
    /// Someone else changed the unit: it now holds this table and answers
    /// with this identity.
    void setRaw(const table::ImageBytes& raw) { m_raw = raw; }
    void setIdentity(Identity identity) { m_identity = identity; }

    /// Fault: every WriteTable stores the byte at this offset with its lowest
    /// bit flipped, so a read-back after a table write finds exactly one
    /// difference. Single-byte writes are stored as sent. nullopt for none.
    void setCorruptWriteOffset(std::optional<int> offset) { m_corruptWriteOffset = offset; }

    /// A WriteTable whose line went down part-way: the image bytes that came
    /// are stored over the start of the table, the rest stays as it was.
    Outcome writePartial(const Command& c);
    /// Someone else changed the unit: the byte at offset gets its lowest bit
    /// flipped. Returns the byte as it was.
    uint8_t flipLowBit(int offset);

private:
    Outcome writeOne(const Command& c);
    Outcome writeTable(const Command& c);

    Identity m_identity;
    table::ImageBytes m_raw;
    Engine m_engine;
    std::optional<int> m_corruptWriteOffset;
};

/// Bytes as upper-case hex pairs separated by spaces ("F2 50 0C").
std::string hexBytes(std::span<const uint8_t> bytes);

} // namespace kyr::sim
