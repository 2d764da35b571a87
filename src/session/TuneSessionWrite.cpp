// SPDX-License-Identifier: GPL-3.0-or-later
// Write to KYR: the backup read, the image, the unit's settling time and the
// read-back that says whether the unit holds the tune.

#include "session/TuneSession.h"

#include "session/Backups.h"
#include "session/WriteRules.h"
#include "tools/SerialNumber.h"

namespace kyr::session {

namespace {

using namespace link;

/// What a read-back is checked for beyond offsets 0 to 480: the trailer the
/// write always sends as 55, in plus-one form.
constexpr uint8_t TrailerPlusOne = table::TrailerRaw + 1;

std::string offsetsText(const std::vector<int>& offsets)
{
    return "offset" + std::string(offsets.size() > 1 ? "s " : " ") + offsetList(offsets);
}

} // namespace

SessionResult TuneSession::tableWrite(TuneState& s, const table::EncodedImage& image)
{
    SessionResult r;
    auto refuse = [&](ErrorKind kind, const std::string& text) {
        r.error = makeError(kind, text);
        say(r, s, text);
        return r;
    };
    if (!s.flags.UnitConnected)
        return refuse(ErrorKind::NoUnit, "KYR not connected");
    if (!s.imageWhole)
        return refuse(ErrorKind::BadArgument, "Nothing to write: no whole table has been read or opened");
    // What the unit holds now is kept before it is overwritten. A unit whose
    // table cannot be read whole is still written: that may be the repair.
    const int disconnects = m_efi.disconnects();
    if (auto before = readUnitTable(s, r); !before)
        backupFailed(s, r, before.error());
    // A port that closed meanwhile is never opened again for the table: the
    // name may lead to another unit by now.
    if (!m_efi.Opened() || m_efi.disconnects() != disconnects)
        return refuse(ErrorKind::WriteFailed, "Write to KYR failed before the table went out: the KYR's port closed");
    const WriteTableCommand command = writeTable(image.raw);
    if (!m_efi.Send(command.command)) {
        std::string why = m_efi.lastError() ? ": " + m_efi.lastError()->message : "";
        return refuse(ErrorKind::WriteFailed, "Write to KYR failed before the table went out" + why);
    }
    m_clock.sleepMs(pause::WriteTableGapMs);
    if (!m_efi.Send(command.payload)) {
        // The unit counts the bytes that came as image bytes and waits for the
        // rest: whatever is sent next would be stored as table.
        r.imageCut = true;
        std::string why = m_efi.lastError() ? ": " + m_efi.lastError()->message : "";
        return refuse(ErrorKind::WriteFailed, "Write to KYR failed part-way through the table" + why);
    }
    r.mapsRedrawn = true; // the arrays hold edits the image buffer does not: redraw, never decode
    if (!verifyWrite(s, image, r)) {
        // The device went away before the unit showed it holds the table: how
        // much of the image reached the unit is not known.
        r.imageCut = m_efi.disconnects() != disconnects;
        return r;
    }
    s.flags.ImageChanged = false;
    recordWritten(s, r);
    say(r, s, "Data table written to KYR");
    return r;
}

// What the unit holds after a verified write goes into its history, with the
// identity a backup of it would carry.
void TuneSession::recordWritten(TuneState& s, SessionResult& r)
{
    if (!m_backups || !s.unitImage)
        return;
    files::MapFile file;
    file.identity = s.unitIdentity.bytes;
    file.image = savedFromUnit(*s.unitImage);
    auto kept = m_backups->save(file, tools::serialText(table::setupOf(*s.unitImage)), HistoryKind::Written);
    if (kept)
        r.written = kept.value();
    else
        say(r, s, "Write not kept in the history: " + kept.error().message);
}

// The unit stores the image after its last byte has come: it is given time,
// and asked again while it does not answer.
Reply TuneSession::readBack()
{
    m_clock.sleepMs(m_timing.writeSettleMs);
    Reply reply;
    // Never through a port opened again: it may lead to another device.
    for (int attempt = 0; attempt < std::max(1, m_timing.readBackTries) && m_efi.Opened(); ++attempt) {
        if (attempt > 0)
            m_clock.sleepMs(m_timing.readBackGapMs);
        reply = exchange(m_efi, m_clock, readTable(), pause::ReadTableMs, ReadTableReply, m_timing.reply);
        if (reply.whole())
            break;
    }
    return reply;
}

// The unit's table read back must hold every byte that was sent.
bool TuneSession::verifyWrite(TuneState& s, const table::EncodedImage& image, SessionResult& r)
{
    const Reply reply = readBack();
    // A read-back that does not come is a write not verified yet, not a lost link.
    r.replyMissing = false;
    std::size_t got = 0;
    auto back = reply.whole() ? keptTableOf(reply.bytes, got) : std::nullopt;
    std::string why;
    if (reply.bytes.empty()) {
        why = "the KYR did not answer the read-back, so it is not verified yet";
        r.error = makeError(ErrorKind::ShortReply, why);
    } else if (!back) {
        why = tableReplyText(reply, ReadTableKeep);
        r.error = makeError(reply.fit == ReplyFit::Garbled ? ErrorKind::GarbledReply : ErrorKind::ShortReply, why);
    } else {
        s.unitImage = *back;
        r.tableFromUnit = true;
        r.mismatched = differingOffsets(image.plusOne, *back);
        if (reply.bytes[table::TrailerOffset] != TrailerPlusOne)
            r.mismatched.push_back(table::TrailerOffset);
        if (r.mismatched.empty())
            return true;
        why = "the KYR holds other values at " + offsetsText(r.mismatched);
        r.error = makeError(ErrorKind::VerifyMismatch, why);
    }
    say(r, s, "Write to KYR not verified: " + why);
    return false;
}

} // namespace kyr::session
