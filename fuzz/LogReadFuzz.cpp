// SPDX-License-Identifier: GPL-3.0-or-later
// The log reader on any file: it reads it or refuses it as a BadFile, never
// more; what it reads has one value per row in every channel, times that are
// finite and never go back, and markers at finite times; and what the strip
// chart reads of it (rows by time, scales, pixel columns) holds up.

#include "FuzzCheck.h"
#include "live/LogFile.h"
#include "live/LogTrace.h"

#include <cmath>
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
    const kyr::live::LogData& log = r.value();
    for (const auto& c : log.channels)
        check(c.values.size() == log.rows(), "every channel has a value for every row");
    for (std::size_t i = 0; i < log.times.size(); ++i) {
        check(std::isfinite(log.times[i]), "every time is finite");
        check(i == 0 || log.times[i] >= log.times[i - 1], "times never go back");
    }
    for (const auto& m : log.markers)
        check(std::isfinite(m.seconds), "every marker's time is finite");
    // What the strip chart asks of the log, over the whole of it.
    if (log.rows() > 0) {
        const double first = log.times.front(), span = log.times.back() - first;
        const auto row = kyr::live::nearestRow(log.times, first + span / 2);
        check(row && *row < log.rows(), "the middle of the log has a row");
        for (const auto& c : log.channels) {
            kyr::live::channelSpan(c);
            kyr::live::pixelSpans(log.times, c.values, first, span / 64, 64);
        }
        kyr::live::liveValuesAt(log, *row);
    }
    return 0;
}
