// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/EditJournal.h"

#include "files/AtomicFile.h"
#include "files/DurableFile.h"
#include "link/Protocol.h"
#include "session/Backups.h"
#include "table/Layout.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

namespace fs = std::filesystem;

namespace kyr::session {

namespace {

constexpr std::size_t SingleWriteSize = 3;
// A line is 9 bytes: far more edits than a session makes, far less than memory.
constexpr std::uintmax_t kMaxFileSize = 1 << 20;
constexpr std::size_t kQuotedChars = 40;
constexpr char kHeader[] = "# KYR edits not yet sent to the unit: one write a line, command bytes in hex, oldest first\n";
constexpr char kFileName[] = "unsent-edits.journal";

std::string hexLine(const link::Bytes& bytes)
{
    std::string out;
    char buf[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(buf, sizeof buf, i ? " %02X" : "%02X", bytes[i]);
        out += buf;
    }
    return out + "\n";
}

std::optional<link::Bytes> parseHexLine(const std::string& line)
{
    std::istringstream in(line);
    link::Bytes out;
    std::string word;
    while (in >> word) {
        if (word.size() != 2 || !std::isxdigit(static_cast<unsigned char>(word[0])) ||
            !std::isxdigit(static_cast<unsigned char>(word[1])))
            return std::nullopt;
        out.push_back(static_cast<uint8_t>(std::stoi(word, nullptr, 16)));
    }
    return out;
}

// A refused line as an error quotes it: its start, with control bytes and
// bytes above 127 as \xNN, so that neither a long line nor a terminal escape
// sequence reaches the user whole.
std::string quotedLine(std::string_view line)
{
    std::string out = "\"";
    for (char ch : line.substr(0, kQuotedChars)) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c >= 0x7F || c == '\\' || c == '"') {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out += ch;
        }
    }
    return out + (line.size() > kQuotedChars ? "...\"" : "\"");
}

// The table places a command's index may reach: WriteByte the setup area, a
// map bank the points of its own maps, as the editors send them.
bool inCommandsRange(uint8_t command, int offset)
{
    if (command == link::CmdWriteByte)
        return offset >= 0 && offset < table::SetupSize;
    for (const auto& m : table::mapTable())
        if (m.bank == command && offset >= m.firstOffset && offset < m.firstOffset + m.points)
            return true;
    return false;
}

Error fileError(const std::string& what, const fs::path& file, int err)
{
    return makeError(ErrorKind::OsError, what + " " + file.string() + ": " + std::strerror(err));
}

/// Appends text and flushes it to the disk before returning.
Status appendDurably(const fs::path& file, const std::string& text, files::SyncCall sync)
{
    files::DurableFile out = files::DurableFile::openAppend(file, sync);
    if (!out.isOpen() || !out.writeAll(text) || !out.sync())
        return makeError(ErrorKind::OsError, out.error());
    out.close();
    return okStatus();
}

/// Cuts off a last line a crash left half-written, so that the next append
/// starts a line of its own instead of finishing that one.
Status cutTornTail(const fs::path& file)
{
    std::error_code ec;
    if (!fs::exists(file, ec))
        return okStatus();
    std::ifstream in(file, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (text.empty() || text.back() == '\n')
        return okStatus();
    const std::size_t whole = text.rfind('\n') + 1; // 0 when no line is whole
    if (whole == 0)
        fs::remove(file, ec); // the next append writes the header again
    else
        fs::resize_file(file, whole, ec);
    if (ec)
        return makeError(ErrorKind::OsError, "cannot write " + file.string() + ": " + ec.message());
    return okStatus();
}

} // namespace

std::optional<JournalEntry> singleWrite(const link::Bytes& bytes)
{
    if (bytes.size() != SingleWriteSize)
        return std::nullopt;
    const auto offset = table::bankOffset(bytes[0], bytes[1]);
    // No editor sends a raw value above MaxRawSent: 255 would store a 0, which
    // ends the unit's table reply, and 254 reads back as absent.
    if (!offset || !inCommandsRange(bytes[0], *offset) || bytes[2] > table::MaxRawSent)
        return std::nullopt;
    return JournalEntry{bytes, *offset, bytes[2]};
}

fs::path journalPath(const fs::path& backupRoot, std::string_view serialText)
{
    return backupRoot / serialFolder(serialText) / kFileName;
}

Status EditJournal::attach(const fs::path& file)
{
    if (file == m_file)
        return okStatus();
    m_file = file;
    if (file.empty())
        return okStatus();
    // What the file already holds (edits a crash left behind) comes first.
    auto earlier = load(file);
    if (!earlier) {
        // Kept aside for a look, never sent: a fresh journal starts.
        std::error_code ec;
        fs::rename(file, fs::path(file.string() + ".unreadable"), ec);
        return makeError(earlier.error().kind,
                         earlier.error().message + "; kept as " + file.filename().string() + ".unreadable");
    }
    std::vector<JournalEntry> pending = std::move(m_entries);
    m_entries = std::move(earlier.value());
    Status written = cutTornTail(file);
    if (pending.empty())
        return written;
    std::error_code ec;
    fs::create_directories(file.parent_path(), ec);
    if (ec)
        return makeError(ErrorKind::OsError, "cannot create " + file.parent_path().string() + ": " + ec.message());
    for (JournalEntry& e : pending) {
        if (Status s = append(e); !s && written)
            written = s;
        m_entries.push_back(std::move(e));
    }
    return written;
}

Status EditJournal::add(const link::Bytes& bytes)
{
    auto entry = singleWrite(bytes);
    if (!entry)
        return makeError(ErrorKind::BadArgument, "not a single write: " + hexLine(bytes));
    m_entries.push_back(*entry);
    if (m_file.empty())
        return okStatus();
    std::error_code ec;
    fs::create_directories(m_file.parent_path(), ec);
    return append(*entry);
}

Status EditJournal::append(const JournalEntry& e)
{
    std::error_code ec;
    const bool fresh = !fs::exists(m_file, ec);
    // A full file stays loadable; the edit is still kept in memory and sent.
    const std::uintmax_t size = fresh ? 0 : fs::file_size(m_file, ec);
    if (!ec && size + SingleWriteSize * 3 > kMaxFileSize)
        return makeError(ErrorKind::OsError, "cannot write " + m_file.string() + ": the journal is full");
    return appendDurably(m_file, (fresh ? std::string(kHeader) : std::string()) + hexLine(e.bytes), m_sync);
}

std::set<int> EditJournal::offsets() const
{
    std::set<int> out;
    for (const JournalEntry& e : m_entries)
        out.insert(e.offset);
    return out;
}

table::ImageBytes EditJournal::appliedTo(table::ImageBytes plusOne) const
{
    for (const JournalEntry& e : m_entries)
        plusOne[static_cast<std::size_t>(e.offset)] = static_cast<uint8_t>(e.raw + 1);
    return plusOne;
}

Status EditJournal::clear()
{
    m_entries.clear();
    if (m_file.empty())
        return okStatus();
    std::error_code ec;
    fs::remove(m_file, ec);
    if (ec)
        return makeError(ErrorKind::OsError, "cannot remove " + m_file.string() + ": " + ec.message());
    return okStatus();
}

Result<std::vector<JournalEntry>> EditJournal::load(const fs::path& file)
{
    std::vector<JournalEntry> out;
    std::error_code ec;
    if (!fs::exists(file, ec))
        return out;
    if (const std::string why = files::whyNotInput(file); !why.empty())
        return makeError(ErrorKind::BadFile, file.string() + ": " + why);
    if (const std::uintmax_t size = fs::file_size(file, ec); !ec && size > kMaxFileSize)
        return makeError(ErrorKind::BadFile, file.string() + ": larger than a journal of edits grows");
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return fileError("cannot read", file, errno);
    std::string text(kMaxFileSize + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    if (text.size() > kMaxFileSize) // it grew since
        return makeError(ErrorKind::BadFile, file.string() + ": larger than a journal of edits grows");
    return parse(text, file.string());
}

Result<std::vector<JournalEntry>> EditJournal::parse(std::string_view text, const std::string& name)
{
    std::vector<JournalEntry> out;
    std::size_t start = 0;
    for (int number = 1; start < text.size(); ++number) {
        const std::size_t end = text.find('\n', start);
        const bool torn = end == std::string::npos; // the program stopped while writing it
        const std::string line(text.substr(start, torn ? std::string::npos : end - start));
        start = torn ? text.size() : end + 1;
        // Every line is written whole with its end: one without it was cut
        // by a crash and never reported as kept, so it is left out.
        if (torn || line.empty() || line[0] == '#')
            continue;
        auto bytes = parseHexLine(line);
        auto entry = bytes ? singleWrite(*bytes) : std::nullopt;
        if (!entry) // not a journal this program wrote
            return makeError(ErrorKind::BadFile, name + " line " + std::to_string(number) +
                                                     ": not a single write (" + quotedLine(line) + ")");
        out.push_back(*entry);
    }
    return out;
}

} // namespace kyr::session
