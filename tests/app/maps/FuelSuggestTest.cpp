// SPDX-License-Identifier: GPL-3.0-or-later
// "Fuel Suggestions" on the Fuel Maps page against the fake unit: logs
// opened through the file chooser, the table, Apply as one undo step with
// its WritePoint on the wire, locks, and logs that are refused.

#include "maps/MapEditFixture.h"

#include "app/maps/FuelPage.h"
#include "app/maps/FuelSuggestPanel.h"
#include "live/LogFile.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QLegend>
#include <QLegendMarker>
#include <QTableWidget>

using namespace kyr;
using namespace kyr::apptest;
using app::maps::FuelSuggestPanel;
using table::MapId;

namespace {

constexpr int LeanPoint = 20; // of the Cruise curve

class FuelSuggestTest : public MapEditTest {
protected:
    FuelSuggestPanel* panel() const { return window->findChild<FuelSuggestPanel*>(); }
    app::maps::FuelPage* page() const { return window->findChild<app::maps::FuelPage*>(); }

    void openPanel()
    {
        showPageOf(page()->panel());
        page()->suggestionsButton()->click();
        ASSERT_TRUE(panel()->isVisible());
    }

    /// A CSV log, as the logger writes it, of 20 s held at x of a Cruise point at lambda volts.
    QString writeLog(const QString& name, double rpm, double volts, bool withLambda = true)
    {
        const QString path = tempFile(name);
        std::vector<live::LogColumn> columns{live::LogColumn::Rpm, live::LogColumn::Vacuum,
                                             live::LogColumn::Temperature, live::LogColumn::ThrottlePercent,
                                             live::LogColumn::InjectorPercent};
        if (withLambda)
            columns.push_back(live::LogColumn::Lambda);
        auto writer = live::LogWriter::create(path.toStdString(), columns, live::LogInfo{});
        EXPECT_TRUE(writer.ok());
        for (int i = 0; i < 200; ++i) {
            live::LiveValues v;
            v.set(live::LiveField::Rpm, rpm);
            v.set(live::LiveField::Vacuum, 60);
            v.set(live::LiveField::WaterTemp, 85);
            v.set(live::LiveField::Throttle, 30);
            v.set(live::LiveField::InjectorDuty, 20);
            v.set(live::LiveField::Lambda, volts + (i % 2) * 0.02); // a reading that moves
            EXPECT_TRUE(writer.value()->append(i * 0.1, v, {}).ok());
        }
        EXPECT_TRUE(writer.value()->close().ok());
        return path;
    }
    QString leanLog() { return writeLog(QStringLiteral("lean.csv"), xOf(MapId::FuelCruise, LeanPoint) * 100, 0.1); }

    bool openThroughChooser(const QString& path)
    {
        files->openName = path;
        const int before = files->opens;
        window->findChild<QPushButton*>(QStringLiteral("FuelSuggestOpen"))->click();
        EXPECT_EQ(files->opens, before + 1) << "logs come through the file chooser";
        return true;
    }
    QTableWidgetItem* cell(int point, int column) const { return panel()->table()->item(point - 1, column); }
};

TEST_F(FuelSuggestTest, ALeanPointIsSuggestedMoreFuelAppliedAsOneStepAndUndone)
{
    openPanel();
    EXPECT_EQ(panel()->curveChoice()->currentText(), QStringLiteral("Cruise")) << "the page's RPM map";
    openThroughChooser(leanLog());
    ASSERT_TRUE(sink->entries.empty()) << sink->entries.front().text.toStdString();
    EXPECT_EQ(panel()->table()->rowCount(), table::mapDef(MapId::FuelCruise).points);
    EXPECT_EQ(cell(LeanPoint, FuelSuggestPanel::ChangeCol)->text(), QStringLiteral("+5 %"));
    const QColor colour = cell(LeanPoint, FuelSuggestPanel::ChangeCol)->foreground().color();
    EXPECT_GT(colour.blue(), colour.red()) << "adding fuel is blue";
    EXPECT_EQ(cell(LeanPoint + 3, FuelSuggestPanel::ChangeCol)->text(), QStringLiteral("—")) << "not seen";
    EXPECT_TRUE(panel()->summary()->text().contains(QStringLiteral("Samples used")));
    QXYSeries* suggested = chart(maps::ChartId::FuelRpm)->suggestedCurve();
    EXPECT_GT(suggested->count(), 0) << "the suggested curve is drawn";
    EXPECT_GT(suggested->at(LeanPoint - 1).y(), curveY(MapId::FuelCruise, LeanPoint));
    const auto markers = suggested->chart()->legend()->markers(suggested);
    ASSERT_EQ(markers.size(), 1);
    EXPECT_TRUE(markers.front()->isVisible()) << "named in the legend";

    // Apply edits the Cruise map even while the page has Low chosen.
    qobject_cast<QRadioButton*>(control(QStringLiteral("RadioLow")))->click();
    EXPECT_EQ(panel()->curveChoice()->currentText(), QStringLiteral("Low")) << "the panel follows the page";
    panel()->setCurve(live::FuelCurve::Cruise);
    const double before = modelValue(MapId::FuelCruise, LeanPoint);
    unit->device.clearWritten();
    window->findChild<QPushButton*>(QStringLiteral("FuelSuggestApply"))->click();
    waitIdle();
    EXPECT_EQ(editor().fuelRpm(), maps::FuelRpmMap::Cruise);
    const double after = modelValue(MapId::FuelCruise, LeanPoint);
    EXPECT_GT(after, before);
    EXPECT_EQ(pointWrites(), (std::vector<link::Bytes>{bytesOf(maps::makeWritePoint(MapId::FuelCruise, LeanPoint, after))}));
    EXPECT_EQ(curveY(MapId::FuelCruise, LeanPoint), after);

    unit->device.clearWritten();
    showPageOf(page()->panel());
    tap(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(modelValue(MapId::FuelCruise, LeanPoint), before) << "one Ctrl+Z puts it back";
    EXPECT_EQ(pointWrites(), (std::vector<link::Bytes>{bytesOf(maps::makeWritePoint(MapId::FuelCruise, LeanPoint, before))}));
}

TEST_F(FuelSuggestTest, ALockedPointIsNeverChanged)
{
    openPanel();
    openThroughChooser(leanLog());
    cell(LeanPoint, FuelSuggestPanel::LockCol)->setCheckState(Qt::Checked);
    EXPECT_EQ(cell(LeanPoint, FuelSuggestPanel::ChangeCol)->text(), QStringLiteral("locked"));
    const double before = modelValue(MapId::FuelCruise, LeanPoint);
    unit->device.clearWritten();
    EXPECT_FALSE(panel()->apply());
    waitIdle();
    EXPECT_EQ(modelValue(MapId::FuelCruise, LeanPoint), before);
    EXPECT_TRUE(pointWrites().empty());

    // Unlocked, the same data apply.
    cell(LeanPoint, FuelSuggestPanel::LockCol)->setCheckState(Qt::Unchecked);
    EXPECT_TRUE(panel()->apply());
    waitIdle();
    EXPECT_EQ(pointWrites().size(), 1u);
}

TEST_F(FuelSuggestTest, AnUnusableLogIsRefusedSayingWhyAndAddsNothing)
{
    openPanel();
    const QString garbage = tempFile(QStringLiteral("garbage.csv"));
    QFile f(garbage);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("this is not a log\n\x01\x02\x03");
    f.close();
    const double rpm = xOf(MapId::FuelCruise, LeanPoint) * 100;
    const QString noLambda = writeLog(QStringLiteral("nolambda.csv"), rpm, 0.1, false);
    QStringList why;
    for (const QString& path : {garbage, noLambda, tempFile(QStringLiteral("missing.csv"))}) {
        sink->entries.clear();
        openThroughChooser(path);
        const QStringList warnings = sink->texts(QStringLiteral("warning"));
        ASSERT_EQ(warnings.size(), 1) << path.toStdString();
        EXPECT_TRUE(warnings.front().contains(QStringLiteral("nothing was added"))) << warnings.front().toStdString();
        EXPECT_EQ(panel()->report().counts.used + panel()->report().counts.noReading, 0u);
        why << warnings.front();
    }
    EXPECT_TRUE(why[1].contains(QStringLiteral("no Lambda channel"))) << why[1].toStdString();
    EXPECT_FALSE(panel()->apply());
    waitIdle();
    EXPECT_TRUE(pointWrites().empty()) << "nothing is sent";
    EXPECT_EQ(chart(maps::ChartId::FuelRpm)->suggestedCurve()->count(), 0);
}

TEST_F(FuelSuggestTest, LiveRecordsFeedTheTableAndClearStartsOver)
{
    openPanel();
    const double rpm = xOf(MapId::FuelCruise, LeanPoint) * 100;
    for (int i = 0; i < 200; ++i) {
        live::LiveValues v;
        v.set(live::LiveField::Rpm, rpm);
        v.set(live::LiveField::Vacuum, 60);
        v.set(live::LiveField::WaterTemp, 85);
        v.set(live::LiveField::InjectorDuty, 20);
        v.set(live::LiveField::Lambda, 0.86 + (i % 2) * 0.02); // well rich
        panel()->addLive(v, i * 0.1);
    }
    EXPECT_EQ(cell(LeanPoint, FuelSuggestPanel::HitsCol)->text(), QStringLiteral("0"))
        << "the table follows live records at its own pace, not with each one";
    EXPECT_TRUE(QTest::qWaitFor([&] { return cell(LeanPoint, FuelSuggestPanel::HitsCol)->text() != "0"; }));
    EXPECT_EQ(cell(LeanPoint, FuelSuggestPanel::ChangeCol)->text(), QStringLiteral("-5 %"));
    // Another curve judges the same records; coming back shows them again.
    panel()->setCurve(live::FuelCurve::Vacuum);
    EXPECT_EQ(panel()->table()->rowCount(), table::mapDef(MapId::FuelVac).points);
    EXPECT_EQ(chart(maps::ChartId::FuelRpm)->suggestedCurve()->count(), 0) << "the Cruise suggestion goes";
    panel()->setCurve(live::FuelCurve::Cruise);
    EXPECT_EQ(cell(LeanPoint, FuelSuggestPanel::ChangeCol)->text(), QStringLiteral("-5 %"));
    const QColor colour = cell(LeanPoint, FuelSuggestPanel::ChangeCol)->foreground().color();
    EXPECT_GT(colour.red(), colour.blue()) << "taking fuel away is red";
    window->findChild<QPushButton*>(QStringLiteral("FuelSuggestClear"))->click();
    EXPECT_EQ(cell(LeanPoint, FuelSuggestPanel::HitsCol)->text(), QStringLiteral("0"));
    EXPECT_EQ(chart(maps::ChartId::FuelRpm)->suggestedCurve()->count(), 0);
}

} // namespace
