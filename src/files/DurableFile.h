// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The few file operations that make a save durable, the same on POSIX systems
// and on Windows: create a file that must not exist yet, append, write, flush
// to the disk, and rename over an existing file. Every file is binary: line
// ends are written as they are given.

#include <filesystem>
#include <string>
#include <string_view>

namespace kyr::files {

/// Flushes a descriptor's data to the disk: 0 on success, else -1 with errno set.
using SyncCall = int (*)(int fd);

/// The system's flush: fsync, _commit on Windows.
int systemSync(int fd);

/// A file open for writing, closed when it goes.
class DurableFile {
public:
    /// Creates path, which must not exist yet (new files get mode 0644 where modes exist).
    static DurableFile createNew(const std::filesystem::path& path, SyncCall sync = systemSync);
    /// Opens path for appending, creating it if needed.
    static DurableFile openAppend(const std::filesystem::path& path, SyncCall sync = systemSync);

    DurableFile() = default;
    ~DurableFile();
    DurableFile(DurableFile&& other) noexcept;
    DurableFile& operator=(DurableFile&& other) noexcept;
    DurableFile(const DurableFile&) = delete;
    DurableFile& operator=(const DurableFile&) = delete;

    bool isOpen() const { return m_fd >= 0; }
    /// Whether the last open failed because the file was there already.
    bool existed() const { return m_existed; }
    /// The C library descriptor, -1 when closed.
    int fd() const { return m_fd; }
    /// Writes all of text; false on an error.
    bool writeAll(std::string_view text);
    /// Flushes what was written to the disk (fsync, _commit); false when
    /// the system could not, and nothing written can be counted as kept.
    bool sync();
    /// Closes the file; false when the close failed.
    bool close();
    /// The last failure of this file's operations, naming the file and
    /// giving the system's reason: "cannot write /x/y: No space left on device".
    const std::string& error() const { return m_error; }

private:
    void fail(const char* what, const char* how = "");

    int m_fd = -1;
    bool m_existed = false;
    std::filesystem::path m_path;
    SyncCall m_sync = systemSync;
    std::string m_error;
};

/// Renames from over to, replacing to if it exists, atomically where the
/// system allows (rename; MoveFileEx with replace and write-through). Empty
/// on success, else the system's text of the failure.
std::string renameOver(const std::filesystem::path& from, const std::filesystem::path& to);

} // namespace kyr::files
