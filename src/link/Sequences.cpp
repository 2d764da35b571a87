#include "link/Sequences.h"

#include "tools/SerialNumber.h"

#include <algorithm>

namespace kyr::link {

namespace {

constexpr int FirstPort = 1;
constexpr int LastPort = 20;
constexpr uint8_t FillChar = '0';

std::string chooserText(int n) { return "Com" + std::to_string(n); }

bool switchOn(const table::SetupCopy& s, table::SetupParam p)
{
    return s[table::setupOffset(p)] - 1 == 2; // sensors: raw 2 on, 1 off
}

} // namespace

std::string incompleteReadText(std::size_t got, std::size_t expected)
{
    return "Incomplete read from KYR: " + std::to_string(got) + " of " + std::to_string(expected) + " bytes";
}

LinkSequences::LinkSequences(TQCCom32& efi, Clock& clock) : m_efi(efi), m_clock(clock) {}

void LinkSequences::say(Outcome& o, SessionState& s, const std::string& text)
{
    o.statuses.push_back(text);
    s.panel[0] = text;
    if (m_observer)
        m_observer->status(text);
}

UnitIdentity LinkSequences::askIdentity(int pauseMs)
{
    // Copied by count, zero bytes included: a unit whose minor version is 0
    // is still recognised. The buffer starts as "0" for every port, so a short
    // reply never inherits the signature of an earlier one.
    return identityByCount(transact(m_efi, m_clock, readIdentity(), pauseMs));
}

Outcome LinkSequences::search(SessionState& s, int pauseMs, bool lastWins)
{
    Outcome o;
    bool found = false;
    for (int n = FirstPort; n <= LastPort; ++n) {
        m_efi.setPort(n);
        if (!m_efi.Open())
            continue;
        s.ports.push_back(n);
        PortProbe probe{n, m_efi.devicePath(), std::nullopt};
        UnitIdentity id = askIdentity(pauseMs);
        if (id.recognised() && (lastWins || !found)) {
            probe.unit = id;
            std::string text;
            if (lastWins) {
                if (auto t = table::unitType(id.typeCode()); t && !t->searchName.empty())
                    s.unit.typeName = std::string(t->searchName);
                text = s.unit.typeName + " Module found on Com" + std::to_string(n);
            } else {
                text = "EFI version " + std::to_string(id.bytes[0]) + "." + std::to_string(id.bytes[1]) + "." +
                       std::to_string(static_cast<int>(id.bytes[2]) - 1) + " found on Com" + std::to_string(n);
            }
            say(o, s, text);
            s.comboText = chooserText(n);
            s.enabled["spRetry"] = false;
            s.enabled["spConnect"] = true;
            found = true;
        } else {
            if (id.recognised())
                probe.unit = id;
            if (!found)
                say(o, s, "No KYR present");
        }
        o.probes.push_back(probe);
        m_efi.Close();
    }
    if (!found) {
        say(o, s, "No KYR present");
        o.error = makeError(ErrorKind::NoUnit, "No KYR present");
    }
    return o;
}

Outcome LinkSequences::portSearch(SessionState& s)
{
    s.ports.clear();
    return search(s, pause::IdentitySearchMs, true);
}

Outcome LinkSequences::refreshComPort(SessionState& s)
{
    s.ports.clear();
    m_efi.Close();
    return search(s, pause::IdentityRefreshMs, false);
}

Outcome LinkSequences::selectPort(SessionState& s, const std::string& comboText)
{
    Outcome o;
    if (comboText.empty())
        return o;
    s.comboText = comboText;
    int n = portFromComboText(comboText);
    if (n <= 0) {
        o.error = makeError(ErrorKind::BadArgument, "\"" + comboText + "\" is not a port name");
        return o;
    }
    m_efi.Close();
    m_efi.setPort(n);
    if (!m_efi.Open() && m_efi.lastError())
        o.error = *m_efi.lastError();
    return o;
}

void LinkSequences::decodeIdentity(SessionState& s, const UnitIdentity& id, bool withTypeName)
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

// Connect step 1f: the unit's setup area (or the open file's) into the image.
// False, with nothing changed, when the unit's reply is short.
bool LinkSequences::readSetup(SessionState& s, Outcome& o)
{
    if (s.flags.FileOpen) {
        std::fill_n(s.image.begin(), table::SetupSize, FillChar);
        if (s.fileImage)
            std::copy_n(s.fileImage->begin(), table::SetupSize, s.image.begin());
        return true;
    }
    m_efi.Purge();
    m_efi.Send(readTable());
    say(o, s, "Reading KYR Setup Data...");
    m_clock.sleepMs(pause::ReadTableMs);
    Bytes reply = m_efi.GetResponse();
    table::SetupCopy area;
    area.fill(FillChar);
    std::size_t got = copyUntilZero(reply, area);
    if (got < table::SetupSize) {
        say(o, s, incompleteReadText(got, table::SetupSize));
        o.error = makeError(ErrorKind::ShortReply, incompleteReadText(got, table::SetupSize));
        return false;
    }
    std::copy(area.begin(), area.end(), s.image.begin());
    return true;
}

// Connect step 2: the setup area becomes the setup copy the page shows.
void LinkSequences::decodeSetup(SessionState& s, Outcome& o)
{
    std::copy_n(s.image.begin(), table::SetupSize, s.setup.begin());
    o.setupDecoded = true;
    s.panel[1] = "KYR " + s.unit.modelText + " v" + s.unit.versionText + " :: " + tools::serialText(s.setup);
}

// Connect step 1: who answers (or the open file's identity), then the setup
// area. False when there is no setup to show: the fields keep what they show.
bool LinkSequences::identifyAndReadSetup(SessionState& s, Outcome& o)
{
    UnitIdentity id = s.unit.identity;
    std::optional<Error> openError;
    if (!s.flags.FileOpen) {
        say(o, s, "Searching ComPorts...");
        m_efi.setPort(portFromComboText(s.comboText));
        if (!m_efi.Open())
            openError = m_efi.lastError(); // why, for the user: permission, busy, missing
        id = askIdentity(pause::IdentityConnectMs);
    }
    bool answered = true;
    if (id.fromFile()) {
        say(o, s, "KYR file opened successfully");
    } else if (!id.recognised()) {
        say(o, s, "KYR not connected");
        if (openError)
            o.error = openError;
        answered = false;
    } else {
        s.flags.UnitConnected = true;
        s.unitTypeCode = id.typeCode();
        say(o, s, "KYR Connected");
    }
    if (answered) {
        decodeIdentity(s, id, true);
        s.panel[2] = s.unit.typeName;
    }
    if (s.flags.UnitConnected || s.flags.FileOpen)
        s.edit18 = s.unit.typeName;
    if (s.flags.FileOpen)
        s.flags.ImageChanged = true;
    return (answered || s.flags.FileOpen) && readSetup(s, o);
}

// Connect step 3: the calibration buttons of the fitted sensors; no more connecting.
void LinkSequences::readyUnit(SessionState& s, Outcome& o)
{
    using P = table::SetupParam;
    s.enabled["CalBtn"] = switchOn(s.setup, P::TpsActive);
    s.enabled["Button1"] = switchOn(s.setup, P::WaterActive);
    s.enabled["Button2"] = switchOn(s.setup, P::AirActive);
    s.enabled["Button3"] = switchOn(s.setup, P::MapActive);
    s.enabled["spConnect"] = false;
    s.enabled["ComboBox1"] = false;
    say(o, s, "Ready");
}

Outcome LinkSequences::connect(SessionState& s)
{
    Outcome o;
    // A decoded file skips step 1: its setup area is already in the image.
    if (!s.flags.FileDecoded && !identifyAndReadSetup(s, o)) {
        if (!o.error)
            o.error = makeError(ErrorKind::NoUnit, "KYR not connected");
        return o;
    }
    decodeSetup(s, o);
    if (s.flags.UnitConnected)
        readyUnit(s, o);
    s.flags.EditsLive = true;
    if (s.flags.FileDecoded) {
        s.enabled["spConnect"] = true;
        joinUnit(s, o);
    }
    s.dataInterval = 1;
    if (s.flags.UnitConnected) {
        Outcome r = tableRead(s);
        o.statuses.insert(o.statuses.end(), r.statuses.begin(), r.statuses.end());
        o.mapsDecoded = r.mapsDecoded;
        if (r.error)
            o.error = r.error;
    }
    return o;
}

// Connect step 5: a decoded file joins the unit on the chosen port.
void LinkSequences::joinUnit(SessionState& s, Outcome& o)
{
    say(o, s, "Searching ComPorts...");
    m_efi.setPort(portFromComboText(s.comboText));
    m_efi.Open();
    UnitIdentity id = askIdentity(pause::IdentityConnectMs);
    if (!id.recognised()) {
        say(o, s, "KYR not connected");
        o.error = makeError(ErrorKind::NoUnit, "KYR not connected");
        return;
    }
    say(o, s, "KYR Connected");
    decodeIdentity(s, id, false);
    s.panel[1] = "KYR " + s.unit.modelText + " v" + s.unit.versionText;
    s.enabled["spConnect"] = false;
    s.flags.UnitConnected = true;
    s.unitTypeCode = id.typeCode();
    s.enabled["ComboBox1"] = false;
    s.enabled["spRead"] = false;
}

Outcome LinkSequences::tableRead(SessionState& s)
{
    Outcome o;
    if (!s.flags.FileOpen) {
        Bytes reply = transact(m_efi, m_clock, readTable(), pause::ReadTableMs);
        table::ImageBytes buffer;
        buffer.fill(FillChar);
        std::span<uint8_t> keep(buffer.data(), ReadTableKeep);
        std::size_t got = copyUntilZero(reply, keep);
        if (got < ReadTableKeep) {
            // A short reply is not the unit's table: keep the image and maps as they were.
            say(o, s, incompleteReadText(got, ReadTableKeep));
            o.error = makeError(ErrorKind::ShortReply, incompleteReadText(got, ReadTableKeep));
            return o;
        }
        s.image = buffer;
    } else if (s.fileImage) {
        s.image = *s.fileImage;
    }
    s.imageWhole = true;
    o.mapsDecoded = true;
    if (s.flags.UnitConnected)
        s.enabled["spWrite"] = true;
    s.enabled["spRead"] = false;
    if (s.flags.FileOpen) {
        s.flags.FileDecoded = true;
    } else {
        s.enabled["AnalogEn"] = true;
        s.checked["AnalogEn"] = true;
        s.pollRunning = true;
        s.flags.EditsLive = true;
        s.checked["RT_Track"] = false;
        s.enabled["RT_Track"] = true;
    }
    return o;
}

Outcome LinkSequences::tableWrite(SessionState& s, const table::EncodedImage& image)
{
    Outcome o;
    if (!s.flags.UnitConnected) {
        o.error = makeError(ErrorKind::NoUnit, "KYR not connected");
        say(o, s, o.error->message);
        return o;
    }
    if (!s.imageWhole) {
        o.error = makeError(ErrorKind::BadArgument, "Nothing to write: no whole table has been read or opened");
        say(o, s, o.error->message);
        return o;
    }
    if (!sendWriteTable(m_efi, m_clock, writeTable(image.raw))) {
        std::string why = m_efi.lastError() ? ": " + m_efi.lastError()->message : "";
        o.error = makeError(ErrorKind::WriteFailed, "Write to KYR failed" + why);
        say(o, s, o.error->message);
        return o;
    }
    o.mapsRedrawn = true; // the arrays hold edits the image buffer does not: redraw, never decode
    s.flags.ImageChanged = false;
    say(o, s, "Data table written to KYR");
    return o;
}

Outcome LinkSequences::openFile(SessionState& s, const files::MapFile& file)
{
    s.flags.FileOpen = false;
    s.flags.FileDecoded = false;
    s.unit.identity.bytes = file.identity;
    s.fileTypeCode = file.identity[1];
    s.fileImage = file.image;
    s.image = file.image;
    s.flags.FileOpen = true;
    s.flags.EditsLive = true;
    Outcome o = connect(s);
    if (!o.mapsDecoded) {
        Outcome r = tableRead(s);
        o.mapsDecoded = r.mapsDecoded;
    }
    return o;
}

void LinkSequences::openFileFailed(SessionState& s)
{
    s.image.fill(FillChar);
    s.flags.FileOpen = false;
}

Outcome LinkSequences::closeAll(SessionState& s)
{
    Outcome o;
    s.flags.FileOpen = false;
    // Forgetting the decoded file too: otherwise the next Connect would skip
    // the unit's setup and mix the closed file's setup with the unit's maps.
    s.flags.FileDecoded = false;
    s.fileImage.reset();
    s.fileTypeCode = 0;
    if (s.flags.UnitConnected) {
        s.enabled["spRead"] = true;
    } else {
        s.imageWhole = false;
        s.enabled["spWrite"] = false;
        s.enabled["spConnect"] = !s.comboText.empty();
        s.flags.ImageChanged = false;
    }
    return o;
}

Result<table::ImageBytes> LinkSequences::readForSave(SessionState&)
{
    Bytes reply = transact(m_efi, m_clock, readTable(), pause::ReadTableMs);
    table::ImageBytes buffer{}; // byte 481 stays 0: the copy's terminator
    std::span<uint8_t> keep(buffer.data(), ReadTableKeep);
    std::size_t got = copyUntilZero(reply, keep);
    if (got < ReadTableKeep)
        return makeError(ErrorKind::ShortReply, incompleteReadText(got, ReadTableKeep) + "; nothing was saved");
    return buffer;
}

void LinkSequences::exit(SessionState&)
{
    m_efi.Close();
}

} // namespace kyr::link
