// SPDX-License-Identifier: GPL-3.0-or-later
// A wide log: writes a CSV of 50 000 channels and 100 rows (or the
// channels and rows given), then prints the time to read it, to hand it to
// the strip chart, to draw the chart and to read the live values at the
// cursor.
//   QT_QPA_PLATFORM=offscreen bench_wide_log [channels] [rows]

#include "app/live/StripChart.h"
#include "live/LogFile.h"
#include "live/LogTrace.h"

#include <QApplication>
#include <QImage>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

using namespace kyr;

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void writeCsv(const std::string& path, int channels, int rows)
{
    std::ofstream out(path, std::ios::binary);
    out << "Time";
    for (int c = 0; c < channels; ++c)
        out << ",Ch" << c;
    out << '\n';
    for (int r = 0; r < rows; ++r) {
        out << r * 0.01;
        for (int c = 0; c < channels; ++c)
            out << ',' << (c * 7 + r) % 1000;
        out << '\n';
    }
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int channels = argc > 1 ? std::atoi(argv[1]) : 50000;
    const int rows = argc > 2 ? std::atoi(argv[2]) : 100;
    const std::string path = (std::filesystem::temp_directory_path() / "kyr-bench-wide.csv").string();
    writeCsv(path, channels, rows);
    std::printf("log: %d channels, %d rows, %.1f MB; chart 1200x700\n", channels, rows,
                static_cast<double>(std::filesystem::file_size(path)) / 1e6);

    auto start = Clock::now();
    auto read = live::readLog(path);
    std::printf("read:          %8.1f ms\n", msSince(start));
    if (!read.ok()) {
        std::printf("%s\n", read.error().message.c_str());
        return 1;
    }
    app::live::StripChart chart;
    chart.resize(1200, 700);
    QImage image(chart.size(), QImage::Format_ARGB32_Premultiplied);
    start = Clock::now();
    chart.setLog(std::move(read).value());
    std::printf("setLog:        %8.1f ms\n", msSince(start));
    start = Clock::now();
    chart.render(&image);
    std::printf("first repaint: %8.1f ms\n", msSince(start));
    start = Clock::now();
    for (int i = 0; i < 5; ++i)
        chart.render(&image);
    std::printf("repaint:       %8.1f ms (mean of 5)\n", msSince(start) / 5);
    start = Clock::now();
    const live::ChannelFields fields = live::liveFieldsOf(chart.log());
    std::printf("channel fields:%8.1f ms (once a log)\n", msSince(start));
    start = Clock::now();
    for (int i = 0; i < 5; ++i)
        live::liveValuesAt(chart.log(), fields, static_cast<std::size_t>(i));
    std::printf("cursor values: %8.1f ms (mean of 5)\n", msSince(start) / 5);
    std::filesystem::remove(path);
    return 0;
}
