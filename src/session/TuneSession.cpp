// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/TuneSession.h"

#include "session/Backups.h"
#include "session/WriteRules.h"
#include "tools/SerialNumber.h"

#include <algorithm>
#include <utility>

namespace kyr::session {

namespace {

using namespace link;

constexpr int FirstPort = 1;
constexpr int LastPort = 20;
constexpr uint8_t FillChar = '0';

} // namespace

std::optional<table::ImageBytes> keptTableOf(const Bytes& reply, std::size_t& got)
{
    table::ImageBytes buffer;
    buffer.fill(FillChar);
    std::span<uint8_t> keep(buffer.data(), ReadTableKeep);
    got = copyUntilZero(reply, keep);
    if (got < ReadTableKeep)
        return std::nullopt;
    return buffer;
}

std::string incompleteReadText(std::size_t got, std::size_t expected)
{
    return "Incomplete read from KYR: " + std::to_string(got) + " of " + std::to_string(expected) + " bytes";
}

std::string tableReplyText(const Reply& reply, std::size_t expected)
{
    if (reply.fit == ReplyFit::Garbled)
        return garbledReplyText(reply.bytes.size(), ReadTableReply);
    table::ImageBytes scratch;
    const std::size_t got = copyUntilZero(reply.bytes, std::span<uint8_t>(scratch.data(), expected));
    return incompleteReadText(got, expected);
}

table::ImageBytes savedFromUnit(table::ImageBytes unitTable)
{
    unitTable[table::TrailerOffset] = 0;
    return unitTable;
}

TuneSession::TuneSession(TQCCom32& efi, Clock& clock, BackupStore* backups, LinkTiming timing)
    : m_efi(efi), m_clock(clock), m_backups(backups), m_timing(timing)
{
}

void TuneSession::say(SessionResult& r, TuneState& s, const std::string& text)
{
    r.statuses.push_back(text);
    s.status.message = text;
    if (m_observer)
        m_observer->status(text);
}

void TuneSession::usePort(const PortAddress& port)
{
    m_efi.setDevicePath(port.device);
    if (port.device.empty())
        m_efi.setPort(port.com);
}

UnitIdentity TuneSession::askIdentity(int pauseMs)
{
    // Copied by count, zero bytes included: a unit whose minor version is 0
    // is still recognised. The buffer starts as "0" for every port, so a short
    // reply never inherits the signature of an earlier one.
    return identityByCount(transact(m_efi, m_clock, readIdentity(), pauseMs));
}

Result<UnitIdentity> TuneSession::askIdentityWhole(int pauseMs)
{
    const Reply reply = exchange(m_efi, m_clock, readIdentity(), pauseMs, IdentitySize, m_timing.reply);
    if (reply.fit == ReplyFit::Garbled)
        return makeError(ErrorKind::GarbledReply, garbledReplyText(reply.bytes.size(), IdentitySize));
    // Copied by count: a unit whose minor version is 0 is still recognised.
    const UnitIdentity id = identityByCount(reply.bytes);
    if (!reply.whole() || !id.recognised())
        return makeError(ErrorKind::NoUnit, "KYR not connected");
    return id;
}

SessionResult TuneSession::search(TuneState& s, int pauseMs, bool lastWins)
{
    SessionResult r;
    bool found = false;
    m_efi.setDevicePath({});
    for (int n = FirstPort; n <= LastPort; ++n) {
        m_efi.setPort(n);
        if (!m_efi.Open()) {
            if (m_efi.lastError() && m_efi.lastError()->kind == ErrorKind::PortInUse)
                r.busyPorts.push_back({n, *m_efi.lastError()});
            continue;
        }
        s.ports.push_back(n);
        PortProbe probe{n, m_efi.devicePath(), std::nullopt};
        UnitIdentity id = askIdentity(pauseMs);
        if (id.recognised())
            probe.unit = id;
        if (id.recognised() && (lastWins || !found)) {
            std::string text;
            if (lastWins) {
                if (auto t = table::unitType(id.typeCode()); t && !t->searchName.empty())
                    s.unit.typeName = std::string(t->searchName);
                text = s.unit.typeName + " Module found on Com" + std::to_string(n);
            } else {
                text = "EFI version " + std::to_string(id.bytes[0]) + "." + std::to_string(id.bytes[1]) + "." +
                       std::to_string(static_cast<int>(id.bytes[2]) - 1) + " found on Com" + std::to_string(n);
            }
            say(r, s, text);
            s.port = PortAddress::comPort(n);
            s.unitFoundBySearch = true;
            found = true;
        } else if (!found) {
            say(r, s, "No KYR present");
        }
        r.probes.push_back(probe);
        m_efi.Close();
    }
    if (!found) {
        say(r, s, "No KYR present");
        r.error = makeError(ErrorKind::NoUnit, "No KYR present");
    }
    return r;
}

SessionResult TuneSession::portSearch(TuneState& s)
{
    s.ports.clear();
    return search(s, pause::IdentitySearchMs, true);
}

SessionResult TuneSession::refreshComPort(TuneState& s)
{
    s.ports.clear();
    m_efi.Close();
    return search(s, pause::IdentityRefreshMs, false);
}

SessionResult TuneSession::selectPort(TuneState& s, const PortAddress& port)
{
    SessionResult r;
    if (port.empty()) {
        r.error = makeError(ErrorKind::BadArgument, "\"" + port.chooserText() + "\" is not a port name");
        return r;
    }
    s.port = port;
    m_efi.Close();
    usePort(port);
    if (!m_efi.Open() && m_efi.lastError())
        r.error = *m_efi.lastError();
    return r;
}

void TuneSession::decodeIdentity(TuneState& s, const UnitIdentity& id, bool withTypeName)
{
    s.unit.identity = id;
    s.unit.modelText = std::to_string(id.model());
    s.unit.versionText = std::to_string(id.major()) + "." + std::to_string(id.minor());
    s.unit.typeCode = id.typeCode();
    if (!withTypeName)
        return;
    if (auto t = table::unitType(id.typeCode())) {
        s.unit.typeName = std::string(t->name);
        s.unit.timing = t->timing;
        s.unit.fuel = t->fuel;
    }
}

// The unit's setup area (or the open file's) into the image. False, with
// nothing changed, when the unit's reply is short or there is no file image.
bool TuneSession::readSetup(TuneState& s, SessionResult& r)
{
    if (s.flags.FileOpen) {
        if (!s.fileImage)
            return false; // never the "0" fill in place of a file's setup
        std::copy_n(s.fileImage->begin(), table::SetupSize, s.image.begin());
        return true;
    }
    say(r, s, "Reading KYR Setup Data...");
    const Reply reply = exchange(m_efi, m_clock, readTable(), pause::ReadTableMs, ReadTableReply, m_timing.reply);
    r.replyMissing = reply.bytes.empty();
    table::SetupCopy area;
    area.fill(FillChar);
    const std::size_t got = copyUntilZero(reply.bytes, area);
    // The setup is the start of a whole table or nothing: a reply cut short
    // or run on may have begun with another reply's tail.
    if (!reply.whole() || got < table::SetupSize) {
        const std::string text =
            got < table::SetupSize && reply.fit != ReplyFit::Garbled ? incompleteReadText(got, table::SetupSize)
                                                                     : tableReplyText(reply, ReadTableKeep);
        say(r, s, text);
        r.error = makeError(reply.fit == ReplyFit::Garbled ? ErrorKind::GarbledReply : ErrorKind::ShortReply, text);
        return false;
    }
    std::copy(area.begin(), area.end(), s.image.begin());
    m_setupRead = area;
    return true;
}

void TuneSession::decodeSetup(TuneState& s, SessionResult& r)
{
    std::copy_n(s.image.begin(), table::SetupSize, s.setup.begin());
    r.setupDecoded = true;
    s.status.unitLine = tools::unitLine(s.unit.modelText, s.unit.versionText, s.setup);
}

// Who answers (or the open file's identity), then the setup area. False when
// there is no setup to show: the fields keep what they show.
bool TuneSession::identifyAndReadSetup(TuneState& s, SessionResult& r)
{
    UnitIdentity id = s.unit.identity;
    std::optional<Error> openError;
    if (!s.flags.FileOpen) {
        say(r, s, "Searching ComPorts...");
        usePort(s.port);
        if (!m_efi.Open())
            openError = m_efi.lastError(); // why, for the user: permission, busy, missing
        auto asked = askIdentityWhole(pause::IdentityConnectMs);
        id = asked ? asked.value() : UnitIdentity::filled();
        if (!asked && asked.error().kind == ErrorKind::GarbledReply)
            openError = asked.error();
    }
    bool answered = true;
    // The file signature counts only for the open file's own identity: a
    // port whose reply carries it is not a unit, and no file is open.
    if (s.flags.FileOpen && id.fromFile()) {
        say(r, s, "KYR file opened successfully");
    } else if (!id.recognised()) {
        say(r, s, "KYR not connected");
        if (openError)
            r.error = openError;
        answered = false;
    } else {
        s.flags.UnitConnected = true;
        s.unitTypeCode = id.typeCode();
        s.unitIdentity = id;
        say(r, s, "KYR Connected");
    }
    if (answered) {
        decodeIdentity(s, id, true);
        r.identityChanged = true;
        s.status.typeName = s.unit.typeName;
    }
    if (s.flags.UnitConnected || s.flags.FileOpen)
        s.unitTypeText = s.unit.typeName;
    if (s.flags.FileOpen)
        s.flags.ImageChanged = true;
    return (answered || s.flags.FileOpen) && readSetup(s, r);
}

// The unit's setup is shown; the rest of Connect reads its maps.
void TuneSession::readyUnit(TuneState& s, SessionResult& r) { say(r, s, "Ready"); }

SessionResult TuneSession::connect(TuneState& s, ConnectPace pace)
{
    const ReplyTiming kept = m_timing.reply;
    m_timing.reply.quick = pace == ConnectPace::Quick;
    SessionResult r = connectUnit(s);
    m_timing.reply = kept;
    return r;
}

SessionResult TuneSession::connectUnit(TuneState& s)
{
    SessionResult r;
    m_setupRead.reset();
    // A decoded file has its setup area in the image already; without the
    // file's image there is nothing decoded to skip to.
    if (s.flags.FileDecoded && !s.fileImage)
        s.flags.FileDecoded = false;
    const bool joining = s.flags.FileDecoded;
    if (!joining && !identifyAndReadSetup(s, r)) {
        // A unit that answered but whose setup did not come whole takes no edits.
        if (s.flags.UnitConnected)
            takeNoEdits(s);
        if (!r.error)
            r.error = makeError(ErrorKind::NoUnit, "KYR not connected");
        return r;
    }
    decodeSetup(s, r);
    if (s.flags.UnitConnected)
        readyUnit(s, r);
    s.flags.EditsLive = true;
    if (joining)
        joinUnit(s, r);
    s.dataInterval = 1;
    // Joined, the tune on screen, with every edit made since the file was
    // opened, is the one the unit gets: nothing is decoded again.
    if (s.flags.UnitConnected && !joining) {
        SessionResult t = tableRead(s);
        r.statuses.insert(r.statuses.end(), t.statuses.begin(), t.statuses.end());
        r.mapsDecoded = t.mapsDecoded;
        r.backup = t.backup;
        r.backupError = t.backupError;
        r.tableFromUnit = t.tableFromUnit;
        r.replyMissing = t.replyMissing;
        if (t.error) {
            r.error = t.error;
            // Half a Connect takes no edits: the maps shown are not the unit's.
            if (!s.flags.FileOpen)
                takeNoEdits(s);
        }
    }
    m_setupRead.reset(); // only this Connect's table read is held to it
    return r;
}

// A decoded file joins the unit on the chosen port.
void TuneSession::joinUnit(TuneState& s, SessionResult& r)
{
    say(r, s, "Searching ComPorts...");
    usePort(s.port);
    m_efi.Open();
    auto asked = askIdentityWhole(pause::IdentityConnectMs);
    const UnitIdentity id = asked ? asked.value() : UnitIdentity::filled();
    if (!id.recognised()) {
        say(r, s, "KYR not connected");
        r.error = makeError(ErrorKind::NoUnit, "KYR not connected");
        return;
    }
    say(r, s, "KYR Connected");
    decodeIdentity(s, id, false);
    r.identityChanged = true;
    s.status.unitLine = "KYR " + s.unit.modelText + " v" + s.unit.versionText;
    s.flags.UnitConnected = true;
    s.unitTypeCode = id.typeCode();
    s.unitIdentity = id;
    s.readOffered = false;
}

Result<table::ImageBytes> TuneSession::readUnitTable(TuneState& s, SessionResult& r,
                                                     const table::SetupCopy* expectSetup)
{
    const Reply reply = exchange(m_efi, m_clock, readTable(), pause::ReadTableMs, ReadTableReply, m_timing.reply);
    r.replyMissing = reply.bytes.empty();
    std::size_t got = 0;
    auto table = reply.whole() ? keptTableOf(reply.bytes, got) : std::nullopt;
    if (!table) {
        const ErrorKind kind = reply.fit == ReplyFit::Garbled ? ErrorKind::GarbledReply : ErrorKind::ShortReply;
        return makeError(kind, tableReplyText(reply, ReadTableKeep));
    }
    // Two reads of one unit a moment apart hold the same setup, serial number included.
    if (expectSetup && table::setupOf(*table) != *expectSetup)
        return makeError(ErrorKind::GarbledReply, "Garbled reply from KYR: the table read and the setup read differ");
    r.tableFromUnit = true;
    r.unitTable = *table;
    backUp(s, *table, r);
    return *table;
}

SessionResult TuneSession::tableRead(TuneState& s)
{
    SessionResult r;
    if (!s.flags.FileOpen) {
        const std::optional<table::SetupCopy> setupRead = std::exchange(m_setupRead, std::nullopt);
        auto table = readUnitTable(s, r, setupRead ? &*setupRead : nullptr);
        if (!table) {
            // A short reply is not the unit's table: keep the image and maps as they were.
            say(r, s, table.error().message);
            r.error = table.error();
            return r;
        }
        s.image = table.value();
        s.unitImage = table.value();
    } else if (s.fileImage) {
        s.image = *s.fileImage;
    } else {
        r.error = makeError(ErrorKind::BadArgument, "No file image to show");
        return r;
    }
    tableShown(s, r);
    return r;
}

// What a whole table in the image makes possible.
void TuneSession::tableShown(TuneState& s, SessionResult& r)
{
    s.imageWhole = true;
    r.mapsDecoded = true;
    s.readOffered = false;
    if (s.flags.FileOpen) {
        s.flags.FileDecoded = true;
        return;
    }
    s.live.analogSignals = true;
    s.pollRunning = true;
    s.flags.EditsLive = true;
    s.live.realtimeTracking = false;
}

// Said, never raised: a backup that cannot be kept must not stop the tuner's work.
void TuneSession::backupFailed(TuneState& s, SessionResult& r, const Error& why)
{
    r.backupError = why;
    say(r, s, "Backup not written: " + why.message);
}

void TuneSession::backUp(TuneState& s, const table::ImageBytes& image, SessionResult& r)
{
    if (!m_backups)
        return;
    files::MapFile file;
    // The table is the unit's: a file opened since Connect shows its own
    // identity, and a backup carrying it would be restored as the file's type.
    file.identity = s.flags.UnitConnected ? s.unitIdentity.bytes : s.unit.identity.bytes;
    file.image = savedFromUnit(image);
    auto saved = m_backups->save(file, tools::serialText(table::setupOf(image)));
    if (saved)
        r.backup = saved.value();
    else
        backupFailed(s, r, saved.error());
}

SessionResult TuneSession::openFile(TuneState& s, const files::MapFile& file, const std::filesystem::path& path)
{
    s.flags.FileOpen = false;
    s.flags.FileDecoded = false;
    s.unit.identity.bytes = file.identity;
    s.fileTypeCode = file.identity[1];
    s.fileImage = file.image;
    s.filePath = path;
    s.image = file.image;
    s.flags.FileOpen = true;
    s.flags.EditsLive = true;
    SessionResult r = connect(s);
    if (!r.mapsDecoded) {
        SessionResult t = tableRead(s);
        r.mapsDecoded = t.mapsDecoded;
    }
    return r;
}

void TuneSession::openFileFailed(TuneState& s)
{
    s.image.fill(FillChar);
    s.flags.FileOpen = false;
    // The "0" fill must never pass for a decoded file: the next Connect
    // reads the unit's own setup.
    s.flags.FileDecoded = false;
    s.fileImage.reset();
    s.filePath.clear();
    s.fileTypeCode = 0;
}

SessionResult TuneSession::closeAll(TuneState& s)
{
    SessionResult r;
    s.flags.FileOpen = false;
    // Forgetting the decoded file too: otherwise the next Connect would skip
    // the unit's setup and mix the closed file's setup with the unit's maps.
    s.flags.FileDecoded = false;
    s.fileImage.reset();
    s.filePath.clear();
    s.fileTypeCode = 0;
    if (s.flags.UnitConnected) {
        s.readOffered = true;
        return r;
    }
    // Without a unit nothing of the closed file is left to write or save:
    // its identity, its texts, its setup and maps are forgotten.
    s.imageWhole = false;
    s.flags.ImageChanged = false;
    s.unit = UnitInfo{};
    s.unitTypeText.clear();
    s.status.unitLine.clear();
    s.status.typeName.clear();
    s.image.fill(FillChar);
    s.setup.fill(FillChar);
    r.tuneCleared = true;
    return r;
}

Result<table::ImageBytes> TuneSession::readForSave(TuneState& s)
{
    SessionResult r;
    auto table = readUnitTable(s, r);
    if (!table)
        return makeError(ErrorKind::ShortReply, table.error().message + "; nothing was saved");
    return savedFromUnit(table.value());
}

SessionResult TuneSession::disconnect(TuneState& s)
{
    SessionResult r;
    dropUnit(s);
    say(r, s, "Disconnected");
    return r;
}

// A Connect that failed half-way: the unit answered, but what it holds was
// not read whole. Nothing typed or tuned is sent to it, nothing is written,
// and Connect may be tried again.
void TuneSession::takeNoEdits(TuneState& s) { s.flags.EditsLive = false; }

// The port is let go and the unit's commands end.
void TuneSession::dropUnit(TuneState& s)
{
    m_efi.Close();
    s.flags.UnitConnected = false;
    // Without the unit, only an open file's tune may still be edited: a
    // tune read from the unit is read again on the next Connect.
    s.flags.EditsLive = s.flags.FileOpen;
    s.unitFoundBySearch = false;
    s.readOffered = false;
    s.live.analogSignals = false;
    s.live.realtimeTracking = false;
    s.pollRunning = false;
    s.status.unitLine.clear();
}

void TuneSession::exit(TuneState&) { m_efi.Close(); }

} // namespace kyr::session
