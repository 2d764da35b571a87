// SPDX-License-Identifier: GPL-3.0-or-later
#include "live/DataLog.h"

#include "table/Layout.h"
#include "table/Rounding.h"

#include <cerrno>
#include <charconv>
#include <cstring>

namespace kyr::live {

namespace {

using C = LogColumn;

constexpr LogColumnDef kColumns[LogColumnCount] = {
    {C::Rpm, "RPM", 0, "RPM"},
    {C::Timing, "Timing", 1, "deg"},
    {C::Vacuum, "Vacuum", 0, "kPa"},
    {C::Lambda, "Lambda", 2, "V"},
    {C::Volt, "Volt", 1, "V"},
    {C::InjectorPercent, "Injector %", 1, "%"},
    {C::Temperature, "Temperature", 0, "C"},
    {C::ThrottlePercent, "Throttle %", 1, "%"},
    {C::AirTemp, "Air Temp", 0, "C"},
    {C::PotPercent, "POT %", 1, "%"},
    {C::InjectorMs, "Injector (ms)", 2, "ms"},
};

// Fixed places, '.' as the decimal point whatever the locale, halves to even.
std::string fixed(double value, int decimals)
{
    char buf[64];
    const double rounded = roundTo(value, decimals);
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, rounded == 0.0 ? 0.0 : rounded,
                                   std::chars_format::fixed, decimals);
    return ec == std::errc() ? std::string(buf, end) : std::string();
}

std::string reason()
{
    return errno != 0 ? std::strerror(errno) : std::string("the file could not be written");
}

} // namespace

std::string formatFixed(double value, int decimals) { return fixed(value, decimals); }

std::span<const LogColumnDef> logColumnTable() { return kColumns; }

const LogColumnDef& logColumnDef(LogColumn c) { return kColumns[static_cast<int>(c)]; }

std::optional<LogColumn> logColumnNamed(std::string_view caption)
{
    for (const auto& d : kColumns)
        if (d.caption == caption)
            return d.column;
    return std::nullopt;
}

ThrottleCal throttleCalOf(std::span<const uint8_t> setupPlusOne)
{
    auto rawAt = [&](table::SetupParam p) {
        const auto offset = static_cast<std::size_t>(table::setupOffset(p));
        if (offset >= setupPlusOne.size())
            return 0;
        const int b = setupPlusOne[offset];
        return b >= 1 && b < 255 ? b - 1 : 0;
    };
    return {rawAt(table::SetupParam::TpsCalLow), rawAt(table::SetupParam::TpsCalHigh)};
}

std::optional<double> logValue(LogColumn c, const LiveValues& v, ThrottleCal cal)
{
    switch (c) {
    case C::Rpm: return v.get(LiveField::Rpm);
    case C::Timing: return v.get(LiveField::Timing);
    case C::Vacuum: return v.get(LiveField::Vacuum);
    case C::Lambda: return v.get(LiveField::Lambda);
    case C::Volt: return v.get(LiveField::Battery);
    case C::InjectorPercent: return v.get(LiveField::InjectorDuty);
    case C::Temperature: return v.get(LiveField::WaterTemp);
    case C::AirTemp: return v.get(LiveField::AirTemp);
    case C::PotPercent: return v.get(LiveField::Pot);
    case C::ThrottlePercent:
        if (auto t = v.get(LiveField::Throttle))
            return throttlePercent(*t, cal.lowRaw, cal.highRaw);
        return std::nullopt;
    case C::InjectorMs: {
        auto duty = v.get(LiveField::InjectorDuty);
        auto rpm = v.get(LiveField::Rpm);
        if (duty && rpm)
            return injectorMs(*duty, *rpm);
        return std::nullopt;
    }
    }
    return std::nullopt;
}

std::string logHeader(std::span<const LogColumn> columns)
{
    std::string out = "Time (s)";
    for (LogColumn c : columns) {
        out += ',';
        out += logColumnDef(c).caption;
    }
    return out;
}

std::string logLine(double seconds, std::span<const LogColumn> columns, const LiveValues& v, ThrottleCal cal)
{
    std::string out = fixed(seconds, 3);
    for (LogColumn c : columns) {
        out += ',';
        if (auto value = logValue(c, v, cal))
            out += fixed(*value, logColumnDef(c).decimals);
    }
    return out;
}

// ---------------------------------------------------------------- DataLogWriter

DataLogWriter::DataLogWriter(std::string path, std::vector<LogColumn> columns, std::unique_ptr<std::ofstream> out)
    : m_path(std::move(path)), m_columns(std::move(columns)), m_out(std::move(out))
{
}

DataLogWriter::~DataLogWriter()
{
    if (m_out && m_out->is_open())
        m_out->close();
}

Result<DataLogWriter> DataLogWriter::create(const std::string& path, std::vector<LogColumn> columns)
{
    if (columns.empty())
        return makeError(ErrorKind::BadArgument, "Choose at least one value to record.");
    errno = 0;
    auto out = std::make_unique<std::ofstream>(path, std::ios::out | std::ios::trunc | std::ios::binary);
    if (!out->is_open())
        return makeError(ErrorKind::OsError, "Cannot create the data log \"" + path + "\": " + reason());
    DataLogWriter w(path, std::move(columns), std::move(out));
    Status header = w.writeLine(logHeader(w.m_columns));
    if (!header.ok())
        return header.error();
    return w;
}

Error DataLogWriter::failure(const std::string& what) const
{
    return makeError(ErrorKind::OsError, what + " the data log \"" + m_path + "\": " + reason());
}

Status DataLogWriter::writeLine(const std::string& line)
{
    if (m_failed || !m_out)
        return makeError(ErrorKind::OsError, "The data log \"" + m_path + "\" is no longer written.");
    errno = 0;
    *m_out << line << '\n';
    m_out->flush();
    if (!*m_out) {
        m_failed = true;
        return failure("Cannot write to");
    }
    return okStatus();
}

Status DataLogWriter::append(double seconds, const LiveValues& v, ThrottleCal cal)
{
    Status s = writeLine(logLine(seconds, m_columns, v, cal));
    if (s.ok())
        ++m_lines;
    return s;
}

Status DataLogWriter::close()
{
    if (!m_out || !m_out->is_open())
        return okStatus();
    errno = 0;
    m_out->close();
    if (m_failed || !*m_out) {
        m_failed = true;
        return failure("Cannot finish");
    }
    return okStatus();
}

} // namespace kyr::live
