// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The use cases that change the tune state without a word on the line: a
// setup entry the rules took, a map point, a byte of the unit's own record,
// the live switches, a lost link noticed by a single send, a status text.
// With the exchanges in TuneSession and LinkKeeper these are the only
// writers of the state; the window and the tool call them and show the result.

#include "session/TuneState.h"
#include "table/Codec.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace kyr::session {

/// A setup entry the rules took.
struct SetupEntry {
    std::optional<int> offset; ///< the byte it stores, if any
    uint8_t plusOne = 0;       ///< its value, plus-one form
    bool marksTune = false;    ///< the tune counts as changed: Write is offered, Read is not
};

/// The stored byte goes into the setup copy and the image, so whatever is
/// built from the image (Write, Save From PC) carries what the unit was sent.
/// Every stored entry, quiet ones included, is kept by the unit only until
/// it is written: the tune counts as changed.
void applySetupEntry(TuneState& s, const SetupEntry& entry);

/// A map point the tuner set (index from 1). False, with nothing changed,
/// when the map has no such point.
bool applyMapPoint(table::MapArrays& maps, table::MapId map, int index, double value);

/// A byte of the unit's own record (its serial number), sent to the unit:
/// kept in the setup copy and the image, and, while a unit is connected, in
/// what the unit is known to hold. It is no change of the tune. The status
/// line's unit text follows.
void recordUnitByte(TuneState& s, int offset, uint8_t raw);

/// The status line's message.
void showStatus(TuneState& s, std::string text);

/// "Analog Signals": the real-time poll is wanted, and runs.
void setAnalogSignals(TuneState& s, bool on);
/// The charts follow the engine.
void setRealtimeTracking(TuneState& s, bool on);
/// The poll asks again as soon as a record is in.
void setFastPoll(TuneState& s, bool on);

/// A single send or a live read found the link gone (lostAt, "14:03:12"),
/// or the journal holds another count of edits. True when the state changed.
bool followLink(TuneState& s, const std::optional<std::string>& lostAt, std::size_t journaled);

} // namespace kyr::session
