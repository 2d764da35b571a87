// SPDX-License-Identifier: GPL-3.0-or-later
#include "Pty.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <utility>

namespace kyr::sim {

namespace fs = std::filesystem;

namespace {

Error osError(const std::string& what, int err)
{
    return makeError(ErrorKind::OsError, what + ": " + std::strerror(err));
}

} // namespace

Result<Pty> Pty::open()
{
    Pty p;
    p.m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (p.m_master < 0)
        return osError("posix_openpt", errno);
    if (::grantpt(p.m_master) != 0 || ::unlockpt(p.m_master) != 0)
        return osError("Cannot unlock the pseudo-terminal", errno);
    char name[128];
    if (::ptsname_r(p.m_master, name, sizeof name) != 0)
        return osError("ptsname", errno);
    p.m_slavePath = name;
    p.m_slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (p.m_slave < 0)
        return osError("Cannot open " + p.m_slavePath, errno);
    // Raw before anyone else opens it: no echo, no line editing, no CR/LF
    // translation, so every byte value passes through unchanged.
    termios tio{};
    if (::tcgetattr(p.m_slave, &tio) != 0)
        return osError("tcgetattr " + p.m_slavePath, errno);
    ::cfmakeraw(&tio);
    if (::tcsetattr(p.m_slave, TCSANOW, &tio) != 0)
        return osError("tcsetattr " + p.m_slavePath, errno);
    const int flags = ::fcntl(p.m_master, F_GETFL);
    if (flags < 0 || ::fcntl(p.m_master, F_SETFL, flags | O_NONBLOCK) != 0)
        return osError("fcntl", errno);
    return p;
}

Pty::Pty(Pty&& other) noexcept { *this = std::move(other); }

Pty& Pty::operator=(Pty&& other) noexcept
{
    if (this != &other) {
        close();
        m_master = std::exchange(other.m_master, -1);
        m_slave = std::exchange(other.m_slave, -1);
        m_slavePath = std::move(other.m_slavePath);
    }
    return *this;
}

Pty::~Pty() { close(); }

int Pty::unread() const
{
    int n = 0;
    if (m_slave < 0 || ::ioctl(m_slave, FIONREAD, &n) != 0)
        return 0;
    return n;
}

void Pty::close()
{
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_master >= 0)
        ::close(m_master);
    m_slave = m_master = -1;
}

fs::path defaultPortDir()
{
    if (const char* dir = std::getenv("KYR_PORT_DIR"); dir && *dir)
        return dir;
    fs::path config;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
        config = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        config = fs::path(home) / ".config";
    else
        config = ".config";
    return config / "kyr" / "ports";
}

std::string portName(int port) { return "COM" + std::to_string(port); }

Result<PortEntry> PortEntry::create(const fs::path& dir, int port, const std::string& device)
{
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec)
        return makeError(ErrorKind::OsError, "Cannot create the ports folder " + dir.string() + ": " + ec.message());
    PortEntry e;
    e.m_path = dir / portName(port);
    e.m_device = device;
    // Link under a temporary name and rename it into place, so a reader never
    // finds the name missing or half made while a stale entry is replaced.
    const fs::path temp = dir / ("." + portName(port) + "." + std::to_string(::getpid()));
    ::unlink(temp.c_str());
    if (::symlink(device.c_str(), temp.c_str()) != 0)
        return osError("Cannot create " + temp.string(), errno);
    if (::rename(temp.c_str(), e.m_path.c_str()) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        return osError("Cannot create " + e.m_path.string(), err);
    }
    return e;
}

PortEntry::PortEntry(PortEntry&& other) noexcept { *this = std::move(other); }

PortEntry& PortEntry::operator=(PortEntry&& other) noexcept
{
    if (this != &other) {
        remove();
        m_path = std::move(other.m_path);
        m_device = std::move(other.m_device);
        other.m_path.clear();
    }
    return *this;
}

PortEntry::~PortEntry() { remove(); }

void PortEntry::remove()
{
    if (m_path.empty())
        return;
    std::error_code ec;
    if (fs::is_symlink(m_path, ec) && fs::read_symlink(m_path, ec).string() == m_device)
        fs::remove(m_path, ec);
    m_path.clear();
}

} // namespace kyr::sim
