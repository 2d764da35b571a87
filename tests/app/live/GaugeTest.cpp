// SPDX-License-Identifier: GPL-3.0-or-later
// The round gauges of the "Engine Monitor": greying out when the records
// stop, repainting only what changed, the limits dialog and the settings that
// keep its limits, and the page going grey when the link is lost.

#include "window/AppFixture.h"

#include "FakeClock.h"
#include "app/live/GaugeLimitsDialog.h"
#include "app/live/LivePoll.h"
#include "app/live/MonitorPage.h"
#include "app/live/RoundGauge.h"
#include "app/common/TuneModel.h"
#include "live/LiveRecord.h"

#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QTest>

#include <set>

namespace kyr::apptest {

namespace {

using live::Gauge;
using live::GaugeZone;
using Column = app::live::GaugeLimitsDialog::Column;

const live::GaugeDef& battery() { return live::gaugeDef(Gauge::Volts); }

class GaugeSettingsTest : public ::testing::Test {
protected:
    std::unique_ptr<QSettings> settings() const
    {
        return std::make_unique<QSettings>(m_dir.filePath(QStringLiteral("kyr.ini")), QSettings::IniFormat);
    }
    QByteArray settingsBytes() const
    {
        QFile f(m_dir.filePath(QStringLiteral("kyr.ini")));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QTemporaryDir m_dir;
    RecordingSink m_sink;
};

} // namespace

TEST(RoundGaugeTest, GreysOutHalfASecondAfterTheLastValueAndComesBack)
{
    link::FakeClock clock(0xFFFFFF00u); // across the tick counter's wrap
    app::live::RoundGauge gauge(battery(), clock);
    EXPECT_EQ(gauge.text(), QStringLiteral("--"));
    EXPECT_FALSE(gauge.live());

    gauge.setValue(13.84);
    EXPECT_EQ(gauge.text(), QStringLiteral("13.8"));
    EXPECT_TRUE(gauge.live());
    clock.advance(app::live::RoundGauge::StaleMs - 1);
    gauge.checkStale();
    EXPECT_TRUE(gauge.live());
    clock.advance(1);
    gauge.checkStale();
    EXPECT_FALSE(gauge.live());
    EXPECT_EQ(gauge.text(), QStringLiteral("--"));

    gauge.setValue(12.9);
    EXPECT_TRUE(gauge.live()) << "a new record brings it back";
    EXPECT_EQ(gauge.text(), QStringLiteral("12.9"));
    gauge.setValue(std::nullopt);
    EXPECT_EQ(gauge.text(), QStringLiteral("--")) << "a channel the unit did not give";
    gauge.setValue(12.9);
    gauge.clear();
    EXPECT_FALSE(gauge.live());
}

TEST(RoundGaugeTest, DigitsTakeTheZoneOfTheLimits)
{
    link::FakeClock clock;
    app::live::RoundGauge gauge(battery(), clock);
    gauge.setValue(13.8);
    EXPECT_EQ(gauge.zone(), GaugeZone::Normal);
    gauge.setValue(11.6);
    EXPECT_EQ(gauge.zone(), GaugeZone::Warning) << "battery sagging: the low end warns";
    gauge.setValue(15.9);
    EXPECT_EQ(gauge.zone(), GaugeZone::Danger);
    gauge.setLimits({});
    EXPECT_EQ(gauge.zone(), GaugeZone::Normal) << "new limits take the value shown at once";
    gauge.setValue(20);
    EXPECT_EQ(gauge.text(), QStringLiteral("20.0")) << "a value off the scale still reads as it is";
}

TEST(RoundGaugeTest, RepaintsOnlyAChangeAndAtMostOnceAFrame)
{
    link::FakeClock clock;
    app::live::RoundGauge gauge(battery(), clock);
    gauge.resize(200, 200);
    gauge.setValue(13.8);
    ASSERT_EQ(gauge.repaints(), 1);
    for (double v : {13.8, 13.8 + 1e-9}) {
        gauge.setValue(v);
        EXPECT_EQ(gauge.repaints(), 1) << "same digits, same needle pixel: nothing to paint";
    }
    ASSERT_TRUE(waitFor([&] { return !gauge.holding(); }));
    gauge.setValue(12.0);
    const int first = gauge.repaints();
    EXPECT_EQ(first, 2);
    for (double v : {12.5, 13.0, 14.0, 15.0})
        gauge.setValue(v); // all within one frame
    EXPECT_EQ(gauge.repaints(), first) << "held to the frame";
    EXPECT_EQ(gauge.text(), QStringLiteral("15.0")) << "the newest value wins";
    ASSERT_TRUE(waitFor([&] { return gauge.repaints() == first + 1; }));
    QTest::qWait(3 * app::live::RoundGauge::FrameMs);
    EXPECT_EQ(gauge.repaints(), first + 1) << "one repaint for the values held";
}

TEST_F(GaugeSettingsTest, LimitsSetInTheDialogAreSavedAndLoadedAgain)
{
    {
        app::live::GaugeLimitStore store(settings());
        app::live::GaugeLimitsDialog dialog(store, m_sink);
        EXPECT_EQ(dialog.field(Gauge::Volts, Column::LowWarning)->text(), QStringLiteral("12"));
        EXPECT_EQ(dialog.field(Gauge::Celsius, Column::LowWarning)->text(), QString()) << "unused: empty";
        dialog.field(Gauge::Volts, Column::LowWarning)->setText(QStringLiteral("12.4"));
        dialog.field(Gauge::Volts, Column::HighDanger)->clear();
        dialog.field(Gauge::Celsius, Column::HighWarning)->setText(QStringLiteral(" 95 "));
        dialog.accept();
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_TRUE(m_sink.entries.empty());
    }
    app::live::GaugeLimitStore again(settings());
    const app::live::GaugeLimitSet loaded = again.load();
    const auto at = [&](Gauge g) { return loaded[&live::gaugeDef(g) - live::gaugeTable().data()]; };
    EXPECT_EQ(at(Gauge::Volts), (live::GaugeLimits{11, 12.4, 14.8, std::nullopt}));
    EXPECT_EQ(at(Gauge::Celsius).highWarning, 95);
    EXPECT_EQ(at(Gauge::RpmHundreds), live::gaugeDef(Gauge::RpmHundreds).limits) << "untouched: the defaults";

    app::live::GaugeLimitsDialog dialog(again, m_sink);
    EXPECT_EQ(dialog.field(Gauge::Volts, Column::LowWarning)->text(), QStringLiteral("12.4"));
    dialog.restoreDefaults();
    EXPECT_EQ(dialog.field(Gauge::Volts, Column::LowWarning)->text(), QStringLiteral("12"));
    EXPECT_EQ(dialog.field(Gauge::Volts, Column::HighDanger)->text(), QStringLiteral("15.5"));
}

TEST_F(GaugeSettingsTest, ABadLimitIsNamedAndNothingIsSaved)
{
    app::live::GaugeLimitStore store(settings());
    const QByteArray before = settingsBytes();
    app::live::GaugeLimitsDialog dialog(store, m_sink);
    dialog.field(Gauge::RpmHundreds, Column::HighWarning)->setText(QStringLiteral("60")); // a good one first
    struct Case {
        Gauge gauge;
        Column column;
        const char* text;
        const char* says;
    };
    for (const Case& c : {Case{Gauge::Volts, Column::HighDanger, "14", "must lie above the high warning limit"},
                          Case{Gauge::Volts, Column::HighDanger, "17", "outside the scale 8.0 to 16.0"},
                          Case{Gauge::Celsius, Column::LowWarning, "hot", "\"hot\" is not a number"},
                          Case{Gauge::Volts, Column::LowDanger, "12.5", "must lie above the low danger limit"}}) {
        SCOPED_TRACE(c.text);
        dialog.restoreDefaults();
        dialog.field(Gauge::RpmHundreds, Column::HighWarning)->setText(QStringLiteral("60"));
        m_sink.entries.clear();
        dialog.field(c.gauge, c.column)->setText(QString::fromLatin1(c.text));
        dialog.accept();
        EXPECT_NE(dialog.result(), QDialog::Accepted);
        ASSERT_EQ(m_sink.texts(QStringLiteral("warning")).size(), 1u);
        const QString text = m_sink.texts(QStringLiteral("warning"))[0];
        EXPECT_TRUE(text.contains(QString::fromLatin1(c.says))) << text.toStdString();
        EXPECT_TRUE(text.startsWith(QString::fromUtf8(live::gaugeDef(c.gauge).name.data()))) << text.toStdString();
        EXPECT_EQ(settingsBytes(), before) << "not even the good limit is kept";
    }
}

// ---------------------------------------------------------------- the page

class MonitorGaugeTest : public WindowTest {
protected:
    void SetUp() override { livePollMs = app::live::LivePoll::IntervalMs; }
    app::live::LivePoll& poll() const { return window->livePoll(); }
};

TEST_F(MonitorGaugeTest, ThePageShowsARecordGreysOutWhenItStopsAndTakesItsSavedLimits)
{
    makeWindow();
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("kyr.ini"));
    {
        QSettings s(ini, QSettings::IniFormat);
        s.setValue(QStringLiteral("GaugeLimits/battery"), QStringLiteral(";13;;"));
        s.setValue(QStringLiteral("GaugeLimits/water"), QStringLiteral("bad")); // edited by hand: defaults
    }
    link::FakeClock clock;
    app::live::MonitorPage page({window->model(), window->linkWorker(), *sink}, window->livePoll(), nullptr, clock,
                          std::make_unique<QSettings>(ini, QSettings::IniFormat));
    EXPECT_EQ(page.gauge(Gauge::Volts)->limits(), (live::GaugeLimits{std::nullopt, 13, std::nullopt, std::nullopt}));
    EXPECT_EQ(page.gauge(Gauge::Celsius)->limits(), live::gaugeDef(Gauge::Celsius).limits);

    live::LiveValues v;
    v.set(live::LiveField::Rpm, 2500);
    v.set(live::LiveField::Battery, 12.6);
    emit poll().liveUpdated(v);
    EXPECT_EQ(page.gaugeText(Gauge::RpmHundreds), QStringLiteral("25.0"));
    EXPECT_EQ(page.gauge(Gauge::Volts)->zone(), GaugeZone::Warning);
    EXPECT_EQ(page.gaugeText(Gauge::Celsius), QStringLiteral("--")) << "no reading in the record";
    EXPECT_TRUE(page.gauge(Gauge::RpmHundreds)->isEnabled());

    clock.advance(app::live::RoundGauge::StaleMs);
    page.checkStale();
    EXPECT_EQ(page.gaugeText(Gauge::RpmHundreds), QStringLiteral("--"));
    EXPECT_FALSE(page.gauge(Gauge::RpmHundreds)->live());
    emit poll().liveUpdated(v);
    EXPECT_TRUE(page.gauge(Gauge::RpmHundreds)->live());

    // The grid reflows: a wide page puts more gauges in a row than a narrow one.
    const auto columns = [&] {
        std::set<int> xs;
        for (const live::GaugeDef& d : live::gaugeTable())
            xs.insert(page.gauge(d.gauge)->x());
        return xs.size();
    };
    page.show();
    page.resize(1400, 600);
    QCoreApplication::processEvents();
    const std::size_t wide = columns();
    page.resize(420, 1600);
    QCoreApplication::processEvents();
    EXPECT_GT(wide, columns());
    EXPECT_GE(columns(), 2u) << "two columns fill a tall, narrow page better than one";
    EXPECT_GT(page.gauge(Gauge::RpmHundreds)->width(), 150) << "the gauges keep a readable size";
}

TEST_F(MonitorGaugeTest, ALostLinkGreysThePageOut)
{
    unit->live = {};
    live::LiveValues v;
    v.set(live::LiveField::Rpm, 3400);
    const live::LiveBytes b = live::encodeLive(v);
    unit->live = link::Bytes(b.begin(), b.end());
    connectedWindow();
    auto* page = window->findChild<app::live::MonitorPage*>();
    ASSERT_TRUE(waitFor([&] { return page->gaugeText(Gauge::RpmHundreds) == QStringLiteral("34.0"); }));

    window->model().followLink(std::string("14:03:12"), 0);
    EXPECT_FALSE(poll().running());
    EXPECT_EQ(page->gaugeText(Gauge::RpmHundreds), QStringLiteral("--"));
    EXPECT_FALSE(page->gauge(Gauge::RpmHundreds)->isEnabled());
    EXPECT_EQ(window->findChild<QLabel*>(QStringLiteral("LiveState"))->text(), QStringLiteral("Link lost: no live data"));
}

} // namespace kyr::apptest
