// SPDX-License-Identifier: GPL-3.0-or-later
// The version line on any text, and the writer on any identity: what reads
// is digits with the file signature and writes back to itself; what the
// writer makes always reads.

#include "FuzzCheck.h"
#include "files/MapFile.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

using namespace kyr;
using kyr::fuzz::check;

namespace {

void checkReader(std::string_view text)
{
    auto id = files::parseVersionLine(text);
    if (!id) {
        check(id.error().kind == ErrorKind::BadFile, "a refused version line is a BadFile error");
        return;
    }
    const auto& b = id.value();
    check(b[0] <= 9 && b[1] <= 9 && b[2] <= 99 && b[3] <= 9 && b[4] <= 9, "version digits stay digits");
    check(b[5] == files::FileSignature && b[6] == files::FileSignature, "a version line carries the file signature");
    auto again = files::parseVersionLine(files::versionLine(b));
    check(again.ok() && again.value() == b, "a version line that reads writes back to the same identity");
}

// Any identity bytes: the writer keeps the last digits, and its line reads.
void checkWriter(const uint8_t* data, size_t size)
{
    std::array<uint8_t, 7> id{};
    std::copy_n(data, std::min(size, id.size()), id.begin());
    auto back = files::parseVersionLine(files::versionLine(id));
    check(back.ok(), "every line the writer makes reads");
    const auto& b = back.value();
    check(b[0] == id[0] % 10 && b[1] == id[1] % 10 && b[2] == id[2] % 100 && b[3] == id[3] % 10 &&
              b[4] == id[4] % 10,
          "the writer keeps the last digits of each byte");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    checkReader(std::string_view(reinterpret_cast<const char*>(data), size));
    checkWriter(data, size);
    return 0;
}
