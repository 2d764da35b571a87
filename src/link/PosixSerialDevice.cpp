// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/PosixSerialDevice.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

namespace kyr::link {

namespace {

// Linux numbers the slave sides of Unix 98 pseudo-terminals 136..143.
constexpr unsigned PtySlaveMajorFirst = 136;
constexpr unsigned PtySlaveMajorLast = 143;

struct BaudSpeed {
    int baud;
    speed_t speed;
};

constexpr BaudSpeed kSpeeds[] = {
    {300, B300},     {600, B600},       {1200, B1200},     {2400, B2400},     {4800, B4800},
    {9600, B9600},   {19200, B19200},   {38400, B38400},   {57600, B57600},   {115200, B115200},
    {230400, B230400},
};

bool speedFor(int baud, speed_t& speed)
{
    for (const auto& s : kSpeeds)
        if (s.baud == baud) {
            speed = s.speed;
            return true;
        }
    return false;
}

std::string errnoText(int err)
{
    return std::string(std::strerror(err)) + " (errno " + std::to_string(err) + ")";
}

Error openError(const std::string& path, int err)
{
    switch (err) {
    case EACCES:
    case EPERM:
        return makeError(ErrorKind::PermissionDenied,
                         "permission denied on " + path + ": add your user to the dialout group");
    case EBUSY:
    case EWOULDBLOCK:
        return makeError(ErrorKind::PortInUse, path + " is in use by another program");
    case ENOENT:
        return makeError(ErrorKind::PortUnavailable, path + " does not exist");
    case ENODEV:
    case ENXIO:
    case EIO:
        return makeError(ErrorKind::PortUnavailable, "no serial port answers at " + path);
    default:
        return makeError(ErrorKind::OsError, "cannot open " + path + ": " + errnoText(err));
    }
}

bool isPtySlave(int fd)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode))
        return false;
    const unsigned maj = major(st.st_rdev);
    return maj >= PtySlaveMajorFirst && maj <= PtySlaveMajorLast;
}

} // namespace

PosixSerialDevice::~PosixSerialDevice() { close(); }

Status PosixSerialDevice::open(const std::string& path)
{
    close();
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return openError(path, errno);
    if (!::isatty(fd)) {
        ::close(fd);
        return makeError(ErrorKind::PortUnavailable, path + " is not a serial port");
    }
    // The lock comes first: TIOCEXCL on a tty another program holds would
    // change that program's device, and root is not stopped by TIOCEXCL.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        return openError(path, err);
    }
    ::ioctl(fd, TIOCEXCL);
    // Open without waiting for carrier, then let writes block as the line needs.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    m_fd = fd;
    m_pty = isPtySlave(fd);
    m_path = path;
    return okStatus();
}

Status PosixSerialDevice::applySettings(const LineSettings& settings)
{
    if (m_fd < 0)
        return makeError(ErrorKind::BadArgument, "the port is not open");
    speed_t speed{};
    if (!speedFor(settings.baud, speed))
        return makeError(ErrorKind::BadArgument, "unsupported baud rate " + std::to_string(settings.baud));
    termios t{};
    if (::tcgetattr(m_fd, &t) != 0)
        return osError("cannot read the line settings of", errno);
    ::cfmakeraw(&t);
    t.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS | HUPCL);
    t.c_cflag |= CS8 | CREAD | CLOCAL;
    if (settings.handshake == THandshake::hsHardware)
        t.c_cflag |= CRTSCTS;
    t.c_iflag &= ~(IXON | IXOFF | IXANY);
    // Reads are only issued for bytes already queued: never wait in read().
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    ::cfsetispeed(&t, speed);
    ::cfsetospeed(&t, speed);
    // A pseudo-terminal has no line; it may refuse a flag it has no use for.
    if (::tcsetattr(m_fd, TCSANOW, &t) != 0 && !m_pty)
        return osError("cannot apply the line settings of", errno);
    // The kernel raises DTR and RTS on open. With hardware handshake RTS is the
    // kernel's to drive; otherwise both stay low. Ptys and some adapters have
    // no modem lines, so a refusal here is not an error.
    int lines = TIOCM_DTR;
    if (settings.handshake == THandshake::hsNone)
        lines |= TIOCM_RTS;
    ::ioctl(m_fd, TIOCMBIC, &lines);
    return okStatus();
}

Status PosixSerialDevice::purge()
{
    if (m_fd < 0)
        return makeError(ErrorKind::BadArgument, "the port is not open");
    // Input only: writes return once their bytes have left (tcdrain), so there
    // is no transmit queue to abort on a UART, and on a pseudo-terminal an
    // output flush would discard what the peer has not read yet - the tail of
    // a table image, leaving the unit waiting for bytes that never come.
    if (::tcflush(m_fd, TCIFLUSH) != 0)
        return transferError("cannot purge", errno);
    return okStatus();
}

Result<std::size_t> PosixSerialDevice::queuedCount()
{
    if (m_fd < 0)
        return makeError(ErrorKind::BadArgument, "the port is not open");
    // Framing, parity and overrun errors leave no state to clear here: raw
    // mode delivers what arrived and the driver keeps only counters.
    int n = 0;
    if (::ioctl(m_fd, FIONREAD, &n) != 0)
        return transferError("cannot query", errno);
    return static_cast<std::size_t>(n < 0 ? 0 : n);
}

Result<Bytes> PosixSerialDevice::read(std::size_t count)
{
    if (m_fd < 0)
        return makeError(ErrorKind::BadArgument, "the port is not open");
    Bytes out(count);
    std::size_t got = 0;
    while (got < count) {
        const ssize_t r = ::read(m_fd, out.data() + got, count - got);
        if (r > 0) {
            got += static_cast<std::size_t>(r);
        } else if (r == 0) {
            // End of file on a tty is a hung-up line (the peer of a
            // pseudo-terminal closed, an adapter was pulled): the bytes that
            // were counted are gone with it.
            if (got == 0 && hungUp())
                return makeError(ErrorKind::PortUnavailable, m_path + " was disconnected");
            break;
        } else if (errno == EAGAIN) {
            break;
        } else if (errno != EINTR) {
            if (got == 0)
                return transferError("cannot read from", errno);
            break; // deliver what did arrive
        }
    }
    out.resize(got);
    return out;
}

Result<std::size_t> PosixSerialDevice::write(const Bytes& bytes)
{
    if (m_fd < 0)
        return makeError(ErrorKind::BadArgument, "the port is not open");
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t w = ::write(m_fd, bytes.data() + done, bytes.size() - done);
        if (w > 0) {
            done += static_cast<std::size_t>(w);
        } else if (w == 0) {
            break;
        } else if (errno == EAGAIN) {
            pollfd p{m_fd, POLLOUT, 0};
            ::poll(&p, 1, -1);
        } else if (errno != EINTR) {
            if (done == 0)
                return transferError("cannot write to", errno);
            break; // report the short write through the count
        }
    }
    // A write completes when the bytes have left: the next command purges the
    // port, and a purge would otherwise cut the tail of a table image still in
    // the output queue (482 bytes take 251 ms at 19200 bit/s).
    while (done > 0 && ::tcdrain(m_fd) != 0 && errno == EINTR) {
    }
    return done;
}

void PosixSerialDevice::close()
{
    if (m_fd < 0)
        return;
    // The exclusive flag belongs to the tty, not to this handle: clear it so a
    // handle someone else still holds does not lock the next open out.
    ::ioctl(m_fd, TIOCNXCL);
    ::close(m_fd);
    m_fd = -1;
    m_pty = false;
    m_path.clear();
}

bool PosixSerialDevice::hungUp() const
{
    // A quiet line also reads nothing (VMIN 0); only a hung-up one says so here.
    pollfd p{m_fd, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR)) != 0;
}

Error PosixSerialDevice::osError(const char* what, int err) const
{
    return makeError(ErrorKind::OsError, std::string(what) + " " + m_path + ": " + errnoText(err));
}

Error PosixSerialDevice::transferError(const char* what, int err) const
{
    if (err == EIO || err == ENXIO || err == ENODEV)
        return makeError(ErrorKind::PortUnavailable, m_path + " was disconnected");
    return osError(what, err);
}

DeviceFactory posixDeviceFactory()
{
    return [] { return std::make_unique<PosixSerialDevice>(); };
}

DeviceFactory systemDeviceFactory() { return posixDeviceFactory(); }

} // namespace kyr::link
