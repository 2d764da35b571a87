#include "UnitLink.h"

#include "table/Codec.h"

#include <csignal>
#include <filesystem>
#include <map>
#include <pthread.h>

namespace kyr::cli {

namespace {

constexpr int Baud = 19200;
/// The COM number a device path given on the command line is opened under.
constexpr int PinnedPort = 1;

/// A device that opens one fixed path, and passes everything else on.
class PinnedDevice final : public link::SerialDevice {
public:
    PinnedDevice(std::string path, std::unique_ptr<link::SerialDevice> inner)
        : m_path(std::move(path)), m_inner(std::move(inner))
    {
    }
    Status open(const std::string&) override { return m_inner->open(m_path); }
    Status applySettings(const link::LineSettings& s) override { return m_inner->applySettings(s); }
    Status purge() override { return m_inner->purge(); }
    Result<std::size_t> queuedCount() override { return m_inner->queuedCount(); }
    Result<link::Bytes> read(std::size_t count) override { return m_inner->read(count); }
    Result<std::size_t> write(const link::Bytes& bytes) override { return m_inner->write(bytes); }
    void close() override { m_inner->close(); }
    bool isOpen() const override { return m_inner->isOpen(); }

private:
    std::string m_path;
    std::unique_ptr<link::SerialDevice> m_inner;
};

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

std::string comboText(int port) { return "Com" + std::to_string(port); }

bool portFault(ErrorKind k)
{
    return k == ErrorKind::PermissionDenied || k == ErrorKind::PortUnavailable || k == ErrorKind::OsError;
}

} // namespace

std::string PortChoice::label() const { return device.empty() ? link::comName(com) : device; }

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

link::DeviceFactory pinnedDeviceFactory(std::string path, link::DeviceFactory inner)
{
    return [path = std::move(path), inner = std::move(inner)]() -> std::unique_ptr<link::SerialDevice> {
        auto device = inner ? inner() : nullptr;
        if (!device)
            return nullptr;
        return std::make_unique<PinnedDevice>(path, std::move(device));
    };
}

UnitLink::UnitLink(const LinkEnv& env, std::optional<PortChoice> port, link::SequenceObserver* observer)
    : m_env(env), m_spec(std::move(port))
{
    link::DeviceFactory factory = m_env.factory;
    if (m_spec && !m_spec->device.empty())
        factory = pinnedDeviceFactory(m_spec->device, factory);
    m_efi = std::make_unique<link::TQCCom32>(factory, *m_env.clock, m_env.ports);
    m_efi->setBaud(Baud);
    m_efi->setShowErrors(false);
    m_seq = std::make_unique<link::LinkSequences>(*m_efi, *m_env.clock);
    m_seq->setObserver(observer);
}

UnitLink::~UnitLink() { m_efi->Close(); }

std::string UnitLink::where() const
{
    if (m_spec)
        return m_spec->label();
    return m_port ? link::comName(m_port) : std::string("no port");
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
    if (m_efi->lastError() && portFault(m_efi->lastError()->kind))
        return *m_efi->lastError();
    return fallback;
}

Survey UnitLink::survey()
{
    Survey out;
    link::Outcome o = m_seq->portSearch(m_state);
    if (!o.error)
        out.found = link::portFromComboText(m_state.comboText);
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

Status UnitLink::choosePort()
{
    if (!m_spec) {
        link::Outcome o = m_seq->portSearch(m_state);
        if (o.error)
            return makeError(ErrorKind::NoUnit, "no KYR unit answered on any port (COM" +
                                                    std::to_string(link::FirstComPort) + " to COM" +
                                                    std::to_string(link::LastComPort) + ")");
        m_port = link::portFromComboText(m_state.comboText);
        return okStatus();
    }
    m_port = m_spec->device.empty() ? m_spec->com : PinnedPort;
    m_state.comboText = comboText(m_port);
    m_efi->setPort(m_port);
    if (!m_efi->Open())
        return m_efi->lastError() ? *m_efi->lastError()
                                  : makeError(ErrorKind::PortUnavailable, "cannot open " + where());
    return okStatus();
}

Status UnitLink::connect()
{
    link::Outcome o = m_seq->connect(m_state);
    if (!m_state.flags.UnitConnected)
        return linkError(makeError(ErrorKind::NoUnit, "no KYR unit answered on " + where()));
    if (o.error)
        return linkError(*o.error);
    return okStatus();
}

Status UnitLink::joinWithFile(const files::MapFile& file)
{
    m_seq->openFile(m_state, file);
    return connect();
}

Result<VerifyResult> UnitLink::writeAndVerify()
{
    VerifyResult v;
    const table::EncodedImage image =
        table::encode(table::setupOf(m_state.image), table::decodeMaps(m_state.image));
    {
        SignalHold hold;
        // The serial device's write returns once the image has left the line,
        // so the read-back's purge cannot cut it short.
        if (link::Outcome o = m_seq->tableWrite(m_state, image); o.error)
            return linkError(*o.error);
    }
    // Close all forgets the file, so that the table read asks the unit.
    m_seq->closeAll(m_state);
    if (link::Outcome o = m_seq->tableRead(m_state); o.error)
        return linkError(makeError(o.error->kind, "verify failed: " + o.error->message));
    for (int off = 0; off < static_cast<int>(link::ReadTableKeep); ++off)
        if (m_state.image[off] != image.plusOne[off])
            v.offsets.push_back(off);
    return v;
}

} // namespace kyr::cli
