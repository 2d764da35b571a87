// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The simulated unit (sim::Unit) behind a FakeSerialDevice: each write goes
// through kyr-sim's command parser to the unit, and its reply is queued for
// reading. What kyr-sim does over a pty, in-process and without a clock,
// plus the faults the in-memory tests need.

#include "CommandParser.h"
#include "Unit.h"
#include "link/Bytes.h"

#include <array>
#include <atomic>
#include <map>
#include <optional>
#include <set>

namespace kyr::test {

class SimResponder {
public:
    /// A unit holding this table (plus-one form, as ReadTable sends it).
    explicit SimResponder(const table::ImageBytes& plusOne = {}) : table(plusOne) {}
    SimResponder(const SimResponder&) = delete;
    SimResponder& operator=(const SimResponder&) = delete;

    /// What the unit answers to one write (a FakeSerialDevice responder).
    link::Bytes answer(const link::Bytes& written);

    // The unit's state: a test may change it between commands, behind the
    // program's back, and reads what the unit took after each.
    std::array<uint8_t, 7> identity = sim::Identity{}.bytes(); ///< what ReadIdentity answers
    table::ImageBytes table{}; ///< plus-one, as ReadTable sends it

    // Faults and what the test counts.
    bool silent = false;                 ///< answers and takes nothing at all
    std::optional<std::size_t> tableCut; ///< every ReadTable reply cut to this many bytes
    std::map<int, std::size_t> cutRead;  ///< the n-th ReadTable reply (from 1) cut to this many bytes
    int tableReads = 0;                  ///< ReadTables answered so far
    std::set<int> corruptAt;             ///< a stored WriteTable holds these offsets with the low bit flipped
    link::Bytes live;                    ///< what ReadLive answers (empty: nothing comes)
    std::atomic<int> liveReads{0};       ///< ReadLive commands taken; safe to read while a link thread runs
    std::atomic<bool> holdLive{false};   ///< ReadLive waits for this to clear before it answers

private:
    link::Bytes reply(const sim::Command& c);

    sim::Unit m_unit{sim::Identity{}, {}};
    sim::CommandParser m_parser;
};

} // namespace kyr::test
