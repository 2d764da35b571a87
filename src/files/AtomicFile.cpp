#include "files/AtomicFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kyr::files {

namespace fs = std::filesystem;

namespace {

constexpr int kMaxLinks = 40; // as the kernel follows them
constexpr mode_t kNewFileMode = 0644;

Error cannotSave(const fs::path& path, const std::string& what, int err)
{
    return makeError(ErrorKind::OsError,
                     "Cannot save " + path.string() + ": " + (what.empty() ? "" : what + ": ") + std::strerror(err));
}

/// A temporary file beside target, open for writing; removed again unless kept.
class TempFile {
public:
    explicit TempFile(const fs::path& target)
    {
        const fs::path dir = target.parent_path().empty() ? fs::path(".") : target.parent_path();
        const std::string tmpl = (dir / ("." + target.filename().string() + ".XXXXXX")).string();
        m_name.assign(tmpl.begin(), tmpl.end());
        m_name.push_back('\0');
        m_fd = ::mkstemp(m_name.data());
    }
    ~TempFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        if (!m_kept)
            ::unlink(m_name.data());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    int fd() const { return m_fd; }
    const char* name() const { return m_name.data(); }
    /// Closes the file; false (errno set) when the close failed.
    bool close()
    {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0;
    }
    void keep() { m_kept = true; }

private:
    std::vector<char> m_name;
    int m_fd = -1;
    bool m_kept = false;
};

bool writeAll(int fd, std::string_view text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// The replacement takes over the target's mode and, where allowed, its owner.
void takeOverAttributes(int fd, const fs::path& target)
{
    struct stat st {};
    if (::stat(target.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        ::fchmod(fd, kNewFileMode);
        return;
    }
    // Where it is not ours to give, the file becomes the saver's, as a new one would.
    [[maybe_unused]] const bool sameOwner = ::fchown(fd, st.st_uid, st.st_gid) == 0;
    ::fchmod(fd, st.st_mode & 07777);
}

} // namespace

Result<fs::path> saveTarget(const fs::path& path)
{
    fs::path target = path;
    for (int hops = 0; hops < kMaxLinks; ++hops) {
        std::error_code ec;
        if (!fs::is_symlink(fs::symlink_status(target, ec)))
            return target;
        const fs::path next = fs::read_symlink(target, ec);
        if (ec)
            return cannotSave(path, "cannot read the link " + target.string(), ec.value());
        target = next.is_absolute() ? next : target.parent_path() / next;
    }
    return cannotSave(path, "", ELOOP);
}

Status replaceFile(const fs::path& path, std::string_view text)
{
    auto target = saveTarget(path);
    if (!target)
        return target.error();
    TempFile tmp(target.value());
    if (tmp.fd() < 0)
        return cannotSave(path, "", errno);
    if (!writeAll(tmp.fd(), text))
        return cannotSave(path, "write", errno);
    takeOverAttributes(tmp.fd(), target.value());
    if (::fsync(tmp.fd()) != 0)
        return cannotSave(path, "fsync", errno);
    if (!tmp.close())
        return cannotSave(path, "close", errno);
    if (::rename(tmp.name(), target.value().c_str()) != 0)
        return cannotSave(path, "rename", errno);
    tmp.keep();
    return okStatus();
}

Status checkReplaceable(const fs::path& path)
{
    auto target = saveTarget(path);
    if (!target)
        return target.error();
    const fs::path dir = target.value().parent_path().empty() ? fs::path(".") : target.value().parent_path();
    std::error_code ec;
    if (!fs::is_directory(dir, ec))
        return makeError(ErrorKind::OsError, "Cannot save " + path.string() + ": " +
                                                 (fs::exists(dir, ec) ? dir.string() + " is not a folder"
                                                                      : "the folder " + dir.string() + " does not exist"));
    if (fs::is_directory(target.value(), ec))
        return makeError(ErrorKind::OsError, "Cannot save " + path.string() + ": it is a folder");
    const TempFile probe(target.value());
    if (probe.fd() < 0)
        return cannotSave(path, "", errno);
    return okStatus();
}

} // namespace kyr::files
