// SPDX-License-Identifier: GPL-3.0-or-later
// What the strip chart reads of a log: rows by time, the min/max per pixel
// column, the scale's ticks and the live values of a row.

#include "live/LogTrace.h"

#include <gtest/gtest.h>

#include <cmath>

namespace kyr::live {
namespace {

constexpr float Nan = std::numeric_limits<float>::quiet_NaN();

TEST(LogTraceTest, NearestRowTakesTheCloserTimeAndStaysInTheLog)
{
    const std::vector<double> times{0.0, 0.1, 0.2, 0.5, 1.0};
    EXPECT_FALSE(nearestRow({}, 1.0));
    EXPECT_EQ(nearestRow(times, -5.0), 0u);
    EXPECT_EQ(nearestRow(times, 9.0), 4u);
    EXPECT_EQ(nearestRow(times, 0.2), 2u) << "an exact time is its own row";
    EXPECT_EQ(nearestRow(times, 0.34), 2u);
    EXPECT_EQ(nearestRow(times, 0.36), 3u);
    EXPECT_EQ(nearestRow(times, 0.75), 3u) << "halfway goes to the earlier row";
    EXPECT_EQ(firstRowFrom(times, 0.15), 2u);
    EXPECT_EQ(firstRowFrom(times, 1.5), times.size());
}

TEST(LogTraceTest, PixelSpansHoldTheExtremesOfEachColumn)
{
    // Ten rows a second, two pixel columns a second: five rows per column.
    std::vector<double> times;
    std::vector<float> values;
    for (int i = 0; i < 40; ++i) {
        times.push_back(i * 0.1);
        values.push_back(static_cast<float>(i % 5 == 2 ? 100 + i : i)); // one spike in each column
    }
    const auto spans = pixelSpans(times, values, 1.0, 0.5, 4);
    ASSERT_EQ(spans.size(), 4u);
    // Column 0 covers 1.0 .. 1.5: rows 10..14, the spike at row 12.
    EXPECT_TRUE(spans[0].any);
    EXPECT_FLOAT_EQ(spans[0].lo, 10);
    EXPECT_FLOAT_EQ(spans[0].hi, 112) << "a spike between pixels is never lost";
    EXPECT_FLOAT_EQ(spans[3].lo, 25);
    EXPECT_FLOAT_EQ(spans[3].hi, 127);

    const auto beyond = pixelSpans(times, values, 3.5, 0.5, 4);
    EXPECT_TRUE(beyond[0].any);
    EXPECT_FALSE(beyond[1].any) << "past the last row the columns are empty";
    EXPECT_FALSE(pixelSpans(times, values, 0, 0, 4)[0].any);
    EXPECT_TRUE(pixelSpans(times, values, 0, 1, 0).empty());
}

TEST(LogTraceTest, MissingReadingsBreakTheTraceButDoNotCount)
{
    const std::vector<double> times{0, 1, 2, 3};
    const std::vector<float> values{5, Nan, 7, Nan};
    const auto spans = pixelSpans(times, values, 0, 2, 2);
    EXPECT_TRUE(spans[0].any);
    EXPECT_TRUE(spans[0].gap);
    EXPECT_FLOAT_EQ(spans[0].lo, 5);
    EXPECT_FLOAT_EQ(spans[0].hi, 5) << "NaN is no extreme";
    EXPECT_FLOAT_EQ(spans[1].hi, 7);

    LogChannel empty{"RPM", "RPM", 0, {Nan, Nan}};
    EXPECT_FALSE(channelSpan(empty));
    LogChannel some{"RPM", "RPM", 0, {Nan, 900, 3400, Nan, 850}};
    ASSERT_TRUE(channelSpan(some));
    EXPECT_DOUBLE_EQ(channelSpan(some)->lo, 850);
    EXPECT_DOUBLE_EQ(channelSpan(some)->hi, 3400);

    // An infinite reading (a text log's "inf") breaks the trace like a missing one
    // and leaves the scale to the finite readings.
    constexpr float Inf = std::numeric_limits<float>::infinity();
    LogChannel wild{"RPM", "RPM", 0, {900, Inf, 3400, -Inf}};
    ASSERT_TRUE(channelSpan(wild));
    EXPECT_DOUBLE_EQ(channelSpan(wild)->lo, 900);
    EXPECT_DOUBLE_EQ(channelSpan(wild)->hi, 3400);
    const auto wildSpans = pixelSpans(times, wild.values, 0, 2, 2);
    EXPECT_TRUE(wildSpans[0].gap);
    EXPECT_FLOAT_EQ(wildSpans[0].hi, 900);
    EXPECT_FLOAT_EQ(wildSpans[1].lo, 3400);
}

TEST(LogTraceTest, TicksAreRoundAndCoverTheRange)
{
    EXPECT_EQ(niceTicks(0, 6250, 5), (std::vector<double>{0, 2000, 4000, 6000}));
    EXPECT_EQ(niceTicks(-0.3, 1.1, 4), (std::vector<double>{0, 0.5, 1.0}));
    EXPECT_DOUBLE_EQ(niceStep(12.2, 14.4, 5), 0.5);
    for (const auto& [lo, hi] : {std::pair{-40.0, 120.0}, std::pair{0.01, 0.02}, std::pair{830.0, 6110.0}}) {
        const auto ticks = niceTicks(lo, hi, 6);
        ASSERT_FALSE(ticks.empty()) << lo << ".." << hi;
        EXPECT_LE(ticks.size(), 8u);
        EXPECT_GE(ticks.front(), lo - 1e-9);
        EXPECT_LE(ticks.back(), hi + 1e-9);
    }
    EXPECT_TRUE(niceTicks(1, 0, 5).empty());
}

TEST(LogTraceTest, LiveValuesComeFromTheChannelsThatCarryThem)
{
    LogData log;
    log.times = {0, 0.1};
    log.channels = {channelOf(LogColumn::Rpm), channelOf(LogColumn::Vacuum), channelOf(LogColumn::Volt),
                    channelOf(LogColumn::ThrottlePercent), LogChannel{"CLT", "C", 0, {}}};
    log.channels[0].values = {3400, 3500};
    log.channels[1].values = {62, Nan};
    log.channels[2].values = {13.8f, 13.9f};
    log.channels[3].values = {40, 50};
    log.channels[4].values = {85, 86};
    const LiveValues v = liveValuesAt(log, 1);
    EXPECT_DOUBLE_EQ(*v.get(LiveField::Rpm), 3500);
    EXPECT_FALSE(v.get(LiveField::Vacuum)) << "a missing reading stays missing";
    EXPECT_NEAR(*v.get(LiveField::Battery), 13.9, 1e-5) << "\"Volt\" is the battery";
    EXPECT_DOUBLE_EQ(*v.get(LiveField::WaterTemp), 86) << "another tool's name";
    EXPECT_FALSE(v.get(LiveField::Throttle)) << "a percentage is no sensor reading";
    EXPECT_FALSE(liveValuesAt(log, 7).get(LiveField::Rpm)) << "a row past the end gives nothing";
    const ChannelFields fields = liveFieldsOf(log);
    ASSERT_EQ(fields.size(), log.channels.size());
    EXPECT_EQ(fields[0], LiveField::Rpm);
    EXPECT_EQ(fields[3], std::nullopt) << "a percentage is no sensor reading";
    const LiveValues same = liveValuesAt(log, fields, 1);
    for (LiveField f : {LiveField::Rpm, LiveField::Vacuum, LiveField::Battery, LiveField::WaterTemp})
        EXPECT_EQ(same.get(f), v.get(f));
    EXPECT_FALSE(liveValuesAt(log, ChannelFields{}, 1).get(LiveField::Rpm)) << "no fields, no values";

    EXPECT_EQ(channelOf(LogColumn::InjectorMs).unit, "ms");
    EXPECT_EQ(channelOf(LogColumn::Timing).name, "Timing");
}

} // namespace
} // namespace kyr::live
