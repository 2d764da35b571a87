// SPDX-License-Identifier: GPL-3.0-or-later
// The strip chart at the edges of its range: logs longer than the scroll
// bar's whole numbers can count in milliseconds, times near the largest a
// double holds, and rows appended out of order.

#include "app/live/StripChart.h"
#include "live/LogTrace.h"

#include <QImage>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace kyr::apptest {

namespace {

live::LogData logAt(std::initializer_list<double> times)
{
    live::LogData log;
    log.channels = {live::channelOf(live::LogColumn::Rpm)};
    for (double t : times) {
        log.times.push_back(t);
        log.channels[0].values.push_back(static_cast<float>(1000 + log.times.size() * 100));
    }
    return log;
}

// Zooms in, scrolls to each end, and draws there: the view must stay finite,
// inside the log, and reach its last row.
void scrollEnds(app::live::StripChart& chart, double first, double last)
{
    chart.resize(800, 400);
    QImage image(chart.size(), QImage::Format_ARGB32_Premultiplied);
    chart.render(&image);
    chart.setView(first, (last - first) / 1000);
    QScrollBar* bar = chart.scrollBar();
    ASSERT_GT(bar->maximum(), 0) << "zoomed in, the log is wider than the view";
    EXPECT_GE(bar->pageStep(), 1);
    bar->setValue(bar->maximum());
    EXPECT_TRUE(std::isfinite(chart.viewStart()));
    EXPECT_NEAR((chart.viewStart() + chart.viewSeconds() - first) / (last - first), 1.0, 1e-3);
    chart.render(&image);
    chart.setCursorTime(last);
    EXPECT_EQ(chart.cursorRow(), chart.log().rows() - 1);
    chart.render(&image);
    bar->setValue(0);
    EXPECT_DOUBLE_EQ(chart.viewStart(), first);
    QTest::keyClick(&chart, Qt::Key_Minus);
    chart.zoom(1e6, chart.timeAt(-1e9));
    EXPECT_TRUE(std::isfinite(chart.viewStart()));
    EXPECT_TRUE(std::isfinite(chart.viewSeconds()));
    chart.render(&image);
}

} // namespace

TEST(StripChartRange, ALogLongerThanTheScrollBarCountsInMillisecondsScrollsToItsEnd)
{
    constexpr double Day = 86400;
    app::live::StripChart chart;
    chart.setLog(logAt({0, Day, 10 * Day, 30 * Day}));
    scrollEnds(chart, 0, 30 * Day);
}

TEST(StripChartRange, HugeTimesKeepTheViewFinite)
{
    const double big = std::numeric_limits<double>::max() / 2;
    for (auto times : {std::initializer_list<double>{1e300, 1.5e300, 2e300},
                       std::initializer_list<double>{-big, 0, big}}) {
        app::live::StripChart chart;
        chart.setLog(logAt(times));
        scrollEnds(chart, *times.begin(), *(times.end() - 1));
    }
}

TEST(StripChartRange, LiveRowsOutOfOrderNeverMakeTheTimesGoBack)
{
    app::live::StripChart chart;
    chart.startLive({live::channelOf(live::LogColumn::Rpm)});
    for (double t : {0.1, 0.2, std::nan(""), 0.15, std::numeric_limits<double>::infinity(), 0.3})
        chart.appendRow(t, {1000});
    const std::vector<double>& times = chart.log().times;
    EXPECT_EQ(times, (std::vector<double>{0.1, 0.2, 0.2, 0.3})) << "late rows keep their place, no-time rows go";
    EXPECT_EQ(chart.log().channels[0].values.size(), times.size());
}

} // namespace kyr::apptest
