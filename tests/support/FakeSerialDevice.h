// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// An in-memory serial device with state, for tests of the serial component
// and of the sequences built on it: queue input, inspect what was written,
// make the next call fail.

#include "link/Clock.h"
#include "link/SerialDevice.h"

#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace kyr::link {

/// The device calls a fault can be injected into.
enum class FakeOp { Open, Settings, Purge, Count, Read, Write };

class FakeSerialDevice final : public SerialDevice {
public:
    /// A clock is needed only for feedReceivedAt().
    explicit FakeSerialDevice(Clock* clock = nullptr) : m_clock(clock) {}
    ~FakeSerialDevice() override = default;
    FakeSerialDevice(const FakeSerialDevice&) = delete;
    FakeSerialDevice& operator=(const FakeSerialDevice&) = delete;

    /// A factory whose devices all act on this fake, which must outlive them.
    /// A device the factory made closes this fake when it is destroyed open.
    DeviceFactory factory();

    // ---- the device
    Status open(const std::string& path) override;
    Status applySettings(const LineSettings& settings) override;
    Status purge() override;
    Result<std::size_t> queuedCount() override;
    Result<Bytes> read(std::size_t count) override;
    Result<std::size_t> write(const Bytes& bytes) override;
    void close() override;
    bool isOpen() const override { return m_open; }

    // ---- what the test arranges
    /// Queues bytes as if they had arrived on the line.
    void feedReceived(const Bytes& bytes);
    /// Queues bytes that arrive once the clock reaches tick (needs a clock).
    void feedReceivedAt(uint32_t tick, const Bytes& bytes);
    /// Called with each write; what it returns is queued as the reply.
    void setResponder(std::function<Bytes(const Bytes& written)> responder) { m_responder = std::move(responder); }
    /// Makes the next call of op fail with this error.
    void injectError(FakeOp op, Error error) { m_injected[op] = std::move(error); }
    /// Sets a line error (framing, overrun) that the next queuedCount() clears.
    void injectLineError() { m_lineError = true; }
    /// Lets the next write take only the first n bytes.
    void limitNextWrite(std::size_t n) { m_writeLimit = n; }
    /// Whether any device can be opened (default true).
    void setOpenable(bool openable) { m_openable = openable; }
    /// Whether this path can be opened; overrides setOpenable(bool) for it.
    void setOpenable(const std::string& path, bool openable) { m_openableByPath[path] = openable; }

    // ---- what the test inspects
    /// Everything written since the start (or clearWritten()), in order.
    const Bytes& writtenData() const { return m_written; }
    /// The bytes of each write call.
    const std::vector<Bytes>& writes() const { return m_writes; }
    void clearWritten();
    /// Bytes still queued for reading.
    std::size_t pending() const { return m_rx.size(); }
    bool lineErrorPending() const { return m_lineError; }
    /// Path of the open device ("" when closed).
    const std::string& openPath() const { return m_path; }
    /// Every path opened successfully, in order.
    const std::vector<std::string>& openedPaths() const { return m_openedPaths; }
    /// Every path an open was tried on, in order.
    const std::vector<std::string>& openAttempts() const { return m_openAttempts; }
    int closeCount() const { return m_closeCount; }
    int purgeCount() const { return m_purgeCount; }
    /// Settings applied, in order.
    const std::vector<LineSettings>& appliedSettings() const { return m_settings; }
    /// Write and purge events as a text log ("W FF", "P"), in order.
    const std::vector<std::string>& events() const { return m_events; }

private:
    std::optional<Error> takeInjected(FakeOp op);
    void deliverDue();
    Status notOpen() const;

    Clock* m_clock;
    bool m_open = false;
    std::string m_path;
    bool m_openable = true;
    std::map<std::string, bool> m_openableByPath;
    std::map<FakeOp, Error> m_injected;
    bool m_lineError = false;
    std::optional<std::size_t> m_writeLimit;
    std::function<Bytes(const Bytes&)> m_responder;
    std::deque<uint8_t> m_rx;
    std::vector<std::pair<uint32_t, Bytes>> m_scheduled; // absolute tick, in feeding order
    Bytes m_written;
    std::vector<Bytes> m_writes;
    std::vector<std::string> m_openedPaths, m_openAttempts, m_events;
    std::vector<LineSettings> m_settings;
    int m_closeCount = 0;
    int m_purgeCount = 0;
};

} // namespace kyr::link
