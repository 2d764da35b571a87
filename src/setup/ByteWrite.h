// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One WriteByte command of the setup area: F2, table offset, raw value.

#include "table/Layout.h"

#include <array>
#include <cstdint>

namespace kyr::setup {

struct ByteWrite {
    int offset = 0;
    uint8_t value = 0;

    /// The three bytes on the wire (the command byte is that of the bank based at 0).
    std::array<uint8_t, 3> bytes() const
    {
        uint8_t command = 0;
        for (const auto& b : table::bankTable())
            if (b.base == 0)
                command = b.command;
        return {command, static_cast<uint8_t>(offset), value};
    }
    bool operator==(const ByteWrite&) const = default;
};

} // namespace kyr::setup
