// SPDX-License-Identifier: GPL-3.0-or-later
#include "table/WindowsError.h"

#include <windows.h>

namespace kyr::table {

std::string windowsErrorText(uint32_t code)
{
    char buffer[512] = {};
    const DWORD n = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                                     MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), buffer, sizeof buffer, nullptr);
    std::string text(buffer, n);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return text.empty() ? "error " + std::to_string(code) : text;
}

} // namespace kyr::table
