// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's end of the line for the simulator tests, with plain POSIX
// calls: open the COMn entry raw, send bytes, collect a reply.

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace kyr::test {

using Bytes = std::vector<uint8_t>;

class PtyClient {
public:
    explicit PtyClient(const std::filesystem::path& device)
    {
        m_fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (m_fd < 0)
            throw std::runtime_error("open " + device.string() + ": " + std::strerror(errno));
        termios tio{};
        ::tcgetattr(m_fd, &tio);
        ::cfmakeraw(&tio);
        ::cfsetspeed(&tio, B19200);
        ::tcsetattr(m_fd, TCSANOW, &tio);
    }
    ~PtyClient()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    PtyClient(const PtyClient&) = delete;
    PtyClient& operator=(const PtyClient&) = delete;

    int fd() const { return m_fd; }

    void send(const Bytes& bytes)
    {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(m_fd, bytes.data() + done, bytes.size() - done);
            if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
                pollFor(POLLOUT, 100);
                continue;
            }
            if (n < 0)
                throw std::runtime_error(std::string("write: ") + std::strerror(errno));
            done += static_cast<size_t>(n);
        }
    }

    /// Reads until count bytes have come or timeout has passed; returns what came.
    Bytes read(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(3))
    {
        Bytes out;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (out.size() < count) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0 || !pollFor(POLLIN, static_cast<int>(left.count())))
                break;
            uint8_t buf[1024];
            const ssize_t n = ::read(m_fd, buf, std::min(sizeof buf, count - out.size()));
            if (n <= 0) {
                m_lastError = n < 0 ? errno : 0;
                break;
            }
            out.insert(out.end(), buf, buf + n);
        }
        return out;
    }

    /// Whatever is queued now, without waiting.
    Bytes take()
    {
        Bytes out;
        uint8_t buf[1024];
        for (ssize_t n; (n = ::read(m_fd, buf, sizeof buf)) > 0;)
            out.insert(out.end(), buf, buf + n);
        return out;
    }

    /// Bytes waiting in the input queue now.
    int queued() const
    {
        int n = 0;
        ::ioctl(m_fd, FIONREAD, &n);
        return n;
    }

    /// errno of the last failed read (EIO once the line has been closed).
    int lastError() const { return m_lastError; }

    /// Sends a command and reads a reply of the given length.
    Bytes ask(const Bytes& command, size_t replyLength)
    {
        send(command);
        return read(replyLength);
    }

private:
    bool pollFor(short events, int ms)
    {
        pollfd p{m_fd, events, 0};
        return ::poll(&p, 1, ms) > 0;
    }

    int m_fd = -1;
    int m_lastError = 0;
};

} // namespace kyr::test
