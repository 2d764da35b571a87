#include "UnitLink.h"

#include "table/Codec.h"

#include <csignal>
#include <filesystem>
#include <map>
#include <pthread.h>

namespace kyr::cli {

namespace {

constexpr int Baud = 19200;

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
    if (!n || *n < 1 || *n > MaxComNumber)
        return makeError(ErrorKind::BadArgument,
                         "\"" + text + "\" is not a port: give COM1 to COM99 or a device path such as /dev/ttyUSB0");
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
        if (o.error)
            return makeError(ErrorKind::NoUnit, "no KYR unit answered on any port (COM" +
                                                    std::to_string(link::FirstComPort) + " to COM" +
                                                    std::to_string(link::LastComPort) + ")");
        return okStatus();
    }
    session::SessionResult o = m_session->selectPort(m_state, *m_spec);
    if (o.error)
        return *o.error;
    if (!m_efi->Opened())
        return makeError(ErrorKind::PortUnavailable, "cannot open " + where());
    return okStatus();
}

Status UnitLink::connect()
{
    session::SessionResult o = m_session->connect(m_state);
    noteBackup(o);
    if (!m_state.flags.UnitConnected)
        return linkError(makeError(ErrorKind::NoUnit, "no KYR unit answered on " + where()));
    if (o.error)
        return linkError(*o.error);
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
    session::SessionResult o;
    {
        // The serial device's write returns once the image has left the line,
        // so the read-back's purge cannot cut it short.
        SignalHold hold;
        o = m_session->tableWrite(m_state, image);
    }
    noteBackup(o);
    if (!o.error)
        return VerifyResult{};
    if (o.error->kind == ErrorKind::VerifyMismatch)
        return VerifyResult{o.mismatched};
    if (o.mapsRedrawn) // the image went out; only its read-back failed
        return linkError(makeError(o.error->kind, "verify failed: " + o.error->message));
    return linkError(*o.error);
}

} // namespace kyr::cli
