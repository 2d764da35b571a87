// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/Cp1252.h"

#include <array>
#include <cstdio>

namespace kyr::files {

namespace {

// Bytes 80..9F; the undefined ones stand for themselves, as in Latin-1.
constexpr std::array<char32_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

void appendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// The character at text[i] and its length in bytes; length 0 for a byte that
// starts no well-formed sequence.
std::pair<char32_t, std::size_t> decodeAt(std::string_view text, std::size_t i)
{
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80)
        return {c, 1};
    const std::size_t len = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
    if (len == 0 || i + len > text.size())
        return {0, 0};
    char32_t cp = c & (0x7F >> len);
    for (std::size_t k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(text[i + k]);
        if ((b & 0xC0) != 0x80)
            return {0, 0};
        cp = (cp << 6) | (b & 0x3F);
    }
    const char32_t lowest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < lowest[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return {0, 0};
    return {cp, len};
}

Error refused(std::string_view text, std::size_t i, std::size_t len, char32_t cp)
{
    char code[16];
    std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(cp));
    return makeError(ErrorKind::BadValue, "'" + std::string(text.substr(i, len)) + "' (" + code +
                                              ") cannot be stored: the KYR and its map files keep "
                                              "Western European (Windows-1252) characters only");
}

} // namespace

char32_t cp1252CodePoint(uint8_t byte)
{
    return byte >= 0x80 && byte < 0xA0 ? kHighControls[byte - 0x80] : byte;
}

std::optional<uint8_t> cp1252Byte(char32_t cp)
{
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF))
        return static_cast<uint8_t>(cp);
    for (std::size_t i = 0; i < kHighControls.size(); ++i)
        if (kHighControls[i] == cp)
            return static_cast<uint8_t>(0x80 + i);
    return std::nullopt;
}

std::string utf8FromCp1252(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    for (char b : bytes)
        appendUtf8(out, cp1252CodePoint(static_cast<uint8_t>(b)));
    return out;
}

Result<std::string> cp1252FromUtf8(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto [cp, len] = decodeAt(text, i);
        if (len == 0)
            return makeError(ErrorKind::BadValue, "the text is not UTF-8 (byte " + std::to_string(i + 1) + ")");
        const auto byte = cp1252Byte(cp);
        if (!byte)
            return refused(text, i, len, cp);
        out += static_cast<char>(*byte);
        i += len;
    }
    return out;
}

} // namespace kyr::files
