// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The byte strings that cross the serial line.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kyr::link {

/// Bytes sent to or received from the unit, zero bytes included.
using Bytes = std::vector<uint8_t>;

/// The bytes of a text, one per character.
inline Bytes bytesOf(std::string_view text) { return Bytes(text.begin(), text.end()); }

/// Upper-case hex with single spaces ("F2 50 0C"), for logs and diagnostics.
inline std::string hexOf(const Bytes& bytes)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 3);
    for (uint8_t b : bytes) {
        if (!out.empty())
            out += ' ';
        out += digits[b >> 4];
        out += digits[b & 0x0F];
    }
    return out;
}

} // namespace kyr::link
