// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A serial device behind termios.

#include "link/SerialDevice.h"

namespace kyr::link {

/// A tty opened exclusively (TIOCEXCL and an flock, so that root is kept out
/// as well), in raw 8N1 with DTR and RTS left low.
class PosixSerialDevice final : public SerialDevice {
public:
    PosixSerialDevice() = default;
    ~PosixSerialDevice() override;
    PosixSerialDevice(const PosixSerialDevice&) = delete;
    PosixSerialDevice& operator=(const PosixSerialDevice&) = delete;

    Status open(const std::string& path) override;
    Status applySettings(const LineSettings& settings) override;
    Status purge() override;
    Result<std::size_t> queuedCount() override;
    /// An end of file on a hung-up line is PortUnavailable ("... was
    /// disconnected"), not an empty read.
    Result<Bytes> read(std::size_t count) override;
    Result<std::size_t> write(const Bytes& bytes) override;
    void close() override;
    bool isOpen() const override { return m_fd >= 0; }

    /// The file descriptor (-1 when closed), for poll() by a caller that waits.
    int nativeHandle() const { return m_fd; }
    /// Whether the open device is the slave side of a pseudo-terminal.
    bool isPty() const { return m_pty; }

private:
    bool hungUp() const;
    Error osError(const char* what, int err) const;
    Error transferError(const char* what, int err) const;

    int m_fd = -1;
    bool m_pty = false;
    std::string m_path;
};

/// The production factory: a new PosixSerialDevice each time.
DeviceFactory posixDeviceFactory();

} // namespace kyr::link
