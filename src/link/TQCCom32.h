// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The serial component: a port number, a few line properties and four actions
// (open, send, take what has arrived, close). Every exchange with the unit
// goes through one instance. It never shows anything itself: its warnings go
// to a callback that the program may present.
//
// A port keeps to the source it was first opened through. Once COMn opened
// through the ports folder, every later Open of it (and the implicit ones of
// Send and GetResponse) looks in the ports folder only, afresh each time, so
// an entry that now names a new device is followed, and an entry that has
// gone fails instead of falling back to the fixed device: a simulator or
// adapter that went away never silently becomes an unrelated serial port.
// Likewise a port opened through the fixed mapping stays on its fixed device
// even if an entry appears later. Setting another Port, or setDevicePath,
// forgets the source.

#include "link/Bytes.h"
#include "link/Clock.h"
#include "link/ComNames.h"
#ifndef _WIN32
#include "link/PosixSerialDevice.h" // posixDeviceFactory, for those who name the backend
#endif
#include "link/SerialDevice.h"
#include "table/Result.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace kyr::link {

/// The answer to a warning of the component.
enum class Choice { Ok, Abort, Retry };

/// Presents a warning: abortRetry asks Abort or Retry, otherwise it is a plain
/// notice and the answer is ignored.
using MessageHandler = std::function<Choice(const std::string& text, bool abortRetry)>;

/// The reply terminator of an EndOfResponse text: literal characters up to the
/// first "#", then "#code" decimal character codes ("#13#10", "OK#13"). A code
/// that is not a number from 0 to 255 makes the whole text the terminator.
Bytes parseTerminator(const std::string& text);

class TQCCom32 {
public:
    /// A closed port. The factory makes the device of each Open; the clock
    /// times terminator-mode reads; env resolves "COMn" to a device.
    explicit TQCCom32(DeviceFactory factory = systemDeviceFactory(), Clock& clock = systemClock(),
                      PortEnv env = PortEnv::system());
    ~TQCCom32();
    TQCCom32(const TQCCom32&) = delete;
    TQCCom32& operator=(const TQCCom32&) = delete;

    // ---- properties
    /// While a terminator-mode read waits, run the processEvents callback.
    bool AllowEvents() const { return m_allowEvents; }
    void setAllowEvents(bool allow) { m_allowEvents = allow; }
    /// Line speed in bit/s (default 9600); a change reopens an open port.
    int Baud() const { return m_settings.baud; }
    void setBaud(int baud);
    /// The reply terminator text; empty means immediate-mode reads.
    const std::string& EndOfResponse() const { return m_endOfResponse; }
    void setEndOfResponse(const std::string& text);
    /// Flow control (default hsNone); a change reopens an open port.
    THandshake Handshaking() const { return m_settings.handshake; }
    void setHandshaking(THandshake handshake);
    /// Bytes waiting to be read; 0 when closed. Clears the line error state.
    int InCount();
    /// A read is in progress.
    bool InUse() const { return m_inUse; }
    /// Time-out of a terminator-mode read in ms (default 1000).
    int ResponseTime() const { return m_responseTime; }
    void setResponseTime(int ms) { m_responseTime = ms; }
    /// Called with the component when a terminator-mode read runs out of time.
    const std::function<void(TQCCom32&)>& OnTimeout() const { return m_onTimeout; }
    void setOnTimeout(std::function<void(TQCCom32&)> handler) { m_onTimeout = std::move(handler); }
    /// The port handle is valid.
    bool Opened() const { return m_device != nullptr; }
    /// COM port number (default 1); a change reopens an open port on the new number.
    int Port() const { return m_port; }
    void setPort(int port);
    /// Pass warnings to the message handler (default true).
    /// A device to open as it stands instead of resolving Port; empty for none.
    const std::string& fixedDevicePath() const { return m_fixedDevice; }
    void setDevicePath(const std::string& path);
    bool ShowErrors() const { return m_showErrors; }
    void setShowErrors(bool show) { m_showErrors = show; }
    /// The last terminator-mode read timed out.
    bool TimedOut() const { return m_timedOut; }
    /// The component version, "1.4.0"; setting it has no effect.
    const std::string& Version() const { return m_version; }
    void setVersion(const std::string&) {}

    // ---- actions
    /// Closes an open port, then opens COM + Port and applies the line
    /// settings; with ShowErrors a failure offers Abort or Retry. True if open.
    bool Open();
    /// Closes the port if open.
    void Close();
    /// If open: aborts transfers and empties both queues.
    void Purge();
    /// Opens the port if closed, then writes all bytes in one blocking write.
    /// False if the port stays closed or not every byte was written.
    bool Send(const Bytes& bytes);
    /// Takes the reply: in immediate mode (no terminator) exactly what is
    /// queued, at once; in terminator mode what arrives until the terminator
    /// or the time-out. Empty when the port cannot be opened or is in use.
    Bytes GetResponse();
    /// Calls OnTimeout if set.
    void DoTimeout();

    // ---- for the program around it
    /// Where the warnings go ("Error opening COM1: ", "Port is in use --
    /// operation aborted", "Timeout waiting for response."), when ShowErrors.
    void setMessageHandler(MessageHandler handler) { m_messages = std::move(handler); }
    /// What AllowEvents runs while a terminator-mode read waits.
    void setProcessEvents(std::function<void()> processEvents) { m_processEvents = std::move(processEvents); }
    /// The most recent failure (open, write, read); a successful Open clears it. Set
    /// whether or not ShowErrors is, so that a caller can say why.
    const std::optional<Error>& lastError() const { return m_lastError; }
    /// Device path of the open port; empty when closed.
    const std::string& devicePath() const { return m_devicePath; }
    /// The source Port keeps to since it was first opened; nullopt before that.
    const std::optional<PortSource>& portSource() const { return m_source; }
    /// How many times an open device reported that it was gone (unplugged,
    /// line hung up) and was closed. Compared before and after an exchange,
    /// it tells a dropped link from a unit that is merely silent.
    int disconnects() const { return m_disconnects; }
    /// The parsed terminator of EndOfResponse.
    const Bytes& terminator() const { return m_terminator; }

private:
    Status openOnce();
    Result<ResolvedPort> resolve() const;
    Choice ask(const std::string& text, bool abortRetry);
    void transferFailed(const Error& e);
    bool readQueued(Bytes& into);
    Bytes readImmediate();
    Bytes readUntilTerminator();
    bool pollUntilTerminator(Bytes& result, uint32_t start);
    void reopenIfOpen();

    DeviceFactory m_factory;
    Clock& m_clock;
    PortEnv m_env;
    std::unique_ptr<SerialDevice> m_device; // null when closed
    std::string m_devicePath;
    std::string m_fixedDevice;
    std::optional<PortSource> m_source; // what Port was first opened through

    bool m_allowEvents = false;
    LineSettings m_settings{9600, THandshake::hsNone};
    std::string m_endOfResponse;
    Bytes m_terminator;
    bool m_inUse = false;
    int m_responseTime = 1000;
    std::function<void(TQCCom32&)> m_onTimeout;
    int m_port = 1;
    bool m_showErrors = true;
    bool m_timedOut = false;
    std::string m_version = "1.4.0";

    MessageHandler m_messages;
    std::function<void()> m_processEvents;
    std::optional<Error> m_lastError;
    int m_disconnects = 0;
};

} // namespace kyr::link
