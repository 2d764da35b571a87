// SPDX-License-Identifier: GPL-3.0-or-later
// Reads the text logs, this program's and other tools': quoted or "# " info
// lines first, then a line of field names (tab, comma or semicolon between
// them; in comma text a name may carry its unit as "RPM (RPM)"), an optional
// line of units, then the records. "MARK" lines (also as "# MARK") are
// markers. A last line without its line end is a record torn by a crash and
// is left out.

#include "live/LogFormats.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace kyr::live::logfmt {

namespace {

constexpr std::size_t MaxLineLength = 1 << 20;

/// Lines of a stream, each at most MaxLineLength long.
class LineSource {
public:
    explicit LineSource(std::istream& in) : m_in(in) {}

    /// The next line without its end; false at the end of the file. ended
    /// tells whether a line end followed it; tooLong that it was cut.
    bool next(std::string& line, bool& ended, bool& tooLong)
    {
        line.clear();
        ended = tooLong = false;
        int c;
        while ((c = m_in.get()) != std::char_traits<char>::eof()) {
            if (c == '\n') {
                ended = true;
                break;
            }
            if (line.size() >= MaxLineLength) {
                tooLong = true;
                return true;
            }
            line += static_cast<char>(c);
        }
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        return ended || !line.empty();
    }

private:
    std::istream& m_in;
};

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.remove_suffix(1);
    return s;
}

std::string unquoted(std::string_view s)
{
    s = trimmed(s);
    if (s.size() >= 2 && s.front() == '"' && s.back() == '"')
        s = s.substr(1, s.size() - 2);
    return std::string(s);
}

std::vector<std::string_view> split(std::string_view line, char sep)
{
    std::vector<std::string_view> out;
    std::size_t from = 0;
    while (true) {
        const auto at = line.find(sep, from);
        out.push_back(line.substr(from, at == std::string_view::npos ? std::string_view::npos : at - from));
        if (at == std::string_view::npos)
            return out;
        from = at + 1;
    }
}

bool isTimeName(std::string_view name)
{
    return name.size() == 4 && std::equal(name.begin(), name.end(), "time", [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == b;
           });
}

class TextReader {
public:
    TextReader(std::istream& in, const std::string& path) : m_lines(in), m_path(path) {}

    Result<LogData> read()
    {
        std::string line;
        bool ended = false, tooLong = false;
        while (m_lines.next(line, ended, tooLong)) {
            ++m_lineNo;
            if (tooLong)
                return bad("line " + std::to_string(m_lineNo) + " is longer than any log line");
            if (!ended && m_header)
                break; // the last record, torn
            if (auto e = take(line))
                return *e;
        }
        if (!m_header)
            return bad("it has no line of field names");
        for (std::size_t i = 0; i < m_digits.size(); ++i)
            if (i != m_timeColumn)
                m_data.channels[channelOf(i)].digits = std::min(m_digits[i], 9);
        return std::move(m_data);
    }

private:
    Error bad(const std::string& what) const
    {
        return makeError(ErrorKind::BadFile, "The log \"" + fileName(m_path) + "\" cannot be read: " + what + ".");
    }
    std::string lineText() const { return "line " + std::to_string(m_lineNo); }
    std::size_t channelOf(std::size_t column) const { return column < m_timeColumn ? column : column - 1; }

    std::optional<Error> take(std::string_view line)
    {
        const std::string_view t = trimmed(line);
        if (t.empty())
            return std::nullopt;
        if (t.starts_with("MARK") || t.starts_with("# MARK")) {
            addMarker(t.substr(t.find("MARK") + 4));
            return std::nullopt;
        }
        if (!m_header) {
            if (t.front() == '#' || (t.front() == '"' && std::count(t.begin(), t.end(), '"') == 2 &&
                                     t.back() == '"' && t.find('\t') == std::string_view::npos)) {
                addInfoLine(m_data, unquoted(t.front() == '#' ? t.substr(1) : t));
                return std::nullopt;
            }
            return takeHeader(line);
        }
        if (t.front() == '#')
            return std::nullopt;
        return takeRecord(line);
    }

    std::optional<Error> takeHeader(std::string_view line)
    {
        m_sep = line.find('\t') != std::string_view::npos                                    ? '\t'
                : line.find(';') != std::string_view::npos && line.find(',') == std::string_view::npos ? ';'
                                                                                              : ',';
        const auto names = split(line, m_sep);
        m_timeColumn = names.size();
        for (std::size_t i = 0; i < names.size(); ++i) {
            std::string name = unquoted(names[i]), unit;
            const auto open = name.rfind(" (");
            if (m_sep != '\t' && open != std::string::npos && name.back() == ')') {
                unit = name.substr(open + 2, name.size() - open - 3);
                name.erase(open);
            }
            if (m_timeColumn == names.size() && isTimeName(name)) {
                m_timeColumn = i;
                continue;
            }
            m_data.channels.push_back({name, unit, 0, {}});
        }
        if (m_timeColumn == names.size())
            return bad(lineText() + " names no \"Time\" field");
        m_columns = names.size();
        m_digits.assign(m_columns, 0);
        m_header = true;
        return std::nullopt;
    }

    std::optional<Error> takeRecord(std::string_view line)
    {
        const auto fields = split(line, m_sep);
        if (m_unitsPossible) {
            m_unitsPossible = false;
            const bool units = std::any_of(fields.begin(), fields.end(), [](std::string_view f) {
                return !trimmed(f).empty() && !parseNumber(unquoted(f));
            });
            if (units) {
                for (std::size_t i = 0; i < fields.size() && i < m_columns; ++i)
                    if (i != m_timeColumn && m_data.channels[channelOf(i)].unit.empty())
                        m_data.channels[channelOf(i)].unit = unquoted(fields[i]);
                return std::nullopt;
            }
        }
        if (fields.size() != m_columns)
            return bad(lineText() + " has " + std::to_string(fields.size()) + " fields, the names line " +
                       std::to_string(m_columns));
        for (std::size_t i = 0; i < m_columns; ++i) {
            const std::string text = unquoted(fields[i]);
            float value = LogData::missing();
            if (!text.empty()) {
                const auto v = parseNumber(text);
                if (!v)
                    return bad(lineText() + ", field " + std::to_string(i + 1) + ": \"" + text + "\" is not a number");
                value = static_cast<float>(*v);
                m_digits[i] = std::max(m_digits[i], decimalsOf(text));
                if (i == m_timeColumn)
                    m_data.times.push_back(*v);
            } else if (i == m_timeColumn) {
                return bad(lineText() + " has no time");
            }
            if (i != m_timeColumn)
                m_data.channels[channelOf(i)].values.push_back(value);
        }
        return std::nullopt;
    }

    /// "001 - Marker 1 - 12.345": the text, and the time when the last part is one.
    void addMarker(std::string_view rest)
    {
        rest = trimmed(rest);
        const auto first = rest.find(" - ");
        std::string_view text = first == std::string_view::npos ? rest : rest.substr(first + 3);
        double seconds = m_data.times.empty() ? 0.0 : m_data.times.back();
        const auto last = text.rfind(" - ");
        if (last != std::string_view::npos) {
            if (auto t = parseNumber(text.substr(last + 3))) {
                seconds = *t;
                text = text.substr(0, last);
            }
        }
        m_data.markers.push_back({seconds, std::string(trimmed(text))});
    }

    LineSource m_lines;
    const std::string& m_path;
    LogData m_data;
    int m_lineNo = 0;
    bool m_header = false;
    bool m_unitsPossible = true;
    char m_sep = ',';
    std::size_t m_columns = 0;
    std::size_t m_timeColumn = 0;
    std::vector<int> m_digits;
};

} // namespace

Result<LogData> readText(std::istream& in, const std::string& path) { return TextReader(in, path).read(); }

} // namespace kyr::live::logfmt
