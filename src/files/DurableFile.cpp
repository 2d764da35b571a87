// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/DurableFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <utility>

#ifdef _WIN32
#include "table/WindowsError.h"

#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace kyr::files {

namespace {

#ifdef _WIN32
int openFile(const std::filesystem::path& path, int flags)
{
    return ::_wopen(path.c_str(), flags | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
}
constexpr int CreateNewFlags = _O_WRONLY | _O_CREAT | _O_EXCL;
constexpr int AppendFlags = _O_WRONLY | _O_APPEND | _O_CREAT;
int writeSome(int fd, const char* data, std::size_t size)
{
    return ::_write(fd, data, static_cast<unsigned>(std::min<std::size_t>(size, 1u << 30)));
}
constexpr char kSyncHow[] = " to the disk (_commit)";
int closeFile(int fd) { return ::_close(fd); }
#else
constexpr mode_t NewFileMode = 0644;
int openFile(const std::filesystem::path& path, int flags)
{
    return ::open(path.c_str(), flags | O_CLOEXEC, NewFileMode);
}
constexpr int CreateNewFlags = O_WRONLY | O_CREAT | O_EXCL;
constexpr int AppendFlags = O_WRONLY | O_APPEND | O_CREAT;
ssize_t writeSome(int fd, const char* data, std::size_t size) { return ::write(fd, data, size); }
constexpr char kSyncHow[] = " to the disk (fsync)";
int closeFile(int fd) { return ::close(fd); }
#endif

} // namespace

int systemSync(int fd)
{
#ifdef _WIN32
    return ::_commit(fd);
#else
    return ::fsync(fd);
#endif
}

DurableFile DurableFile::createNew(const std::filesystem::path& path, SyncCall sync)
{
    DurableFile f;
    f.m_path = path;
    f.m_sync = sync;
    f.m_fd = openFile(path, CreateNewFlags);
    if (f.m_fd < 0) {
        f.m_existed = errno == EEXIST;
        f.fail("cannot create");
    }
    return f;
}

DurableFile DurableFile::openAppend(const std::filesystem::path& path, SyncCall sync)
{
    DurableFile f;
    f.m_path = path;
    f.m_sync = sync;
    f.m_fd = openFile(path, AppendFlags);
    if (f.m_fd < 0)
        f.fail("cannot open");
    return f;
}

DurableFile::~DurableFile()
{
    if (m_fd >= 0)
        closeFile(m_fd);
}

DurableFile::DurableFile(DurableFile&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_existed(other.m_existed), m_path(std::move(other.m_path)),
      m_sync(other.m_sync), m_error(std::move(other.m_error))
{
}

DurableFile& DurableFile::operator=(DurableFile&& other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            closeFile(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
        m_existed = other.m_existed;
        m_path = std::move(other.m_path);
        m_sync = other.m_sync;
        m_error = std::move(other.m_error);
    }
    return *this;
}

void DurableFile::fail(const char* what, const char* how)
{
    m_error = std::string(what) + " " + m_path.string() + how + ": " + std::strerror(errno);
}

bool DurableFile::writeAll(std::string_view text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const auto n = writeSome(m_fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            fail("cannot write");
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool DurableFile::sync()
{
    if (m_sync(m_fd) == 0)
        return true;
    fail("cannot flush", kSyncHow);
    return false;
}

bool DurableFile::close()
{
    const int fd = std::exchange(m_fd, -1);
    if (closeFile(fd) == 0)
        return true;
    fail("cannot close");
    return false;
}

std::string renameOver(const std::filesystem::path& from, const std::filesystem::path& to)
{
#ifdef _WIN32
    if (::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return {};
    return table::windowsErrorText(::GetLastError());
#else
    if (::rename(from.c_str(), to.c_str()) == 0)
        return {};
    return std::strerror(errno);
#endif
}

} // namespace kyr::files
