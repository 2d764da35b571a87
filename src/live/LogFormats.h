// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the three log formats share: the file a writer appends to, the info
// lines every log begins with, and numbers as text. For LogFile.cpp and the
// format files only; everything else goes through LogFile.h.

#include "live/LogFile.h"

#include <cmath>
#include <cstdio>
#include <istream>
#include <string_view>

namespace kyr::live::logfmt {

/// A log file open for writing. Each write reaches the operating system
/// before it returns, so a log cut short keeps every whole record.
class LogSink {
public:
    /// Creates (or replaces) the file. OsError naming the file and the reason.
    static Result<LogSink> open(const std::string& path);

    LogSink(LogSink&& other) noexcept;
    LogSink& operator=(LogSink&&) = delete;
    ~LogSink();

    /// Writes and flushes; after a failure every later write is refused with
    /// the same error.
    Status write(std::string_view bytes);
    /// Flushes and closes; OsError when the last data did not reach the file.
    Status close();
    const std::string& path() const { return m_path; }

private:
    LogSink(std::string path, std::FILE* file) : m_path(std::move(path)), m_file(file) {}
    Error failure(const std::string& what) const;

    std::string m_path;
    std::FILE* m_file = nullptr;
    std::optional<Error> m_failure; ///< the first write that failed
};

/// A writer's file, its record count and the record counter the formats share.
class SinkWriter : public LogWriter {
public:
    SinkWriter(LogSink sink, LogFormat format, std::vector<LogColumn> columns)
        : m_sink(std::move(sink)), m_format(format), m_columns(std::move(columns))
    {
    }
    /// Writes the header (no record).
    Status writeHeader(std::string_view bytes) { return m_sink.write(bytes); }
    Status close() override { return m_sink.close(); }
    const std::string& path() const override { return m_sink.path(); }
    LogFormat format() const override { return m_format; }
    long records() const override { return m_records; }

protected:
    /// BadArgument for a time that is no finite number: such a record or
    /// marker is not written, and the writer takes the next one.
    static Status checkTime(double seconds)
    {
        if (std::isfinite(seconds))
            return okStatus();
        return makeError(ErrorKind::BadArgument, "A log record needs a finite time, not " +
                                                     std::to_string(seconds) + ".");
    }
    /// Writes one whole record and counts it.
    Status writeRecord(std::string_view bytes)
    {
        Status s = m_sink.write(bytes);
        if (s.ok())
            ++m_records;
        return s;
    }
    LogSink m_sink;
    LogFormat m_format;
    std::vector<LogColumn> m_columns;
    long m_records = 0;
    int m_markers = 0;
};

/// The first line of every log.
constexpr std::string_view LogTitle = "KYR Tuner log";

/// The info lines after the title: "Capture Date: ...", "Unit: ...",
/// "Serial: ...", "Tune file: ...", "Table hash: ..."; control characters in
/// the values become spaces.
std::vector<std::string> infoLines(const LogInfo& info);
/// Takes one info line: "Key: value" becomes a pair, the title is dropped,
/// any other text is kept as ("Note", text).
void addInfoLine(LogData& data, std::string_view line);

/// Keeps the promise of LogData::times: drops every row whose time is not a
/// finite number or is earlier than the row kept before it, and every marker
/// whose time is not finite; a ("Note", ...) line says how many went.
void keepOrderedRows(LogData& data);
/// Adds ("Note", "3 rows left out (why)") when count is not zero.
void noteLeftOut(LogData& data, std::size_t count, const std::string& noun, const std::string& why);

/// A value with fixed places, '.' as the decimal point whatever the locale.
std::string fixedText(double value, int decimals);
/// A decimal number (surrounding blanks allowed); empty when the text is none.
std::optional<double> parseNumber(std::string_view text);
/// Places after the decimal point in a number's text.
int decimalsOf(std::string_view text);
/// The file's name without its folder, for messages.
std::string fileName(const std::string& path);

Result<std::unique_ptr<LogWriter>> createMlgWriter(LogSink sink, std::vector<LogColumn> columns,
                                                   const LogInfo& info);
Result<std::unique_ptr<LogWriter>> createTextWriter(LogSink sink, LogFormat format, std::vector<LogColumn> columns,
                                                    const LogInfo& info);

/// Readers of an open file; path only names it in messages.
Result<LogData> readMlg(std::istream& in, const std::string& path);
Result<LogData> readText(std::istream& in, const std::string& path);

} // namespace kyr::live::logfmt
