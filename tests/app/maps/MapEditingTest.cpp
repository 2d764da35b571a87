// SPDX-License-Identifier: GPL-3.0-or-later
// Map editing through the real window and its charts: drags, keys, undo,
// the fixed axes, and the bytes each edit puts on the wire.

#include "maps/MapEditFixture.h"
#include "app/common/ControlNames.h"

#include <QAbstractButton>

#include "app/maps/ChartReadout.h"
#include "app/maps/MapPage.h"
#include "app/maps/MapTableView.h"
#include "app/maps/TimingPage.h"

#include <QFileInfo>
#include <QFrame>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>
#include <QUndoStack>
#include <QValueAxis>
#include <QXYSeries>

using namespace kyr;
using namespace kyr::apptest;
using maps::ChartId;
using table::MapId;

namespace {

struct DragCase {
    ChartId chart;
    MapId map;
    int index;
    double value;
    const char* radio; // the map choice to make first, or null
};

const DragCase kDrags[] = {
    {ChartId::Timing, MapId::TimingRpm, 30, 33, nullptr},
    {ChartId::Vacuum, MapId::TimingVac, 16, -4, nullptr},
    {ChartId::FuelVac, MapId::FuelVac, 40, 12, nullptr},
    {ChartId::FuelRpm, MapId::FuelCruise, 20, 7, nullptr},
    {ChartId::FuelRpm, MapId::FuelLow, 10, -8, "RadioLow"},
    {ChartId::FuelRpm, MapId::FuelHigh, 25, 15, "RadioHigh"},
    {ChartId::Temp, MapId::WaterTemp, 12, 30, nullptr},
    {ChartId::AirTmp, MapId::AirTempFuel, 6, 5, nullptr},
    {ChartId::AirTmp, MapId::AirTempTiming, 8, -6, "RadioTiming"},
    {ChartId::Voltage, MapId::Voltage, 9, 20, nullptr},
};

} // namespace

TEST_F(MapEditTest, ChartsShowTheReadTableOnTheFixedAxes)
{
    for (const auto& def : maps::chartTable()) {
        app::maps::MapChartView* c = chart(def.id);
        EXPECT_TRUE(c->isEnabled()) << app::chartLook(def.id).object;
        for (const auto& curve : def.curves)
            EXPECT_EQ(c->curve(curve.map)->count(), maps::pointCount(curve.map, editor().axes())) << app::chartLook(def.id).object;
    }
    EXPECT_EQ(chart(ChartId::Timing)->bottomAxis()->max(), 70);
    EXPECT_NEAR(chart(ChartId::Vacuum)->bottomAxis()->max(), 1.2, 1e-9);
    EXPECT_EQ(curveY(MapId::TimingRpm, 30), modelValue(MapId::TimingRpm, 30));
}

TEST_F(MapEditTest, ADragOnEachChartSendsItsWritePointAndMovesTheCurve)
{
    for (const DragCase& d : kDrags) {
        SCOPED_TRACE(table::mapDef(d.map).name.data());
        if (d.radio)
            qobject_cast<QRadioButton*>(control(QString::fromLatin1(d.radio)))->click();
        ASSERT_NE(modelValue(d.map, d.index), d.value) << "the demo value must differ";
        unit->device.clearWritten();
        clickAt(d.chart, xOf(d.map, d.index), d.value);
        const auto writes = pointWrites();
        ASSERT_EQ(writes.size(), 1u);
        EXPECT_EQ(writes[0], bytesOf(maps::makeWritePoint(d.map, d.index, d.value)));
        EXPECT_EQ(curveY(d.map, d.index), d.value);
        EXPECT_EQ(modelValue(d.map, d.index), d.value) << "Write encodes the model's arrays";
    }
    // The low fuel map went out on its own bank: 0xCA, index i - 1.
    qobject_cast<QRadioButton*>(control(QStringLiteral("RadioLow")))->click();
    unit->device.clearWritten();
    clickAt(ChartId::FuelRpm, xOf(MapId::FuelLow, 3), 9);
    ASSERT_EQ(pointWrites().size(), 1u);
    EXPECT_EQ(pointWrites()[0], (link::Bytes{0xCA, 2, 109}));
}

TEST_F(MapEditTest, WriteSendsTheEditedMapsButAnEditLeavesTheImageUnchanged)
{
    clickAt(ChartId::Timing, 30, 33);
    hover(ChartId::Vacuum, xOf(MapId::TimingVac, 10), 0);
    tap(Qt::Key_Up);
    const double vac10 = modelValue(MapId::TimingVac, 10);
    const auto& flags = window->model().state().flags;
    EXPECT_FALSE(flags.ImageChanged) << "map edits change only the working map";
    EXPECT_TRUE(button(QStringLiteral("spWrite"))->isEnabled());

    unit->device.clearWritten();
    click(QStringLiteral("spWrite"));
    waitIdle();
    const auto& writes = unit->device.writes();
    ASSERT_GE(writes.size(), 3u);
    const link::Bytes& image = writes[2]; // after the backup read and the WriteTable byte
    ASSERT_EQ(image.size(), static_cast<std::size_t>(table::TableSize));
    const auto& timing = table::mapDef(MapId::TimingRpm);
    const auto& vacuum = table::mapDef(MapId::TimingVac);
    EXPECT_EQ(image[table::pointOffset(timing, 30)], table::mapRawByte(timing, 33));
    EXPECT_EQ(image[table::pointOffset(vacuum, 10)], table::mapRawByte(vacuum, vac10));
}

TEST_F(MapEditTest, AWholeDragIsOneStepAndEveryMoveIsSent)
{
    app::maps::MapChartView* c = chart(ChartId::Timing);
    showPageOf(c);
    const double old30 = modelValue(MapId::TimingRpm, 30);
    const double old31 = modelValue(MapId::TimingRpm, 31);
    const uint8_t new31 = static_cast<uint8_t>(old31 > 20 ? old31 - 8 : old31 + 8);
    QTest::mousePress(c->viewport(), Qt::LeftButton, {}, pixel(ChartId::Timing, 30, 10));
    QTest::mouseMove(c->viewport(), pixel(ChartId::Timing, 30, 20));
    QTest::mouseMove(c->viewport(), pixel(ChartId::Timing, 31, new31));
    QTest::mouseRelease(c->viewport(), Qt::LeftButton, {}, pixel(ChartId::Timing, 31, new31));
    waitIdle();
    EXPECT_EQ(pointWrites(), (std::vector<link::Bytes>{{0xE8, 29, 10}, {0xE8, 29, 20}, {0xE8, 30, new31}}));
    auto* page = window->findChild<app::maps::TimingPage*>();
    ASSERT_EQ(page->undoStack()->count(), 1);

    unit->device.clearWritten();
    c->setFocus();
    tap(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(modelValue(MapId::TimingRpm, 30), old30);
    EXPECT_EQ(curveY(MapId::TimingRpm, 30), old30);
    const auto undone = pointWrites();
    ASSERT_EQ(undone.size(), 2u) << "undo sends each restored point";
    EXPECT_EQ(undone[0], bytesOf(maps::makeWritePoint(MapId::TimingRpm, 30, old30)));
    EXPECT_EQ(undone[1], bytesOf(maps::makeWritePoint(MapId::TimingRpm, 31, old31)));

    unit->device.clearWritten();
    tap(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(modelValue(MapId::TimingRpm, 30), 20);
    EXPECT_EQ(modelValue(MapId::TimingRpm, 31), new31);
    EXPECT_EQ(pointWrites(), (std::vector<link::Bytes>{{0xE8, 29, 20}, {0xE8, 30, new31}}));

    tap(Qt::Key_Z, Qt::ControlModifier);
    unit->device.clearWritten();
    tap(Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(pointWrites(), (std::vector<link::Bytes>{{0xE8, 29, 20}, {0xE8, 30, new31}})) << "Ctrl+Y redoes too";
}

TEST_F(MapEditTest, WithMouseTuningOffADragChangesAndSendsNothing)
{
    click(QStringLiteral("SpeedButton3"));
    ASSERT_FALSE(window->model().mouseTuning());
    for (const DragCase& d : kDrags) {
        const double before = modelValue(d.map, d.index);
        clickAt(d.chart, xOf(d.map, d.index), d.value);
        EXPECT_EQ(modelValue(d.map, d.index), before);
        EXPECT_EQ(curveY(d.map, d.index), before);
    }
    EXPECT_TRUE(pointWrites().empty());
}

TEST_F(MapEditTest, KeysEditTheKeyTargetAndTheKeyUpSends)
{
    hover(ChartId::Timing, 30, 20);
    ASSERT_EQ(QApplication::focusWidget(), chart(ChartId::Timing)) << "the mouse gives the chart the keys";
    const double old = modelValue(MapId::TimingRpm, 30);

    press(Qt::Key_Up);
    EXPECT_EQ(modelValue(MapId::TimingRpm, 30), old + 1);
    EXPECT_EQ(curveY(MapId::TimingRpm, 30), old + 1);
    const auto bar = chart(ChartId::Timing)->seriesAt(0)->points();
    EXPECT_EQ(bar, (QList<QPointF>{{30, 0}, {30, 45}})) << "the key-cursor bar stands at the point";
    waitIdle();
    EXPECT_TRUE(pointWrites().empty()) << "nothing goes before the key-up";
    release(Qt::Key_Up);
    EXPECT_EQ(pointWrites(), (std::vector<link::Bytes>{bytesOf(maps::makeWritePoint(MapId::TimingRpm, 30, old + 1))}));

    unit->device.clearWritten();
    tap(Qt::Key_Right);
    tap(Qt::Key_Down);
    const double old31 = window->model().maps().at(MapId::TimingRpm, 31);
    EXPECT_EQ(pointWrites().back(), bytesOf(maps::makeWritePoint(MapId::TimingRpm, 31, old31)));
    EXPECT_EQ(chart(ChartId::Timing)->seriesAt(0)->points().front().x(), 31);
    auto* timing = qobject_cast<QLineEdit*>(control(QStringLiteral("Edit3")));
    EXPECT_EQ(timing->text(), "3100");
}

TEST_F(MapEditTest, PageUpRaisesEveryTimingPointAsOneStep)
{
    hover(ChartId::Timing, 10, 20);
    std::vector<double> before;
    for (int i = 1; i <= 70; ++i)
        before.push_back(modelValue(MapId::TimingRpm, i));
    tap(Qt::Key_PageUp);
    const auto writes = pointWrites();
    ASSERT_EQ(writes.size(), 70u) << "the key-up sends every changed point";
    for (int i = 1; i <= 70; ++i) {
        const double expect = std::min(before[i - 1] + 1, 45.0);
        EXPECT_EQ(modelValue(MapId::TimingRpm, i), expect);
        EXPECT_EQ(writes[i - 1], bytesOf(maps::makeWritePoint(MapId::TimingRpm, i, expect)));
    }
    auto* page = window->findChild<app::maps::TimingPage*>();
    EXPECT_EQ(page->undoStack()->count(), 1);
    unit->device.clearWritten();
    tap(Qt::Key_Z, Qt::ControlModifier);
    for (int i = 1; i <= 70; ++i)
        EXPECT_EQ(modelValue(MapId::TimingRpm, i), before[i - 1]);
    EXPECT_GE(pointWrites().size(), 60u) << "undo sends the old values back";
}

TEST_F(MapEditTest, ArrowKeysInATextFieldNeverEditAMap)
{
    hover(ChartId::FuelRpm, 20, 0); // the key target is on the shown page
    auto* edit = qobject_cast<QLineEdit*>(control(QStringLiteral("Edit28")));
    ASSERT_NE(edit, nullptr);
    edit->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), edit);
    const double before = modelValue(MapId::FuelCruise, 20);
    for (int key : {Qt::Key_Up, Qt::Key_Down, Qt::Key_Left, Qt::Key_PageUp})
        tap(key);
    tap(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(modelValue(MapId::FuelCruise, 20), before);
    EXPECT_TRUE(pointWrites().empty());
    EXPECT_TRUE(unit->device.writes().empty()) << "nor a jet byte";
}

TEST_F(MapEditTest, KeysDoNothingWhileTheKeyTargetIsOnAnotherPage)
{
    hover(ChartId::Timing, 30, 20);
    const double before = modelValue(MapId::TimingRpm, 30);
    showPageOf(chart(ChartId::Temp));
    tap(Qt::Key_Up);
    EXPECT_EQ(modelValue(MapId::TimingRpm, 30), before);
    EXPECT_TRUE(pointWrites().empty());
}

TEST_F(MapEditTest, TheAxesStayAsReadWhenTheRpmRangeChanges)
{
    // The unit's setup read again with R 5000 (and a typed RPM range where the page has one).
    session::TuneState s = window->model().state();
    s.setup[table::setupOffset(table::SetupParam::RpmRange)] = 51;
    session::SessionResult o;
    o.setupDecoded = true;
    window->model().apply(s, o);
    if (auto* rpm = qobject_cast<QLineEdit*>(control(QStringLiteral("Edit13"))))
        rpm->setText(QStringLiteral("5000"));
    waitIdle();
    unit->device.clearWritten();

    EXPECT_EQ(editor().axes().timingPoints, 70);
    EXPECT_EQ(chart(ChartId::Timing)->bottomAxis()->max(), 70);
    EXPECT_EQ(chart(ChartId::Timing)->curve(MapId::TimingRpm)->count(), 70);
    clickAt(ChartId::Timing, 60, 12);
    EXPECT_EQ(pointWrites(), (std::vector<link::Bytes>{{0xE8, 59, 12}})) << "point 60 is still at x 60";
    EXPECT_EQ(curveY(MapId::TimingRpm, 60), 12);
    EXPECT_EQ(chart(ChartId::Timing)->curve(MapId::TimingRpm)->at(59).x(), 60);
}

TEST_F(MapEditTest, ReadoutsFollowTheMouseAndTheBackgroundHidesThem)
{
    hover(ChartId::Timing, 30, 20);
    auto* value = qobject_cast<QLineEdit*>(control(QStringLiteral("Edit2")));
    auto* position = qobject_cast<QLineEdit*>(control(QStringLiteral("Edit3")));
    ASSERT_TRUE(value && position);
    EXPECT_TRUE(value->isVisible());
    EXPECT_EQ(value->text(), "20");
    EXPECT_EQ(position->text(), "3000");
    hover(ChartId::Vacuum, 0.5, -3);
    EXPECT_EQ(qobject_cast<QLineEdit*>(control(QStringLiteral("Edit4")))->text(), "-3");
    EXPECT_EQ(qobject_cast<QLineEdit*>(control(QStringLiteral("Edit5")))->text(), "0.5");

    auto* panel = window->findChild<QFrame*>(QStringLiteral("Panel3"));
    ASSERT_NE(panel, nullptr);
    QTest::mouseMove(panel, QPoint(2, 2));
    EXPECT_FALSE(value->isVisible());
    EXPECT_FALSE(position->isVisible());
    EXPECT_FALSE(window->findChild<QWidget*>(QStringLiteral("Edit2Label"))->isVisible());
}

TEST_F(MapEditTest, JetKeysMoveTheTrackBarAndSendTheJet)
{
    hover(ChartId::FuelVac, 0.5, 0);
    auto* bar = window->findChild<QSlider*>(QStringLiteral("MainJetAdjust"));
    auto* edit = qobject_cast<QLineEdit*>(control(QStringLiteral("Edit28")));
    ASSERT_TRUE(bar && edit);
    ASSERT_TRUE(bar->isEnabled());
    const int position = bar->value();
    const int value = edit->text().toInt();
    EXPECT_EQ(position, 255 - value);

    tap(Qt::Key_W);
    EXPECT_EQ(bar->value(), position - 10) << "W moves the bar up";
    EXPECT_EQ(edit->text().toInt(), value + 10);
    const auto bytes = unit->writesStartingWith(0xF2);
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(bytes.back(), (link::Bytes{0xF2, 3, static_cast<uint8_t>(value + 10)}));

    auto* idle = window->findChild<QSlider*>(QStringLiteral("IdleJetAdjust"));
    const int idlePosition = idle->value();
    tap(Qt::Key_C);
    EXPECT_EQ(idle->value(), idlePosition + 1);
    EXPECT_EQ(unit->writesStartingWith(0xF2).back()[1], 2) << "the idle jet is offset 2";
    EXPECT_TRUE(pointWrites().empty()) << "a jet key edits no map point";
}

TEST_F(MapEditTest, ATypedJetOutsideTheByteIsRefusedNotWrapped)
{
    showPageOf(chart(ChartId::FuelVac));
    auto* edit = qobject_cast<QLineEdit*>(control(QStringLiteral("Edit28")));
    auto* bar = window->findChild<QSlider*>(QStringLiteral("MainJetAdjust"));
    const QString before = edit->text();
    const int position = bar->value();
    unit->device.clearWritten();
    edit->setText(QStringLiteral("300"));
    waitIdle();
    for (const auto& w : unit->writesStartingWith(0xF2))
        EXPECT_NE(w[2], 300 % 256) << "never sent wrapped";
    EXPECT_EQ(edit->text(), before) << "the last accepted value is put back";
    EXPECT_EQ(bar->value(), position);
}

TEST_F(MapEditTest, ATypedJetWaitsForEnterWhileItsTrackBarActsAtOnce)
{
    showPageOf(chart(ChartId::FuelVac));
    auto* edit = qobject_cast<QLineEdit*>(control(QStringLiteral("Edit28")));
    auto* bar = window->findChild<QSlider*>(QStringLiteral("MainJetAdjust"));
    edit->setFocus(Qt::MouseFocusReason);
    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("100"));
    waitIdle();
    EXPECT_TRUE(unit->writesStartingWith(0xF2).empty()) << "no jet of 1 or 10 on the way";
    QTest::keyClick(edit, Qt::Key_Return);
    waitIdle();
    EXPECT_EQ(unit->writesStartingWith(0xF2), (std::vector<link::Bytes>{{0xF2, 3, 100}}));
    EXPECT_EQ(bar->value(), 155);

    unit->device.clearWritten();
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    waitIdle();
    EXPECT_EQ(unit->writesStartingWith(0xF2), (std::vector<link::Bytes>{{0xF2, 3, 99}}));
    EXPECT_EQ(edit->text().toStdString(), "99");
}

TEST_F(MapEditTest, VacuumMarkersStandAtTheThrottleVacuumSettings)
{
    app::maps::MapChartView* c = chart(ChartId::FuelVac);
    const auto& def = c->def();
    ASSERT_FALSE(c->seriesAt(app::chartLook(def.id).lowVacSeries)->points().isEmpty());
    EXPECT_DOUBLE_EQ(c->seriesAt(app::chartLook(def.id).lowVacSeries)->points().front().x(), 0.3);
    EXPECT_DOUBLE_EQ(c->seriesAt(app::chartLook(def.id).highVacSeries)->points().front().x(), 0.9);
    auto* low = qobject_cast<QLineEdit*>(control(QStringLiteral("Edit37")));
    ASSERT_NE(low, nullptr);
    low->setText(QStringLiteral("0.45"));
    waitIdle();
    EXPECT_DOUBLE_EQ(c->seriesAt(app::chartLook(def.id).lowVacSeries)->points().front().x(), 0.45);
}

TEST_F(MapEditTest, ChoosingAMapShowsItsCaptionInBold)
{
    auto* low = qobject_cast<QRadioButton*>(control(QStringLiteral("RadioLow")));
    auto* cruise = qobject_cast<QRadioButton*>(control(QStringLiteral("RadioCruise")));
    ASSERT_TRUE(low && cruise);
    EXPECT_TRUE(cruise->isChecked());
    EXPECT_TRUE(cruise->font().bold());
    low->click();
    EXPECT_TRUE(low->font().bold());
    EXPECT_FALSE(cruise->font().bold());
    EXPECT_EQ(editor().fuelRpm(), maps::FuelRpmMap::Low);
    session::SessionResult read; // the table read again
    read.mapsDecoded = true;
    window->model().apply(window->model().state(), read);
    EXPECT_EQ(editor().fuelRpm(), maps::FuelRpmMap::Cruise);
    EXPECT_TRUE(cruise->isChecked()) << "a read selects Cruise again";
    EXPECT_TRUE(cruise->font().bold());
}

// ---------------------------------------------------------------- a timing-only unit

class TimingUnitTest : public MapEditTest {
protected:
    void SetUp() override
    {
        unit->identity[1] = 1; // "Timing and Vacuum"
        start();
    }
};

TEST_F(TimingUnitTest, OnlyTheTimingChartsTakeEdits)
{
    EXPECT_TRUE(chart(ChartId::Timing)->isEnabled());
    EXPECT_TRUE(chart(ChartId::Vacuum)->isEnabled());
    for (ChartId id : {ChartId::FuelVac, ChartId::FuelRpm, ChartId::Temp, ChartId::AirTmp, ChartId::Voltage})
        EXPECT_FALSE(chart(id)->isEnabled());
    EXPECT_FALSE(window->findChild<QSlider*>(QStringLiteral("MainJetAdjust"))->isEnabled());
    hover(ChartId::Timing, 30, 20);
    showPageOf(chart(ChartId::FuelVac));
    QApplication::setActiveWindow(window.get());
    tap(Qt::Key_W);
    EXPECT_TRUE(unit->device.writes().empty()) << "no jet without fuel maps";
}

// The fuel and correction bytes of a timing unit are no maps: the charts stay
// empty and say why, and Write gives the unit those bytes back as it keeps them.
TEST_F(TimingUnitTest, ChartsOfMapsTheUnitLacksStayEmpty)
{
    const auto note = [this](ChartId id) { return chart(id)->note().toStdString(); };
    for (ChartId id : {ChartId::FuelVac, ChartId::FuelRpm, ChartId::Temp, ChartId::AirTmp, ChartId::Voltage})
        for (const auto& curve : maps::chartDef(id).curves)
            EXPECT_EQ(chart(id)->curve(curve.map)->count(), 0) << table::mapDef(curve.map).name;
    EXPECT_EQ(note(ChartId::FuelVac), "This unit has no fuel maps");
    EXPECT_EQ(note(ChartId::FuelRpm), "This unit has no fuel maps");
    for (ChartId id : {ChartId::Temp, ChartId::AirTmp, ChartId::Voltage})
        EXPECT_EQ(note(id), "This unit has no correction maps");
    EXPECT_EQ(chart(ChartId::Timing)->curve(MapId::TimingRpm)->count(), 70);
    EXPECT_EQ(note(ChartId::Timing), "");
    EXPECT_EQ(note(ChartId::Vacuum), "");

    click(QStringLiteral("spWrite"));
    waitIdle();
    const auto& writes = unit->device.writes();
    const auto image = std::find_if(writes.begin(), writes.end(), [](const auto& w) { return w.size() == 482; });
    ASSERT_NE(image, writes.end());
    for (std::size_t i = 233; i <= 480; ++i)
        ASSERT_EQ((*image)[i], unit->table[i] - 1) << "offset " << i;
}

// A table arriving draws the shown page's charts at once; a hidden page's
// charts are drawn when shown, or at once when anything reads them.
TEST_F(MapEditTest, AHiddenPageTakesTheNewTableWhenShownOrRead)
{
    showPageOf(chart(ChartId::Timing));
    clickAt(ChartId::FuelRpm, xOf(MapId::FuelCruise, 20), 7);
    clickAt(ChartId::Timing, xOf(MapId::TimingRpm, 30), 33);
    files->openName = QString::fromUtf8(KYR_SOURCE_DIR "/examples/demo.kyr");
    click(QStringLiteral("spOpen"));
    waitIdle();
    EXPECT_FALSE(chart(ChartId::Timing)->redrawPending());
    EXPECT_EQ(curveY(MapId::TimingRpm, 30), modelValue(MapId::TimingRpm, 30));
    app::maps::MapChartView* fuelVac = chart(ChartId::FuelVac);
    app::maps::MapChartView* fuelRpm = chart(ChartId::FuelRpm);
    EXPECT_TRUE(fuelVac->redrawPending());
    EXPECT_TRUE(fuelRpm->redrawPending());
    EXPECT_EQ(curveY(MapId::FuelCruise, 20), modelValue(MapId::FuelCruise, 20)) << "read: drawn";
    EXPECT_NE(modelValue(MapId::FuelCruise, 20), 7) << "the file's value, not the edit";
    EXPECT_FALSE(fuelRpm->redrawPending());
    showPageOf(fuelVac);
    EXPECT_FALSE(fuelVac->redrawPending()) << "shown: drawn";
    EXPECT_EQ(fuelVac->curve(MapId::FuelVac)->count(), maps::pointCount(MapId::FuelVac, editor().axes()));
}

// Opening a tune (which runs Connect) starts again on the fuel air-temperature map.
TEST_F(MapEditTest, OpeningATuneSelectsTheFuelAirTemperatureMap)
{
    auto* timing = window->findChild<QAbstractButton*>(QStringLiteral("RadioTiming"));
    ASSERT_NE(timing, nullptr);
    timing->click();
    ASSERT_EQ(editor().airTemp(), maps::AirTempMap::Timing);
    files->openName = QString::fromUtf8(KYR_SOURCE_DIR "/examples/demo.kyr");
    click(QStringLiteral("spOpen"));
    waitIdle();
    EXPECT_EQ(editor().airTemp(), maps::AirTempMap::Fuel);
    auto* fuel = window->findChild<QAbstractButton*>(QStringLiteral("RadioFuel"));
    ASSERT_NE(fuel, nullptr);
    EXPECT_TRUE(fuel->isChecked());
}

// = asks for a value, Escape in its prompt closes it without leaving the
// program, and a value typed into the table outside the map's range is
// refused, put back and never sent.
TEST_F(MapEditTest, ThePromptAndTheTableRefuseWithoutSending)
{
    hover(maps::ChartId::Timing, xOf(table::MapId::TimingRpm, 20), 5);
    tap(Qt::Key_Equal);
    auto* page = qobject_cast<app::maps::MapPage*>(chart(maps::ChartId::Timing)->parentWidget()->parentWidget()->parentWidget());
    ASSERT_NE(page, nullptr);
    QLineEdit* prompt = page->rangePrompt();
    ASSERT_TRUE(prompt->isVisible());
    tap(Qt::Key_Escape);
    EXPECT_FALSE(prompt->isVisible());
    EXPECT_TRUE(window->isVisible()) << "Escape in the prompt is not Exit";

    tap(Qt::Key_Equal);
    QTest::keyClicks(prompt, QStringLiteral("33"));
    QTest::keyClick(prompt, Qt::Key_Return);
    waitIdle();
    EXPECT_EQ(modelValue(table::MapId::TimingRpm, 20), 33);
    unit->device.clearWritten();

    app::maps::MapTableView* grid = page->table(maps::ChartId::Timing);
    ASSERT_NE(grid, nullptr);
    const double held = modelValue(table::MapId::TimingRpm, 21);
    grid->item(1, 20)->setText(QStringLiteral("80"));
    waitIdle();
    EXPECT_EQ(modelValue(table::MapId::TimingRpm, 21), held);
    EXPECT_EQ(grid->item(1, 20)->text(), QString::number(held));
    EXPECT_TRUE(pointWrites().empty());
    grid->item(1, 20)->setText(QStringLiteral("30"));
    waitIdle();
    EXPECT_EQ(modelValue(table::MapId::TimingRpm, 21), 30);
    EXPECT_EQ(pointWrites().size(), 1u);
}
