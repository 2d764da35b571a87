// SPDX-License-Identifier: GPL-3.0-or-later
// Draws the data logger's strip chart over a one-hour log of five channels at
// 150 records a second (540 000 rows) and prints the time of one full repaint
// with the whole hour in view, with 30 seconds in view at the end and in the
// middle, and the time to append one row live.
//   QT_QPA_PLATFORM=offscreen bench_strip_chart

#include "app/live/StripChart.h"
#include "live/LogTrace.h"

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <chrono>
#include <cmath>
#include <cstdio>

using namespace kyr;

namespace {

constexpr int RecordsPerSecond = 150;
constexpr int Rows = RecordsPerSecond * 3600;
constexpr live::LogColumn kColumns[] = {live::LogColumn::Rpm, live::LogColumn::Timing, live::LogColumn::Vacuum,
                                        live::LogColumn::Volt, live::LogColumn::InjectorPercent};

float valueAt(int channel, int row)
{
    const double t = static_cast<double>(row) / RecordsPerSecond;
    return static_cast<float>(1000 * (channel + 1) * (1.2 + std::sin(t / (7 + channel)) + 0.1 * std::sin(t * 3)));
}

live::LogData hourLog()
{
    live::LogData log;
    for (live::LogColumn c : kColumns)
        log.channels.push_back(live::channelOf(c));
    log.times.reserve(Rows);
    for (auto& ch : log.channels)
        ch.values.reserve(Rows);
    for (int r = 0; r < Rows; ++r) {
        log.times.push_back(static_cast<double>(r) / RecordsPerSecond);
        for (std::size_t c = 0; c < log.channels.size(); ++c)
            log.channels[c].values.push_back(valueAt(static_cast<int>(c), r));
    }
    return log;
}

// Milliseconds per repaint, the best of five.
double paintMs(app::live::StripChart& chart)
{
    QImage image(chart.size(), QImage::Format_ARGB32_Premultiplied);
    double best = 1e9;
    for (int i = 0; i < 5; ++i) {
        const auto start = std::chrono::steady_clock::now();
        chart.render(&image);
        const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
    }
    return best;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    app::live::StripChart chart;
    chart.resize(1200, 700);
    chart.setLog(hourLog());
    std::printf("rows: %zu, channels: %zu, chart 1200x700\n", chart.log().rows(), chart.log().channels.size());
    std::printf("whole hour in view:    %.1f ms per repaint\n", paintMs(chart));
    chart.setView(3600 - 30, 30);
    std::printf("last 30 s in view:     %.1f ms per repaint\n", paintMs(chart));
    chart.setView(1800, 30);
    std::printf("30 s mid-log in view:  %.1f ms per repaint\n", paintMs(chart));

    app::live::StripChart live;
    live.resize(1200, 700);
    std::vector<live::LogChannel> channels;
    for (live::LogColumn c : kColumns)
        channels.push_back(live::channelOf(c));
    live.startLive(std::move(channels));
    std::vector<float> row(std::size(kColumns));
    const auto start = std::chrono::steady_clock::now();
    for (int r = 0; r < Rows; ++r) {
        for (std::size_t c = 0; c < row.size(); ++c)
            row[c] = valueAt(static_cast<int>(c), r);
        live.appendRow(static_cast<double>(r) / RecordsPerSecond, row);
    }
    const std::chrono::duration<double, std::micro> took = std::chrono::steady_clock::now() - start;
    std::printf("live append:           %.2f us per row (%d rows)\n", took.count() / Rows, Rows);
    std::printf("live view, newest 30 s: %.1f ms per repaint\n", paintMs(live));
    return 0;
}
