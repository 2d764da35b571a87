// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/TQCCom32.h"

#include <algorithm>
#include <climits>

namespace kyr::link {

namespace {

// A terminator-mode read polls the queue; between empty polls it yields the
// processor for this long rather than spinning a core for the whole wait.
constexpr int PollIntervalMs = 1;

constexpr int MaxCodeDigits = 3;
constexpr int MaxCharCode = 255;

/// Appends the character of a decimal code; false if the code is not one.
bool appendCode(const std::string& code, Bytes& out)
{
    if (code.empty() || code.size() > MaxCodeDigits)
        return false;
    int value = 0;
    for (char c : code) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    if (value > MaxCharCode)
        return false;
    out.push_back(static_cast<uint8_t>(value));
    return true;
}

/// Whether data holds needle at or after position from.
bool containsFrom(const Bytes& data, const Bytes& needle, std::size_t from)
{
    return std::search(data.begin() + static_cast<std::ptrdiff_t>(std::min(from, data.size())), data.end(),
                       needle.begin(), needle.end()) != data.end();
}

/// Sets a flag for as long as it lives.
struct FlagGuard {
    explicit FlagGuard(bool& flag) : m_flag(flag) { m_flag = true; }
    ~FlagGuard() { m_flag = false; }
    bool& m_flag;
};

} // namespace

Bytes parseTerminator(const std::string& text)
{
    const auto hash = text.find('#');
    if (hash == std::string::npos)
        return bytesOf(text);
    Bytes out(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(hash));
    std::string code;
    for (std::size_t i = hash + 1; i < text.size(); ++i) {
        if (text[i] != '#') {
            code += text[i];
            continue;
        }
        if (!appendCode(code, out))
            return bytesOf(text);
        code.clear();
    }
    if (!code.empty() && !appendCode(code, out))
        return bytesOf(text);
    return out;
}

TQCCom32::TQCCom32(DeviceFactory factory, Clock& clock, PortEnv env)
    : m_factory(std::move(factory)), m_clock(clock), m_env(std::move(env))
{
}

TQCCom32::~TQCCom32() { Close(); }

void TQCCom32::setBaud(int baud)
{
    if (baud == m_settings.baud)
        return;
    m_settings.baud = baud;
    reopenIfOpen();
}

void TQCCom32::setHandshaking(THandshake handshake)
{
    if (handshake == m_settings.handshake)
        return;
    m_settings.handshake = handshake;
    reopenIfOpen();
}

void TQCCom32::setPort(int port)
{
    if (port == m_port)
        return;
    m_port = port;
    m_source.reset();
    reopenIfOpen();
}

void TQCCom32::setDevicePath(const std::string& path)
{
    if (path == m_fixedDevice)
        return;
    m_fixedDevice = path;
    m_source.reset();
    reopenIfOpen();
}

void TQCCom32::setEndOfResponse(const std::string& text)
{
    m_endOfResponse = text;
    m_terminator = parseTerminator(text);
}

void TQCCom32::reopenIfOpen()
{
    if (!Opened())
        return;
    Close();
    Open();
}

int TQCCom32::InCount()
{
    if (!Opened())
        return 0;
    auto n = m_device->queuedCount();
    if (!n) {
        transferFailed(n.error());
        return 0;
    }
    return static_cast<int>(std::min<std::size_t>(n.value(), INT_MAX));
}

bool TQCCom32::Open()
{
    Close();
    for (;;) {
        Status s = openOnce();
        if (s) {
            m_lastError.reset();
            return true;
        }
        m_lastError = s.error();
        if (!m_showErrors || ask("Error opening COM" + std::to_string(m_port) + ": ", true) != Choice::Retry)
            return false;
    }
}

Result<ResolvedPort> TQCCom32::resolve() const
{
    if (!m_source)
        return resolvePort(m_port, m_env);
    auto path = devicePathFor(m_port, m_env, *m_source);
    if (!path) {
        if (*m_source == PortSource::PortDir && path.error().kind == ErrorKind::PortUnavailable)
            return makeError(ErrorKind::PortUnavailable,
                             comName(m_port) + " is no longer in the ports folder (" + portDir(m_env) + ")");
        return path.error();
    }
    return ResolvedPort{path.value(), *m_source};
}

Status TQCCom32::openOnce()
{
    const bool byPort = m_fixedDevice.empty();
    auto resolved = byPort ? resolve() : Result<ResolvedPort>(ResolvedPort{m_fixedDevice, PortSource::Fixed});
    if (!resolved)
        return resolved.error();
    const std::string& path = resolved.value().path;
    std::unique_ptr<SerialDevice> device = m_factory ? m_factory() : nullptr;
    if (!device)
        return makeError(ErrorKind::BadArgument, "no serial device to open " + comName(m_port) + " with");
    if (Status s = device->open(path); !s)
        return s;
    if (Status s = device->applySettings(m_settings); !s) {
        device->close();
        return s;
    }
    m_device = std::move(device);
    m_devicePath = path;
    if (byPort)
        m_source = resolved.value().source;
    return okStatus();
}

void TQCCom32::Close()
{
    if (!m_device)
        return;
    m_device->close();
    m_device.reset();
    m_devicePath.clear();
}

void TQCCom32::Purge()
{
    if (!Opened())
        return;
    if (Status s = m_device->purge(); !s)
        transferFailed(s.error());
}

bool TQCCom32::Send(const Bytes& bytes)
{
    if (!Opened())
        Open();
    if (!Opened())
        return false;
    auto written = m_device->write(bytes);
    if (!written) {
        transferFailed(written.error());
        return false;
    }
    if (written.value() != bytes.size()) {
        m_lastError = makeError(ErrorKind::WriteFailed, "wrote " + std::to_string(written.value()) + " of " +
                                                            std::to_string(bytes.size()) + " bytes to " +
                                                            m_devicePath);
        return false;
    }
    return true;
}

Bytes TQCCom32::GetResponse()
{
    if (m_inUse) {
        if (m_showErrors)
            ask("Port is in use -- operation aborted", false);
        return {};
    }
    if (!Opened())
        Open();
    if (!Opened())
        return {};
    FlagGuard busy(m_inUse);
    return m_terminator.empty() ? readImmediate() : readUntilTerminator();
}

void TQCCom32::DoTimeout()
{
    if (m_onTimeout)
        m_onTimeout(*this);
}

Choice TQCCom32::ask(const std::string& text, bool abortRetry)
{
    // With nobody to ask, giving up is the only answer that cannot loop forever.
    if (!m_messages)
        return Choice::Abort;
    return m_messages(text, abortRetry);
}

void TQCCom32::transferFailed(const Error& e)
{
    m_lastError = e;
    // A vanished device (USB adapter pulled) is closed, so that the next Send
    // opens it afresh instead of failing on a dead handle for ever.
    if (e.kind == ErrorKind::PortUnavailable && Opened()) {
        Close();
        ++m_disconnects;
    }
}

bool TQCCom32::readQueued(Bytes& into)
{
    const int n = InCount();
    if (n <= 0 || !Opened())
        return false;
    auto got = m_device->read(static_cast<std::size_t>(n));
    if (!got) {
        transferFailed(got.error());
        return false;
    }
    into.insert(into.end(), got.value().begin(), got.value().end());
    return !got.value().empty();
}

Bytes TQCCom32::readImmediate()
{
    Bytes result;
    readQueued(result);
    return result;
}

Bytes TQCCom32::readUntilTerminator()
{
    Bytes result;
    uint32_t start = m_clock.tickMs();
    for (;;) {
        m_timedOut = false;
        if (pollUntilTerminator(result, start) || !m_timedOut)
            break; // terminator found, or the port went away
        DoTimeout();
        if (!m_showErrors || ask("Timeout waiting for response.", true) != Choice::Retry)
            break;
        start = m_clock.tickMs();
    }
    return result;
}

bool TQCCom32::pollUntilTerminator(Bytes& result, uint32_t start)
{
    const uint32_t limit = m_responseTime > 0 ? static_cast<uint32_t>(m_responseTime) : 0;
    for (;;) {
        if (!Opened())
            return false;
        const std::size_t before = result.size();
        const bool got = readQueued(result);
        const std::size_t from = before >= m_terminator.size() ? before - m_terminator.size() + 1 : 0;
        if (got && containsFrom(result, m_terminator, from))
            return true;
        // Elapsed time in unsigned arithmetic: correct across the tick wrap.
        if (static_cast<uint32_t>(m_clock.tickMs() - start) > limit) {
            m_timedOut = true;
            return false;
        }
        if (m_allowEvents && m_processEvents)
            m_processEvents();
        if (!got)
            m_clock.sleepMs(PollIntervalMs);
    }
}

} // namespace kyr::link
