// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a Windows error code means to the link: the error kinds of a port that
// failed to open or a transfer that failed, with the system's own text. Plain
// functions of the code, so that they are the same on every build.

#include "table/Result.h"

#include <cstdint>
#include <string>

namespace kyr::link {

/// The Windows error codes the link tells apart (winerror.h).
namespace winerr {
constexpr uint32_t FileNotFound = 2;
constexpr uint32_t PathNotFound = 3;
constexpr uint32_t AccessDenied = 5;
constexpr uint32_t InvalidHandle = 6;
constexpr uint32_t NotReady = 21;
constexpr uint32_t BadCommand = 22;
constexpr uint32_t GenFailure = 31;
constexpr uint32_t SharingViolation = 32;
constexpr uint32_t DevNotExist = 55;
constexpr uint32_t NoSuchDevice = 433;
constexpr uint32_t OperationAborted = 995;
constexpr uint32_t DeviceNotConnected = 1167;
constexpr uint32_t DeviceRemoved = 1617;
} // namespace winerr

/// "\\.\COMn" for "COMn" (any number, any case), so that COM10 and above open
/// too; any other name as it stands.
std::string win32DevicePath(const std::string& name);
/// The name a user knows a device by: "COM3" for "\\.\COM3".
std::string win32PortName(const std::string& path);

/// The error of a port that did not open. systemText is the system's message
/// for the code (trailing line breaks and dots are trimmed).
Error win32OpenError(const std::string& port, uint32_t code, const std::string& systemText);

/// Whether a failed transfer on an open port means its device went away
/// (adapter pulled, driver gone).
bool win32DeviceGone(uint32_t code);

/// The error of a read, write, purge or query ("cannot read from") that failed
/// on an open port: PortUnavailable "COM3 was disconnected" for a device that
/// went away, OsError otherwise.
Error win32TransferError(const std::string& port, const std::string& what, uint32_t code,
                         const std::string& systemText);

} // namespace kyr::link
