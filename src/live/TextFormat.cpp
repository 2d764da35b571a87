// SPDX-License-Identifier: GPL-3.0-or-later
// The text logs.
//   .msl: tab-separated, as the common tuning log viewers read it: quoted info
//   lines ("KYR Tuner log", "Capture Date: ...", "Unit: ..." ...), a line of
//   field names (first "Time"), a line of units, then one line per record.
//   .csv: comma-separated for spreadsheets: the same info lines as comments
//   starting with "# ", then one header line naming each field with its unit
//   ("Time (s)", "RPM (RPM)", "Injector (ms) (ms)"), then one line per record.
// Numbers use '.' whatever the locale, with each value's places; a value the
// unit did not give is an empty field. A marker is a line of its own,
// "MARK 001 - Marker 1 - 12.345" (its text, then its time in seconds), after
// the record it follows; in a CSV log it is a comment ("# MARK ...").

#include "live/LogFormats.h"

#include <cstdio>

namespace kyr::live::logfmt {

namespace {

std::string plainText(std::string text, char separator)
{
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == separator || c == '"')
            c = c == '"' ? '\'' : ' ';
    return text;
}

class TextWriter final : public SinkWriter {
public:
    using SinkWriter::SinkWriter;

    char separator() const { return m_format == LogFormat::Msl ? '\t' : ','; }

    std::string header(const LogInfo& info) const
    {
        const bool msl = m_format == LogFormat::Msl;
        auto infoLine = [&](const std::string& text) {
            return msl ? "\"" + plainText(text, '\t') + "\"\n" : "# " + text + "\n";
        };
        std::string out = infoLine(std::string(LogTitle));
        for (const std::string& line : infoLines(info))
            out += infoLine(line);
        if (msl) {
            std::string names = "Time", units = "s";
            for (LogColumn c : m_columns) {
                names += '\t';
                names += logColumnDef(c).caption;
                units += '\t';
                units += logColumnDef(c).unit;
            }
            return out + names + "\n" + units + "\n";
        }
        out += "Time (s)";
        for (LogColumn c : m_columns) {
            const LogColumnDef& d = logColumnDef(c);
            out += ',' + std::string(d.caption) + " (" + std::string(d.unit) + ")";
        }
        return out + "\n";
    }

    Status append(double seconds, const LiveValues& v, ThrottleCal cal) override
    {
        if (Status s = checkTime(seconds); !s.ok())
            return s;
        m_line = fixedText(seconds, 3);
        for (LogColumn c : m_columns) {
            m_line += separator();
            if (auto value = logValue(c, v, cal))
                m_line += fixedText(*value, logColumnDef(c).decimals);
        }
        m_line += '\n';
        return writeRecord(m_line);
    }

    Status mark(double seconds, const std::string& text) override
    {
        if (Status s = checkTime(seconds); !s.ok())
            return s;
        char number[16];
        std::snprintf(number, sizeof number, "%03d", ++m_markers);
        std::string line = m_format == LogFormat::Csv ? "# " : "";
        line += "MARK " + std::string(number) + " - " + plainText(text, separator()) + " - " +
                fixedText(seconds, 3) + "\n";
        return m_sink.write(line);
    }

private:
    std::string m_line;
};

} // namespace

Result<std::unique_ptr<LogWriter>> createTextWriter(LogSink sink, LogFormat format, std::vector<LogColumn> columns,
                                                    const LogInfo& info)
{
    auto w = std::make_unique<TextWriter>(std::move(sink), format, std::move(columns));
    if (Status s = w->writeHeader(w->header(info)); !s.ok())
        return s.error();
    return std::unique_ptr<LogWriter>(std::move(w));
}

} // namespace kyr::live::logfmt
