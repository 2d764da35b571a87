// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The system's own words for a Windows error code, for the messages of the
// Windows serial device and of the file writes. Built on Windows only.

#include <cstdint>
#include <string>

namespace kyr::table {

/// FormatMessage's text for code, without its line end; "error N" when the
/// system has none.
std::string windowsErrorText(uint32_t code);

} // namespace kyr::table
