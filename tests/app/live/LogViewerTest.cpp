// SPDX-License-Identifier: GPL-3.0-or-later
// The "Data Logger" page as recorder and viewer: a row per live record, the
// recording's read-out, markers, the remembered choice of values, the strip
// chart's cursor, and a log file shown with its cursor driving the map
// charts' live bars.

#include "window/AppFixture.h"
#include "app/common/ControlNames.h"

#include "app/live/LivePoll.h"
#include "app/live/LoggerPage.h"
#include "app/live/StripChart.h"
#include "app/maps/MapChartView.h"
#include "live/LogFile.h"
#include "live/LogTrace.h"
#include "maps/Charts.h"

#include <QCheckBox>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QScrollBar>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QXYSeries>

namespace kyr::apptest {

namespace {

using live::LiveField;
using live::LogColumn;

live::LiveValues engineAt(double rpm, double kpa)
{
    live::LiveValues v;
    v.set(LiveField::Rpm, rpm);
    v.set(LiveField::Vacuum, kpa);
    v.set(LiveField::Battery, 13.8);
    v.set(LiveField::WaterTemp, 85);
    return v;
}

// Three seconds of a log: RPM climbing 1000 to 4000, the pressure 30 to 90 kPa.
live::LogData climbingLog()
{
    live::LogData log;
    log.channels = {live::channelOf(LogColumn::Rpm), live::channelOf(LogColumn::Vacuum)};
    for (int i = 0; i <= 30; ++i) {
        log.times.push_back(i * 0.1);
        log.channels[0].values.push_back(static_cast<float>(1000 + i * 100));
        log.channels[1].values.push_back(static_cast<float>(30 + i * 2));
    }
    log.markers.push_back({1.5, "Marker 1"});
    return log;
}

} // namespace

class LogViewerTest : public WindowTest {
protected:
    app::live::LoggerPage* page() const { return window->findChild<app::live::LoggerPage*>(); }
    app::live::LivePoll& poll() const { return window->livePoll(); }
    app::live::StripChart* strip() const { return page()->chart(); }
    /// The poll hands on a record, as it does for each ReadLive answered.
    void feed(const live::LiveValues& v) { emit poll().liveUpdated(v); }
    void choose(std::initializer_list<LogColumn> columns)
    {
        for (const live::LogColumnDef& d : live::logColumnTable())
            page()->columnBox(d.column)->setChecked(std::find(columns.begin(), columns.end(), d.column) != columns.end());
    }
    app::maps::MapChartView* mapChart(maps::ChartId id) const
    {
        const auto name = app::chartLook(id).object;
        return window->findChild<app::maps::MapChartView*>(QString::fromLatin1(name));
    }
    double barX(maps::ChartId id) const
    {
        QXYSeries* s = mapChart(id)->seriesAt(app::chartLook(id).liveSeries);
        return s->count() > 0 ? s->at(0).x() : -1.0;
    }
};

TEST_F(LogViewerTest, EveryRecordIsOneRowOnTheChartAndInTheFile)
{
    showWindow();
    app::live::LoggerPage* p = page();
    qint64 now = 1000;
    p->setClock([&] { return now; });
    choose({LogColumn::Rpm, LogColumn::Vacuum});
    files->saveName = tempFile(QStringLiteral("run.mlg"));
    p->findChild<QCheckBox*>(QStringLiteral("RecordToFile"))->setChecked(true);
    p->OnClick();
    ASSERT_TRUE(p->logging()) << sink->texts(QStringLiteral("warning")).join('\n').toStdString();
    EXPECT_EQ(files->lastFilter, app::live::LogSaveFilter);
    EXPECT_TRUE(app::live::LogSaveFilter.startsWith(QStringLiteral("MLG"))) << "the binary log is offered first";

    constexpr int Records = 37; // far more than 85 ms ticks would take in the time
    for (int i = 0; i < Records; ++i) {
        now += 7;
        feed(engineAt(1000 + i * 50, 40));
        if (i == 20)
            p->addMarker();
    }
    EXPECT_EQ(strip()->log().rows(), static_cast<std::size_t>(Records));
    EXPECT_EQ(p->recordedRecords(), Records);
    ASSERT_EQ(strip()->log().channels.size(), 2u);
    EXPECT_FLOAT_EQ(strip()->log().channels[0].values.back(), 1000 + 36 * 50);
    EXPECT_DOUBLE_EQ(strip()->log().times.front(), 0.007);
    ASSERT_EQ(strip()->log().markers.size(), 1u);
    EXPECT_EQ(strip()->log().markers[0].text, "Marker 1");

    now = 1000 + 62'500;
    p->DataLogTimerTimer();
    const QString shown = p->findChild<QLabel*>(QStringLiteral("LogRecording"))->text();
    EXPECT_TRUE(shown.contains(QStringLiteral("run.mlg"))) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral("1:02.5"))) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral("37 records"))) << shown.toStdString();

    p->OffClick();
    EXPECT_FALSE(p->logging());
    feed(engineAt(5000, 40));
    EXPECT_EQ(strip()->log().rows(), static_cast<std::size_t>(Records)) << "no rows once Off";

    auto back = live::readLog(files->saveName.toStdString());
    ASSERT_TRUE(back.ok()) << back.error().message;
    EXPECT_EQ(back.value().rows(), static_cast<std::size_t>(Records));
    EXPECT_EQ(back.value().markers.size(), 1u);
    EXPECT_TRUE(sink->entries.empty());
}

TEST_F(LogViewerTest, TheChoiceOfValuesIsRememberedAcrossRuns)
{
    makeWindow(); // the settings are those of a first run (a folder of this test run)
    EXPECT_EQ(page()->columnBox(LogColumn::Rpm)->isChecked(), true) << "RPM on the first run";
    choose({LogColumn::Timing, LogColumn::InjectorMs});
    window.reset();

    makeWindow();
    EXPECT_FALSE(page()->columnBox(LogColumn::Rpm)->isChecked());
    EXPECT_TRUE(page()->columnBox(LogColumn::Timing)->isChecked());
    EXPECT_TRUE(page()->columnBox(LogColumn::InjectorMs)->isChecked());
    EXPECT_FALSE(page()->columnBox(LogColumn::Vacuum)->isChecked());
}

TEST_F(LogViewerTest, TheCursorReadsEveryChannelAtTheNearestRow)
{
    showWindow();
    app::live::StripChart* chart = strip();
    chart->resize(800, 400);
    chart->setLog(climbingLog());
    EXPECT_DOUBLE_EQ(chart->viewStart(), 0.0) << "a log opens fitted";
    EXPECT_DOUBLE_EQ(chart->viewSeconds(), 3.0);
    QSignalSpy moved(chart, &app::live::StripChart::cursorMoved);

    chart->setCursorTime(1.26);
    ASSERT_EQ(chart->cursorRow(), 13u);
    EXPECT_EQ(chart->valueText(0, 13), QStringLiteral("2300 RPM"));
    EXPECT_EQ(chart->valueText(1, 13), QStringLiteral("56 kPa"));
    ASSERT_EQ(moved.count(), 1);
    EXPECT_DOUBLE_EQ(moved[0][0].toDouble(), 1.3);

    // A click puts it under the mouse; the arrow keys step on from there.
    const QRect plot = chart->plotRect();
    QTest::mouseClick(chart, Qt::LeftButton, {}, QPoint(static_cast<int>(chart->xOf(2.0)), plot.center().y()));
    EXPECT_EQ(chart->cursorRow(), 20u);
    QTest::keyClick(chart, Qt::Key_Right);
    EXPECT_EQ(chart->cursorRow(), 21u);
    QTest::keyClick(chart, Qt::Key_Left);
    QTest::keyClick(chart, Qt::Key_Left);
    EXPECT_EQ(chart->cursorRow(), 19u);

    // Zoomed in, the scroll bar reaches the whole log; Fit shows it all again.
    QTest::keyClick(chart, Qt::Key_Plus);
    EXPECT_LT(chart->viewSeconds(), 3.0);
    EXPECT_GT(chart->scrollBar()->maximum(), 0);
    chart->scrollBar()->setValue(chart->scrollBar()->maximum());
    EXPECT_NEAR(chart->viewStart() + chart->viewSeconds(), 3.0, 0.002);
    chart->fit();
    EXPECT_DOUBLE_EQ(chart->viewSeconds(), 3.0);
    EXPECT_EQ(chart->scrollBar()->maximum(), 0);
}

// With the cursor at the left edge, each strip's caption is still drawn in
// its trace colour: the read-out beside the cursor goes below it.
TEST_F(LogViewerTest, TheCursorReadoutLeavesTheCaptionsReadable)
{
    showWindow();
    app::live::StripChart* chart = strip();
    chart->resize(800, 400);
    chart->setLog(climbingLog());
    chart->setCursorTime(0.0);
    const QImage image = chart->grab().toImage();
    const QRect plot = chart->plotRect();
    int captionPixels = 0; // the first trace's blue, as the text's edges blend it
    for (int y = plot.top() + 2; y < plot.top() + 18; ++y)
        for (int x = plot.left() + 6; x < plot.left() + 60; ++x)
            captionPixels += qBlue(image.pixel(x, y)) - qRed(image.pixel(x, y)) > 60;
    EXPECT_GT(captionPixels, 20);
}

TEST_F(LogViewerTest, ALiveViewFollowsTheNewestUnlessScrolledBack)
{
    showWindow();
    app::live::StripChart* chart = strip();
    chart->resize(800, 400);
    chart->startLive({live::channelOf(LogColumn::Rpm)});
    for (int i = 0; i < 600; ++i)
        chart->appendRow(i * 0.1, {static_cast<float>(i)});
    EXPECT_TRUE(chart->following());
    EXPECT_NEAR(chart->viewStart() + chart->viewSeconds(), 59.9, 1e-9);
    QTest::qWait(app::live::StripChart::RepaintMs * 3); // the coalesced repaint sets the scroll bar
    chart->scrollBar()->setValue(0);
    EXPECT_FALSE(chart->following());
    chart->appendRow(60.0, {600});
    EXPECT_DOUBLE_EQ(chart->viewStart(), 0.0) << "scrolled back, the view stays";
    QTest::qWait(app::live::StripChart::RepaintMs * 3);
    chart->scrollBar()->setValue(chart->scrollBar()->maximum());
    EXPECT_TRUE(chart->following());
}

TEST_F(LogViewerTest, ABadLogFileLeavesTheViewAsItWas)
{
    showWindow();
    const QString good = tempFile(QStringLiteral("good.csv"));
    {
        auto w = live::LogWriter::create(good.toStdString(), {LogColumn::Rpm, LogColumn::Vacuum}, {});
        ASSERT_TRUE(w.ok()) << w.error().message;
        for (int i = 0; i < 10; ++i)
            ASSERT_TRUE(w.value()->append(i * 0.05, engineAt(2000 + i * 100, 50), {}).ok());
        ASSERT_TRUE(w.value()->close().ok());
    }
    files->openName = good;
    page()->openLog();
    ASSERT_TRUE(page()->viewingLog()) << sink->texts(QStringLiteral("warning")).join('\n').toStdString();
    EXPECT_EQ(strip()->log().rows(), 10u);
    const QString shown = page()->shownText();
    EXPECT_TRUE(shown.contains(QStringLiteral("good.csv"))) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral("10 records"))) << shown.toStdString();

    const QString bad = tempFile(QStringLiteral("bad.mlg"));
    writeText(bad, QByteArray("MLVLG\0\x01 this is no log", 24));
    files->openName = bad;
    page()->openLog();
    ASSERT_EQ(sink->texts(QStringLiteral("warning")).size(), 1);
    EXPECT_TRUE(sink->texts(QStringLiteral("warning"))[0].contains(QStringLiteral("bad.mlg")));
    EXPECT_EQ(strip()->log().rows(), 10u) << "the log shown stays";
    EXPECT_EQ(page()->shownText(), shown);
}

TEST_F(LogViewerTest, RowsLeftOutOfALogAreCountedBesideTheChart)
{
    showWindow();
    const QString path = tempFile(QStringLiteral("clock.csv"));
    writeText(path, "Time,RPM\n0.0,900\n0.5,950\n0.2,14400\nnan,1\n1.0,1000\n");
    files->openName = path;
    page()->openLog();
    ASSERT_TRUE(page()->viewingLog()) << sink->texts(QStringLiteral("warning")).join('\n').toStdString();
    EXPECT_EQ(strip()->log().rows(), 3u);
    const QString shown = page()->shownText();
    EXPECT_TRUE(shown.contains(QStringLiteral("3 records"))) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral("2 rows left out (time not finite or earlier than the row before)")))
        << shown.toStdString();

    writeText(path, "Time,RPM\n0,900\n1e300,950\n");
    page()->openLog();
    EXPECT_TRUE(page()->shownText().contains(QStringLiteral("1e+300 s, 2 records"))) << page()->shownText().toStdString();
}

TEST_F(LogViewerTest, AWideLogShowsAPageOfChannelsAndSaysWhich)
{
    showWindow();
    QByteArray text = "Time";
    for (int c = 0; c < 40; ++c)
        text += ",Ch" + QByteArray::number(c + 1);
    for (int r = 0; r < 3; ++r) {
        text += "\n" + QByteArray::number(r * 0.1);
        for (int c = 0; c < 40; ++c)
            text += "," + QByteArray::number(c * 10 + r);
    }
    const QString path = tempFile(QStringLiteral("wide.csv"));
    writeText(path, text + "\n");
    files->openName = path;
    page()->openLog();
    ASSERT_TRUE(page()->viewingLog()) << sink->texts(QStringLiteral("warning")).join('\n').toStdString();
    app::live::StripChart* chart = strip();
    EXPECT_EQ(chart->log().channels.size(), 40u) << "every channel is read";
    EXPECT_EQ(chart->shownCount(), app::live::StripChart::MaxShown);
    EXPECT_EQ(page()->channelsText(), QStringLiteral("Channels 1 to 16 of 40 are shown (at most 16 at once); Page Up "
                                                     "and Page Down on the chart show the others."));
    QTest::keyClick(chart, Qt::Key_PageDown);
    EXPECT_EQ(chart->firstShown(), 16u);
    QTest::keyClick(chart, Qt::Key_PageDown);
    EXPECT_EQ(chart->firstShown(), 24u) << "the last page is a full one";
    EXPECT_TRUE(page()->channelsText().startsWith(QStringLiteral("Channels 25 to 40 of 40"))) << page()->channelsText().toStdString();
    QImage image(chart->size(), QImage::Format_ARGB32_Premultiplied);
    chart->render(&image);
    QTest::keyClick(chart, Qt::Key_PageUp);
    QTest::keyClick(chart, Qt::Key_PageUp);
    EXPECT_EQ(chart->firstShown(), 0u);

    page()->showLive();
    EXPECT_TRUE(page()->channelsText().isEmpty()) << "the live channels all fit";
}

TEST_F(LogViewerTest, TheCursorOfALogMovesTheMapChartsLiveBars)
{
    connectedWindow(); // the poll is off in these tests
    ASSERT_FALSE(poll().running());
    const QString path = tempFile(QStringLiteral("drive.mlg"));
    {
        auto w = live::LogWriter::create(path.toStdString(), {LogColumn::Rpm, LogColumn::Vacuum, LogColumn::Volt}, {});
        ASSERT_TRUE(w.ok()) << w.error().message;
        for (int i = 0; i <= 20; ++i)
            ASSERT_TRUE(w.value()->append(i * 0.1, engineAt(1000 + i * 150, 30 + i * 3), {}).ok());
        ASSERT_TRUE(w.value()->close().ok());
    }
    files->openName = path;
    page()->openLog();
    ASSERT_TRUE(page()->viewingLog()) << sink->texts(QStringLiteral("warning")).join('\n').toStdString();
    EXPECT_TRUE(poll().replaying());
    EXPECT_NEAR(barX(maps::ChartId::Timing), 10.0, 1e-6) << "the cursor starts on the first row";

    strip()->setCursorTime(1.0);
    EXPECT_NEAR(barX(maps::ChartId::Timing), 25.0, 1e-6);
    EXPECT_NEAR(barX(maps::ChartId::FuelRpm), 25.0, 1e-6);
    EXPECT_NEAR(barX(maps::ChartId::Vacuum), 0.60, 1e-6);
    EXPECT_NEAR(barX(maps::ChartId::Voltage), 13.8, 1e-5);
    EXPECT_EQ(barX(maps::ChartId::Temp), -1.0) << "the log has no temperature";

    page()->showLive();
    EXPECT_FALSE(page()->viewingLog());
    EXPECT_FALSE(poll().replaying());
    EXPECT_EQ(barX(maps::ChartId::Timing), -1.0) << "back to live, and the engine gives nothing";
}

} // namespace kyr::apptest
