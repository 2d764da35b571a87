// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/Win32SerialDevice.h"

#include "link/Win32Errors.h"
#include "table/WindowsError.h"

#include <windows.h>

namespace kyr::link {

namespace {

// Queue sizes asked of the driver: a whole table image and its reply fit.
constexpr DWORD InQueueSize = 4096;
constexpr DWORD OutQueueSize = 4096;

HANDLE handleOf(void* h) { return static_cast<HANDLE>(h); }

Error notOpen() { return makeError(ErrorKind::BadArgument, "the port is not open"); }

} // namespace

Win32SerialDevice::~Win32SerialDevice() { close(); }

Status Win32SerialDevice::open(const std::string& path)
{
    close();
    const std::string name = win32PortName(path);
    // Share mode 0: a communications device is exclusive by nature, and a
    // second open (from this program or another) fails with access denied.
    HANDLE h = ::CreateFileA(win32DevicePath(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD err = ::GetLastError();
        return win32OpenError(name, err, table::windowsErrorText(err));
    }
    // A driver that keeps its own queue sizes is no reason to fail.
    ::SetupComm(h, InQueueSize, OutQueueSize);
    m_handle = h;
    m_name = name;
    return okStatus();
}

Status Win32SerialDevice::applySettings(const LineSettings& settings)
{
    if (!m_handle)
        return notOpen();
    if (settings.baud <= 0)
        return makeError(ErrorKind::BadArgument, "unsupported baud rate " + std::to_string(settings.baud));
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(handleOf(m_handle), &dcb))
        return lastTransferError("cannot read the line settings of");
    dcb.BaudRate = static_cast<DWORD>(settings.baud);
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    // The control flags are set whole: binary mode, no parity check, no
    // software flow control, DTR low; with hardware handshake CTS holds
    // output back and RTS goes up while sending, without it RTS stays low.
    const bool hardware = settings.handshake == THandshake::hsHardware;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = hardware ? TRUE : FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fTXContinueOnXoff = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fRtsControl = hardware ? RTS_CONTROL_TOGGLE : RTS_CONTROL_DISABLE;
    dcb.fAbortOnError = FALSE;
    if (!::SetCommState(handleOf(m_handle), &dcb))
        return lastTransferError("cannot apply the line settings of");
    // Reads return at once with what is queued; writes wait until done.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    if (!::SetCommTimeouts(handleOf(m_handle), &timeouts))
        return lastTransferError("cannot set the time-outs of");
    return okStatus();
}

Status Win32SerialDevice::purge()
{
    if (!m_handle)
        return notOpen();
    // Input only, as writes return once their bytes have left (FlushFileBuffers).
    if (!::PurgeComm(handleOf(m_handle), PURGE_RXCLEAR | PURGE_RXABORT))
        return lastTransferError("cannot purge");
    return okStatus();
}

Result<std::size_t> Win32SerialDevice::queuedCount()
{
    if (!m_handle)
        return notOpen();
    // Also clears a framing, parity or overrun error, so the line goes on.
    DWORD errors = 0;
    COMSTAT stat{};
    if (!::ClearCommError(handleOf(m_handle), &errors, &stat))
        return lastTransferError("cannot query");
    return static_cast<std::size_t>(stat.cbInQue);
}

Result<Bytes> Win32SerialDevice::read(std::size_t count)
{
    if (!m_handle)
        return notOpen();
    Bytes out(count);
    DWORD got = 0;
    if (count > 0 && !::ReadFile(handleOf(m_handle), out.data(), static_cast<DWORD>(count), &got, nullptr))
        return lastTransferError("cannot read from");
    out.resize(got);
    return out;
}

Result<std::size_t> Win32SerialDevice::write(const Bytes& bytes)
{
    if (!m_handle)
        return notOpen();
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        if (!::WriteFile(handleOf(m_handle), bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written,
                         nullptr)) {
            if (done == 0)
                return lastTransferError("cannot write to");
            break; // report the short write through the count
        }
        if (written == 0)
            break;
        done += written;
    }
    // A write completes when the bytes have left, so that the next command's
    // purge cannot cut the tail of a table image.
    if (done > 0)
        ::FlushFileBuffers(handleOf(m_handle));
    return done;
}

void Win32SerialDevice::close()
{
    if (!m_handle)
        return;
    ::CloseHandle(handleOf(m_handle));
    m_handle = nullptr;
    m_name.clear();
}

Error Win32SerialDevice::lastTransferError(const char* what) const
{
    const DWORD err = ::GetLastError();
    return win32TransferError(m_name, what, err, table::windowsErrorText(err));
}

DeviceFactory win32DeviceFactory()
{
    return [] { return std::make_unique<Win32SerialDevice>(); };
}

DeviceFactory systemDeviceFactory() { return win32DeviceFactory(); }

} // namespace kyr::link
