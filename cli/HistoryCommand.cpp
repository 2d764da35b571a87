// SPDX-License-Identifier: GPL-3.0-or-later
// kyr history: the tables each unit held, was written and saved as, with
// what changed between them, the tuner's notes and the logs recorded on them;
// --note sets a note.

#include "Commands.h"

#include "CommandSupport.h"
#include "Output.h"

#include "session/History.h"

#include <algorithm>

namespace kyr::cli {

namespace {

using nlohmann::json;
namespace fs = std::filesystem;

std::string utf8(const fs::path& p)
{
    const std::u8string text = p.u8string();
    return std::string(text.begin(), text.end());
}

json timeJson(const session::HistoryTime& t)
{
    json j = {{"time", t.taken}, {"kind", session::historyKindName(t.kind)}, {"path", utf8(t.path)}};
    if (t.kind == session::HistoryKind::Saved)
        j["saved_as"] = t.savedAs.empty() ? json(nullptr) : json(utf8(t.savedAs));
    return j;
}

// One entry: its newest time's fields at the top, every time below.
json entryJson(const session::HistoryEntry& e, const std::string& serial)
{
    json j = timeJson(e.newest());
    j["hash"] = e.hash;
    j["serial"] = serial;
    j["summary"] = e.summary;
    j["note"] = e.note;
    j["previous_hash"] = e.previousHash.empty() ? json(nullptr) : json(e.previousHash);
    j["times"] = json::array();
    for (const auto& t : e.times)
        j["times"].push_back(timeJson(t));
    j["logs"] = json::array();
    for (const auto& l : e.logs)
        j["logs"].push_back(utf8(l.path));
    return j;
}

// A note of several lines keeps to its column.
std::string indented(const std::string& note)
{
    std::string out;
    for (char c : note)
        out += c == '\n' ? std::string("\n            ") : std::string(1, c);
    return out;
}

void printUnit(std::ostream& out, const session::UnitHistory& h)
{
    out << "Unit " << h.serial << " (" << h.entries.size() << (h.entries.size() == 1 ? " table" : " tables")
        << ", newest first)\n";
    for (const auto& e : h.entries) {
        for (std::size_t i = 0; i < e.times.size(); ++i)
            out << "  " << (i == 0 ? e.hash : std::string(e.hash.size(), ' ')) << "  " << e.times[i].taken << "  "
                << e.times[i].what() << "\n";
        out << "      " << e.summary << "\n";
        if (!e.note.empty())
            out << "      Note: " << indented(e.note) << "\n";
        for (const auto& l : e.logs)
            out << "      Log: " << l.path.string() << "\n";
    }
}

Result<std::vector<session::UnitHistory>> loadUnits(const HistoryOptions& o, Io& io, session::History& history)
{
    std::vector<std::string> serials = o.serial.empty() ? history.serials() : std::vector{o.serial};
    std::vector<fs::path> logFolders(o.logs.begin(), o.logs.end());
    std::vector<session::UnitHistory> units;
    for (const std::string& serial : serials) {
        auto h = history.load(serial, logFolders);
        if (!h)
            return h.error();
        for (const auto& notice : h.value().notices)
            io.err << "kyr: warning: " << notice << "\n";
        if (!h.value().entries.empty())
            units.push_back(std::move(h).value());
    }
    return units;
}

int setNote(const HistoryOptions& o, Io& io, session::History& history,
            const std::vector<session::UnitHistory>& units)
{
    const std::string& hash = o.note[0];
    if (!session::isTuneHash(hash))
        return fail(io, ExitUsage, "\"" + hash + "\" is not a table hash (16 hex digits)");
    std::size_t set = 0;
    for (const auto& unit : units) {
        if (!unit.find(hash))
            continue;
        if (Status s = history.setNote(unit.serial, hash, o.note[1]); !s)
            return fail(io, ExitUsage, s.error().message);
        io.out << (o.note[1].find_first_not_of(" \t\r\n") == std::string::npos ? "Note removed from " : "Note set on ")
               << unit.find(hash)->hash << " (unit " << unit.serial << ")\n";
        ++set;
    }
    if (set == 0)
        return fail(io, ExitUsage, "No table with hash " + hash + " in the history" +
                                       (o.serial.empty() ? "" : " of unit " + session::serialFolder(o.serial)));
    return ExitOk;
}

} // namespace

int runHistory(const HistoryOptions& o, Io& io, const fs::path& root)
{
    if (root.empty())
        return fail(io, ExitUsage, "no folder for backups, so no history: " + std::string(NoBackupFolderHint));
    session::History history(root);
    auto units = loadUnits(o, io, history);
    if (!units)
        return fail(io, ExitUsage, units.error().message);
    if (o.note.size() == 2)
        return setNote(o, io, history, units.value());
    if (o.json) {
        json list = json::array();
        for (const auto& unit : units.value())
            for (const auto& e : unit.entries)
                list.push_back(entryJson(e, unit.serial));
        // Newest first across units too; each unit's own order stays.
        std::stable_sort(list.begin(), list.end(),
                         [](const json& a, const json& b) { return a["time"] > b["time"]; });
        printJson(io.out, list);
        return ExitOk;
    }
    for (const auto& unit : units.value())
        printUnit(io.out, unit);
    if (units.value().empty())
        io.out << "No history" << (o.serial.empty() ? "" : " of unit " + o.serial) << " in " << root.string() << "\n";
    return ExitOk;
}

Result<std::string> historyFile(const std::string& arg, const fs::path& root)
{
    std::error_code ec;
    if (!session::isTuneHash(arg) || fs::exists(arg, ec))
        return arg;
    if (root.empty())
        return makeError(ErrorKind::BadArgument, arg + " is no file, and there is no folder for backups to look "
                                                       "the hash up in: " + std::string(NoBackupFolderHint));
    auto path = session::History(root).fileOfHash(arg);
    if (!path)
        return path.error();
    return path.value().string();
}

} // namespace kyr::cli
