// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Backups of the tables read from units. Every whole table read is kept as a
// map file in the per-user data folder, one folder per unit serial number, each
// file named by the local date and time it was taken, so that a tune is never
// lost to a later write.

#include "files/MapFile.h"
#include "table/Result.h"

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kyr::session {

/// Reads one environment variable; nullopt when it is not set.
using EnvReader = std::function<std::optional<std::string>(const char*)>;

/// The process environment; HOME falls back to the user's entry in the
/// password database when the variable is not set.
std::optional<std::string> systemEnv(const char* name);

/// Where backups go: $XDG_DATA_HOME/kyr/backups, else $HOME/.local/share/kyr/backups;
/// on Windows %LOCALAPPDATA%\kyr\backups, else %APPDATA%\kyr\backups.
/// Relative values are ignored (as the XDG base directory rules say); an empty
/// path when none gives a folder.
std::filesystem::path defaultBackupRoot(const EnvReader& env = systemEnv);

/// A folder name for a serial text (UTF-8): ASCII letters, digits, '-' and
/// '_' are kept, any other character (spaces, dots, separators, a letter
/// beyond ASCII) becomes one '_', at most 64 bytes of text; an empty text
/// gives "unknown".
std::string serialFolder(std::string_view serialText);

/// The name stamp of a moment: "2026-12-08_14-03-05", local time; nullopt
/// when the date cannot be told or its year is not of four digits.
std::optional<std::string> backupStamp(std::chrono::system_clock::time_point when);

/// What a table kept in a unit's folder is: read from the unit (a backup),
/// written to it (as read back), or a copy of a file the tuner saved.
enum class HistoryKind { Read, Written, Saved };

/// One backup file.
struct BackupEntry {
    std::filesystem::path path;
    std::string serial; ///< the unit's folder name
    std::string taken;  ///< "2026-12-08 14:03:05", local time, from the file name
    HistoryKind kind = HistoryKind::Read; ///< from the file name's ending
};

/// The backups below one root folder.
class BackupStore {
public:
    using Now = std::function<std::chrono::system_clock::time_point()>;
    static constexpr std::size_t DefaultKeep = 200;

    static std::chrono::system_clock::time_point systemNow();

    /// keep is the number of newest backups a unit keeps besides its oldest;
    /// it is at least 1, so the backup just written always survives.
    explicit BackupStore(std::filesystem::path root = defaultBackupRoot(), Now now = systemNow,
                         std::size_t keep = DefaultKeep);

    /// Writes the file atomically as root/<serialFolder(serial)>/YYYY-MM-DD_HH-MM-SS.kyr
    /// (local time; "_written.kyr" and "_saved.kyr" for those kinds), creating
    /// folders as needed. A name already taken, as by a
    /// second backup in the same second, gets "_2", "_3"... instead: no backup
    /// is ever overwritten. Then prunes the unit's older backups, never the one
    /// just written nor one written after it, whatever their names' dates; a
    /// failed prune leaves files behind but does not fail the save. Returns the
    /// path written, which exists. A table whose hash has a note in the
    /// unit's history index is never pruned.
    Result<std::filesystem::path> save(const files::MapFile& file, std::string_view serial,
                                       HistoryKind kind = HistoryKind::Read);

    /// The unit's backups (of every kind), newest first. Only files named as backups count;
    /// a missing or unreadable folder gives none.
    std::vector<BackupEntry> list(std::string_view serial) const;

    /// Every unit folder that holds a backup, sorted by name.
    std::vector<std::string> serials() const;

    const std::filesystem::path& root() const { return m_root; }
    std::size_t keep() const { return m_keep; }

private:
    std::vector<BackupEntry> oldestFirst(const std::string& folder) const;
    void prune(const std::string& folder, const std::filesystem::path& written) const;

    std::filesystem::path m_root;
    Now m_now;
    std::size_t m_keep;
};

} // namespace kyr::session
