// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The index beside a unit's backups, "index.json": the tuner's notes by table
// hash and the paths tables were saved as, by the name of their copy. The
// tables themselves are the map files in the folder; the index holds only
// what they cannot say. One record a line, so that the records of a damaged
// index that are still whole can be read back.

#include "table/Result.h"

#include <filesystem>
#include <map>
#include <string>

namespace kyr::session {

struct HistoryIndex {
    std::map<std::string, std::string> notes;   ///< lower-case table hash -> note
    std::map<std::string, std::string> savedAs; ///< "..._saved.kyr" file name -> path saved as (UTF-8)
};

/// What reading an index found.
struct IndexRead {
    enum class State { Missing, Whole, Damaged } state = State::Missing;
    HistoryIndex index; ///< for a damaged index, the records that could be read back
    std::string text;   ///< why it is damaged
};

inline constexpr char IndexFileName[] = "index.json";

/// Parses an index's text; a text that is no index gives Damaged with the
/// records recovered line by line.
IndexRead parseHistoryIndex(const std::string& text);
/// Reads folder/index.json.
IndexRead readHistoryIndex(const std::filesystem::path& folder);
/// The text of an index.
std::string formatHistoryIndex(const HistoryIndex& index);
/// Writes folder/index.json atomically (a temporary file, flushed to the disk,
/// renamed over it). OsError naming the file.
Status writeHistoryIndex(const std::filesystem::path& folder, const HistoryIndex& index);

} // namespace kyr::session
