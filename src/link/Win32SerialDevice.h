// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A serial device behind the Win32 communications functions.

#include "link/SerialDevice.h"

#include <cstdint>

namespace kyr::link {

/// A COM port opened exclusively (no sharing) for blocking writes and reads
/// that never wait, in 8N1 with DTR (and RTS without hardware handshake) low.
class Win32SerialDevice final : public SerialDevice {
public:
    Win32SerialDevice() = default;
    ~Win32SerialDevice() override;
    Win32SerialDevice(const Win32SerialDevice&) = delete;
    Win32SerialDevice& operator=(const Win32SerialDevice&) = delete;

    /// path is "COMn" or "\\.\COMn" (or any other device name, as it stands).
    Status open(const std::string& path) override;
    Status applySettings(const LineSettings& settings) override;
    Status purge() override;
    Result<std::size_t> queuedCount() override;
    Result<Bytes> read(std::size_t count) override;
    Result<std::size_t> write(const Bytes& bytes) override;
    void close() override;
    bool isOpen() const override { return m_handle != nullptr; }

private:
    Error lastTransferError(const char* what) const;

    void* m_handle = nullptr; // the HANDLE; null when closed
    std::string m_name;       // "COM3", for messages
};

/// The production factory on Windows: a new Win32SerialDevice each time.
DeviceFactory win32DeviceFactory();

} // namespace kyr::link
