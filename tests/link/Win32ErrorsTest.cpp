// SPDX-License-Identifier: GPL-3.0-or-later
// Windows error codes as the link reports them: each code's kind, and a
// message that names the port and keeps the system's own words.

#include "link/Win32Errors.h"

#include <gtest/gtest.h>

using namespace kyr;
using namespace kyr::link;

namespace {

TEST(Win32Errors, DeviceNamesReachEveryComNumber)
{
    EXPECT_EQ(win32DevicePath("COM3"), "\\\\.\\COM3");
    EXPECT_EQ(win32DevicePath("com12"), "\\\\.\\com12");
    EXPECT_EQ(win32DevicePath("\\\\.\\COM12"), "\\\\.\\COM12");
    EXPECT_EQ(win32DevicePath("LPT1"), "LPT1");
    EXPECT_EQ(win32PortName("\\\\.\\COM12"), "COM12");
    EXPECT_EQ(win32PortName("COM4"), "COM4");
    EXPECT_EQ(win32PortName("\\\\.\\pipe\\x"), "\\\\.\\pipe\\x");
}

TEST(Win32Errors, OpenFailuresByCode)
{
    const struct {
        uint32_t code;
        ErrorKind kind;
        std::string message;
    } cases[] = {
        {winerr::FileNotFound, ErrorKind::PortUnavailable,
         "COM7 does not exist (The system cannot find the file specified.)"},
        {winerr::AccessDenied, ErrorKind::PortInUse, "COM7 is in use by another program (Access is denied.)"},
        {winerr::SharingViolation, ErrorKind::PortInUse, "COM7 is in use by another program (Sharing.)"},
        {winerr::DeviceRemoved, ErrorKind::PortUnavailable, "no serial port answers at COM7 (Removed.)"},
        {winerr::GenFailure, ErrorKind::PortUnavailable, "no serial port answers at COM7 (Failed.)"},
        {87, ErrorKind::OsError, "cannot open COM7 (The parameter is incorrect.)"},
    };
    const std::string texts[] = {"The system cannot find the file specified.\r\n", "Access is denied.\r\n",
                                 "Sharing.", "Removed.", "Failed.", "The parameter is incorrect.\r\n"};
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Error e = win32OpenError("COM7", cases[i].code, texts[i]);
        EXPECT_EQ(e.kind, cases[i].kind) << cases[i].code;
        EXPECT_EQ(e.message, cases[i].message) << cases[i].code;
    }
    // A code the system has no words for is still named.
    EXPECT_EQ(win32OpenError("COM7", 12345, "").message, "cannot open COM7 (error 12345)");
}

// A device that went away must count as a disconnect (the kind the serial
// component closes the port on); anything else stays an operating-system error.
TEST(Win32Errors, TransferFailuresTellAVanishedDeviceFromAnError)
{
    for (uint32_t code : {winerr::BadCommand, winerr::OperationAborted, winerr::DeviceRemoved, winerr::GenFailure,
                          winerr::AccessDenied, winerr::DeviceNotConnected}) {
        const Error e = win32TransferError("COM3", "cannot read from", code, "Gone.");
        EXPECT_EQ(e.kind, ErrorKind::PortUnavailable) << code;
        EXPECT_EQ(e.message, "COM3 was disconnected (Gone.)") << code;
    }
    for (uint32_t code : {winerr::FileNotFound, 87u, 1784u}) {
        const Error e = win32TransferError("COM3", "cannot write to", code, "No.\r\n");
        EXPECT_EQ(e.kind, ErrorKind::OsError) << code;
        EXPECT_EQ(e.message, "cannot write to COM3 (No.)") << code;
    }
}

} // namespace
