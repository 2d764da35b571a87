// SPDX-License-Identifier: GPL-3.0-or-later
// The binary "MLVLG" log, version 1, big-endian throughout:
//   0  "MLVLG\0"           6  u16 format version (1)   8  u32 creation time (Unix seconds)
//   12 u16 info start      14 u32 data begin           18 u16 record length (bytes of the values)
//   20 u16 field count     22 the fields, 55 bytes each:
//      u8 type, name[34], units[10], u8 display style, f32 scale, f32 transform, s8 digits
//   info start: the info text (lines of "Key: value"), ending in a zero byte at data begin - 1
//   data begin: blocks, each u8 block type, u8 rolling counter, u16 timestamp (10 us units, wraps),
//      type 0 (record): the values in field order, then u8 sum of the value bytes
//        (a record whose sum does not match is left out, and counted in a note);
//      type 1 (marker): the marker text, 50 bytes.
// A shown value is (raw + transform) * scale. This program writes "Time" as
// U32 milliseconds (scale 0.001) and each chosen value as F32 with scale 1;
// a value the unit did not give is written as a quiet NaN, which is what an
// F32 holds for "no number" (viewers that cannot show it show 0 or a gap).

#include "live/LogFormats.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cmath>
#include <ctime>

namespace kyr::live::logfmt {

namespace {

constexpr std::size_t HeaderSize = 22;
constexpr std::size_t FieldSize = 55;
constexpr std::size_t NameSize = 34;
constexpr std::size_t UnitSize = 10;
constexpr std::size_t MarkerTextSize = 50;
constexpr std::size_t MaxInfoSize = 1 << 20;
constexpr double TimestampUnit = 1e-5; ///< seconds per timestamp count

enum FieldType : uint8_t { U08 = 0, S08, U16, S16, U32, S32, S64, F32, U08Bits = 10, U16Bits, U32Bits };

int sizeOf(uint8_t type)
{
    switch (type) {
    case U08: case S08: case U08Bits: return 1;
    case U16: case S16: case U16Bits: return 2;
    case U32: case S32: case F32: case U32Bits: return 4;
    case S64: return 8;
    default: return 0;
    }
}

void putU16(std::string& out, uint16_t v)
{
    out += static_cast<char>(v >> 8);
    out += static_cast<char>(v & 0xff);
}

void putU32(std::string& out, uint32_t v)
{
    putU16(out, static_cast<uint16_t>(v >> 16));
    putU16(out, static_cast<uint16_t>(v & 0xffff));
}

void putF32(std::string& out, float v) { putU32(out, std::bit_cast<uint32_t>(v)); }

/// Text in a fixed-size field: cut to size, padded with zero bytes.
void putText(std::string& out, std::string_view text, std::size_t size)
{
    text = text.substr(0, std::min(text.size(), size));
    out += text;
    out.append(size - text.size(), '\0');
}

void putField(std::string& out, uint8_t type, std::string_view name, std::string_view unit, float scale,
              int digits)
{
    out += static_cast<char>(type);
    putText(out, name, NameSize);
    putText(out, unit, UnitSize);
    out += '\0'; // display style: Float
    putF32(out, scale);
    putF32(out, 0.0f); // transform
    out += static_cast<char>(digits);
}

uint16_t timestampOf(double seconds)
{
    const double ticks = std::max(0.0, std::round(seconds / TimestampUnit));
    return static_cast<uint16_t>(static_cast<uint64_t>(std::fmod(ticks, 65536.0)));
}

class MlgWriter final : public SinkWriter {
public:
    using SinkWriter::SinkWriter;

    std::string header(const LogInfo& info) const
    {
        const std::size_t fields = m_columns.size() + 1;
        const std::size_t infoStart = HeaderSize + fields * FieldSize;
        std::string text(LogTitle);
        for (const std::string& line : infoLines(info))
            text += "\n" + line;
        std::string out = "MLVLG";
        out += '\0';
        putU16(out, 1);
        putU32(out, static_cast<uint32_t>(std::time(nullptr)));
        putU16(out, static_cast<uint16_t>(infoStart));
        putU32(out, static_cast<uint32_t>(infoStart + text.size() + 1));
        putU16(out, static_cast<uint16_t>(4 + 4 * m_columns.size()));
        putU16(out, static_cast<uint16_t>(fields));
        putField(out, U32, "Time", "s", 0.001f, 3);
        for (LogColumn c : m_columns) {
            const LogColumnDef& d = logColumnDef(c);
            putField(out, F32, d.caption, d.unit, 1.0f, d.decimals);
        }
        out += text;
        out += '\0';
        return out;
    }

    Status append(double seconds, const LiveValues& v, ThrottleCal cal) override
    {
        if (Status s = checkTime(seconds); !s.ok())
            return s;
        m_block.clear();
        blockHeader(0, seconds);
        const double ms = std::clamp(std::round(seconds * 1000.0), 0.0, 4294967295.0);
        putU32(m_block, static_cast<uint32_t>(ms));
        for (LogColumn c : m_columns) {
            const auto value = logValue(c, v, cal);
            putF32(m_block, value ? static_cast<float>(*value) : std::nanf(""));
        }
        unsigned sum = 0;
        for (std::size_t i = 4; i < m_block.size(); ++i)
            sum += static_cast<uint8_t>(m_block[i]);
        m_block += static_cast<char>(sum & 0xff);
        return writeRecord(m_block);
    }

    Status mark(double seconds, const std::string& text) override
    {
        if (Status s = checkTime(seconds); !s.ok())
            return s;
        m_block.clear();
        blockHeader(1, seconds);
        putText(m_block, text, MarkerTextSize);
        ++m_markers;
        return m_sink.write(m_block);
    }

private:
    void blockHeader(uint8_t type, double seconds)
    {
        m_block += static_cast<char>(type);
        m_block += static_cast<char>(m_counter++);
        putU16(m_block, timestampOf(seconds));
    }

    std::string m_block;
    uint8_t m_counter = 0;
};

// ---------------------------------------------------------------- reading

struct FieldDesc {
    uint8_t type = 0;
    std::string name, unit;
    float scale = 1, transform = 0;
    int digits = 0;
    int size = 0;
};

uint32_t beU32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }
uint16_t beU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

std::string fixedString(const uint8_t* p, std::size_t size)
{
    std::size_t n = 0;
    while (n < size && p[n] != 0)
        ++n;
    std::string s(reinterpret_cast<const char*>(p), n);
    while (!s.empty() && (s.back() == ' ' || s.back() == '"'))
        s.pop_back();
    while (!s.empty() && (s.front() == ' ' || s.front() == '"'))
        s.erase(0, 1);
    return s;
}

double rawValue(uint8_t type, const uint8_t* p)
{
    switch (type) {
    case U08: case U08Bits: return p[0];
    case S08: return static_cast<int8_t>(p[0]);
    case U16: case U16Bits: return beU16(p);
    case S16: return static_cast<int16_t>(beU16(p));
    case U32: case U32Bits: return beU32(p);
    case S32: return static_cast<int32_t>(beU32(p));
    case S64: return static_cast<double>(static_cast<int64_t>(uint64_t(beU32(p)) << 32 | beU32(p + 4)));
    case F32: return std::bit_cast<float>(beU32(p));
    default: return std::nan("");
    }
}

/// Reads an MLG file block by block; memory grows with the rows only.
class MlgReader {
public:
    MlgReader(std::istream& in, const std::string& path) : m_in(in), m_path(path) {}

    Result<LogData> read()
    {
        m_in.seekg(0, std::ios::end);
        m_size = static_cast<uint64_t>(std::max<std::streamoff>(0, m_in.tellg()));
        m_in.seekg(0);
        if (auto e = readHeader())
            return *e;
        if (auto e = readBlocks())
            return *e;
        return std::move(m_data);
    }

private:
    Error bad(const std::string& what) const
    {
        return makeError(ErrorKind::BadFile, "The log \"" + fileName(m_path) + "\" cannot be read: " + what + ".");
    }
    static std::string at(uint64_t offset) { return " (byte offset " + std::to_string(offset) + ")"; }

    bool readBytes(uint64_t offset, std::size_t n, std::vector<uint8_t>& out)
    {
        out.resize(n);
        m_in.clear();
        m_in.seekg(static_cast<std::streamoff>(offset));
        m_in.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(n));
        return m_in.gcount() == static_cast<std::streamsize>(n);
    }

    std::optional<Error> readHeader()
    {
        std::vector<uint8_t> h;
        if (!readBytes(0, HeaderSize, h))
            return bad("it ends inside its header" + at(m_size));
        if (std::string_view(reinterpret_cast<const char*>(h.data()), 5) != "MLVLG")
            return bad("it does not begin with \"MLVLG\"");
        const unsigned version = beU16(&h[6]);
        if (version != 1)
            return bad("it is an MLVLG log of version " + std::to_string(version) + "; only version 1 is read");
        const uint64_t infoStart = beU16(&h[12]);
        m_dataBegin = beU32(&h[14]);
        m_recordLength = beU16(&h[18]);
        const uint64_t count = beU16(&h[20]);
        const uint64_t fieldsEnd = HeaderSize + count * FieldSize;
        if (count == 0 || fieldsEnd > m_size)
            return bad("its header declares " + std::to_string(count) + " fields, which the file's " +
                       std::to_string(m_size) + " bytes cannot hold" + at(20));
        if (m_dataBegin < fieldsEnd || m_dataBegin > m_size)
            return bad("its data begin at byte " + std::to_string(m_dataBegin) + ", outside the file" + at(14));
        if (auto e = readFields(count))
            return e;
        if (infoStart >= fieldsEnd && infoStart < m_dataBegin && m_dataBegin - infoStart <= MaxInfoSize) {
            std::vector<uint8_t> info;
            if (readBytes(infoStart, m_dataBegin - infoStart, info)) {
                const std::string text = fixedString(info.data(), info.size());
                std::size_t from = 0;
                while (from <= text.size()) {
                    const auto nl = std::min(text.find('\n', from), text.size());
                    addInfoLine(m_data, std::string_view(text).substr(from, nl - from));
                    from = nl + 1;
                }
            }
        }
        return std::nullopt;
    }

    std::optional<Error> readFields(uint64_t count)
    {
        std::vector<uint8_t> raw;
        if (!readBytes(HeaderSize, count * FieldSize, raw))
            return bad("it ends inside its field list" + at(m_size));
        int length = 0;
        for (uint64_t i = 0; i < count; ++i) {
            const uint8_t* p = &raw[i * FieldSize];
            FieldDesc f;
            f.type = p[0];
            f.size = sizeOf(f.type);
            f.name = fixedString(p + 1, NameSize);
            if (f.size == 0)
                return bad("field " + std::to_string(i + 1) + " (\"" + f.name + "\") has the unknown type " +
                           std::to_string(f.type) + at(HeaderSize + i * FieldSize));
            f.unit = fixedString(p + 35, UnitSize);
            const bool bits = f.type >= U08Bits;
            f.scale = bits ? 1.0f : std::bit_cast<float>(beU32(p + 46));
            f.transform = bits ? 0.0f : std::bit_cast<float>(beU32(p + 50));
            f.digits = bits ? 0 : std::clamp(static_cast<int>(static_cast<int8_t>(p[54])), 0, 9);
            if (!std::isfinite(f.scale) || f.scale == 0.0f)
                f.scale = 1.0f;
            if (!std::isfinite(f.transform))
                f.transform = 0.0f;
            length += f.size;
            m_fields.push_back(std::move(f));
        }
        if (length != static_cast<int>(m_recordLength))
            return bad("its header gives records of " + std::to_string(m_recordLength) +
                       " bytes, but its fields take " + std::to_string(length) + at(18));
        for (std::size_t i = 0; i < m_fields.size(); ++i) {
            if (m_timeField < 0 && equalsNoCase(m_fields[i].name, "Time")) {
                m_timeField = static_cast<int>(i);
                continue;
            }
            m_data.channels.push_back({m_fields[i].name, m_fields[i].unit, m_fields[i].digits, {}});
        }
        return std::nullopt;
    }

    static bool equalsNoCase(const std::string& a, std::string_view b)
    {
        return a.size() == b.size() &&
               std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return std::tolower(x) == std::tolower(y); });
    }

    /// The seconds of a block: from "Time" for a record, else the last time
    /// moved on by the 16-bit timestamp.
    double advance(uint16_t stamp)
    {
        const double t = m_seen ? m_last + ((stamp - m_lastStamp) & 0xffff) * TimestampUnit : stamp * TimestampUnit;
        m_seen = true;
        m_lastStamp = stamp;
        return t;
    }

    std::optional<Error> readBlocks()
    {
        m_in.clear();
        m_in.seekg(static_cast<std::streamoff>(m_dataBegin));
        uint64_t offset = m_dataBegin;
        std::vector<uint8_t> body(std::max<std::size_t>(m_recordLength + 1, MarkerTextSize));
        std::vector<double> values(m_fields.size());
        while (offset < m_size) {
            uint8_t head[4];
            m_in.read(reinterpret_cast<char*>(head), 4);
            if (m_in.gcount() < 4)
                break; // a block cut short by the end of the file
            const std::size_t need = head[0] == 0 ? m_recordLength + 1u : head[0] == 1 ? MarkerTextSize : 0;
            if (need == 0)
                return bad("block type " + std::to_string(head[0]) + " is unknown" + at(offset));
            m_in.read(reinterpret_cast<char*>(body.data()), static_cast<std::streamsize>(need));
            if (m_in.gcount() < static_cast<std::streamsize>(need))
                break;
            const uint16_t stamp = beU16(head + 2);
            if (head[0] == 1) {
                m_data.markers.push_back({advance(stamp), fixedString(body.data(), MarkerTextSize)});
                m_last = m_data.markers.back().seconds;
            } else if (sumOf(body.data(), m_recordLength) == body[m_recordLength]) {
                addRecord(body.data(), stamp, values);
            } else {
                ++m_badSums; // a damaged record would show a wrong value as if it were read
            }
            offset += 4 + need;
        }
        noteLeftOut(m_data, m_badSums, "record", "checksum did not match");
        return std::nullopt;
    }

    static uint8_t sumOf(const uint8_t* p, std::size_t n)
    {
        unsigned sum = 0;
        for (std::size_t i = 0; i < n; ++i)
            sum += p[i];
        return static_cast<uint8_t>(sum & 0xff);
    }

    void addRecord(const uint8_t* p, uint16_t stamp, std::vector<double>& values)
    {
        for (std::size_t i = 0; i < m_fields.size(); ++i) {
            const FieldDesc& f = m_fields[i];
            values[i] = (rawValue(f.type, p) + f.transform) * f.scale;
            p += f.size;
        }
        double t = advance(stamp);
        if (m_timeField >= 0 && std::isfinite(values[static_cast<std::size_t>(m_timeField)]))
            t = values[static_cast<std::size_t>(m_timeField)];
        m_last = t;
        m_data.times.push_back(t);
        std::size_t c = 0;
        for (std::size_t i = 0; i < m_fields.size(); ++i)
            if (static_cast<int>(i) != m_timeField)
                m_data.channels[c++].values.push_back(static_cast<float>(values[i]));
    }

    std::istream& m_in;
    const std::string& m_path;
    uint64_t m_size = 0;
    uint64_t m_dataBegin = 0;
    uint32_t m_recordLength = 0;
    std::vector<FieldDesc> m_fields;
    int m_timeField = -1;
    LogData m_data;
    bool m_seen = false;
    uint16_t m_lastStamp = 0;
    double m_last = 0;
    std::size_t m_badSums = 0;
};

} // namespace

Result<std::unique_ptr<LogWriter>> createMlgWriter(LogSink sink, std::vector<LogColumn> columns,
                                                   const LogInfo& info)
{
    auto w = std::make_unique<MlgWriter>(std::move(sink), LogFormat::Mlg, std::move(columns));
    if (Status s = w->writeHeader(w->header(info)); !s.ok())
        return s.error();
    return std::unique_ptr<LogWriter>(std::move(w));
}

} // namespace kyr::live::logfmt

namespace kyr::live::logfmt {

Result<LogData> readMlg(std::istream& in, const std::string& path) { return MlgReader(in, path).read(); }

} // namespace kyr::live::logfmt
