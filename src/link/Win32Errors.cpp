// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/Win32Errors.h"

#include "link/ComNames.h"

namespace kyr::link {

namespace {

constexpr char kDevicePrefix[] = "\\\\.\\";
constexpr std::size_t kDevicePrefixSize = sizeof kDevicePrefix - 1;

/// "The system cannot find the file specified." without its line break, in
/// parentheses after the port's own words, with the code when there is no text.
std::string because(uint32_t code, const std::string& systemText)
{
    std::string text = systemText;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    if (text.empty())
        text = "error " + std::to_string(code);
    return " (" + text + ")";
}

} // namespace

std::string win32DevicePath(const std::string& name)
{
    if (comNumber(name))
        return kDevicePrefix + name;
    return name;
}

std::string win32PortName(const std::string& path)
{
    if (path.compare(0, kDevicePrefixSize, kDevicePrefix) == 0 && comNumber(path.substr(kDevicePrefixSize)))
        return path.substr(kDevicePrefixSize);
    return path;
}

Error win32OpenError(const std::string& port, uint32_t code, const std::string& systemText)
{
    switch (code) {
    case winerr::FileNotFound:
    case winerr::PathNotFound:
        return makeError(ErrorKind::PortUnavailable, port + " does not exist" + because(code, systemText));
    case winerr::AccessDenied:
    case winerr::SharingViolation:
        // A communications device opened exclusively by another program
        // refuses every other open with "Access is denied".
        return makeError(ErrorKind::PortInUse,
                         port + " is in use by another program" + because(code, systemText));
    case winerr::NotReady:
    case winerr::GenFailure:
    case winerr::DevNotExist:
    case winerr::NoSuchDevice:
    case winerr::DeviceNotConnected:
    case winerr::DeviceRemoved:
        return makeError(ErrorKind::PortUnavailable, "no serial port answers at " + port + because(code, systemText));
    default:
        return makeError(ErrorKind::OsError, "cannot open " + port + because(code, systemText));
    }
}

bool win32DeviceGone(uint32_t code)
{
    switch (code) {
    case winerr::AccessDenied: // what a USB adapter's handle answers once it is pulled
    case winerr::InvalidHandle:
    case winerr::NotReady:
    case winerr::BadCommand:
    case winerr::GenFailure:
    case winerr::DevNotExist:
    case winerr::NoSuchDevice:
    case winerr::OperationAborted:
    case winerr::DeviceNotConnected:
    case winerr::DeviceRemoved:
        return true;
    default:
        return false;
    }
}

Error win32TransferError(const std::string& port, const std::string& what, uint32_t code,
                         const std::string& systemText)
{
    if (win32DeviceGone(code))
        return makeError(ErrorKind::PortUnavailable, port + " was disconnected" + because(code, systemText));
    return makeError(ErrorKind::OsError, what + " " + port + because(code, systemText));
}

} // namespace kyr::link
