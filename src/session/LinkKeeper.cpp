// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/LinkKeeper.h"

#include "session/WriteRules.h"
#include "tools/SerialNumber.h"

#include <algorithm>
#include <ctime>

namespace kyr::session {

namespace {

using namespace link;

constexpr char kLostText[] = "Link lost";

std::string lostDuring(Activity a, const SessionResult& r)
{
    switch (a) {
    case Activity::TableWrite:
        if (r.imageCut)
            return CutWriteText;
        return "Link lost before the table write began: the KYR's table was not changed";
    case Activity::TableRead: return "Link lost during the table read";
    default: return kLostText;
    }
}

void applyEdit(std::optional<table::ImageBytes>& image, const JournalEntry& e)
{
    if (image)
        (*image)[static_cast<std::size_t>(e.offset)] = static_cast<uint8_t>(e.raw + 1);
}

std::string editsText(std::size_t n) { return std::to_string(n) + (n == 1 ? " edit" : " edits"); }

} // namespace

void markLinkLost(TuneState& s, const std::string& at)
{
    if (s.link.lost)
        return;
    s.link.lost = true;
    s.link.choosing = false;
    s.link.lostAt = at;
    s.pollRunning = false;
    s.status.message = kLostText;
}

void markLinkBack(TuneState& s)
{
    s.link.lost = false;
    s.link.choosing = false;
    s.pollRunning = s.live.analogSignals;
}

std::string clockText(std::chrono::system_clock::time_point t)
{
    const std::time_t tt = std::chrono::system_clock::to_time_t(t);
    std::tm local{};
#ifdef _WIN32
    ::localtime_s(&local, &tt);
#else
    localtime_r(&tt, &local);
#endif
    char buf[16];
    std::strftime(buf, sizeof buf, "%H:%M:%S", &local);
    return buf;
}

LinkKeeper::LinkKeeper(TQCCom32& efi, Clock& clock, TuneSession& session, std::filesystem::path backupRoot, Now now)
    : m_efi(efi), m_clock(clock), m_session(session), m_backupRoot(std::move(backupRoot)), m_now(std::move(now))
{
}

bool LinkKeeper::deviceGone(int disconnectsBefore) const { return m_efi.disconnects() != disconnectsBefore; }

void LinkKeeper::lose(TuneState* s)
{
    if (!m_lost) {
        m_lost = true;
        m_lostAt = clockText(m_now());
    }
    m_liveMisses = 0;
    // Closed, so that nothing is sent into a device that may now be another one.
    m_efi.Close();
    if (s) {
        markLinkLost(*s, m_lostAt);
        s->link.journaled = m_journal.size();
    }
}

void LinkKeeper::journalStatus(const Status& st)
{
    if (st)
        m_journalError.reset();
    else
        m_journalError = st.error();
}

SessionResult LinkKeeper::guarded(TuneState& s, Activity activity,
                                  const std::function<SessionResult(TuneState&)>& useCase)
{
    if ((m_lost || s.link.lost) && activity != Activity::Quiet) {
        SessionResult r;
        r.error = makeError(ErrorKind::LinkLost, "The link to the KYR is lost: waiting for it to come back");
        return r;
    }
    const int before = m_efi.disconnects();
    // Only a link that was up can be lost: a Connect that fails half-way is a failed Connect.
    const bool wasConnected = s.flags.UnitConnected;
    SessionResult r = useCase(s);
    if (s.flags.UnitConnected)
        m_disconnected = false;
    followUnitTable(s, r);
    // A use case that ended well on an open port has its link, whatever it met
    // on the way. An image that did not go out whole leaves the unit waiting
    // for the rest, device there or not: nothing may follow it.
    const bool cut = r.imageCut || ((deviceGone(before) || r.replyMissing) && (r.error || !m_efi.Opened()));
    if (wasConnected && s.flags.UnitConnected && activity != Activity::Quiet && cut) {
        lose(&s);
        if (activity == Activity::TableWrite && (r.imageCut || r.mapsRedrawn)) {
            s.link.writeCut = true;
            m_unitHolds.reset(); // what the unit holds now is unknown
        }
        if (r.imageCut) {
            m_powerCycle = true;
            s.link.powerCycle = true; // Write to KYR is then the user's word that the unit was switched off and on
        }
        const std::string text = lostDuring(activity, r);
        r.error = makeError(ErrorKind::LinkLost, text);
        m_session.say(r, s, text);
        return r;
    }
    // A whole table the unit confirmed settles whatever the journal held.
    if (activity == Activity::TableWrite && !r.error) {
        if (Status st = m_journal.clear(); !st)
            journalStatus(st);
        s.link.writeCut = false;
        if (s.link.choosing)
            markLinkBack(s);
        s.link.journaled = 0;
    }
    return r;
}

// The unit's table as the program last saw it, and the journal of that unit.
void LinkKeeper::followUnitTable(TuneState& s, SessionResult& r)
{
    if (r.tableFromUnit && s.unitImage)
        m_unitHolds = s.unitImage;
    if (!s.flags.UnitConnected || !s.unitImage)
        return;
    const std::string serial = tools::serialText(table::setupOf(*s.unitImage));
    if (serial == m_serial)
        return;
    m_serial = serial;
    // Edits kept for another unit stay in that unit's file: never sent to this one.
    m_journal = EditJournal{};
    if (!m_backupRoot.empty()) {
        Status attached = m_journal.attach(journalPath(m_backupRoot, serial));
        journalStatus(attached);
        if (!attached)
            m_session.say(r, s, "Unsent edits not read: " + attached.error().message);
    }
    if (!m_lost && !m_journal.empty())
        r.unsentEdits = m_journal.size();
}

SessionResult LinkKeeper::disconnect(TuneState& s)
{
    if (m_lost || s.link.lost || s.link.choosing) {
        SessionResult r;
        r.error = makeError(ErrorKind::LinkLost, "The link to the KYR is lost: waiting for it to come back");
        return r;
    }
    m_disconnected = true;
    m_liveMisses = 0;
    return m_session.disconnect(s);
}

SendOutcome LinkKeeper::send(const Bytes& bytes)
{
    if (m_disconnected)
        return SendOutcome::Refused;
    if (!m_lost) {
        const int before = m_efi.disconnects();
        if (m_efi.Send(bytes)) {
            if (auto e = singleWrite(bytes))
                applyEdit(m_unitHolds, *e);
            return SendOutcome::Sent;
        }
        // A connected unit's port that fails a write, or will not open, has gone.
        if (deviceGone(before) || !m_efi.Opened())
            lose(nullptr);
        else
            return SendOutcome::Refused;
    }
    Status st = m_journal.add(bytes);
    if (!st && st.error().kind == ErrorKind::BadArgument)
        return SendOutcome::Refused;
    journalStatus(st);
    return SendOutcome::Journaled;
}

Bytes LinkKeeper::readLive(LivePace pace)
{
    if (m_lost || m_disconnected)
        return {};
    const int before = m_efi.disconnects();
    Bytes reply = pace == LivePace::Fast
                      ? transactUntil(m_efi, m_clock, link::readLive(), LiveRecordMax, pause::ReadLiveFastLimitMs)
                      : transact(m_efi, m_clock, link::readLive(), pause::ReadLiveMs);
    if (deviceGone(before) || !m_efi.Opened()) {
        lose(nullptr);
        return {};
    }
    if (!reply.empty())
        m_liveMisses = 0;
    else if (++m_liveMisses > LiveMissesAllowed)
        lose(nullptr);
    return reply;
}

ProbeOutcome LinkKeeper::probe(TuneState& s)
{
    if (!m_lost)
        return ProbeOutcome::SameUnit;
    // A unit still waiting for the rest of an image would store the probe's bytes.
    if (m_powerCycle)
        return ProbeOutcome::PowerCycleNeeded;
    // The name is resolved afresh: an adapter that came back under another
    // device is found under the same COM name, and nothing else is tried.
    m_session.usePort(s.port);
    if (!m_efi.Open())
        return ProbeOutcome::NoAnswer;
    const auto asked = m_session.askIdentityWhole(pause::IdentityConnectMs);
    const UnitIdentity id = asked ? asked.value() : UnitIdentity::filled();
    if (id.recognised() && id.bytes == s.unitIdentity.bytes)
        return ProbeOutcome::SameUnit;
    m_efi.Close();
    return id.recognised() ? ProbeOutcome::OtherUnit : ProbeOutcome::NoAnswer;
}

SessionResult LinkKeeper::writeAfterPowerCycle(TuneState& s, const table::EncodedImage& mine)
{
    SessionResult r;
    if (!m_powerCycle) {
        r.error = makeError(ErrorKind::BadArgument, "No cut-off table write is waiting to be done again");
        return r;
    }
    m_session.usePort(s.port);
    const auto id = m_efi.Open() ? m_session.askIdentityWhole(pause::IdentityConnectMs)
                                 : Result<UnitIdentity>(makeError(ErrorKind::NoUnit, "KYR not connected"));
    if (!id || id.value().bytes != s.unitIdentity.bytes) {
        // No unit answering is no proof it was switched off and on: still nothing is sent.
        m_efi.Close();
        r.error = makeError(ErrorKind::LinkLost, "The KYR does not answer on " + s.port.label() +
                                                     ": switch it off and on, then write the table again");
        m_session.say(r, s, r.error->message);
        return r;
    }
    m_powerCycle = false;
    s.link.powerCycle = false;
    m_lost = false;
    m_liveMisses = 0;
    markLinkBack(s);
    return guarded(s, Activity::TableWrite, [&](TuneState& st) { return m_session.tableWrite(st, mine); });
}

RejoinResult LinkKeeper::rejoin(TuneState& s, const table::EncodedImage& mine)
{
    RejoinResult out;
    SessionResult& r = out.session;
    if (m_powerCycle)
        return out; // still lost: nothing is read until the unit was switched off and on
    if (!m_lost) {
        out.outcome = RejoinOutcome::Restored;
        return out;
    }
    auto table = m_session.readUnitTable(s, r);
    if (!table) {
        m_efi.Close();
        r.error = table.error();
        return out;
    }
    if (tools::serialText(table::setupOf(table.value())) != m_serial) {
        m_efi.Close();
        out.outcome = RejoinOutcome::OtherUnit;
        r.error = makeError(ErrorKind::NoUnit, "Another KYR answers on " + s.port.label() + ": not joined");
        m_session.say(r, s, r.error->message);
        return out;
    }
    const std::optional<table::ImageBytes> known = m_unitHolds;
    s.unitImage = table.value();
    m_unitHolds = table.value();
    m_lost = false;
    m_liveMisses = 0;
    out.differences = differingOffsets(mine.plusOne, table.value());
    if (out.differences.empty()) {
        journalStatus(m_journal.clear());
        s.link.writeCut = false;
        s.link.journaled = 0;
        markLinkBack(s);
        out.outcome = RejoinOutcome::Restored;
        m_session.say(r, s, "Link restored");
        return out;
    }
    // Only the journal explains the difference when the unit still holds what
    // it held when the link went down, and the journal on top of that gives
    // the program's tune.
    const bool unitUnchanged = known && !s.link.writeCut && differingOffsets(*known, table.value()).empty();
    if (unitUnchanged && differingOffsets(mine.plusOne, m_journal.appliedTo(table.value())).empty()) {
        replay(s, out);
        return out;
    }
    // Write to KYR keeps the program's tune, Read from KYR the unit's table.
    s.link.lost = false;
    s.link.choosing = true;
    out.outcome = RejoinOutcome::Diverged;
    m_session.say(r, s, "Link restored: the KYR holds other values at offset" +
                            std::string(out.differences.size() > 1 ? "s " : " ") + offsetList(out.differences));
    return out;
}

bool LinkKeeper::replay(TuneState& s, RejoinResult& out)
{
    std::size_t sent = 0;
    for (const JournalEntry& e : m_journal.entries()) {
        // Sending an edit twice sets the same value twice: the whole journal
        // stays until every edit has gone out.
        if (!m_efi.Send(e.bytes)) {
            lose(&s);
            out.outcome = RejoinOutcome::StillLost;
            out.session.error = makeError(ErrorKind::LinkLost, kLostText);
            return false;
        }
        applyEdit(m_unitHolds, e);
        ++sent;
    }
    journalStatus(m_journal.clear());
    s.unitImage = m_unitHolds;
    s.link.journaled = 0;
    markLinkBack(s);
    out.sent = sent;
    out.outcome = RejoinOutcome::Replayed;
    m_session.say(out.session, s, "Link restored: " + editsText(sent) + " sent to the KYR");
    return true;
}

SessionResult LinkKeeper::keepUnitTable(TuneState& s)
{
    return guarded(s, Activity::TableRead, [this](TuneState& st) {
        SessionResult r;
        auto table = m_session.readUnitTable(st, r);
        if (!table) {
            r.error = table.error();
            m_session.say(r, st, table.error().message);
            return r;
        }
        st.image = table.value();
        st.unitImage = table.value();
        r.tableFromUnit = true;
        st.setup = table::setupOf(table.value());
        st.status.unitLine = tools::unitLine(st.unit.modelText, st.unit.versionText, st.setup);
        r.setupDecoded = true;
        r.mapsDecoded = true;
        st.imageWhole = true;
        st.flags.ImageChanged = false;
        journalStatus(m_journal.clear());
        st.link.journaled = 0;
        st.link.writeCut = false;
        markLinkBack(st);
        m_session.say(r, st, "The KYR's table is shown");
        return r;
    });
}

SessionResult LinkKeeper::sendLeftovers(TuneState& s)
{
    return guarded(s, Activity::Talks, [this](TuneState& st) {
        SessionResult r;
        std::size_t sent = 0;
        for (const JournalEntry& e : m_journal.entries()) {
            if (!m_efi.Send(e.bytes)) {
                r.error = makeError(ErrorKind::WriteFailed, "Edits not sent: the KYR did not take them");
                return r;
            }
            const auto value = static_cast<uint8_t>(e.raw + 1);
            st.image[static_cast<std::size_t>(e.offset)] = value;
            if (e.offset < table::SetupSize)
                st.setup[static_cast<std::size_t>(e.offset)] = value;
            applyEdit(m_unitHolds, e);
            ++sent;
        }
        st.unitImage = m_unitHolds;
        r.setupDecoded = true;
        r.mapsDecoded = true;
        journalStatus(m_journal.clear());
        m_session.say(r, st, editsText(sent) + " from the last session sent to the KYR");
        return r;
    });
}

Status LinkKeeper::dropLeftovers(TuneState& s)
{
    s.link.journaled = 0;
    Status st = m_journal.clear();
    journalStatus(st);
    return st;
}

} // namespace kyr::session
