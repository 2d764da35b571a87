// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Log files of the live values, written as records come and read back for
// the log viewer. The format follows the file's suffix:
//   .mlg  the binary "MLVLG" log (version 1) that the common tuning log viewers read;
//   .msl  the tab-separated text form those viewers read;
//   .csv  comma-separated text with the units in the header.
// Every log names the tune it ran on (unit, serial number, tune file, table
// hash). A log never replaces a map file.

#include "live/DataLog.h"
#include "live/LogData.h"
#include "table/Result.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kyr::live {

enum class LogFormat { Csv, Msl, Mlg };

/// The format a path's suffix asks for (case-insensitive); empty for any other suffix.
std::optional<LogFormat> logFormatOf(const std::string& path);

/// Whether a log may be written at path: BadArgument for a ".kyr" path and
/// for an existing file that is a map file, with a message that says so;
/// BadArgument for a suffix that is no log format.
Status checkLogTarget(const std::string& path);

/// The tune a log ran on.
struct LogInfo {
    std::string unit;      ///< the unit's identity as shown ("KYR model 3, version 2.1, Fuel and Timing")
    std::string serial;    ///< the unit's serial number, empty when unknown
    std::string tuneFile;  ///< the open .kyr file's name, empty when none
    std::string tableHash; ///< tableHash() of the DataTable
    std::string started;   ///< local date and time the log began ("2026-12-08 14:03:12")
};

/// A short hex digest of a DataTable image: equal tables give equal hashes.
std::string tableHash(std::span<const uint8_t> image);

/// Writes a log as records come; each record is on disk (flushed) before the
/// next is taken, so a log cut short keeps what was written.
class LogWriter {
public:
    virtual ~LogWriter() = default;

    /// Creates (or replaces) the log at path in the format of its suffix and
    /// writes its header. checkLogTarget's errors; OsError naming the file and
    /// the reason; BadArgument when no column is chosen.
    static Result<std::unique_ptr<LogWriter>> create(const std::string& path, std::vector<LogColumn> columns,
                                                     const LogInfo& info);

    /// One record at seconds from the start. After a failure the writer
    /// refuses every later record with the same error.
    virtual Status append(double seconds, const LiveValues& v, ThrottleCal cal) = 0;
    /// A marker at seconds ("Marker 1").
    virtual Status mark(double seconds, const std::string& text) = 0;
    /// Flushes and closes; OsError when the last data did not reach the file.
    virtual Status close() = 0;

    virtual const std::string& path() const = 0;
    virtual LogFormat format() const = 0;
    /// Records written so far.
    virtual long records() const = 0;
};

/// The "Table hash" a log's header names (lower case), reading no further
/// than the header; nullopt when the file cannot be read or names no hash of
/// 16 hex digits.
std::optional<std::string> readLogTableHash(const std::string& path);

/// Reads a log of any of the three formats, this program's or another tool's,
/// by its content. BadFile naming what is wrong and where.
Result<LogData> readLog(const std::string& path);

} // namespace kyr::live
