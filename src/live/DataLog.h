// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The data logger's values and the plain CSV line: a header line "Time (s)"
// followed by the captions of the chosen values, then one line per live
// record as it arrives, so a fast poll is logged at its full rate. A value
// the unit did not give is an empty field. Each line is flushed as it is
// written, so a log cut short by a crash or a pulled cable keeps every line
// written before. The log files the Data Logger and `kyr log` write (.mlg,
// .msl and .csv) are in LogFile.h.

#include "live/LiveRecord.h"
#include "table/Result.h"

#include <fstream>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kyr::live {

/// The values the data logger can chart and record.
enum class LogColumn {
    Rpm, Timing, Vacuum, Lambda, Volt, InjectorPercent, Temperature, ThrottlePercent, AirTemp, PotPercent,
    InjectorMs,
};
constexpr int LogColumnCount = 11;

/// One loggable value: its caption (check box and header), places written
/// and unit.
struct LogColumnDef {
    LogColumn column;
    std::string_view caption; ///< "Injector (ms)"
    int decimals;
    std::string_view unit;    ///< "ms"
};

/// The values in the logger's order.
std::span<const LogColumnDef> logColumnTable();
const LogColumnDef& logColumnDef(LogColumn c);
/// The column of a caption, empty when no column has it.
std::optional<LogColumn> logColumnNamed(std::string_view caption);

/// The throttle calibration points (table offsets 38 and 39, raw form).
struct ThrottleCal {
    int lowRaw = 0;
    int highRaw = 0; ///< 0: not calibrated
};

/// The calibration points of a setup copy (plus-one form, as the image keeps
/// it); a byte that holds no value (0, or 255 for a field the unit lacks)
/// reads as 0, which leaves the throttle uncalibrated.
ThrottleCal throttleCalOf(std::span<const uint8_t> setupPlusOne);

/// A column's value in one record; empty when the unit gave no reading or
/// the value cannot be derived (no RPM for the injector time, an unusable
/// throttle calibration).
std::optional<double> logValue(LogColumn c, const LiveValues& v, ThrottleCal cal);

/// A value with fixed places, '.' as the decimal point whatever the locale,
/// halves to even.
std::string formatFixed(double value, int decimals);

/// The header line of a log (without the line end).
std::string logHeader(std::span<const LogColumn> columns);
/// One data line of a log (without the line end): the time with three places,
/// then each value with its column's places.
std::string logLine(double seconds, std::span<const LogColumn> columns, const LiveValues& v, ThrottleCal cal);

/// Writes a log file as the logger runs.
class DataLogWriter {
public:
    /// Creates (or replaces) the file at path and writes the header. OsError,
    /// naming the file and the reason, when it cannot be created or written;
    /// BadArgument when no column is chosen.
    static Result<DataLogWriter> create(const std::string& path, std::vector<LogColumn> columns);

    DataLogWriter(DataLogWriter&&) noexcept = default;
    DataLogWriter& operator=(DataLogWriter&&) noexcept = default;
    ~DataLogWriter();

    /// Appends and flushes one line. OsError when the line could not be
    /// written (disk full, file gone); the writer is then failed and
    /// refuses every later line.
    Status append(double seconds, const LiveValues& v, ThrottleCal cal);
    /// Flushes and closes the file; OsError when the last data did not reach it.
    Status close();

    const std::string& path() const { return m_path; }
    const std::vector<LogColumn>& columns() const { return m_columns; }
    /// Data lines written so far.
    int lines() const { return m_lines; }

private:
    DataLogWriter(std::string path, std::vector<LogColumn> columns, std::unique_ptr<std::ofstream> out);
    Status writeLine(const std::string& line);
    Error failure(const std::string& what) const;

    std::string m_path;
    std::vector<LogColumn> m_columns;
    std::unique_ptr<std::ofstream> m_out;
    int m_lines = 0;
    bool m_failed = false;
};

} // namespace kyr::live
