// SPDX-License-Identifier: GPL-3.0-or-later
// The real-time poll (Timer1) and what it drives: the "Engine Monitor"
// read-outs, the live bars and realtime tracking of the map charts, and the
// data logger. The window runs against the fake unit with the poll on.

#include "maps/MapEditFixture.h"
#include "app/common/ControlNames.h"

#include "app/live/LivePoll.h"
#include "app/live/LoggerPage.h"
#include "app/live/StripChart.h"
#include "app/live/MonitorPage.h"
#include "app/live/RoundGauge.h"
#include "live/LiveRecord.h"
#include "live/LogFile.h"
#include "link/Protocol.h"

#include <QChart>
#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineSeries>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

namespace kyr::apptest {

namespace {

using live::LiveField;

// A warm engine at 3400 RPM and 62 kPa.
link::Bytes engineRecord()
{
    live::LiveValues v;
    v.set(LiveField::Rpm, 3400);
    v.set(LiveField::Timing, 24.5);
    v.set(LiveField::Vacuum, 62);
    v.set(LiveField::Lambda, 0.45);
    v.set(LiveField::Battery, 13.8);
    v.set(LiveField::InjectorDuty, 12.5);
    v.set(LiveField::WaterTemp, 85);
    v.set(LiveField::AirTemp, 25);
    v.set(LiveField::Throttle, 125);
    v.set(LiveField::Pot, 50);
    const live::LiveBytes b = live::encodeLive(v);
    return link::Bytes(b.begin(), b.end());
}

} // namespace

class LiveTest : public WindowTest {
protected:
    void SetUp() override
    {
        livePollMs = app::live::LivePoll::IntervalMs;
        unit->live = engineRecord();
    }
    void TearDown() override
    {
        unit->holdLive = false; // a held ReadLive would keep the link thread from ending
        WindowTest::TearDown();
    }

    app::live::LivePoll& poll() const { return window->livePoll(); }
    QCheckBox* box(const QString& name) const
    {
        auto* b = qobject_cast<QCheckBox*>(control(name));
        EXPECT_NE(b, nullptr) << name.toStdString();
        return b;
    }
    app::live::MonitorPage* monitor() const { return window->findChild<app::live::MonitorPage*>(); }
    app::live::LoggerPage* logger() const { return window->findChild<app::live::LoggerPage*>(); }
    /// Switches "Analog Signals" off and waits until the last ReadLive is answered.
    void stopPoll()
    {
        box(QStringLiteral("AnalogEn"))->click();
        ASSERT_TRUE(waitFor([this] { return !poll().pending(); }));
        waitIdle();
    }
    int reads() const { return unit->liveReads.load(); }
};

TEST_F(LiveTest, PollRunsOnlyWhileAnalogSignalsIsCheckedAndAUnitIsConnected)
{
    showWindow();
    EXPECT_FALSE(poll().running()) << "no unit connected yet";
    QTest::qWait(100);
    EXPECT_EQ(reads(), 0);

    click(QStringLiteral("spConnect"));
    ASSERT_TRUE(waitFor([this] { return reads() >= 3; })) << "the read checks Analog Signals";
    EXPECT_TRUE(box(QStringLiteral("AnalogEn"))->isChecked());
    EXPECT_TRUE(window->model().state().pollRunning);

    stopPoll();
    EXPECT_FALSE(poll().running());
    EXPECT_FALSE(window->model().state().pollRunning);
    const int stopped = reads();
    QTest::qWait(100);
    EXPECT_EQ(reads(), stopped) << "no ReadLive while Analog Signals is off";

    box(QStringLiteral("AnalogEn"))->click();
    EXPECT_TRUE(waitFor([&] { return reads() > stopped + 2; }));
}

TEST_F(LiveTest, NeverMoreThanOneReadLiveInTheQueue)
{
    connectedWindow();
    ASSERT_TRUE(waitFor([this] { return reads() >= 1; }));
    unit->holdLive = true;
    const int before = reads();
    ASSERT_TRUE(waitFor([&] { return reads() > before; })) << "a ReadLive reaches the unit and waits there";
    const int held = reads();
    QTest::qWait(200); // ten ticks of Timer1 go by
    EXPECT_EQ(reads(), held);
    EXPECT_TRUE(poll().pending());
    EXPECT_EQ(window->linkWorker().pending(), 1) << "the ticks skipped while one was waiting";
    unit->holdLive = false;
    EXPECT_TRUE(waitFor([&] { return reads() >= held + 2; })) << "the poll goes on once it is answered";
}

TEST_F(LiveTest, PollHoldsOffWhileASequenceRuns)
{
    connectedWindow();
    ASSERT_TRUE(waitFor([this] { return reads() >= 1; }));
    std::vector<std::pair<bool, int>> busyAt; // (busy, ReadLives taken) at each change
    QObject::connect(&window->model(), &app::TuneModel::busyChanged, window.get(),
            [&](bool busy) { busyAt.emplace_back(busy, reads()); });
    // A table read, as "Read from KYR" posts it.
    window->linkWorker().readTable();
    EXPECT_FALSE(poll().running()) << "Timer1 stops as soon as the sequence is queued";
    ASSERT_TRUE(waitFor([&] { return busyAt.size() >= 2; }));
    ASSERT_TRUE(busyAt[0].first);
    ASSERT_FALSE(busyAt[1].first);
    EXPECT_EQ(busyAt[1].second, busyAt[0].second) << "no ReadLive between the sequence's commands";
    EXPECT_TRUE(poll().running()) << "and it starts again after";
    const int after = reads();
    EXPECT_TRUE(waitFor([&] { return reads() > after; }));
}

TEST_F(LiveTest, MonitorShowsTheDecodedValues)
{
    connectedWindow();
    app::live::MonitorPage* page = monitor();
    ASSERT_NE(page, nullptr);
    using live::Gauge;
    ASSERT_TRUE(waitFor([&] { return page->gaugeText(Gauge::RpmHundreds) == QStringLiteral("34.0"); }));
    EXPECT_EQ(page->gaugeText(Gauge::KpaTens), QStringLiteral("6.2"));
    EXPECT_EQ(page->gaugeText(Gauge::AirFuel), QStringLiteral("14.7"));
    EXPECT_EQ(page->gaugeText(Gauge::Volts), QStringLiteral("13.8"));
    EXPECT_EQ(page->gaugeText(Gauge::Degrees), QStringLiteral("24.5"));
    EXPECT_EQ(page->gaugeText(Gauge::Celsius), QStringLiteral("85"));
    EXPECT_EQ(page->gaugeText(Gauge::InjectorPercent), QStringLiteral("12.5"));
    EXPECT_EQ(page->gaugeText(Gauge::LambdaVolts), QStringLiteral("0.45"));
    EXPECT_EQ(page->gaugeText(Gauge::AirCelsius), QStringLiteral("25"));
    EXPECT_EQ(page->gaugeText(Gauge::PotPercent), QStringLiteral("50"));
    EXPECT_EQ(page->gaugeText(Gauge::InjectorMs), QStringLiteral("2.21")) << "as the logger writes it";
    EXPECT_TRUE(page->gauge(Gauge::RpmHundreds)->live());
    EXPECT_TRUE(page->gauge(Gauge::RpmHundreds)->isEnabled());

    stopPoll();
    EXPECT_EQ(page->gaugeText(Gauge::RpmHundreds), QStringLiteral("--")) << "no stale values once the poll stops";
    EXPECT_FALSE(page->gauge(Gauge::RpmHundreds)->live());
    EXPECT_FALSE(page->gauge(Gauge::RpmHundreds)->isEnabled()) << "greyed out";
}

TEST_F(LiveTest, ShortLiveRepliesShowNoValues)
{
    unit->live = {10, 20, 30};
    connectedWindow();
    QSignalSpy missed(&poll(), &app::live::LivePoll::liveMissed);
    ASSERT_TRUE(waitFor([&] { return missed.count() >= 2; }));
    EXPECT_EQ(monitor()->gaugeText(live::Gauge::RpmHundreds), QStringLiteral("--"));
    EXPECT_FALSE(poll().latest());
    EXPECT_TRUE(window->findChild<QLabel*>(QStringLiteral("LiveState"))->text().contains(QStringLiteral("3 of 10")));
}

// ---------------------------------------------------------------- data logger

TEST_F(LiveTest, LoggerRecordsTheChosenColumnsToCsv)
{
    connectedWindow();
    app::live::LoggerPage* page = logger();
    ASSERT_NE(page, nullptr);
    files->saveName = tempFile(QStringLiteral("run.csv"));
    page->columnBox(live::LogColumn::Vacuum)->setChecked(true);
    page->columnBox(live::LogColumn::InjectorMs)->setChecked(true);
    box(QStringLiteral("RecordToFile"))->setChecked(true);
    page->OnClick();
    ASSERT_TRUE(page->logging());
    EXPECT_EQ(files->lastFilter, app::live::LogSaveFilter);
    EXPECT_FALSE(page->columnBox(live::LogColumn::Rpm)->isEnabled()) << "the columns are fixed while it runs";
    ASSERT_TRUE(waitFor([&] { return page->recordedRecords() >= 3; }));
    page->OffClick();
    EXPECT_FALSE(page->logging());

    auto read = live::readLog(files->saveName.toStdString());
    ASSERT_TRUE(read.ok()) << read.error().message;
    const live::LogData& log = read.value();
    ASSERT_EQ(log.channels.size(), 3u);
    EXPECT_EQ(log.channels[0].name, "RPM");
    EXPECT_EQ(log.channels[2].name, "Injector (ms)");
    ASSERT_GE(log.rows(), 3u);
    for (std::size_t r = 0; r < log.rows(); ++r) {
        if (r > 0)
            EXPECT_GE(log.times[r], log.times[r - 1]) << "time never goes back (records may share a millisecond)";
        EXPECT_FLOAT_EQ(log.channels[0].values[r], 3400);
        EXPECT_FLOAT_EQ(log.channels[1].values[r], 62);
        EXPECT_NEAR(log.channels[2].values[r], 2.21, 0.005);
    }
    const live::LogData& shown = page->chart()->log();
    ASSERT_EQ(shown.channels.size(), 3u) << "an unchosen value is not charted";
    EXPECT_EQ(shown.channels[1].name, "Vacuum");
    EXPECT_GE(shown.rows(), 3u) << "Display Chart plots as it records";
    EXPECT_TRUE(sink->entries.empty());
}

TEST_F(LiveTest, LoggerReportsAFileItCannotWrite)
{
    connectedWindow();
    app::live::LoggerPage* page = logger();
    files->saveName = tempFile(QStringLiteral("no-such-folder/run.csv"));
    box(QStringLiteral("RecordToFile"))->setChecked(true);
    page->OnClick();
    EXPECT_FALSE(page->logging());
    ASSERT_EQ(sink->texts(QStringLiteral("warning")).size(), 1);
    EXPECT_TRUE(sink->texts(QStringLiteral("warning"))[0].contains(files->saveName));
    EXPECT_FALSE(QFile::exists(files->saveName));

    files->saveName.clear(); // the user cancels the file dialog
    page->OnClick();
    EXPECT_FALSE(page->logging()) << "no file chosen, no recording";
}

// The log's save dialog offers logs and names a log "run.csv", never
// "run.kyr"; a map file chosen all the same is refused and left as it was.
TEST_F(LiveTest, LoggerNeverWritesOverATune)
{
    connectedWindow();
    app::live::LoggerPage* page = logger();
    box(QStringLiteral("RecordToFile"))->setChecked(true);
    files->saveName.clear();
    page->OnClick();
    ASSERT_EQ(files->saves, 1);
    const auto dialog = app::QtFileChooser::saveDialog(nullptr, QStringLiteral("Record to File"), files->lastFilter);
    EXPECT_EQ(dialog->defaultSuffix(), QStringLiteral("mlg"));
    EXPECT_FALSE(dialog->nameFilters().join(';').contains(QStringLiteral("kyr")));
    EXPECT_EQ(app::QtFileChooser::saveDialog(nullptr, {}, app::MapFileFilter)->defaultSuffix(), QStringLiteral("kyr"))
        << "a tune still gets its own suffix";

    const QString tune = tempFile(QStringLiteral("tune.kyr"));
    const QString renamed = tempFile(QStringLiteral("tune.csv")); // a tune under another suffix
    ASSERT_TRUE(files::saveMapFile(tune.toStdString(), demoTune()).ok());
    ASSERT_TRUE(files::saveMapFile(renamed.toStdString(), demoTune()).ok());
    const QByteArray before = readAll(tune);
    for (const QString& name : {tune, renamed, tempFile(QStringLiteral("NEW.KYR"))}) {
        SCOPED_TRACE(name.toStdString());
        sink->entries.clear();
        files->saveName = name;
        page->OnClick();
        EXPECT_FALSE(page->logging());
        ASSERT_EQ(sink->texts(QStringLiteral("warning")).size(), 1);
        EXPECT_TRUE(sink->texts(QStringLiteral("warning"))[0].contains(QFileInfo(name).fileName()));
    }
    EXPECT_EQ(readAll(tune), before);
    EXPECT_EQ(readAll(renamed), before);
    EXPECT_FALSE(QFile::exists(tempFile(QStringLiteral("NEW.KYR"))));

    files->saveName = tempFile(QStringLiteral("run.csv"));
    page->OnClick();
    EXPECT_TRUE(page->logging()) << "a log's own name is taken";
    page->OffClick();
}

TEST_F(LiveTest, LoggerWithoutLiveDataAddsNothing)
{
    showWindow(); // no unit: no poll
    app::live::LoggerPage* page = logger();
    page->OnClick();
    ASSERT_TRUE(page->logging());
    for (int i = 0; i < 3; ++i)
        page->DataLogTimerTimer();
    EXPECT_EQ(page->chart()->log().rows(), 0u);
    page->OffClick();
}

// ---------------------------------------------------------------- map charts

class LiveTrackingTest : public MapEditTest {
protected:
    void SetUp() override
    {
        livePollMs = app::live::LivePoll::IntervalMs;
        unit->live = engineRecord();
        makeWindow();
        window->resize(1300, 900);
        connectedWindow();
        QApplication::setActiveWindow(window.get());
    }
    app::live::LivePoll& poll() const { return window->livePoll(); }
    QCheckBox* box(const char* name) const { return qobject_cast<QCheckBox*>(control(QString::fromLatin1(name))); }
};

TEST_F(LiveTrackingTest, LiveBarsStandAtTheOperatingPoint)
{
    ASSERT_TRUE(waitFor([this] { return poll().latest().has_value(); }));
    auto barX = [this](maps::ChartId id) {
        QXYSeries* s = chart(id)->seriesAt(app::chartLook(id).liveSeries);
        return s->count() > 0 ? s->at(0).x() : -1.0;
    };
    EXPECT_DOUBLE_EQ(barX(maps::ChartId::Timing), 34.0);
    EXPECT_DOUBLE_EQ(barX(maps::ChartId::FuelRpm), 34.0);
    EXPECT_DOUBLE_EQ(barX(maps::ChartId::Vacuum), 0.62);
    EXPECT_DOUBLE_EQ(barX(maps::ChartId::FuelVac), 0.62);
    EXPECT_DOUBLE_EQ(barX(maps::ChartId::Temp), 85.0);
    EXPECT_DOUBLE_EQ(barX(maps::ChartId::Voltage), 13.8);
}

TEST_F(LiveTrackingTest, TrackingMovesTheKeyCursorsToTheEngine)
{
    hover(maps::ChartId::Timing, 10, 20);
    ASSERT_TRUE(waitFor([this] { return poll().latest().has_value(); }));
    EXPECT_DOUBLE_EQ(editor().cursorX(maps::ChartId::Timing), 10) << "without tracking the cursor stays";

    ASSERT_TRUE(box("RT_Track")->isEnabled());
    box("RT_Track")->click();
    ASSERT_TRUE(waitFor([this] { return editor().cursorX(maps::ChartId::Timing) == 34.0; }));
    EXPECT_DOUBLE_EQ(editor().cursorX(maps::ChartId::FuelRpm), 34.0);
    EXPECT_DOUBLE_EQ(editor().cursorX(maps::ChartId::Vacuum), 0.62);
    EXPECT_DOUBLE_EQ(editor().cursorX(maps::ChartId::FuelVac), 0.62) << "the vacuum charts share a cursor";

    // The next key edits the point the engine runs on.
    box("AnalogEn")->click();
    ASSERT_TRUE(waitFor([this] { return !poll().pending(); }));
    waitIdle();
    unit->device.clearWritten();
    const double old = modelValue(table::MapId::TimingRpm, 34);
    ASSERT_LT(old, 45);
    tap(Qt::Key_Up);
    const auto writes = pointWrites();
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0], (link::Bytes{0xE8, 33, static_cast<uint8_t>(old + 1)}));
}

} // namespace kyr::apptest
