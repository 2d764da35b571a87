// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/SerialNumber.h"

#include "files/Cp1252.h"

#include <charconv>
#include <optional>

namespace kyr::tools {

namespace {

using P = table::SetupParam;
using F = SerialField;

constexpr SerialFieldDef kFields[SerialFieldCount] = {
    {F::Letter1, P::SerialPrefix1, true},
    {F::Letter2, P::SerialPrefix2, true},
    {F::Number1, P::Serial1, false},
    {F::Number2, P::Serial2, false},
    {F::Number3, P::Serial3, false},
    {F::Hardware, P::SerialHw, false},
};

// The highest byte a field may write: 254 would read back as the absent marker.
constexpr int MaxLetterCode = table::MaxRawSent;

int rawAt(const table::SetupCopy& s, table::SetupParam p)
{
    return (s[table::setupOffset(p)] - 1) & 0xFF;
}

std::string twoDigits(int v)
{
    return v < 10 ? "0" + std::to_string(v) : std::to_string(v);
}

std::string quoted(std::string_view text) { return "'" + std::string(text) + "'"; }

// The code point of the first UTF-8 character; nullopt for a broken sequence.
std::optional<char32_t> firstCodePoint(std::string_view s)
{
    const auto b0 = static_cast<unsigned char>(s[0]);
    int extra = b0 < 0x80 ? 0 : (b0 >> 5) == 0x6 ? 1 : (b0 >> 4) == 0xE ? 2 : (b0 >> 3) == 0x1E ? 3 : -1;
    if (extra < 0 || static_cast<int>(s.size()) <= extra)
        return std::nullopt;
    char32_t cp = extra == 0 ? b0 : b0 & (0x3F >> extra);
    for (int i = 1; i <= extra; ++i) {
        const auto b = static_cast<unsigned char>(s[i]);
        if ((b >> 6) != 0x2)
            return std::nullopt;
        cp = (cp << 6) | (b & 0x3F);
    }
    return cp;
}

// A letter byte as the unit keeps it (Windows-1252), as UTF-8.
std::string utf8Of(int code) { return files::utf8FromCp1252(std::string(1, static_cast<char>(code))); }

// Upper case within Windows-1252: ASCII, the Latin-1 letters a-grave to thorn
// (not the division sign), s-caron, oe, z-caron and y-diaeresis.
char upperByte(char ch)
{
    const auto b = static_cast<uint8_t>(ch);
    if ((b >= 'a' && b <= 'z') || (b >= 0xE0 && b <= 0xFE && b != 0xF7))
        return static_cast<char>(b - 0x20);
    if (b == 0x9A || b == 0x9C || b == 0x9E)
        return static_cast<char>(b - 0x10);
    return b == 0xFF ? static_cast<char>(0x9F) : ch;
}

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return s;
}

Result<uint8_t> letterByte(std::string_view text)
{
    if (text.empty())
        return uint8_t{0};
    const auto cp = firstCodePoint(text);
    const auto byte = cp ? files::cp1252Byte(*cp) : std::nullopt;
    if (!byte || *byte > MaxLetterCode)
        return makeError(ErrorKind::BadValue, quoted(text) + " cannot be stored as a customer letter");
    return *byte;
}

Result<uint8_t> numberByte(std::string_view text)
{
    std::string_view digits = trimmed(text);
    if (!digits.empty() && digits.front() == '+')
        digits.remove_prefix(1);
    long value = 0;
    const auto r = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    const bool whole = !digits.empty() && r.ptr == digits.data() + digits.size();
    if (!whole || (r.ec != std::errc() && r.ec != std::errc::result_out_of_range))
        return makeError(ErrorKind::BadValue, quoted(text) + " is not a valid integer value");
    if (r.ec == std::errc::result_out_of_range || value < 0 || value > SerialNumberMax)
        return makeError(ErrorKind::BadValue,
                         quoted(text) + " is out of range: serial number fields take 0 to " +
                             std::to_string(SerialNumberMax));
    return static_cast<uint8_t>(value);
}

} // namespace

std::string serialText(const table::SetupCopy& s)
{
    std::string out = utf8Of(rawAt(s, P::SerialPrefix1)) + utf8Of(rawAt(s, P::SerialPrefix2));
    out += "-" + twoDigits(rawAt(s, P::Serial1)) + twoDigits(rawAt(s, P::Serial2)) +
           twoDigits(rawAt(s, P::Serial3)) + "-" + twoDigits(rawAt(s, P::SerialHw));
    return out;
}

std::string unitLine(std::string_view modelText, std::string_view versionText, const table::SetupCopy& setupPlusOne)
{
    return "KYR " + std::string(modelText) + " v" + std::string(versionText) + " :: " + serialText(setupPlusOne);
}

std::span<const SerialFieldDef> serialFields() { return kFields; }

SerialTexts serialFieldTexts(const table::SetupCopy& setupPlusOne)
{
    SerialTexts texts;
    for (int i = 0; i < SerialFieldCount; ++i) {
        const SerialFieldDef& f = kFields[i];
        const int stored = setupPlusOne[table::setupOffset(f.param)];
        // A byte never read (an erased unit) shows as the first letter or 00.
        if (f.letter)
            texts[i] = stored == 0 ? "A" : stored == 1 ? "" : utf8Of(stored - 1);
        else
            texts[i] = twoDigits(stored == 0 ? 0 : stored - 1);
    }
    return texts;
}

std::string upperLetter(std::string_view text)
{
    auto bytes = files::cp1252FromUtf8(text);
    if (!bytes) {
        // No letter the unit can keep: only its ASCII letters change.
        std::string out(text);
        for (char& c : out)
            if (c >= 'a' && c <= 'z')
                c = upperByte(c);
        return out;
    }
    std::string upper = bytes.value();
    for (char& c : upper)
        c = upperByte(c);
    return files::utf8FromCp1252(upper);
}

Result<uint8_t> serialFieldByte(const SerialFieldDef& field, std::string_view text)
{
    return field.letter ? letterByte(upperLetter(text)) : numberByte(text);
}

Result<SerialPlan> planSerialUpdate(const SerialTexts& texts)
{
    SerialPlan plan;
    for (int i = 0; i < SerialFieldCount; ++i) {
        const SerialFieldDef& f = kFields[i];
        auto byte = serialFieldByte(f, texts[i]);
        if (!byte)
            return byte.error();
        plan.writes.push_back({table::setupOffset(f.param), byte.value()});
        plan.texts[i] = f.letter ? upperLetter(texts[i]) : texts[i] == "0" ? "00" : texts[i];
    }
    return plan;
}

} // namespace kyr::tools
