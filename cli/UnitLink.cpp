// SPDX-License-Identifier: GPL-3.0-or-later
#include "UnitLink.h"

#include "table/Codec.h"
#include "tools/SerialNumber.h"

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <map>
#ifdef _WIN32
#include <atomic>
#include <windows.h>
#else
#include <pthread.h>
#endif

namespace kyr::cli {

namespace {

constexpr int Baud = 19200;

#ifdef _WIN32
/// Holds Ctrl+C, Ctrl+Break and the console's close back while it lives, and
/// ends the program as they would have once it is over. A write
/// cut off between the F3 byte and the image would leave the unit taking the
/// next commands sent to it for image bytes, and storing them.
class SignalHold {
public:
    SignalHold()
    {
        s_held = false;
        ::SetConsoleCtrlHandler(hold, TRUE);
    }
    ~SignalHold()
    {
        ::SetConsoleCtrlHandler(hold, FALSE);
        if (s_held)
            ::ExitProcess(STATUS_CONTROL_C_EXIT);
    }
    SignalHold(const SignalHold&) = delete;
    SignalHold& operator=(const SignalHold&) = delete;

private:
    static BOOL WINAPI hold(DWORD event)
    {
        s_held = true;
        // Returning from a close event ends the process: wait for the write.
        if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
            ::Sleep(INFINITE);
        return TRUE;
    }
    static inline std::atomic<bool> s_held{false};
};
#else
/// Holds SIGINT, SIGTERM and SIGHUP back while it lives. A write cut off
/// between the F3 byte and the image would leave the unit taking the next
/// commands sent to it for image bytes, and storing them.
class SignalHold {
public:
    SignalHold()
    {
        sigset_t held;
        sigemptyset(&held);
        for (int sig : {SIGINT, SIGTERM, SIGHUP})
            sigaddset(&held, sig);
        pthread_sigmask(SIG_BLOCK, &held, &m_previous);
    }
    ~SignalHold() { pthread_sigmask(SIG_SETMASK, &m_previous, nullptr); }
    SignalHold(const SignalHold&) = delete;
    SignalHold& operator=(const SignalHold&) = delete;

private:
    sigset_t m_previous;
};
#endif

/// The setup offsets of the serial number, in table order.
std::vector<int> serialOffsets()
{
    std::vector<int> at;
    for (const auto& f : tools::serialFields())
        at.push_back(table::setupOffset(f.param));
    std::sort(at.begin(), at.end());
    return at;
}

/// The unit's serial number is the one it was known by. A write cut off may
/// have stored the start of its image, so the first of those bytes may hold
/// what the write sent instead.
bool sameSerial(const table::SetupCopy& unit, const table::SetupCopy& known,
                const std::optional<table::SetupCopy>& sent)
{
    bool sentPart = sent.has_value();
    for (int at : serialOffsets()) {
        const auto i = static_cast<std::size_t>(at);
        sentPart = sentPart && unit[i] == (*sent)[i];
        if (!sentPart && unit[i] != known[i])
            return false;
    }
    return true;
}

std::string identityText(const link::UnitIdentity& id)
{
    return "KYR " + std::to_string(id.model()) + " v" + std::to_string(id.major()) + "." +
           std::to_string(id.minor());
}

} // namespace

Result<PortChoice> parsePortChoice(const std::string& text)
{
    PortChoice port;
    if (text.find('/') != std::string::npos) {
        std::error_code ec;
        port.device = std::filesystem::absolute(text, ec).lexically_normal().string();
        if (ec)
            return makeError(ErrorKind::BadArgument, "cannot use the device path " + text + ": " + ec.message());
        return port;
    }
    auto n = link::comNumber(text);
#ifdef _WIN32
    const char* hint = "give a COM name from COM1 to COM256, such as COM3";
#else
    const char* hint = "give COM1 to COM99 or a device path such as /dev/ttyUSB0";
#endif
    if (!n || *n < 1 || *n > MaxComNumber)
        return makeError(ErrorKind::BadArgument, "\"" + text + "\" is not a port: " + hint);
    port.com = *n;
    return port;
}

UnitLink::UnitLink(const LinkEnv& env, std::optional<PortChoice> port, session::SessionObserver* observer)
    : m_env(env), m_spec(std::move(port))
{
    m_efi = std::make_unique<link::TQCCom32>(m_env.factory, *m_env.clock, m_env.ports);
    m_efi->setBaud(Baud);
    m_efi->setShowErrors(false);
    if (!m_env.backupRoot.empty())
        m_backups.emplace(m_env.backupRoot);
    m_session = std::make_unique<session::TuneSession>(*m_efi, *m_env.clock, m_backups ? &*m_backups : nullptr);
    m_session->setObserver(observer);
}

UnitLink::~UnitLink() { m_efi->Close(); }

std::string UnitLink::where() const
{
    if (m_spec)
        return m_spec->label();
    return m_state.port.empty() ? std::string("no port") : m_state.port.label();
}

std::string UnitLink::device() const
{
    if (m_spec && !m_spec->device.empty())
        return m_spec->device;
    return m_efi->devicePath();
}

Error UnitLink::linkError(const Error& fallback) const
{
    // A port that stopped opening says why; that beats "no unit answered".
    if (m_efi->lastError() && isPortFault(m_efi->lastError()->kind))
        return *m_efi->lastError();
    return fallback;
}

Survey UnitLink::survey()
{
    Survey out;
    session::SessionResult o = m_session->portSearch(m_state);
    if (!o.error)
        out.found = m_state.port.com;
    std::map<int, PortReport> byPort;
    for (const auto& p : o.probes)
        byPort[p.port] = PortReport{p.port, p.devicePath, p.unit, ""};
    for (const auto& e : link::listPorts(m_env.ports)) {
        if (byPort.count(e.port))
            continue;
        PortReport r{e.port, e.device, std::nullopt, ""};
        m_efi->setPort(e.port);
        if (m_efi->Open())
            r.problem = "not searched: the search covers COM" + std::to_string(link::FirstComPort) + " to COM" +
                        std::to_string(link::LastComPort);
        else
            r.problem = m_efi->lastError() ? m_efi->lastError()->message : "cannot open " + link::comName(e.port);
        m_efi->Close();
        byPort[e.port] = std::move(r);
    }
    for (auto& [n, r] : byPort)
        out.ports.push_back(std::move(r));
    return out;
}

void UnitLink::noteBackup(const session::SessionResult& r)
{
    if (r.backup)
        m_lastBackup = r.backup;
    if (r.backupError)
        m_backupError = r.backupError;
}

Status UnitLink::choosePort()
{
    if (!m_spec) {
        session::SessionResult o = m_session->portSearch(m_state);
        if (!o.error)
            return okStatus();
        // The unit may be on a port that could not be asked: name each one.
        std::string text = "no KYR unit answered on any port (COM" + std::to_string(link::FirstComPort) + " to COM" +
                           std::to_string(link::LastComPort) + ")";
        for (const auto& busy : o.busyPorts)
            text += "; " + link::comName(busy.port) + ": " + busy.error.message;
        return makeError(o.busyPorts.empty() ? ErrorKind::NoUnit : ErrorKind::PortInUse, text);
    }
    session::SessionResult o = m_session->selectPort(m_state, *m_spec);
    if (o.error)
        return *o.error;
    if (!m_efi->Opened())
        return makeError(ErrorKind::PortUnavailable, "cannot open " + where());
    return okStatus();
}

// The error as it stands, or LinkLost once a unit that answered went away.
Error UnitLink::lostOr(const Error& e, const session::SessionResult& r, int disconnectsBefore) const
{
    // A silent identity request here is the unit that answered, gone quiet.
    const bool lost = m_state.flags.UnitConnected &&
                      (m_efi->disconnects() != disconnectsBefore || r.replyMissing || isPortFault(e.kind) ||
                       e.kind == ErrorKind::NoUnit);
    return lost ? makeError(ErrorKind::LinkLost, e.message) : e;
}

Status UnitLink::connect()
{
    const int before = m_efi->disconnects();
    session::SessionResult o = m_session->connect(
        m_state, m_env.quickConnect ? session::ConnectPace::Quick : session::ConnectPace::UnitPauses);
    noteBackup(o);
    if (!m_state.flags.UnitConnected)
        return linkError(makeError(ErrorKind::NoUnit, "no KYR unit answered on " + where()));
    if (o.setupDecoded && !m_state.flags.FileOpen)
        m_unitSetup = m_state.setup;
    if (o.error)
        return lostOr(linkError(*o.error), o, before);
    return okStatus();
}

Status UnitLink::joinWithFile(const files::MapFile& file)
{
    m_session->openFile(m_state, file);
    return connect();
}

Result<VerifyResult> UnitLink::writeAndVerify()
{
    const table::EncodedImage image =
        table::encode(table::setupOf(m_state.image), table::decodeMaps(m_state.image));
    const int before = m_efi->disconnects();
    m_writing = true;
    session::SessionResult o;
    {
        // The serial device's write returns once the image has left the line,
        // so the read-back's purge cannot cut it short.
        SignalHold hold;
        o = m_session->tableWrite(m_state, image);
    }
    noteBackup(o);
    if (o.unitTable)
        m_unitSetup = table::setupOf(*o.unitTable);
    if (!o.error)
        return VerifyResult{};
    if (o.error->kind == ErrorKind::VerifyMismatch)
        return VerifyResult{o.mismatched};
    if (o.mapsRedrawn || o.imageCut)
        m_sentSetup = table::setupOf(image.plusOne);
    // The unit counts what came as image bytes and waits for the rest: nothing
    // may be sent to it, not even to see whether it is there, until it has
    // been switched off and on. No retry either.
    if (o.imageCut)
        return makeError(ErrorKind::WriteFailed, "Link lost during the table write: the KYR may be waiting for the rest "
                                                 "of the table, and nothing more was sent to it. Switch it off and on, "
                                                 "then run kyr write again");
    if (o.mapsRedrawn) // the image went out; only its read-back failed
        return lostOr(linkError(makeError(o.error->kind, "verify failed: " + o.error->message)), o, before);
    Error e = lostOr(linkError(*o.error), o, before);
    if (e.kind == ErrorKind::LinkLost)
        e.message = "Link lost before the table write began: the unit's table was not changed";
    return e;
}

ProbeResult UnitLink::probe()
{
    // Never another device: the same address, and a COM name only through the source it was first opened by.
    m_session->usePort(m_state.port);
    if (!m_efi->Open())
        return {};
    ProbeResult r = whoAnswers();
    if (r.outcome != session::ProbeOutcome::SameUnit)
        m_efi->Close();
    return r;
}

ProbeResult UnitLink::whoAnswers()
{
    using session::ProbeOutcome;
    link::Clock& clock = *m_env.clock;
    const link::Reply idReply =
        link::exchange(*m_efi, clock, link::readIdentity(), link::pause::IdentityConnectMs, link::IdentitySize);
    const link::UnitIdentity id = link::identityByCount(idReply.bytes);
    if (!idReply.whole() || !id.recognised())
        return {};
    const std::string other = "another KYR answers on " + where();
    if (id.bytes != m_state.unitIdentity.bytes)
        return {ProbeOutcome::OtherUnit,
                other + " (" + identityText(id) + "; the lost one was " + identityText(m_state.unitIdentity) + ")"};
    table::SetupCopy setup;
    setup.fill('0');
    const link::Reply table =
        link::exchange(*m_efi, clock, link::readTable(), link::pause::ReadTableMs, link::ReadTableReply);
    if (!table.whole() || link::copyUntilZero(table.bytes, setup) < setup.size())
        return {};
    // A unit whose serial number was never read cannot be told from another
    // of the same model: it is not written as if it were the lost one.
    if (!m_unitSetup && m_writing)
        return {ProbeOutcome::OtherUnit,
                other + " (serial " + tools::serialText(setup) + "; the lost one's serial number was not read)"};
    if (m_unitSetup && !sameSerial(setup, *m_unitSetup, m_sentSetup))
        return {ProbeOutcome::OtherUnit, other + " (serial " + tools::serialText(setup) + "; the lost one was " +
                                             tools::serialText(*m_unitSetup) + ")"};
    m_unitSetup = setup;
    return {ProbeOutcome::SameUnit, {}};
}

} // namespace kyr::cli
