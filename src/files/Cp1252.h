// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one-byte texts that map files and the unit keep (vehicle make, model
// and engine, the serial number's customer letters) are Windows-1252, as the
// 8-bit program that first wrote them; everything else in the tuner is UTF-8.
// The five bytes Windows-1252 leaves undefined (81, 8D, 8F, 90, 9D) are taken
// as Latin-1, so that every byte has a character and back.

#include "table/Result.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kyr::files {

/// The character a Windows-1252 byte stands for.
char32_t cp1252CodePoint(uint8_t byte);
/// The Windows-1252 byte of a character; none for a character it lacks.
std::optional<uint8_t> cp1252Byte(char32_t codePoint);

/// Windows-1252 bytes as UTF-8; one character for each byte.
std::string utf8FromCp1252(std::string_view bytes);
/// UTF-8 text as Windows-1252 bytes, one for each character. BadValue, naming
/// the character, when one has no byte there or the text is not UTF-8.
Result<std::string> cp1252FromUtf8(std::string_view text);

} // namespace kyr::files
