// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/History.h"

#include "live/LogFile.h"
#include "session/HistoryIndex.h"

#include <algorithm>
#include <map>

namespace kyr::session {

namespace fs = std::filesystem;

namespace {

constexpr char FirstSummary[] = "First in the history";

/// One table file of the unit's folder, read and hashed.
struct Taken {
    HistoryTime time;
    std::string hash;
    files::MapFile file;
};

std::string lowerHash(std::string_view hash)
{
    std::string out(hash);
    for (char& c : out)
        if (c >= 'A' && c <= 'F')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::string utf8(const fs::path& path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

fs::path fromUtf8(const std::string& text) { return fs::path(std::u8string(text.begin(), text.end())); }

// The unit's tables oldest first. A file that cannot be read as a map file
// is left out and named in a notice: it is the tuner's to look at.
std::vector<Taken> readTables(const fs::path& root, const std::string& folder, std::vector<std::string>* notices)
{
    auto entries = BackupStore(root).list(folder);
    std::reverse(entries.begin(), entries.end());
    std::vector<Taken> tables;
    tables.reserve(entries.size());
    for (auto& e : entries) {
        auto file = files::loadMapFile(e.path);
        if (!file) {
            if (notices)
                notices->push_back("A table in the history of unit " + folder + " cannot be read and is left out: " +
                                   file.error().message);
            continue;
        }
        Taken t;
        t.hash = tuneHash(file.value().image);
        t.time = {e.taken, e.kind, std::move(e.path), {}};
        t.file = std::move(file).value();
        tables.push_back(std::move(t));
    }
    return tables;
}

std::string tableSummary(const std::vector<Taken>& tables, std::size_t newest, std::string& previousHash)
{
    const Taken& mine = tables[newest];
    for (std::size_t j = newest; j-- > 0;)
        if (tables[j].hash != mine.hash) {
            previousHash = tables[j].hash;
            return changeSummary(tables[j].file.image, mine.file.image, tables[j].file.identity[1],
                                 mine.file.identity[1]);
        }
    return FirstSummary;
}

// One entry per table, newest first, each with every time it was taken.
std::vector<HistoryEntry> groupTables(const std::vector<Taken>& tables, const HistoryIndex& index)
{
    std::map<std::string, std::size_t> groupOf;
    std::vector<HistoryEntry> entries;
    std::vector<std::size_t> newestAt;
    for (std::size_t i = 0; i < tables.size(); ++i) {
        HistoryTime time = tables[i].time;
        if (time.kind == HistoryKind::Saved)
            if (auto it = index.savedAs.find(time.path.filename().string()); it != index.savedAs.end())
                time.savedAs = fromUtf8(it->second);
        auto [it, added] = groupOf.emplace(tables[i].hash, entries.size());
        if (added) {
            entries.push_back({});
            entries.back().hash = tables[i].hash;
            newestAt.push_back(i);
        }
        entries[it->second].times.insert(entries[it->second].times.begin(), std::move(time));
        newestAt[it->second] = i;
    }
    for (std::size_t g = 0; g < entries.size(); ++g) {
        entries[g].summary = tableSummary(tables, newestAt[g], entries[g].previousHash);
        if (auto it = index.notes.find(entries[g].hash); it != index.notes.end())
            entries[g].note = it->second;
    }
    std::vector<std::size_t> order(entries.size());
    for (std::size_t g = 0; g < order.size(); ++g)
        order[g] = g;
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return newestAt[a] > newestAt[b]; });
    std::vector<HistoryEntry> sorted;
    sorted.reserve(entries.size());
    for (std::size_t g : order)
        sorted.push_back(std::move(entries[g]));
    return sorted;
}

void attachLogs(std::vector<HistoryEntry>& entries, const std::vector<fs::path>& folders)
{
    if (folders.empty() || entries.empty())
        return;
    std::map<std::string, HistoryEntry*> byHash;
    for (auto& e : entries)
        byHash[e.hash] = &e;
    for (auto& log : findLogs(folders))
        if (auto it = byHash.find(log.hash); it != byHash.end())
            it->second->logs.push_back({std::move(log.path)});
}

} // namespace

struct History::IndexState {
    HistoryIndex index;
    bool writable = true; ///< false while a damaged index could not be set aside
};

std::string tuneHash(const table::ImageBytes& plusOne)
{
    return live::tableHash(std::span<const uint8_t>(plusOne.data(), table::TrailerOffset));
}

bool isTuneHash(std::string_view text)
{
    if (text.size() != 16)
        return false;
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')))
            return false;
    return true;
}

std::string_view historyKindName(HistoryKind kind)
{
    switch (kind) {
    case HistoryKind::Written: return "written";
    case HistoryKind::Saved: return "saved";
    case HistoryKind::Read: break;
    }
    return "read";
}

std::string HistoryTime::what() const
{
    if (kind == HistoryKind::Saved && !savedAs.empty())
        return "saved as " + utf8(savedAs.filename());
    return std::string(historyKindName(kind));
}

const HistoryEntry* UnitHistory::find(std::string_view hash) const
{
    const std::string wanted = lowerHash(hash);
    for (const auto& e : entries)
        if (e.hash == wanted)
            return &e;
    return nullptr;
}

History::History(fs::path root, BackupStore::Now now) : m_root(std::move(root)), m_now(std::move(now)) {}

Result<UnitHistory> History::load(std::string_view serial, const std::vector<fs::path>& logFolders)
{
    if (m_root.empty())
        return makeError(ErrorKind::BadArgument, "No folder for backups, so no history");
    UnitHistory history;
    history.serial = serialFolder(serial);
    const std::vector<Taken> tables = readTables(m_root, history.serial, &history.notices);
    const IndexState index = indexOf(history.serial, history.notices);
    history.entries = groupTables(tables, index.index);
    attachLogs(history.entries, logFolders);
    return history;
}

Status History::setNote(std::string_view serial, std::string_view hash, const std::string& note)
{
    const std::string folder = serialFolder(serial);
    if (!isTuneHash(hash))
        return makeError(ErrorKind::BadArgument, "\"" + std::string(hash) + "\" is not a table hash (16 hex digits)");
    const std::string wanted = lowerHash(hash);
    const auto tables = readTables(m_root, folder, nullptr);
    if (std::none_of(tables.begin(), tables.end(), [&](const Taken& t) { return t.hash == wanted; }))
        return makeError(ErrorKind::BadArgument,
                         "No table with hash " + wanted + " in the history of unit " + folder);
    std::vector<std::string> notices;
    IndexState index = indexOf(folder, notices);
    if (!index.writable)
        return makeError(ErrorKind::OsError, notices.empty() ? "The history index cannot be written" : notices.back());
    const auto first = note.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        index.index.notes.erase(wanted);
    else
        index.index.notes[wanted] = note.substr(first, note.find_last_not_of(" \t\r\n") - first + 1);
    return writeHistoryIndex(m_root / folder, index.index);
}

Result<fs::path> History::recordWritten(const files::MapFile& file, std::string_view serial)
{
    return BackupStore(m_root, m_now).save(file, serial, HistoryKind::Written);
}

Result<fs::path> History::recordSaved(const files::MapFile& file, std::string_view serial, const fs::path& savedAs)
{
    auto kept = BackupStore(m_root, m_now).save(file, serial, HistoryKind::Saved);
    if (!kept)
        return kept;
    std::vector<std::string> notices;
    const std::string folder = serialFolder(serial);
    IndexState index = indexOf(folder, notices);
    if (!index.writable)
        return makeError(ErrorKind::OsError, notices.back());
    std::error_code ec;
    const fs::path absolute = fs::absolute(savedAs, ec);
    index.index.savedAs[kept.value().filename().string()] = utf8(ec ? savedAs : absolute);
    if (Status written = writeHistoryIndex(m_root / folder, index.index); !written)
        return makeError(ErrorKind::OsError, "The saved table is in the history, but not the name it was saved as: " +
                                                 written.error().message);
    return kept;
}

Result<fs::path> History::fileOfHash(std::string_view hash, std::string_view serial)
{
    const std::string wanted = lowerHash(hash);
    const std::vector<std::string> folders = serial.empty() ? serials() : std::vector{serialFolder(serial)};
    for (const std::string& folder : folders) {
        const auto tables = readTables(m_root, folder, nullptr);
        for (auto it = tables.rbegin(); it != tables.rend(); ++it)
            if (it->hash == wanted)
                return it->time.path;
    }
    return makeError(ErrorKind::BadArgument, "No table with hash " + std::string(hash) + " in the history" +
                                                 (serial.empty() ? "" : " of unit " + serialFolder(serial)));
}

std::vector<std::string> History::serials() const { return BackupStore(m_root).serials(); }

// A damaged index is renamed, never deleted: what the salvage missed is
// still in it. Its readable records go into the index written in its place.
History::IndexState History::indexOf(const std::string& folder, std::vector<std::string>& notices) const
{
    const fs::path dir = m_root / folder;
    IndexRead read = readHistoryIndex(dir);
    if (read.state != IndexRead::State::Damaged)
        return {std::move(read.index), true};
    const std::string unit = "The history index of unit " + folder + " was damaged (" + read.text + ")";
    auto aside = setAside(dir);
    if (!aside) {
        notices.push_back(unit + " and cannot be set aside: " + aside.error().message);
        return {std::move(read.index), false};
    }
    const std::size_t notes = read.index.notes.size();
    notices.push_back(unit + "; it was set aside as " + aside.value() + " and rebuilt from the backups (" +
                      std::to_string(notes) + (notes == 1 ? " note" : " notes") + " recovered)");
    if (Status written = writeHistoryIndex(dir, read.index); !written) {
        notices.push_back(written.error().message);
        return {std::move(read.index), false};
    }
    return {std::move(read.index), true};
}

Result<std::string> History::setAside(const fs::path& dir) const
{
    const std::string stamp = backupStamp(m_now()).value_or("unknown-time");
    for (int n = 1; n < 100; ++n) {
        std::string name = std::string(IndexFileName) + ".damaged-" + stamp + (n > 1 ? "_" + std::to_string(n) : "");
        std::error_code ec;
        if (fs::exists(dir / name, ec) || ec)
            continue;
        fs::rename(dir / IndexFileName, dir / name, ec);
        if (ec)
            return makeError(ErrorKind::OsError, ec.message());
        return name;
    }
    return makeError(ErrorKind::OsError, "every name for the damaged index is taken");
}

std::vector<FoundLog> findLogs(const std::vector<fs::path>& folders)
{
    std::vector<FoundLog> found;
    for (const fs::path& folder : folders) {
        std::error_code ec;
        fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
        for (const fs::recursive_directory_iterator end; !ec && it != end; it.increment(ec)) {
            std::error_code typeEc;
            if (!it->is_regular_file(typeEc) || !live::logFormatOf(it->path().string()))
                continue;
            if (auto hash = live::readLogTableHash(it->path().string()))
                found.push_back({it->path(), std::move(*hash)});
        }
    }
    std::sort(found.begin(), found.end(), [](const FoundLog& a, const FoundLog& b) { return a.path < b.path; });
    auto samePath = [](const FoundLog& a, const FoundLog& b) { return a.path == b.path; };
    found.erase(std::unique(found.begin(), found.end(), samePath), found.end());
    return found;
}

} // namespace kyr::session
