// The log reader on any file: it reads it or refuses it as a BadFile, never
// more; what it reads has one value per row in every channel.

#include "FuzzCheck.h"
#include "live/LogFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include <unistd.h>

using kyr::fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    static const std::string path = "/tmp/kyr-fuzz-log-" + std::to_string(::getpid());
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    auto r = kyr::live::readLog(path);
    if (!r) {
        check(r.error().kind == kyr::ErrorKind::BadFile, "a log that does not read is a BadFile");
        return 0;
    }
    for (const auto& c : r.value().channels)
        check(c.values.size() == r.value().rows(), "every channel has a value for every row");
    return 0;
}
