// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/Protocol.h"

#include "link/TQCCom32.h"

#include <algorithm>

namespace kyr::link {

namespace {

constexpr uint8_t FillChar = '0';
constexpr std::size_t SignatureFirst = 5;
constexpr std::size_t SignatureSecond = 6;

} // namespace

Bytes readIdentity() { return {CmdReadIdentity}; }
Bytes readTable() { return {CmdReadTable}; }
Bytes readLive() { return {CmdReadLive}; }

Bytes writeByte(uint8_t offset, uint8_t value) { return {CmdWriteByte, offset, value}; }

Bytes writePoint(uint8_t bank, uint8_t index, uint8_t value) { return {bank, index, value}; }

Bytes writeMapPoint(const table::MapDef& map, int point, uint8_t value)
{
    return writePoint(map.bank, static_cast<uint8_t>(table::writeIndex(map, point)), value);
}

WriteTableCommand writeTable(const table::ImageBytes& raw)
{
    WriteTableCommand c;
    c.command = {CmdWriteTable};
    c.payload.assign(raw.begin(), raw.end());
    c.payload[table::TrailerOffset] = table::TrailerRaw;
    return c;
}

UnitIdentity UnitIdentity::filled()
{
    UnitIdentity id;
    id.bytes.fill(FillChar);
    return id;
}

std::string UnitIdentity::signature() const
{
    return std::to_string(bytes[SignatureFirst]) + std::to_string(bytes[SignatureSecond]);
}

bool UnitIdentity::recognised() const { return signature() == UnitSignature; }

bool UnitIdentity::fromFile() const { return signature() == FileSignatureText; }

UnitIdentity identityStopAtZero(const Bytes& reply)
{
    UnitIdentity id = UnitIdentity::filled();
    const std::size_t n = copyUntilZero(reply, id.bytes);
    if (n < IdentitySize)
        id.bytes[n] = 0;
    return id;
}

UnitIdentity identityByCount(const Bytes& reply)
{
    UnitIdentity id = UnitIdentity::filled();
    const std::size_t n = std::min(reply.size(), IdentitySize);
    std::copy_n(reply.begin(), n, id.bytes.begin());
    return id;
}

std::size_t copyUntilZero(const Bytes& reply, std::span<uint8_t> dest)
{
    std::size_t n = 0;
    while (n < dest.size() && n < reply.size() && reply[n] != 0) {
        dest[n] = reply[n];
        ++n;
    }
    return n;
}

Bytes transact(TQCCom32& port, Clock& clock, const Bytes& command, int pauseMs)
{
    // No port, no reply: do not wait out the pause or try the open twice more.
    if (!port.Opened() && !port.Open())
        return {};
    port.Purge();
    port.Send(command);
    clock.sleepMs(pauseMs);
    return port.GetResponse();
}

Bytes transactUntil(TQCCom32& port, Clock& clock, const Bytes& command, std::size_t want, int limitMs)
{
    if (!port.Opened() && !port.Open())
        return {};
    port.Purge();
    port.Send(command);
    const uint32_t start = clock.tickMs();
    // Elapsed time in unsigned arithmetic: correct across the tick wrap.
    while (port.Opened() && static_cast<std::size_t>(port.InCount()) < want
           && static_cast<uint32_t>(clock.tickMs() - start) < static_cast<uint32_t>(limitMs))
        clock.sleepMs(1);
    return port.GetResponse();
}

namespace {

/// Lets bytes still coming through and throws them away, until the line has
/// been quiet for as long as a reply may pause (or lateLimitMs have passed).
void drainUntilQuiet(TQCCom32& port, Clock& clock, const ReplyTiming& timing)
{
    const uint32_t start = clock.tickMs();
    port.Purge();
    while (port.Opened() && static_cast<uint32_t>(clock.tickMs() - start) < static_cast<uint32_t>(timing.lateLimitMs)) {
        clock.sleepMs(timing.stallMs);
        if (port.InCount() == 0)
            return;
        port.Purge();
    }
}

} // namespace

void discardLateReply(TQCCom32& port, Clock& clock, const ReplyTiming& timing) { drainUntilQuiet(port, clock, timing); }

namespace {

/// After the pause: waits while the reply is still coming, until it holds
/// length bytes and nothing more came for quietMs.
void waitWhileArriving(TQCCom32& port, Clock& clock, std::size_t length, const ReplyTiming& timing)
{
    auto count = static_cast<std::size_t>(port.InCount());
    if (count == 0)
        return; // nothing began: a silent or late unit costs no more than the pause
    const uint32_t pauseEnd = clock.tickMs();
    uint32_t changed = pauseEnd;
    auto since = [&clock](uint32_t t) { return static_cast<uint32_t>(clock.tickMs() - t); };
    while (port.Opened() && since(pauseEnd) < static_cast<uint32_t>(timing.lateLimitMs)) {
        const uint32_t quiet = since(changed);
        if (count >= length && quiet >= static_cast<uint32_t>(timing.quietMs))
            return;
        if (count < length && quiet >= static_cast<uint32_t>(timing.stallMs))
            return;
        clock.sleepMs(count >= length ? timing.quietMs - static_cast<int>(quiet) : 1);
        if (const auto now = static_cast<std::size_t>(port.InCount()); now != count) {
            count = now;
            changed = clock.tickMs();
        }
    }
}

/// Quick replies: waits for the first byte of the reply, at most the pause.
void waitForFirstByte(TQCCom32& port, Clock& clock, int pauseMs)
{
    const uint32_t start = clock.tickMs();
    while (port.Opened() && port.InCount() == 0 && static_cast<uint32_t>(clock.tickMs() - start) < static_cast<uint32_t>(pauseMs))
        clock.sleepMs(1);
}

} // namespace

Reply exchange(TQCCom32& port, Clock& clock, const Bytes& command, int pauseMs, std::size_t length,
               const ReplyTiming& timing)
{
    Reply out;
    if (!port.Opened() && !port.Open())
        return out;
    // Something still arriving belongs to an earlier command.
    if (port.InCount() > 0)
        drainUntilQuiet(port, clock, timing);
    port.Purge();
    // A device that went away on the way is not opened again behind the caller's back.
    if (!port.Opened() || !port.Send(command))
        return out;
    if (timing.quick)
        waitForFirstByte(port, clock, pauseMs);
    else
        clock.sleepMs(pauseMs);
    waitWhileArriving(port, clock, length, timing);
    if (!port.Opened())
        return out;
    out.bytes = port.GetResponse();
    if (out.bytes.size() == length)
        out.fit = ReplyFit::Whole;
    else
        out.fit = out.bytes.size() < length ? ReplyFit::Short : ReplyFit::Garbled;
    if (!out.whole() && !out.bytes.empty())
        drainUntilQuiet(port, clock, timing);
    return out;
}

std::string garbledReplyText(std::size_t got, std::size_t expected)
{
    return "Garbled reply from KYR: " + std::to_string(got) + " bytes where " + std::to_string(expected) +
           " were due";
}

bool sendWriteTable(TQCCom32& port, Clock& clock, const WriteTableCommand& command)
{
    // Without the command byte the unit would take the image bytes for
    // commands of their own (F2 ..., E8 ...): never send one without the other.
    if (!port.Send(command.command))
        return false;
    clock.sleepMs(pause::WriteTableGapMs);
    return port.Send(command.payload);
}

} // namespace kyr::link
