// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The edits made while the link to the unit was down. Every single write
// (WritePoint, WriteByte, a calibration byte) that could not go out is kept
// here in the order it was made, in memory and in a file beside the unit's
// backups, so that a crash of the program does not lose it either. When the
// link is back the edits are sent again in the same order.

#include "files/DurableFile.h"
#include "link/Bytes.h"
#include "table/Codec.h"
#include "table/Result.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace kyr::session {

/// One single write: its bytes and the table place it sets.
struct JournalEntry {
    link::Bytes bytes; ///< bank or F2, index, raw value
    int offset = 0;    ///< table offset the write sets
    uint8_t raw = 0;   ///< the value as the unit stores it (the table reads it plus one)
    bool operator==(const JournalEntry&) const = default;
};

/// The entry of a single write's bytes; nullopt for bytes that are not one
/// (wrong length, unknown bank, an offset outside the table).
std::optional<JournalEntry> singleWrite(const link::Bytes& bytes);

/// Where a unit's journal is kept: <backup root>/<serial folder>/unsent-edits.journal.
std::filesystem::path journalPath(const std::filesystem::path& backupRoot, std::string_view serialText);

class EditJournal {
public:
    /// A journal kept in memory only until attached; sync flushes the file's
    /// appends to the disk.
    explicit EditJournal(files::SyncCall sync = files::systemSync) : m_sync(sync) {}

    /// Keeps the edits in this file from now on: what is in memory is written
    /// there, and every later add() is appended and flushed before it returns.
    /// An empty path keeps them in memory only. A file that is not a journal
    /// is renamed to "<name>.unreadable" and the error says so.
    Status attach(const std::filesystem::path& file);
    const std::filesystem::path& file() const { return m_file; }

    /// Keeps a single write. BadArgument for bytes that are not one. When the
    /// file cannot be written or flushed to the disk the error says so: the
    /// edit is then kept in memory only, and would not survive a crash.
    Status add(const link::Bytes& bytes);

    const std::vector<JournalEntry>& entries() const { return m_entries; }
    bool empty() const { return m_entries.empty(); }
    std::size_t size() const { return m_entries.size(); }
    /// The table offsets the edits set.
    std::set<int> offsets() const;
    /// A plus-one table with the edits applied in order.
    table::ImageBytes appliedTo(table::ImageBytes plusOne) const;

    /// Forgets the edits and removes the file.
    Status clear();

    /// The edits a file holds, oldest first. A missing file is an empty
    /// journal; a line that is not a single write, or a file larger than a
    /// journal grows (1 MiB), is BadFile naming the line or the file.
    static Result<std::vector<JournalEntry>> load(const std::filesystem::path& file);
    /// The edits a journal's text holds, as load reads them; errors name it name.
    static Result<std::vector<JournalEntry>> parse(std::string_view text, const std::string& name);

private:
    Status append(const JournalEntry& e);

    std::vector<JournalEntry> m_entries;
    std::filesystem::path m_file;
    files::SyncCall m_sync;
};

} // namespace kyr::session
