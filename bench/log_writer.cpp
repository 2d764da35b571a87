// SPDX-License-Identifier: GPL-3.0-or-later
// Writes an eight-hour log at 150 records a second (4.32 million records) as
// fast as it can, each record flushed as in real logging, and prints the wall
// time, the CPU time per record, the share of one core the writer would take
// at 150 records a second, and the peak resident memory at 1 h, 4 h and 8 h
// of log (it must stay flat: nothing is kept per record).
//   bench_log_writer [FILE]   (default /tmp/kyr-bench-log.mlg; the file is removed afterwards
//                              unless given; the suffix chooses the format)

#include "live/LogFile.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include <sys/resource.h>

using namespace kyr::live;

namespace {

constexpr long RecordsPerSecond = 150;
constexpr long RecordsPerHour = RecordsPerSecond * 3600;

double cpuSeconds(const rusage& u)
{
    auto s = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return s(u.ru_utime) + s(u.ru_stime);
}

LiveValues recordAt(long i)
{
    LiveValues v;
    v.set(LiveField::Rpm, 800 + (i % 120) * 50);
    v.set(LiveField::Timing, 10 + (i % 40) * 0.5);
    v.set(LiveField::Vacuum, 30 + i % 70);
    v.set(LiveField::Lambda, (i % 90) * 0.01);
    v.set(LiveField::Battery, 13.8);
    v.set(LiveField::InjectorDuty, (i % 100) * 0.5);
    v.set(LiveField::WaterTemp, 85);
    if (i % 50 != 0)
        v.set(LiveField::AirTemp, 25);
    v.set(LiveField::Throttle, i % 200);
    v.set(LiveField::Pot, 50);
    return v;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string path = argc > 1 ? argv[1] : "/tmp/kyr-bench-log.mlg";
    std::vector<LogColumn> columns;
    for (const auto& d : logColumnTable())
        columns.push_back(d.column);
    const LogInfo info{"KYR model 3, version 3.2, Fuel and Timing", "KT-012345-06", "bench.kyr", "0123456789abcdef",
                       "2026-12-08 14:03:12"};
    auto made = LogWriter::create(path, columns, info);
    if (!made) {
        std::fprintf(stderr, "%s\n", made.error().message.c_str());
        return 1;
    }
    LogWriter& w = *made.value();
    const ThrottleCal cal{20, 220};
    const auto start = std::chrono::steady_clock::now();
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    const long total = 8 * RecordsPerHour;
    std::printf("%-6s %12s %10s %14s %12s %12s\n", "log", "records", "wall s", "CPU us/record", "core share",
                "peak RSS KB");
    for (long i = 0; i < total; ++i) {
        if (!w.append(static_cast<double>(i) / RecordsPerSecond, recordAt(i), cal).ok()) {
            std::fprintf(stderr, "append failed at record %ld\n", i);
            return 1;
        }
        if (i % (RecordsPerHour * 60) == 0 && i > 0)
            w.mark(static_cast<double>(i) / RecordsPerSecond, "Marker");
        const long done = i + 1;
        if (done == RecordsPerHour || done == 4 * RecordsPerHour || done == total) {
            rusage now{};
            getrusage(RUSAGE_SELF, &now);
            const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            const double perRecord = (cpuSeconds(now) - cpuSeconds(before)) / static_cast<double>(done);
            std::printf("%-6s %12ld %10.2f %14.3f %11.4f%% %12ld\n",
                        (std::to_string(done / RecordsPerHour) + " h").c_str(), done, wall, perRecord * 1e6,
                        perRecord * RecordsPerSecond * 100.0, now.ru_maxrss);
            std::fflush(stdout);
        }
    }
    if (!w.close().ok())
        return 1;
    std::printf("file: %s, %.1f MB\n", path.c_str(), std::filesystem::file_size(path) / 1e6);
    if (argc <= 1)
        std::filesystem::remove(path);
    return 0;
}
