// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/History.h"

#include "live/LogFile.h"
#include "tools/TuneCompare.h"

namespace kyr::session {

namespace fs = std::filesystem;

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
        return "saved as " + savedAs.filename().string();
    return std::string(historyKindName(kind));
}

const HistoryEntry* UnitHistory::find(std::string_view hash) const { (void)hash; return nullptr; }

History::History(fs::path root, BackupStore::Now now) : m_root(std::move(root)), m_now(std::move(now)) {}

Result<UnitHistory> History::load(std::string_view, const std::vector<fs::path>&)
{
    return makeError(ErrorKind::BadArgument, "not yet");
}

Status History::setNote(std::string_view, std::string_view, const std::string&)
{
    return makeError(ErrorKind::BadArgument, "not yet");
}

Result<fs::path> History::recordWritten(const files::MapFile&, std::string_view)
{
    return makeError(ErrorKind::BadArgument, "not yet");
}

Result<fs::path> History::recordSaved(const files::MapFile&, std::string_view, const fs::path&)
{
    return makeError(ErrorKind::BadArgument, "not yet");
}

Result<fs::path> History::fileOfHash(std::string_view, std::string_view)
{
    return makeError(ErrorKind::BadArgument, "not yet");
}

std::vector<std::string> History::serials() const { return {}; }

std::string changeSummary(const tools::TuneComparison&, std::size_t) { return {}; }

std::string changeSummary(const table::ImageBytes&, const table::ImageBytes&, int, int, std::size_t) { return {}; }

std::vector<FoundLog> findLogs(const std::vector<fs::path>&) { return {}; }

} // namespace kyr::session
