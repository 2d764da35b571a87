// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The operating-system side of a serial port: the few operations the serial
// component needs, behind an interface so that tests can supply a fake.

#include "link/Bytes.h"
#include "table/Result.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace kyr::link {

/// Flow control of the line.
enum class THandshake { hsNone, hsHardware };

/// What Open applies to the line; always 8 data bits, no parity, 1 stop bit.
struct LineSettings {
    int baud = 9600;
    THandshake handshake = THandshake::hsNone;
    bool operator==(const LineSettings&) const = default;
};

/// One serial device handle. A device is opened at most once at a time.
class SerialDevice {
public:
    virtual ~SerialDevice() = default;

    /// Opens an existing device for reading and writing, exclusively.
    virtual Status open(const std::string& path) = 0;
    /// Applies the baud rate, 8N1 and the flow control; DTR (and RTS without
    /// hardware handshake) stay low.
    virtual Status applySettings(const LineSettings& settings) = 0;
    /// Discards what has arrived and not been read (writes never leave anything pending).
    virtual Status purge() = 0;
    /// Bytes waiting in the input queue; clears any line error state.
    virtual Result<std::size_t> queuedCount() = 0;
    /// Reads up to count bytes that are already queued; never waits.
    virtual Result<Bytes> read(std::size_t count) = 0;
    /// Writes all bytes, blocking until they are handed to the driver;
    /// returns how many were written.
    virtual Result<std::size_t> write(const Bytes& bytes) = 0;
    /// Closes the device if open.
    virtual void close() = 0;
    /// Whether the handle is valid.
    virtual bool isOpen() const = 0;
};

/// Makes a fresh, unopened device.
using DeviceFactory = std::function<std::unique_ptr<SerialDevice>()>;

/// The production factory of this platform: termios devices on POSIX systems,
/// Win32 communications devices on Windows.
DeviceFactory systemDeviceFactory();

} // namespace kyr::link
