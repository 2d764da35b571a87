// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/Backups.h"

#include "files/DurableFile.h"
#include "session/History.h"
#include "session/HistoryIndex.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <tuple>

#ifndef _WIN32
#include <pwd.h>
#include <unistd.h>
#endif

namespace kyr::session {

namespace fs = std::filesystem;

namespace {

// "YYYY-MM-DD_HH-MM-SS": '0' stands for a digit. Fixed width, so names sort by time.
constexpr std::string_view kStampShape = "0000-00-00_00-00-00";
constexpr std::string_view kExtension = ".kyr";
// More backups than this in one second means something is looping, not a user.
constexpr unsigned kMaxSequence = 9999;
// Well below any file system's name limit, and far longer than a serial text.
constexpr std::size_t kMaxFolderName = 64;
#ifdef _WIN32
constexpr char kNoBackupFolder[] = "neither LOCALAPPDATA nor APPDATA is set";
#else
constexpr char kNoBackupFolder[] = "neither XDG_DATA_HOME nor HOME is set";
#endif

/// What a backup's file name says: the stamp and the place in its second
/// (1 for the plain name, 2 for "_2"...).
struct BackupName {
    std::string stamp;
    unsigned sequence = 1;
    HistoryKind kind = HistoryKind::Read;
};

constexpr HistoryKind kKinds[] = {HistoryKind::Read, HistoryKind::Written, HistoryKind::Saved};

// What a name carries before ".kyr" for each kind: a read has nothing.
std::string_view kindSuffix(HistoryKind kind)
{
    switch (kind) {
    case HistoryKind::Written: return "_written";
    case HistoryKind::Saved: return "_saved";
    case HistoryKind::Read: break;
    }
    return "";
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool isStamp(std::string_view s)
{
    if (s.size() != kStampShape.size())
        return false;
    for (std::size_t i = 0; i < s.size(); ++i)
        if (kStampShape[i] == '0' ? !isDigit(s[i]) : s[i] != kStampShape[i])
            return false;
    return true;
}

// The sequence of a "_N" suffix written by save: N from 2 on, no leading zero.
std::optional<unsigned> parseSequence(std::string_view s)
{
    if (s.empty() || s[0] == '0' || !std::all_of(s.begin(), s.end(), isDigit))
        return std::nullopt;
    unsigned n = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), n);
    if (ec != std::errc() || end != s.data() + s.size() || n < 2 || n > kMaxSequence)
        return std::nullopt;
    return n;
}

// Only names save writes count as backups: leftover temporary files of an
// interrupted save (".NAME.XXXXXX") and anything a user put there do not.
std::optional<BackupName> parseBackupName(std::string_view name)
{
    if (name.size() < kStampShape.size() + kExtension.size() || !name.ends_with(kExtension))
        return std::nullopt;
    const std::string_view stamp = name.substr(0, kStampShape.size());
    std::string_view rest = name.substr(stamp.size(), name.size() - stamp.size() - kExtension.size());
    if (!isStamp(stamp))
        return std::nullopt;
    HistoryKind kind = HistoryKind::Read;
    for (HistoryKind k : {HistoryKind::Written, HistoryKind::Saved})
        if (rest.ends_with(kindSuffix(k))) {
            kind = k;
            rest.remove_suffix(kindSuffix(k).size());
            break;
        }
    if (rest.empty())
        return BackupName{std::string(stamp), 1, kind};
    if (rest[0] != '_')
        return std::nullopt;
    const auto sequence = parseSequence(rest.substr(1));
    if (!sequence)
        return std::nullopt;
    return BackupName{std::string(stamp), *sequence, kind};
}

std::string backupFileName(const std::string& stamp, unsigned sequence, HistoryKind kind)
{
    const std::string tail = std::string(kindSuffix(kind)) + std::string(kExtension);
    return sequence == 1 ? stamp + tail : stamp + "_" + std::to_string(sequence) + tail;
}

// Whether a table of another kind already took this place in the second:
// the kinds share the sequence, so that names sort in the order taken.
bool otherKindTaken(const fs::path& dir, const std::string& stamp, unsigned sequence, HistoryKind kind)
{
    for (HistoryKind other : kKinds) {
        std::error_code ec;
        if (other != kind && fs::exists(dir / backupFileName(stamp, sequence, other), ec))
            return true;
    }
    return false;
}

// "2026-12-08_14-03-05" -> "2026-12-08 14:03:05".
std::string displayTime(std::string stamp)
{
    stamp[10] = ' ';
    stamp[13] = ':';
    stamp[16] = ':';
    return stamp;
}

} // namespace

std::optional<std::string> backupStamp(std::chrono::system_clock::time_point when)
{
    const std::time_t t = std::chrono::system_clock::to_time_t(when);
    std::tm local{};
#ifdef _WIN32
    if (::localtime_s(&local, &t) != 0)
        return std::nullopt;
#else
    if (!::localtime_r(&t, &local))
        return std::nullopt;
#endif
    // A year of other than four digits would break the fixed-width names.
    if (local.tm_year + 1900 < 0 || local.tm_year + 1900 > 9999)
        return std::nullopt;
    char text[32];
    if (std::strftime(text, sizeof text, "%Y-%m-%d_%H-%M-%S", &local) != kStampShape.size())
        return std::nullopt;
    return std::string(text);
}

namespace {

// Claims a free name by creating it exclusively, so that two saves in the same
// second, even from two processes, never pick the same file. The atomic write
// then renames the finished file over the empty one.
Result<fs::path> reserveName(const fs::path& dir, const std::string& stamp, HistoryKind kind)
{
    for (unsigned sequence = 1; sequence <= kMaxSequence; ++sequence) {
        if (otherKindTaken(dir, stamp, sequence, kind))
            continue;
        fs::path path = dir / backupFileName(stamp, sequence, kind);
        files::DurableFile claimed = files::DurableFile::createNew(path);
        if (claimed.isOpen())
            return path;
        if (!claimed.existed())
            return makeError(ErrorKind::OsError, "Cannot save a backup: " + claimed.error());
    }
    return makeError(ErrorKind::OsError, "Cannot save a backup in " + dir.string() + ": every name for " +
                                             displayTime(stamp) + " is taken");
}

std::optional<std::string> passwordHome()
{
#ifdef _WIN32
    return std::nullopt;
#else
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::string buffer(size > 0 ? static_cast<std::size_t>(size) : 16384, '\0');
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found || !found->pw_dir)
        return std::nullopt;
    return std::string(found->pw_dir);
#endif
}

} // namespace

std::optional<std::string> systemEnv(const char* name)
{
    if (const char* value = std::getenv(name))
        return std::string(value);
    if (std::string_view(name) == "HOME")
        return passwordHome();
    return std::nullopt;
}

fs::path defaultBackupRoot(const EnvReader& env)
{
    auto absolute = [&](const char* name) -> std::optional<fs::path> {
        const auto value = env(name);
        if (!value || value->empty() || !fs::path(*value).is_absolute())
            return std::nullopt;
        return fs::path(*value);
    };
#ifdef _WIN32
    // The user's local application data (not roaming: backups stay on the PC
    // that read them), else the roaming folder.
    if (auto local = absolute("LOCALAPPDATA"))
        return *local / "kyr" / "backups";
    if (auto roaming = absolute("APPDATA"))
        return *roaming / "kyr" / "backups";
#else
    if (auto data = absolute("XDG_DATA_HOME"))
        return *data / "kyr" / "backups";
    if (auto home = absolute("HOME"))
        return *home / ".local" / "share" / "kyr" / "backups";
#endif
    return {};
}

std::string serialFolder(std::string_view serialText)
{
    if (serialText.empty())
        return "unknown";
    std::string folder;
    for (char c : serialText.substr(0, kMaxFolderName)) {
        if ((static_cast<unsigned char>(c) & 0xC0) == 0x80)
            continue; // the rest of a character already given its '_'
        const bool keep = isDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '-' || c == '_';
        folder += keep ? c : '_';
    }
    return folder;
}

std::chrono::system_clock::time_point BackupStore::systemNow() { return std::chrono::system_clock::now(); }

BackupStore::BackupStore(fs::path root, Now now, std::size_t keep)
    : m_root(std::move(root)), m_now(std::move(now)), m_keep(std::max<std::size_t>(keep, 1))
{
}

Result<fs::path> BackupStore::save(const files::MapFile& file, std::string_view serial, HistoryKind kind)
{
    if (m_root.empty())
        return makeError(ErrorKind::BadArgument, std::string("No folder for backups: ") + kNoBackupFolder);
    const auto stamp = backupStamp(m_now());
    if (!stamp)
        return makeError(ErrorKind::BadValue, "Cannot name a backup: the clock's date is out of range");
    const std::string folder = serialFolder(serial);
    const fs::path dir = m_root / folder;
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec)
        return makeError(ErrorKind::OsError, "Cannot create backup folder " + dir.string() + ": " + ec.message());
    auto reserved = reserveName(dir, *stamp, kind);
    if (!reserved)
        return reserved.error();
    fs::path path = std::move(reserved).value();
    const Status written = files::saveMapFile(path, file);
    if (!written) {
        fs::remove(path, ec); // the empty reserved name, never a backup
        return written.error();
    }
    prune(folder, path);
    return path;
}

std::vector<BackupEntry> BackupStore::list(std::string_view serial) const
{
    auto entries = oldestFirst(serialFolder(serial));
    std::reverse(entries.begin(), entries.end());
    return entries;
}

std::vector<std::string> BackupStore::serials() const
{
    std::vector<std::string> result;
    std::error_code ec;
    fs::directory_iterator it(m_root, ec);
    for (const fs::directory_iterator end; !ec && it != end; it.increment(ec)) {
        std::error_code typeEc;
        const std::string name = it->path().filename().string();
        // A folder list() cannot reach (one not made by save) is not a unit's.
        if (!it->is_directory(typeEc) || serialFolder(name) != name)
            continue;
        if (!oldestFirst(name).empty())
            result.push_back(name);
    }
    std::sort(result.begin(), result.end());
    return result;
}

std::vector<BackupEntry> BackupStore::oldestFirst(const std::string& folder) const
{
    struct Found {
        BackupName name;
        fs::path path;
    };
    std::vector<Found> found;
    std::error_code ec;
    fs::directory_iterator it(m_root / folder, ec);
    for (const fs::directory_iterator end; !ec && it != end; it.increment(ec)) {
        std::error_code typeEc;
        auto name = parseBackupName(it->path().filename().string());
        if (name && it->is_regular_file(typeEc))
            found.push_back({std::move(*name), it->path()});
    }
    std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
        return std::tie(a.name.stamp, a.name.sequence) < std::tie(b.name.stamp, b.name.sequence);
    });
    std::vector<BackupEntry> entries;
    entries.reserve(found.size());
    for (auto& f : found)
        entries.push_back({std::move(f.path), folder, displayTime(f.name.stamp), f.name.kind});
    return entries;
}

// Keeps the unit's oldest backup - the tune it held before the tuner first
// touched it - and the newest m_keep; deletes those in between. A file that
// cannot be removed stays: the backup just written is what matters.
// Names carry the clock's date, which may have been wrong (or the folder was
// copied from elsewhere): the backup just written, and any written after it
// (a second program's), always stay whatever their names say.
// A table the tuner wrote a note on stays too; while the unit's index is
// damaged, which tables have notes is not known, and nothing is pruned.
void BackupStore::prune(const std::string& folder, const fs::path& written) const
{
    const auto entries = oldestFirst(folder);
    if (entries.size() <= m_keep + 1)
        return;
    const IndexRead index = readHistoryIndex(m_root / folder);
    if (index.state == IndexRead::State::Damaged)
        return;
    const auto& notes = index.index.notes;
    auto noted = [&](const fs::path& path) {
        if (notes.empty())
            return false;
        const auto file = files::loadMapFile(path);
        return file && notes.count(tuneHash(file.value().image)) > 0;
    };
    std::error_code ec;
    const auto writtenAt = fs::last_write_time(written, ec);
    if (ec)
        return; // its age unknown, nothing can be told older than it
    for (std::size_t i = 1; i + m_keep < entries.size(); ++i) {
        const fs::path& path = entries[i].path;
        std::error_code timeEc;
        const auto at = fs::last_write_time(path, timeEc);
        if (path == written || timeEc || at > writtenAt || noted(path))
            continue;
        fs::remove(path, ec);
    }
}

} // namespace kyr::session
