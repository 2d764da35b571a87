// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/MapFile.h"

#include "files/AtomicFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

namespace kyr::files {

namespace {

constexpr std::string_view kVersionHeader = "#KYR Version";
constexpr std::string_view kVehicleHeader = "#VehicleInfo";
constexpr std::string_view kTableHeader = "#Table";
constexpr std::string_view kEof = "#EOF";
constexpr std::string_view kBadVersion = "Incorrect .KYR file version";
constexpr std::size_t kMaxFileSize = 1 << 20;
constexpr std::size_t kQuotedChars = 40;
constexpr std::size_t kVersionChars = 8;

Error bad(std::string message) { return makeError(ErrorKind::BadFile, std::move(message)); }

Error badAt(int line, const std::string& what)
{
    return bad("Incorrect .KYR file: line " + std::to_string(line) + ": " + what);
}

// A refused line as a message quotes it: its start, with control bytes and
// bytes above 127 as \xNN, so that a long line or a terminal escape sequence
// never reaches the user whole.
std::string excerpt(std::string_view line)
{
    std::string out = "\"";
    for (char ch : line.substr(0, kQuotedChars)) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c >= 0x7F) {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out += c == '\\' ? std::string("\\\\") : std::string(1, ch);
        }
    }
    return out + (line.size() > kQuotedChars ? "...\"" : "\"");
}

// One decimal digit place of the version line: a value that does not fit keeps
// its last digit, so the line keeps its shape and the file stays readable.
std::string digits(int value, int places)
{
    int mod = places == 1 ? 10 : 100;
    return std::to_string(value % mod);
}

std::vector<std::string> splitLines(std::string_view text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t nl = text.find('\n', start);
        std::size_t end = nl == std::string_view::npos ? text.size() : nl;
        std::string line(text.substr(start, end - start));
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(std::move(line));
        if (nl == std::string_view::npos)
            break;
        start = nl + 1;
    }
    return lines;
}

bool allDigits(std::string_view s)
{
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The version text is the line's first eight characters (spaces and tabs at
// its end are not part of it): model, type, minor in two digits, bytes 3..6.
// Earlier versions wrote each identity byte in full, so the files of a unit
// whose bytes need two digits have longer lines; they open by their first
// eight. A seven-digit text is the older form with a one-digit minor; it gets
// its "0" back first. The eighth digit must be the signature's "4"; the
// seventh may be anything, as in a longer line it is a byte's written in full.
Result<std::array<uint8_t, 7>> parseVersion(std::string_view line, int lineNo)
{
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t'))
        line.remove_suffix(1);
    std::string text(line.substr(0, kVersionChars));
    if (!allDigits(text))
        return badAt(lineNo, std::string(kBadVersion) + " (" + excerpt(line) + ")");
    // The older form is never cut: both its signature digits are there.
    if (text.size() == 7 && text.ends_with("44"))
        text.insert(2, "0");
    if (text.size() != 8 || text[7] != '4')
        return bad(std::string(kBadVersion));
    std::array<uint8_t, 7> id{};
    auto d = [&](int i) { return static_cast<uint8_t>(text[i] - '0'); };
    id[0] = d(0);
    id[1] = d(1);
    id[2] = static_cast<uint8_t>(d(2) * 10 + d(3));
    id[3] = d(4);
    id[4] = d(5);
    // Whatever stood there, the line was a file's: it carries the file
    // signature, so that the file writes back to a line that reopens the same.
    id[5] = id[6] = FileSignature;
    return id;
}

Status parseTable(std::string_view line, int lineNo, table::ImageBytes& image)
{
    std::size_t semi = line.find(';');
    if (semi == std::string_view::npos)
        return badAt(lineNo, "the table does not end with \";\"");
    std::string_view body = line.substr(0, semi);
    if (!body.empty() && body.back() != ',')
        return badAt(lineNo, "the last number of the table is not followed by \",\"");
    std::vector<int> numbers;
    std::size_t pos = 0;
    while (pos < body.size()) {
        std::size_t comma = body.find(',', pos);
        std::string_view field = body.substr(pos, comma - pos);
        if (!allDigits(field) || field.size() > 3)
            return bad(std::string(kBadVersion));
        int v = std::stoi(std::string(field));
        if (v > 255)
            return badAt(lineNo, "number " + std::to_string(numbers.size() + 1) + " is " + std::to_string(v) + ", above 255");
        numbers.push_back(v);
        pos = comma + 1;
    }
    if (numbers.size() != table::TableSize)
        return badAt(lineNo, "the table holds " + std::to_string(numbers.size()) + " numbers, " +
                                 std::to_string(table::TableSize) + " expected");
    std::copy(numbers.begin(), numbers.end(), image.begin());
    return okStatus();
}

void splitVehicle(std::string_view line, MapFile& f)
{
    std::string* parts[] = {&f.make, &f.model, &f.engine};
    std::size_t pos = 0;
    for (auto* part : parts) {
        if (pos > line.size())
            break;
        std::size_t tilde = line.find('~', pos);
        std::string_view s = line.substr(pos, tilde == std::string_view::npos ? std::string_view::npos : tilde - pos);
        *part = std::string(s.substr(0, MaxVehicleText));
        if (tilde == std::string_view::npos)
            break;
        pos = tilde + 1;
    }
}

} // namespace

Result<std::array<uint8_t, 7>> parseVersionLine(std::string_view text)
{
    return parseVersion(text, 2);
}

std::string versionLine(const std::array<uint8_t, 7>& id)
{
    return digits(id[0], 1) + digits(id[1], 1) + digits(id[2], 2) + digits(id[3], 1) + digits(id[4], 1) + "44";
}

std::string formatMapFile(const MapFile& f)
{
    std::string out;
    out.reserve(2200);
    auto line = [&](std::string_view s) { out.append(s); out.append("\r\n"); };
    line(kVersionHeader);
    line(versionLine(f.identity));
    line(kVehicleHeader);
    line(f.make.substr(0, MaxVehicleText) + "~" + f.model.substr(0, MaxVehicleText) + "~" +
         f.engine.substr(0, MaxVehicleText) + "~");
    line(kTableHeader);
    std::string t;
    for (uint8_t b : f.image) {
        t += std::to_string(b);
        t += ',';
    }
    t += ';';
    line(t);
    line(kEof);
    return out;
}

Result<MapFile> parseMapFile(std::string_view text)
{
    if (text.empty())
        return bad("Incorrect .KYR file: the file is empty");
    if (text.find('\0') != std::string_view::npos)
        return bad("Incorrect .KYR file: this is not a text file");
    const auto lines = splitLines(text);
    const auto blank = [](std::string_view l) { return l.find_first_not_of(" \t") == std::string_view::npos; };
    const std::string_view headers[] = {kVersionHeader, kVehicleHeader, kTableHeader};
    // Three sections in a fixed order, each a header and the line after it.
    // Blank lines may stand between sections, never between a header and its line.
    std::size_t at = 0;
    int contentAt[3] = {};
    for (int s = 0; s < 3; ++s) {
        while (at < lines.size() && blank(lines[at]))
            ++at;
        if (at >= lines.size() || lines[at] != headers[s])
            return badAt(static_cast<int>(at) + 1, "expected \"" + std::string(headers[s]) + "\"");
        if (at + 1 >= lines.size())
            return badAt(static_cast<int>(at) + 2, "missing after \"" + std::string(headers[s]) + "\"");
        contentAt[s] = static_cast<int>(at) + 1;
        at += 2;
    }
    // The table line shows by its ";" and its count that it is whole, so a
    // file that ends after it lacks nothing; what follows "#EOF" is not read.
    while (at < lines.size() && blank(lines[at]))
        ++at;
    if (at < lines.size() && lines[at] != kEof)
        return badAt(static_cast<int>(at) + 1, "expected \"#EOF\"");

    MapFile f;
    auto id = parseVersion(lines[contentAt[0]], contentAt[0] + 1);
    if (!id)
        return id.error();
    f.identity = id.value();
    splitVehicle(lines[contentAt[1]], f);
    if (auto st = parseTable(lines[contentAt[2]], contentAt[2] + 1, f.image); !st)
        return st.error();
    return f;
}

Result<MapFile> loadMapFile(const std::filesystem::path& path)
{
    if (const std::string why = whyNotInput(path); !why.empty())
        return makeError(ErrorKind::OsError, "Cannot open " + path.string() + ": " + why);
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return makeError(ErrorKind::OsError, "Cannot open " + path.string() + ": " + std::strerror(errno));
    std::string text;
    char buf[4096];
    while (in.read(buf, sizeof buf) || in.gcount() > 0) {
        text.append(buf, static_cast<std::size_t>(in.gcount()));
        if (text.size() > kMaxFileSize)
            return bad("Incorrect .KYR file: " + path.string() + " is too large to be a map file");
    }
    return parseMapFile(text);
}

Status saveMapFile(const std::filesystem::path& path, const MapFile& file)
{
    return replaceFile(path, formatMapFile(file));
}

} // namespace kyr::files
