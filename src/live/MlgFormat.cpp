// The binary "MLVLG" log, version 1, big-endian throughout:
//   0  "MLVLG\0"           6  u16 format version (1)   8  u32 creation time (Unix seconds)
//   12 u16 info start      14 u32 data begin           18 u16 record length (bytes of the values)
//   20 u16 field count     22 the fields, 55 bytes each:
//      u8 type, name[34], units[10], u8 display style, f32 scale, f32 transform, s8 digits
//   info start: the info text (lines of "Key: value"), ending in a zero byte at data begin - 1
//   data begin: blocks, each u8 block type, u8 rolling counter, u16 timestamp (10 us units, wraps),
//      type 0 (record): the values in field order, then u8 sum of the value bytes;
//      type 1 (marker): the marker text, 50 bytes.
// A shown value is (raw + transform) * scale. This program writes "Time" as
// U32 milliseconds (scale 0.001) and each chosen value as F32 with scale 1;
// a value the unit did not give is written as a quiet NaN, which is what an
// F32 holds for "no number" (viewers that cannot show it show 0 or a gap).

#include "live/LogFormats.h"

#include <algorithm>
#include <bit>
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

[[maybe_unused]] int sizeOf(uint8_t type)
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
