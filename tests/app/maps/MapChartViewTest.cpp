// SPDX-License-Identifier: GPL-3.0-or-later
// The chart widget alone: its build from the chart table, pixel mapping,
// the mouse signals and the wheel. The editing through the window is in
// MapEditingTest.cpp.

#include "app/maps/ChartReadout.h"
#include "app/common/ControlNames.h"
#include "app/common/ChoiceGroup.h"
#include "app/maps/JetControls.h"
#include "app/maps/MapChartView.h"
#include "app/maps/MapUndo.h"

#include <QLineEdit>
#include <QLineSeries>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QUndoStack>
#include <QValueAxis>

#include <gtest/gtest.h>

namespace kyr::apptest {
namespace {

using app::maps::MapChartView;
using maps::ChartId;
using table::MapId;

class ChartViewTest : public ::testing::Test {
protected:
    MapChartView& shown(ChartId id)
    {
        view = std::make_unique<MapChartView>(maps::chartDef(id));
        view->resize(640, 420);
        view->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(view.get()));
        view->setEnabled(true);
        return *view;
    }
    QPoint pixel(double x, double y) const { return view->positionOf({x, y}).toPoint(); }

    std::unique_ptr<MapChartView> view;
};

TEST_F(ChartViewTest, EveryChartIsBuiltFromItsRow)
{
    for (const auto& def : maps::chartTable()) {
        MapChartView v(def);
        EXPECT_EQ(v.objectName().toStdString(), app::chartLook(def.id).object);
        EXPECT_EQ(v.chart()->title().toStdString(), def.title);
        EXPECT_FALSE(v.isEnabled()) << "charts start disabled";
        EXPECT_EQ(v.leftAxis()->min(), def.leftMin);
        EXPECT_EQ(v.leftAxis()->max(), def.leftMax);
        EXPECT_EQ(v.leftAxis()->titleText().toStdString(), maps::valueAxisTitle(def.id, def.curves.front().map));
        EXPECT_EQ(v.bottomAxis()->titleText().toStdString(), maps::bottomAxisTitle(def.id));
        // The chart's own series order is the row's: bars (and markers) first, then the curves.
        const auto series = v.chart()->series();
        EXPECT_EQ(series.indexOf(v.seriesAt(app::chartLook(def.id).cursorSeries)), app::chartLook(def.id).cursorSeries);
        EXPECT_EQ(series.indexOf(v.seriesAt(app::chartLook(def.id).liveSeries)), app::chartLook(def.id).liveSeries);
        for (const auto& c : def.curves) {
            EXPECT_EQ(series.indexOf(v.curve(c.map)), app::curveLook(c.map).series);
            EXPECT_EQ(v.curve(c.map)->pen().color(), app::maps::curveColour(c));
        }
        if (app::chartLook(def.id).lowVacSeries >= 0) {
            EXPECT_EQ(series.indexOf(v.seriesAt(app::chartLook(def.id).lowVacSeries)), app::chartLook(def.id).lowVacSeries);
            EXPECT_EQ(series.indexOf(v.seriesAt(app::chartLook(def.id).highVacSeries)), app::chartLook(def.id).highVacSeries);
        }
    }
    MapChartView fuelRpm(maps::chartDef(ChartId::FuelRpm));
    EXPECT_EQ(fuelRpm.curve(MapId::FuelCruise)->pen().color(), QColor("red"));
    EXPECT_EQ(fuelRpm.curve(MapId::FuelLow)->pen().color(), QColor("green"));
    EXPECT_EQ(fuelRpm.curve(MapId::FuelHigh)->pen().color(), QColor("navy"));
}

TEST_F(ChartViewTest, PixelsMapToAxisValuesAndBackAfterAResize)
{
    MapChartView& v = shown(ChartId::Timing);
    v.setBottomAxis({0, 70, std::nullopt});
    QCoreApplication::processEvents();
    for (QPointF value : {QPointF(10, 20), QPointF(35, 44), QPointF(69, 1)}) {
        const QPointF back = v.valueAt(v.positionOf(value));
        EXPECT_NEAR(back.x(), value.x(), 0.2);
        EXPECT_NEAR(back.y(), value.y(), 0.2);
    }
    v.resize(900, 300);
    QCoreApplication::processEvents();
    const QPointF back = v.valueAt(v.positionOf({50, 30}));
    EXPECT_NEAR(back.x(), 50, 0.2);
    EXPECT_NEAR(back.y(), 30, 0.2);
}

TEST_F(ChartViewTest, MouseEventsReportAxisValuesAndTheWheelDoesNothing)
{
    MapChartView& v = shown(ChartId::Voltage);
    QSignalSpy moved(&v, &MapChartView::pointerMoved);
    QSignalSpy started(&v, &MapChartView::dragStarted);
    QSignalSpy dragged(&v, &MapChartView::dragged);

    QTest::mouseMove(v.viewport(), pixel(12, 10));
    ASSERT_GE(moved.count(), 1);
    const QPointF at = moved.last().at(0).toPointF();
    EXPECT_NEAR(at.x(), 12, 0.1);
    EXPECT_NEAR(at.y(), 10, 0.5);
    EXPECT_EQ(dragged.count(), 0) << "a move without the button is no drag";

    QTest::mousePress(v.viewport(), Qt::LeftButton, {}, pixel(10, -20));
    QTest::mouseMove(v.viewport(), pixel(11, -25));
    QTest::mouseRelease(v.viewport(), Qt::LeftButton, {}, pixel(11, -25));
    EXPECT_EQ(started.count(), 1);
    ASSERT_EQ(dragged.count(), 2);
    EXPECT_NEAR(dragged.at(1).at(0).toPointF().y(), -25, 0.5);

    const double min = v.bottomAxis()->min(), max = v.bottomAxis()->max();
    QWheelEvent wheel(QPointF(pixel(12, 0)), v.viewport()->mapToGlobal(QPointF(pixel(12, 0))), {}, {0, 120},
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(v.viewport(), &wheel);
    EXPECT_EQ(v.bottomAxis()->min(), min);
    EXPECT_EQ(v.bottomAxis()->max(), max);
}

TEST_F(ChartViewTest, BarsStandAtTheirRealX)
{
    MapChartView& v = shown(ChartId::FuelVac);
    v.setBottomAxis({0, 1.2, std::nullopt});
    v.showKeyBar(0.75, 50);
    v.showVacuumMarker(false, 0.1);
    v.showVacuumMarker(true, 0.9);
    const auto& def = v.def();
    EXPECT_EQ(v.seriesAt(app::chartLook(def.id).cursorSeries)->points(), (QList<QPointF>{{0.75, 0}, {0.75, 50}}));
    EXPECT_EQ(v.seriesAt(app::chartLook(def.id).lowVacSeries)->points().front().x(), 0.1);
    EXPECT_EQ(v.seriesAt(app::chartLook(def.id).highVacSeries)->points().front().x(), 0.9);
    v.clearKeyBar();
    EXPECT_TRUE(v.seriesAt(app::chartLook(def.id).cursorSeries)->points().isEmpty());
}

TEST_F(ChartViewTest, AnIncrementIsTakenForTheSmallVacuumRange)
{
    MapChartView& v = shown(ChartId::Vacuum);
    v.setBottomAxis(maps::bottomAxis(ChartId::Vacuum, table::Axes{7000, 70, 10}));
    EXPECT_NEAR(v.bottomAxis()->max(), 1.2, 1e-9);
    EXPECT_EQ(v.bottomAxis()->tickType(), QValueAxis::TicksDynamic);
    EXPECT_NEAR(v.bottomAxis()->tickInterval(), 0.1, 1e-9);
}

// A hidden chart keeps the last redraw it was given and runs it once, when
// it is read, changed or shown; a shown chart runs it at once.
TEST_F(ChartViewTest, AHiddenChartRedrawsWhenReadChangedOrShown)
{
    MapChartView hidden(maps::chartDef(ChartId::Timing));
    int first = 0, second = 0;
    hidden.redrawWhenShown([&] { ++first; });
    hidden.redrawWhenShown([&] { ++second; hidden.setCurve(MapId::TimingRpm, {{1, 2}, {3, 4}}); });
    EXPECT_TRUE(hidden.redrawPending());
    EXPECT_EQ(first + second, 0);
    EXPECT_EQ(hidden.curve(MapId::TimingRpm)->count(), 2) << "reading runs the redraw first";
    EXPECT_EQ(first, 0) << "the later redraw replaced the earlier";
    EXPECT_EQ(second, 1);
    EXPECT_FALSE(hidden.redrawPending());
    hidden.curve(MapId::TimingRpm);
    EXPECT_EQ(second, 1) << "a redraw runs once";

    // A change made after the redraw was kept lands after it, not under it.
    hidden.redrawWhenShown([&] { hidden.setCurve(MapId::TimingRpm, {{1, 2}}); });
    hidden.setCurve(MapId::TimingRpm, {{5, 6}, {7, 8}, {9, 10}});
    EXPECT_EQ(hidden.curve(MapId::TimingRpm)->count(), 3);

    hidden.redrawWhenShown([&] { ++first; });
    hidden.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&hidden));
    EXPECT_EQ(first, 1) << "showing runs the redraw";
    hidden.redrawWhenShown([&] { ++first; });
    EXPECT_EQ(first, 2) << "a shown chart redraws at once";
    EXPECT_FALSE(hidden.redrawPending());
}

TEST(ChartReadoutTest, FieldsAreNamedByTheRowAndShowOnlyWhatIsGiven)
{
    app::maps::ChartReadout r(maps::chartDef(ChartId::Timing));
    EXPECT_FALSE(r.shown());
    EXPECT_EQ(r.valueField()->objectName(), "Edit2");
    EXPECT_EQ(r.positionField()->objectName(), "Edit3");
    r.showReadout({ChartId::Timing, std::string("12"), std::nullopt});
    EXPECT_TRUE(r.shown());
    r.showReadout({ChartId::Timing, std::nullopt, std::string("3500")});
    EXPECT_EQ(r.valueField()->text(), "12") << "a missing text leaves the field as it was";
    EXPECT_EQ(r.positionField()->text(), "3500");
    r.hideAll();
    EXPECT_FALSE(r.shown());
}

TEST(ChoiceGroupTest, TheChosenCaptionIsBold)
{
    app::ChoiceGroup g(QStringLiteral("RPM Map"),
                       {{"RadioLow", "Low"}, {"RadioCruise", "Cruise"}, {"RadioHigh", "High"}}, 1);
    QSignalSpy made(&g, &app::ChoiceGroup::choiceMade);
    EXPECT_TRUE(g.button(1)->isChecked());
    EXPECT_TRUE(g.button(1)->font().bold());
    EXPECT_FALSE(g.button(0)->font().bold());
    g.button(0)->click();
    ASSERT_EQ(made.count(), 1);
    EXPECT_EQ(made.at(0).at(0).toInt(), 0);
    EXPECT_TRUE(g.button(0)->font().bold());
    EXPECT_FALSE(g.button(1)->font().bold());
    g.setChosen(1);
    EXPECT_EQ(made.count(), 1) << "the program's choice is no user choice";
    EXPECT_TRUE(g.button(1)->font().bold());
}

TEST(JetControlsTest, TheEditShowsTheValueOfTheBarsPosition)
{
    app::maps::JetControls jets;
    QSlider* main = jets.trackBar(maps::Jet::Main);
    EXPECT_EQ(main->objectName(), "MainJetAdjust");
    EXPECT_EQ(jets.trackBar(maps::Jet::Idle)->objectName(), "IdleJetAdjust");
    EXPECT_EQ(main->value(), 127);
    EXPECT_EQ(jets.edit(maps::Jet::Main)->text(), "128");
    EXPECT_EQ(main->minimum(), 2) << "value 253 at most";
    EXPECT_EQ(main->pageStep(), 10);
    EXPECT_FALSE(jets.isEnabled());

    QSignalSpy changed(jets.edit(maps::Jet::Main), &QLineEdit::textChanged);
    jets.move({maps::Jet::Main, -10}); // W
    EXPECT_EQ(main->value(), 117);
    EXPECT_EQ(jets.edit(maps::Jet::Main)->text(), "138");
    EXPECT_EQ(changed.count(), 1) << "the bar's move runs the edit";

    main->setValue(5);
    jets.move({maps::Jet::Main, -10});
    EXPECT_EQ(main->value(), 2);
    EXPECT_EQ(jets.edit(maps::Jet::Main)->text(), "253");

    jets.setPosition(maps::Jet::Idle, 200);
    EXPECT_EQ(jets.edit(maps::Jet::Idle)->text(), "128") << "a position from the engine leaves the edit alone";
}

// ---------------------------------------------------------------- undo commands

struct Restored {
    std::vector<std::pair<maps::PointChange, bool>> calls;
    app::maps::PointRestorer fn()
    {
        return [this](const std::vector<maps::PointChange>& cs, bool toNew) {
            for (const auto& c : cs)
                calls.push_back({c, toNew});
        };
    }
};

TEST(MapUndoTest, PushingDoesNotApplyAgainAndUndoRedoSwap)
{
    Restored r;
    QUndoStack stack;
    stack.push(new app::maps::MapPointCommand({{MapId::TimingRpm, 5, 20, 21}}, r.fn(), "key"));
    EXPECT_TRUE(r.calls.empty()) << "the edit was made before the push";
    stack.undo();
    ASSERT_EQ(r.calls.size(), 1u);
    EXPECT_FALSE(r.calls[0].second);
    stack.redo();
    ASSERT_EQ(r.calls.size(), 2u);
    EXPECT_TRUE(r.calls[1].second);
}

TEST(MapUndoTest, TheStepsOfOneDragMergeAndKeepTheFirstOldValue)
{
    Restored r;
    QUndoStack stack;
    stack.push(new app::maps::MapPointCommand({{MapId::TimingRpm, 5, 20, 25}}, r.fn(), "drag", 1));
    stack.push(new app::maps::MapPointCommand({{MapId::TimingRpm, 5, 25, 30}}, r.fn(), "drag", 1));
    stack.push(new app::maps::MapPointCommand({{MapId::TimingRpm, 6, 21, 30}}, r.fn(), "drag", 1));
    ASSERT_EQ(stack.count(), 1);
    const auto* cmd = static_cast<const app::maps::MapPointCommand*>(stack.command(0));
    ASSERT_EQ(cmd->changes().size(), 2u);
    EXPECT_EQ(cmd->changes()[0].oldValue, 20);
    EXPECT_EQ(cmd->changes()[0].newValue, 30);

    stack.push(new app::maps::MapPointCommand({{MapId::TimingRpm, 5, 30, 31}}, r.fn(), "drag", 2));
    stack.push(new app::maps::MapPointCommand({{MapId::TimingRpm, 5, 31, 32}}, r.fn(), "key"));
    stack.push(new app::maps::MapPointCommand({{MapId::TimingRpm, 5, 32, 33}}, r.fn(), "key"));
    EXPECT_EQ(stack.count(), 4) << "another drag and each key press are steps of their own";
}

TEST(MapUndoTest, ADragBackToWhereItBeganLeavesNoStep)
{
    Restored r;
    QUndoStack stack;
    stack.push(new app::maps::MapPointCommand({{MapId::Voltage, 3, 0, 5}}, r.fn(), "drag", 7));
    stack.push(new app::maps::MapPointCommand({{MapId::Voltage, 3, 5, 0}}, r.fn(), "drag", 7));
    EXPECT_EQ(stack.count(), 0);
}

} // namespace
} // namespace kyr::apptest
