// SPDX-License-Identifier: GPL-3.0-or-later
#include "live/LogFile.h"

#include "live/LogFormats.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace kyr::live {

namespace {

std::string lowerSuffix(const std::string& path)
{
    std::string ext = std::filesystem::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext;
}

Error tuneFileRefused(const std::string& path)
{
    return makeError(ErrorKind::BadArgument,
                     logfmt::fileName(path) + " is a tune file: a log is never written over it");
}

/// Whether the file at path begins as a map file does.
bool holdsMapFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    constexpr std::string_view header = "#KYR Version";
    std::string start(header.size(), '\0');
    in.read(start.data(), static_cast<std::streamsize>(start.size()));
    return in.gcount() == static_cast<std::streamsize>(header.size()) && start == header;
}

std::string reason()
{
    return errno != 0 ? std::strerror(errno) : std::string("the file could not be written");
}

} // namespace

std::optional<LogFormat> logFormatOf(const std::string& path)
{
    const std::string ext = lowerSuffix(path);
    if (ext == ".mlg")
        return LogFormat::Mlg;
    if (ext == ".msl")
        return LogFormat::Msl;
    if (ext == ".csv")
        return LogFormat::Csv;
    return std::nullopt;
}

Status checkLogTarget(const std::string& path)
{
    if (lowerSuffix(path) == ".kyr")
        return tuneFileRefused(path);
    std::error_code ec;
    const auto type = std::filesystem::status(path, ec).type();
    // Bytes written into a device or a pipe go elsewhere (or wait for a reader).
    using Type = std::filesystem::file_type;
    if (type != Type::regular && type != Type::not_found && type != Type::none)
        return makeError(ErrorKind::OsError, "Cannot create the data log \"" + path + "\": it is not a regular file");
    if (type == std::filesystem::file_type::regular && holdsMapFile(path))
        return tuneFileRefused(path);
    if (!logFormatOf(path))
        return makeError(ErrorKind::BadArgument, "Choose a log file ending in .mlg, .msl or .csv (not \"" +
                                                     logfmt::fileName(path) + "\").");
    return okStatus();
}

// FNV-1a, 64 bits, as 16 lower-case hex digits: short, and the same on every
// machine for the same bytes.
std::string tableHash(std::span<const uint8_t> image)
{
    uint64_t h = 0xcbf29ce484222325ull;
    for (uint8_t b : image) {
        h ^= b;
        h *= 0x100000001b3ull;
    }
    char buf[17];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(h));
    return buf;
}

Result<std::unique_ptr<LogWriter>> LogWriter::create(const std::string& path, std::vector<LogColumn> columns,
                                                     const LogInfo& info)
{
    if (Status s = checkLogTarget(path); !s.ok())
        return s.error();
    if (columns.empty())
        return makeError(ErrorKind::BadArgument, "Choose at least one value to record.");
    auto sink = logfmt::LogSink::open(path);
    if (!sink.ok())
        return sink.error();
    const LogFormat format = *logFormatOf(path);
    if (format == LogFormat::Mlg)
        return logfmt::createMlgWriter(std::move(sink).value(), std::move(columns), info);
    return logfmt::createTextWriter(std::move(sink).value(), format, std::move(columns), info);
}

// Every format keeps its info lines ahead of the records: in the text logs
// the first lines, in the binary log the info text, which begins within the
// first 64 KiB. A bounded prefix of the file holds them.
std::optional<std::string> readLogTableHash(const std::string& path)
{
    constexpr std::size_t HeaderBytes = 128 * 1024;
    constexpr std::string_view Key = "Table hash:";
    constexpr std::size_t HashDigits = 16;
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string head(HeaderBytes, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(in.gcount()));
    const auto at = head.find(Key);
    if (at == std::string::npos)
        return std::nullopt;
    std::size_t i = at + Key.size();
    while (i < head.size() && head[i] == ' ')
        ++i;
    std::string hash;
    for (; i < head.size() && std::isxdigit(static_cast<unsigned char>(head[i])) && hash.size() <= HashDigits; ++i)
        hash += static_cast<char>(std::tolower(static_cast<unsigned char>(head[i])));
    if (hash.size() != HashDigits)
        return std::nullopt;
    return hash;
}

Result<LogData> readLog(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return makeError(ErrorKind::BadFile, "Cannot open the log \"" + path + "\": " +
                                                 (errno != 0 ? std::strerror(errno) : "no such file"));
    char magic[6] = {};
    in.read(magic, sizeof magic);
    const bool mlg = in.gcount() >= 5 && std::memcmp(magic, "MLVLG", 5) == 0;
    in.clear();
    in.seekg(0);
    auto read = mlg ? logfmt::readMlg(in, path) : logfmt::readText(in, path);
    if (read.ok())
        logfmt::keepOrderedRows(read.value());
    return read;
}

namespace logfmt {

// ---------------------------------------------------------------- LogSink

Result<LogSink> LogSink::open(const std::string& path)
{
    errno = 0;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return makeError(ErrorKind::OsError, "Cannot create the data log \"" + path + "\": " + reason());
    return LogSink(path, f);
}

LogSink::LogSink(LogSink&& other) noexcept
    : m_path(std::move(other.m_path)), m_file(std::exchange(other.m_file, nullptr)),
      m_failure(std::move(other.m_failure))
{
}

LogSink::~LogSink()
{
    if (m_file)
        std::fclose(m_file);
}

Error LogSink::failure(const std::string& what) const
{
    return makeError(ErrorKind::OsError, what + " the data log \"" + m_path + "\": " + reason());
}

Status LogSink::write(std::string_view bytes)
{
    if (m_failure)
        return *m_failure;
    if (!m_file)
        return makeError(ErrorKind::OsError, "The data log \"" + m_path + "\" is closed.");
    errno = 0;
    if (std::fwrite(bytes.data(), 1, bytes.size(), m_file) != bytes.size() || std::fflush(m_file) != 0) {
        m_failure = failure("Cannot write to");
        return *m_failure;
    }
    return okStatus();
}

Status LogSink::close()
{
    if (!m_file)
        return okStatus();
    errno = 0;
    const bool flushed = std::fflush(m_file) == 0;
    const bool closed = std::fclose(m_file) == 0;
    m_file = nullptr;
    if (m_failure)
        return *m_failure;
    if (!flushed || !closed) {
        m_failure = failure("Cannot finish");
        return *m_failure;
    }
    return okStatus();
}

// ---------------------------------------------------------------- shared text

namespace {

std::string cleanValue(const std::string& v)
{
    std::string out = v;
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = ' ';
    return out;
}

std::string_view trim(std::string_view s)
{
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.remove_suffix(1);
    return s;
}

} // namespace

std::vector<std::string> infoLines(const LogInfo& info)
{
    return {"Capture Date: " + cleanValue(info.started), "Unit: " + cleanValue(info.unit),
            "Serial: " + cleanValue(info.serial), "Tune file: " + cleanValue(info.tuneFile),
            "Table hash: " + cleanValue(info.tableHash)};
}

void addInfoLine(LogData& data, std::string_view line)
{
    line = trim(line);
    if (line.empty() || line == LogTitle)
        return;
    const auto colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0) {
        data.info.emplace_back("Note", std::string(line));
        return;
    }
    data.info.emplace_back(std::string(trim(line.substr(0, colon))), std::string(trim(line.substr(colon + 1))));
}

void noteLeftOut(LogData& data, std::size_t count, const std::string& noun, const std::string& why)
{
    if (count > 0)
        data.info.emplace_back("Note", std::to_string(count) + " " + noun + (count == 1 ? "" : "s") +
                                           " left out (" + why + ")");
}

void keepOrderedRows(LogData& data)
{
    std::size_t kept = 0;
    for (std::size_t row = 0; row < data.times.size(); ++row) {
        const double t = data.times[row];
        if (!std::isfinite(t) || (kept > 0 && t < data.times[kept - 1]))
            continue;
        if (kept != row) {
            data.times[kept] = t;
            for (LogChannel& ch : data.channels)
                ch.values[kept] = ch.values[row];
        }
        ++kept;
    }
    const std::size_t dropped = data.times.size() - kept;
    data.times.resize(kept);
    for (LogChannel& ch : data.channels)
        ch.values.resize(kept);
    const std::size_t markers = data.markers.size();
    std::erase_if(data.markers, [](const LogMarker& m) { return !std::isfinite(m.seconds); });
    noteLeftOut(data, dropped, "row", "time not finite or earlier than the row before");
    noteLeftOut(data, markers - data.markers.size(), "marker", "time not finite");
}

std::string fixedText(double value, int decimals) { return formatFixed(value, decimals); }

std::optional<double> parseNumber(std::string_view text)
{
    text = trim(text);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    if (text.empty())
        return std::nullopt;
    double v = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return v;
}

int decimalsOf(std::string_view text)
{
    text = trim(text);
    const auto dot = text.find('.');
    if (dot == std::string_view::npos)
        return 0;
    int n = 0;
    for (std::size_t i = dot + 1; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i)
        ++n;
    return n;
}

std::string fileName(const std::string& path)
{
    const std::string name = std::filesystem::path(path).filename().string();
    return name.empty() ? path : name;
}

} // namespace logfmt

} // namespace kyr::live
