// SPDX-License-Identifier: GPL-3.0-or-later
// The map file reader on any text: it refuses with a BadFile error or gives a
// file that writes back and reads again to the same tune, written the same way.

#include "FuzzCheck.h"
#include "files/MapFile.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

using namespace kyr;
using kyr::fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    auto first = files::parseMapFile(text);
    if (!first) {
        check(first.error().kind == ErrorKind::BadFile, "a refused file is a BadFile error");
        check(!first.error().message.empty(), "a refused file says why");
        return 0;
    }
    const files::MapFile& f = first.value();
    check(f.make.size() <= files::MaxVehicleText && f.model.size() <= files::MaxVehicleText &&
              f.engine.size() <= files::MaxVehicleText,
          "vehicle texts are at most 18 characters");
    check(f.identity[5] == files::FileSignature && f.identity[6] == files::FileSignature,
          "a file reads back with the file signature");

    const std::string written = files::formatMapFile(f);
    auto again = files::parseMapFile(written);
    check(again.ok(), "a file that was read is written back readable");
    const files::MapFile& g = again.value();
    check(g.image == f.image, "the table survives a write and a read");
    check(g.identity == f.identity, "the identity survives a write and a read");
    check(g.make == f.make && g.model == f.model && g.engine == f.engine,
          "the vehicle texts survive a write and a read");
    check(files::formatMapFile(g) == written, "a file read back writes the same text");
    return 0;
}
