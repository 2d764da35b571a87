// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The unit's command set: byte-exact builders, the fixed pauses, the identity
// reply, and the one way to run a command that has a reply.

#include "link/Bytes.h"
#include "link/Clock.h"
#include "table/Layout.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace kyr::link {

class TQCCom32;

// ---------------------------------------------------------------- commands

constexpr uint8_t CmdReadIdentity = 0xFF;
constexpr uint8_t CmdReadTable = 0xFD;
constexpr uint8_t CmdWriteTable = 0xF3;
constexpr uint8_t CmdWriteByte = 0xF2;
constexpr uint8_t CmdReadLive = 0xFC;

/// How long the sender waits after a command before reading or sending on.
namespace pause {
constexpr int IdentitySearchMs = 100;   ///< ReadIdentity in the start-up port search
constexpr int IdentityRefreshMs = 200;  ///< ReadIdentity in Refresh Com Port
constexpr int IdentityConnectMs = 300;  ///< ReadIdentity in Connect
constexpr int ReadTableMs = 500;        ///< ReadTable
constexpr int WriteTableGapMs = 100;    ///< between the WriteTable byte and the image
constexpr int ReadLiveMs = 20;          ///< ReadLive
constexpr int TpsCalibrationGapMs = 200;///< between the two calibration WriteBytes
constexpr int ReadLiveFastLimitMs = 50; ///< ReadLive of the fast poll: the longest wait for the whole record
} // namespace pause

constexpr std::size_t IdentitySize = 7;  ///< bytes of UnitIdentity used
constexpr std::size_t LiveRecordMax = 10;///< bytes of a LiveRecord at most
constexpr std::size_t ReadTableKeep = 481; ///< reply bytes the table read keeps (offsets 0..480)
constexpr std::size_t ReadTableReply = 482;///< bytes of a whole ReadTable reply (offsets 0..481, the trailer last)

/// FF: asks for the UnitIdentity.
Bytes readIdentity();
/// FD: asks for the DataTable image (plus-one form).
Bytes readTable();
/// FC: asks for a LiveRecord.
Bytes readLive();
/// F2, offset, value: one setup byte, raw form (value 0 goes out as 0).
Bytes writeByte(uint8_t offset, uint8_t value);
/// bank, index, value: one map point, raw form.
Bytes writePoint(uint8_t bank, uint8_t index, uint8_t value);
/// The WritePoint of point i (1-based) of a map, bank and index from the layout.
Bytes writeMapPoint(const table::MapDef& map, int point, uint8_t value);

/// WriteTable goes out in two writes with a pause between them.
struct WriteTableCommand {
    Bytes command; ///< F3
    Bytes payload; ///< the 482-byte raw image, offset 481 = 55
};
/// WriteTable of a raw image; the trailer byte is forced to 55 whatever the image holds.
WriteTableCommand writeTable(const table::ImageBytes& raw);

// ---------------------------------------------------------------- identity

/// The unit's 7 identity bytes, taken as they come (not plus-one).
struct UnitIdentity {
    std::array<uint8_t, IdentitySize> bytes;

    /// Every byte the character "0" (48): what a missing reply leaves.
    static UnitIdentity filled();

    int model() const { return bytes[0]; }
    int major() const { return bytes[1]; }
    int minor() const { return bytes[2]; }
    /// The unit type code: the major version.
    int typeCode() const { return bytes[1]; }
    /// Decimal text of byte 5 followed by that of byte 6.
    std::string signature() const;
    /// A unit answered: signature "56".
    bool recognised() const;
    /// The identity came from a map file: signature "44".
    bool fromFile() const;
};

constexpr const char* UnitSignature = "56";
constexpr const char* FileSignatureText = "44";

/// Fill with "0", then copy up to 7 reply bytes, stopping at a zero byte,
/// which is stored where the copy stopped (an empty reply leaves byte 0 = 0).
UnitIdentity identityStopAtZero(const Bytes& reply);
/// Fill with "0", then copy the first min(7, size) reply bytes, zero bytes
/// included: a unit with minor version 0 is still read whole.
UnitIdentity identityByCount(const Bytes& reply);

// ---------------------------------------------------------------- table replies

/// Copies reply bytes into dest up to dest.size(), stopping at the first zero
/// byte (replies are plus-one, so a zero ends the data); the rest of dest is
/// left as it was. Returns how many bytes were copied.
std::size_t copyUntilZero(const Bytes& reply, std::span<uint8_t> dest);

// ---------------------------------------------------------------- transactions

/// Runs a command with a reply: opens the port if closed, purges it so that a
/// late reply to an earlier command is not taken for this one, sends, waits
/// pauseMs on the clock, and takes whatever has arrived, once. Empty at once,
/// without a pause, when the port cannot be opened.
Bytes transact(TQCCom32& port, Clock& clock, const Bytes& command, int pauseMs);

/// Like transact, but takes the reply as soon as want bytes have arrived,
/// polling the input count every millisecond; after limitMs it takes what has
/// come. The fast live poll runs on it: a record is taken when it is whole.
Bytes transactUntil(TQCCom32& port, Clock& clock, const Bytes& command, std::size_t want, int limitMs);

/// How a reply of a known length is waited for, beyond the command's pause.
struct ReplyTiming {
    int quietMs = 5;       ///< a reply is whole once it holds its length and nothing more came for this long
    int stallMs = 50;      ///< a reply that gains no byte for this long has stopped
    int lateLimitMs = 500; ///< the longest wait past the pause for a reply still arriving
    /// Quick: a reply is taken as soon as it is whole (its length, then the
    /// quiet time) and the next command follows at once; the pause only
    /// bounds the wait for its first byte. Off: the unit's fixed pauses.
    bool quick = false;
};

/// After a reply that did not come whole: lets the rest of it (late bytes
/// still on their way) run out and throws it away, so that it is not taken
/// for the start of the next reply. Returns once the line is quiet for
/// timing.stallMs, or after timing.lateLimitMs.
void discardLateReply(TQCCom32& port, Clock& clock, const ReplyTiming& timing = {});

/// How a reply matched its length.
enum class ReplyFit {
    Whole,   ///< exactly its length, and the line quiet after it
    Short,   ///< fewer bytes (none at all included)
    Garbled, ///< more bytes than the reply has: something else came with it
};

struct Reply {
    Bytes bytes;
    ReplyFit fit = ReplyFit::Short;
    bool whole() const { return fit == ReplyFit::Whole; }
};

/// Runs a command whose reply has a fixed length (with timing.quick, see
/// ReplyTiming, the pause only bounds the wait for the first byte). Before sending, bytes still
/// coming from an earlier reply are let through and thrown away. After the
/// pause, a reply that has begun is waited for until it holds its length and
/// the line stays quiet, up to timing.lateLimitMs more; it is never cut at the
/// pause's end. A reply that is not whole leaves the line quiet behind it, so
/// its tail cannot pass for the start of the next one. A port that closes on
/// the way (the device went away) is not opened again: the reply is empty.
Reply exchange(TQCCom32& port, Clock& clock, const Bytes& command, int pauseMs, std::size_t length,
               const ReplyTiming& timing = {});

/// "Garbled reply from KYR: 490 bytes where 482 were due".
std::string garbledReplyText(std::size_t got, std::size_t expected);

/// Sends WriteTable: the command byte, the pause, then the image. The image
/// is not sent if the command byte did not go out. True when both went out whole.
bool sendWriteTable(TQCCom32& port, Clock& clock, const WriteTableCommand& command);

} // namespace kyr::link
