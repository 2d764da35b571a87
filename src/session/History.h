// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The tune history of a unit: every table read from it (the backups), every
// table written to it (as read back) and every file saved from it, newest
// first, each with its table hash, what changed since the table before, the
// tuner's note and the logs recorded on it.
//
// All of it lives in the unit's backup folder (BackupStore): the tables as
// map files named by their time ("2026-12-08_14-03-05.kyr" read,
// "..._written.kyr" written, "..._saved.kyr" saved) and a small index,
// "index.json", with the notes (by table hash) and the paths files were
// saved as. The map files are never changed; the index is written
// atomically, and a damaged one is set aside and built again from the folder.

#include "files/MapFile.h"
#include "session/Backups.h"
#include "table/Layout.h"
#include "table/Result.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kyr::tools {
struct TuneComparison;
}

namespace kyr::session {

/// The table hash a log carries ("Table hash"): FNV-1a 64 over offsets 0 to
/// 480 of a plus-one image, as 16 lower-case hex digits. The trailer byte is
/// left out: a table read from the unit, a file and a written table keep
/// different bytes there for the same tune.
std::string tuneHash(const table::ImageBytes& plusOne);
/// Whether text is a hash as tuneHash gives it (16 hex digits, either case).
bool isTuneHash(std::string_view text);

/// "read", "written", "saved" (HistoryKind is in Backups.h).
std::string_view historyKindName(HistoryKind kind);

/// One time a table was taken.
struct HistoryTime {
    std::string taken;          ///< "2026-12-08 14:03:05", local time
    HistoryKind kind = HistoryKind::Read;
    std::filesystem::path path; ///< the map file in the unit's folder holding the table
    std::filesystem::path savedAs; ///< Saved: the file the tuner saved; empty when not known
    /// "read", "written", "saved as base.kyr" ("saved" when the name is not known).
    std::string what() const;
};

/// A log whose "Table hash" is an entry's.
struct HistoryLog {
    std::filesystem::path path;
};

/// One table in the history: every time it was taken, newest first.
struct HistoryEntry {
    std::string hash;              ///< tuneHash of the table
    std::vector<HistoryTime> times; ///< never empty; times.front() is the newest
    /// What changed since the table before (the one taken last before
    /// times.front() with another hash): "Timing Map points 30–35 +2°; Max
    /// Fueling 20 → 22". "First in the history" for the oldest table.
    std::string summary;
    std::string previousHash; ///< that table's hash; empty for the oldest
    std::string note;         ///< the tuner's note, "" for none
    std::vector<HistoryLog> logs; ///< logs recorded on this table, by path

    const HistoryTime& newest() const { return times.front(); }
};

/// A unit's history as load() gives it.
struct UnitHistory {
    std::string serial;                ///< the unit's folder name (serialFolder)
    std::vector<HistoryEntry> entries; ///< one per table, by newest time, newest first
    /// What the tuner must be told: "The history index of unit 12345 was
    /// damaged; it was set aside as index.json.damaged-2026-12-08_14-03-05 and
    /// rebuilt from the backups (2 notes recovered)". Empty when all was well.
    std::vector<std::string> notices;

    /// The entry holding this hash (either case); nullptr when none.
    const HistoryEntry* find(std::string_view hash) const;
};

/// The history below a backup root (the BackupStore's).
class History {
public:
    explicit History(std::filesystem::path root = defaultBackupRoot(),
                     BackupStore::Now now = BackupStore::systemNow);

    /// The unit's history (serial as typed or as its folder name). Logs in
    /// logFolders (and their subfolders) whose "Table hash" is an entry's are
    /// listed under it. A damaged index is set aside and rebuilt (a notice
    /// says so); a missing folder gives an empty history.
    Result<UnitHistory> load(std::string_view serial,
                             const std::vector<std::filesystem::path>& logFolders = {});

    /// Sets (or, with an empty text, removes) the note of the table with
    /// this hash. BadArgument "No table with hash H in the history of unit S"
    /// when the unit has none; OsError when the index cannot be written.
    Status setNote(std::string_view serial, std::string_view hash, const std::string& note);

    /// A table written to the unit, as read back: kept in the unit's folder
    /// as "..._written.kyr". Returns the path kept.
    Result<std::filesystem::path> recordWritten(const files::MapFile& file, std::string_view serial);
    /// A map file the tuner saved (savedAs) holding a table of this unit:
    /// a copy is kept in the unit's folder as "..._saved.kyr" and the index
    /// remembers savedAs. Returns the path kept.
    Result<std::filesystem::path> recordSaved(const files::MapFile& file, std::string_view serial,
                                              const std::filesystem::path& savedAs);

    /// The map file holding the table with this hash: in the unit's history,
    /// or with an empty serial in any unit's. BadArgument "No table with hash
    /// H in the history" when there is none.
    Result<std::filesystem::path> fileOfHash(std::string_view hash, std::string_view serial = {});

    /// Every unit folder that holds a table, sorted by name.
    std::vector<std::string> serials() const;

    const std::filesystem::path& root() const { return m_root; }

private:
    struct IndexState;
    IndexState indexOf(const std::string& folder, std::vector<std::string>& notices) const;
    Result<std::string> setAside(const std::filesystem::path& dir) const;

    std::filesystem::path m_root;
    BackupStore::Now m_now;
};

/// One line telling what changed from the table before to this one: runs of
/// map points with the same change ("Timing Map points 30–35 +2°"), setup
/// values ("Max Fueling 20 → 22"), other bytes ("2 other bytes"), joined by
/// "; ". Longer than maxChars, it ends in "… and N more". "No change" when
/// nothing differs.
std::string changeSummary(const tools::TuneComparison& changes, std::size_t maxChars = 120);
/// The same for two plus-one images, the type codes as compareTunes takes them.
std::string changeSummary(const table::ImageBytes& before, const table::ImageBytes& after, int beforeTypeCode = 0,
                          int afterTypeCode = 0, std::size_t maxChars = 120);

/// The "Table hash" of every log (.csv, .msl, .mlg) in the folders and their
/// subfolders, reading only each log's header; logs without one are left out.
struct FoundLog {
    std::filesystem::path path;
    std::string hash; ///< lower case
};
std::vector<FoundLog> findLogs(const std::vector<std::filesystem::path>& folders);

} // namespace kyr::session
