// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/AtomicFile.h"

#include "files/DurableFile.h"

#include <cerrno>
#include <cstring>
#include <random>
#include <sys/stat.h>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace kyr::files {

namespace fs = std::filesystem;

namespace {

constexpr int kMaxLinks = 40; // as the kernel follows them
constexpr int kNameTries = 100;
constexpr int kNameLetters = 6;

Error cannotSave(const fs::path& path, const std::string& what, const std::string& reason)
{
    return makeError(ErrorKind::OsError,
                     "Cannot save " + path.string() + ": " + (what.empty() ? "" : what + ": ") + reason);
}

Error cannotSave(const fs::path& path, const std::string& what, int err)
{
    return cannotSave(path, what, std::string(std::strerror(err)));
}

/// ".NAME.XXXXXX" beside target, six random letters and digits.
fs::path tempName(const fs::path& dir, const fs::path& target)
{
    static constexpr char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937 random{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, sizeof letters - 2);
    std::string suffix;
    for (int i = 0; i < kNameLetters; ++i)
        suffix += letters[pick(random)];
    return dir / ("." + target.filename().string() + "." + suffix);
}

/// A temporary file beside target, open for writing; removed again unless kept.
class TempFile {
public:
    explicit TempFile(const fs::path& target, SyncCall sync = systemSync)
    {
        const fs::path dir = target.parent_path().empty() ? fs::path(".") : target.parent_path();
        for (int i = 0; i < kNameTries && !m_file.isOpen(); ++i) {
            m_name = tempName(dir, target);
            m_file = DurableFile::createNew(m_name, sync);
            if (!m_file.isOpen() && !m_file.existed())
                break;
        }
        if (!m_file.isOpen())
            m_name.clear();
    }
    ~TempFile()
    {
        if (m_file.isOpen())
            m_file.close();
        std::error_code ec;
        if (!m_kept && !m_name.empty())
            fs::remove(m_name, ec);
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    DurableFile& file() { return m_file; }
    bool isOpen() const { return m_file.isOpen(); }
    const fs::path& name() const { return m_name; }
    void keep() { m_kept = true; }

private:
    DurableFile m_file;
    fs::path m_name;
    bool m_kept = false;
};

// The replacement takes over the target's mode and, where allowed, its owner.
// Windows files have no modes or owners to take over.
void takeOverAttributes([[maybe_unused]] int fd, [[maybe_unused]] const fs::path& target)
{
#ifndef _WIN32
    constexpr mode_t kNewFileMode = 0644;
    struct stat st {};
    if (::stat(target.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        ::fchmod(fd, kNewFileMode);
        return;
    }
    // Where it is not ours to give, the file becomes the saver's, as a new one would.
    [[maybe_unused]] const bool sameOwner = ::fchown(fd, st.st_uid, st.st_gid) == 0;
    ::fchmod(fd, st.st_mode & 07777);
#endif
}

std::string whyNotAFile(const fs::path& path)
{
    std::error_code ec;
    const fs::file_status st = fs::status(path, ec);
    if (st.type() == fs::file_type::not_found)
        return {};
    if (fs::is_regular_file(st))
        return {};
    if (fs::is_directory(st))
        return "it is a folder";
    if (ec)
        return {}; // cannot be looked at: the open that follows gives the reason
    return "it is not a regular file";
}

} // namespace

std::string whyNotOutput(const fs::path& path) { return whyNotAFile(path); }

std::string whyNotInput(const fs::path& path) { return whyNotAFile(path); }

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

Status replaceFile(const fs::path& path, std::string_view text, SyncCall sync)
{
    auto target = saveTarget(path);
    if (!target)
        return target.error();
    if (const std::string why = whyNotOutput(target.value()); !why.empty())
        return cannotSave(path, "", why);
    TempFile tmp(target.value(), sync);
    // The temporary file goes unless every step succeeded: the target keeps
    // its old text whenever the new one is not known to be on the disk.
    if (!tmp.isOpen())
        return cannotSave(path, "", tmp.file().error());
    if (!tmp.file().writeAll(text))
        return cannotSave(path, "", tmp.file().error());
    takeOverAttributes(tmp.file().fd(), target.value());
    if (!tmp.file().sync())
        return cannotSave(path, "", tmp.file().error());
    if (!tmp.file().close())
        return cannotSave(path, "", tmp.file().error());
    if (const std::string failed = renameOver(tmp.name(), target.value()); !failed.empty())
        return cannotSave(path, "rename", failed);
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
    if (const std::string why = whyNotOutput(target.value()); !why.empty())
        return cannotSave(path, "", why);
    TempFile probe(target.value());
    if (!probe.isOpen())
        return cannotSave(path, "", probe.file().error());
    return okStatus();
}

} // namespace kyr::files
