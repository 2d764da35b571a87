// SPDX-License-Identifier: GPL-3.0-or-later
// "Analyse Maps" and the "Timing Analysis" dialog against the in-memory unit:
// the grid comes from the window's timing maps each time it is shown, and
// "View 3D" paints the wire-frame with plain QPainter lines.

#include "window/AppFixture.h"

#include "app/dialogs/TimingAnalysisDialog.h"
#include "app/dialogs/TimingChart3D.h"
#include "app/maps/MapChartView.h"
#include "table/Rounding.h"
#include "tools/TimingAnalysis.h"

#include <QCoreApplication>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QWheelEvent>
#include <QTableWidget>
#include <QXYSeries>

using namespace kyr;
using namespace kyr::apptest;
using table::MapId;

namespace {

class TimingAnalysisTest : public WindowTest {
protected:
    app::dialogs::TimingAnalysisDialog* analyse()
    {
        click("sp3D");
        auto* d = qobject_cast<app::dialogs::TimingAnalysisDialog*>(window->dialogs()[0]);
        EXPECT_NE(d, nullptr);
        EXPECT_TRUE(d && d->isVisible());
        return d;
    }
    QTableWidget* grid(QDialog* d) const { return d->findChild<QTableWidget*>("TimingGrid"); }
    static QString cell(QTableWidget* t, int column, int row) { return t->item(row, column)->text(); }
    static QString number(double v) { return QString::fromStdString(tools::numberText(v)); }

    /// Pixels of the chart that are mostly red (the rows and columns) or green (the axes).
    static std::pair<int, int> redAndGreen(QWidget* chart)
    {
        const QImage img = chart->grab().toImage();
        int red = 0, green = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) {
                const QColor c = img.pixelColor(x, y);
                red += c.red() > 120 && c.green() < 80 && c.blue() < 80;
                green += c.green() > 120 && c.red() < 80 && c.blue() < 80;
            }
        return {red, green};
    }
};

} // namespace

TEST_F(TimingAnalysisTest, AnalyseMapsFillsTheGridFromTheModel)
{
    connectedWindow();
    auto* d = analyse();
    ASSERT_NE(d, nullptr);
    QTableWidget* t = grid(d);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->columnCount(), 102);
    EXPECT_EQ(t->rowCount(), 34);
    EXPECT_EQ(t->columnWidth(40), 30);
    EXPECT_EQ(t->rowHeight(20), 20);

    const table::MapArrays& maps = window->model().maps();
    const int n = window->model().axes().timingPoints;
    ASSERT_GT(n, 1);
    ASSERT_LT(n, 100) << "the demo leaves columns to stay empty";
    EXPECT_EQ(cell(t, 1, 0), "RPM");
    EXPECT_EQ(cell(t, 0, 1), "Bar");
    EXPECT_EQ(cell(t, 0, 2), "-0.9");
    EXPECT_EQ(cell(t, 0, 33), "2.2");
    for (int j = 1; j <= n; ++j) {
        ASSERT_EQ(cell(t, j + 1, 0), QString::number(j));
        ASSERT_EQ(cell(t, j + 1, 1), number(maps.at(MapId::TimingRpm, j)));
    }
    for (int i = 1; i <= 32; ++i)
        ASSERT_EQ(cell(t, 1, i + 1), number(maps.at(MapId::TimingVac, i)));
    for (int j = 1; j <= n; ++j)
        for (int i = 1; i <= 32; ++i)
            ASSERT_EQ(cell(t, j + 1, i + 1),
                      number(roundInt(maps.at(MapId::TimingRpm, j)) + maps.at(MapId::TimingVac, i)))
                << j << "," << i;
    for (int r = 0; r < 34; ++r)
        EXPECT_EQ(cell(t, n + 2, r), "");

    // The fixed rows and columns in the form's colour 15780518 = 0x00F0CAA6, kept as BGR.
    const QColor fixed(0xA6, 0xCA, 0xF0);
    EXPECT_EQ(app::dialogs::TimingAnalysisDialog::fixedColour(), fixed);
    EXPECT_EQ(t->item(0, 50)->background().color(), fixed);
    EXPECT_EQ(t->item(20, 1)->background().color(), fixed);
    EXPECT_NE(t->item(20, 20)->background().color(), fixed);
    EXPECT_FALSE(t->item(20, 20)->flags() & Qt::ItemIsEditable);
}

TEST_F(TimingAnalysisTest, EachShowingAnalysesTheMapsAgain)
{
    connectedWindow();
    auto* d = analyse();
    ASSERT_NE(d, nullptr);
    d->findChild<QPushButton*>("Button2")->click();
    EXPECT_FALSE(d->isVisible());

    window->model().applyMapPoint(MapId::TimingRpm, 1, 33);
    window->model().applyMapPoint(MapId::TimingVac, 32, -4);
    window->model().mapsEdited();
    analyse();
    QTableWidget* t = grid(d);
    EXPECT_EQ(cell(t, 2, 1), "33");
    EXPECT_EQ(cell(t, 2, 33), "29");
}

// Scrolled to any cell, the grid still shows the RPM points above it and the
// vacuum steps beside it: what is seen at a place is the cell of the topmost view there.
TEST_F(TimingAnalysisTest, FixedRowsAndColumnsStayInViewAsTheGridScrolls)
{
    connectedWindow();
    auto* d = analyse();
    ASSERT_NE(d, nullptr);
    QTableWidget* t = grid(d);
    const auto seenAt = [t](QPoint inViewport) {
        const QPoint at = t->viewport()->mapTo(t, inViewport);
        QWidget* under = t->childAt(at);
        auto* view = qobject_cast<QAbstractItemView*>(under ? under->parentWidget() : nullptr);
        return view ? view->indexAt(under->mapFrom(t, at)) : QModelIndex();
    };
    const auto rowCol = [](const QModelIndex& i) { return std::make_pair(i.row(), i.column()); };

    const QModelIndex far = t->model()->index(30, 60);
    t->scrollTo(far);
    ASSERT_GT(t->horizontalScrollBar()->value(), 0);
    ASSERT_GT(t->verticalScrollBar()->value(), 0);
    const QRect cell = t->visualRect(far);
    EXPECT_EQ(rowCol(seenAt(cell.center())), std::make_pair(30, 60)) << "not hidden under the fixed cells";
    EXPECT_EQ(rowCol(seenAt({cell.center().x(), 5})), std::make_pair(0, 60));
    EXPECT_EQ(rowCol(seenAt({cell.center().x(), 25})), std::make_pair(1, 60));
    EXPECT_EQ(rowCol(seenAt({5, cell.center().y()})), std::make_pair(30, 0));
    EXPECT_EQ(rowCol(seenAt({35, cell.center().y()})), std::make_pair(30, 1));
    EXPECT_EQ(rowCol(seenAt({35, 5})), std::make_pair(0, 1));
    EXPECT_EQ(seenAt({cell.center().x(), 5}).data().toString(), "59");
    EXPECT_EQ(seenAt({35, 5}).data().toString(), "RPM");

    // The wheel over the fixed rows scrolls the grid, and they go with it.
    const int down = t->verticalScrollBar()->value();
    QWheelEvent wheel(QPointF(cell.center().x(), 5), t->viewport()->mapToGlobal(QPointF(cell.center().x(), 5)),
                      {}, {0, 120}, Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(t->childAt(t->viewport()->mapTo(t, QPoint(cell.center().x(), 5))), &wheel);
    EXPECT_LT(t->verticalScrollBar()->value(), down);
    EXPECT_EQ(rowCol(seenAt({cell.center().x(), 5})), std::make_pair(0, 60));
}

TEST_F(TimingAnalysisTest, View3DPaintsTheWireFrame)
{
    connectedWindow();
    auto* d = analyse();
    ASSERT_NE(d, nullptr);
    auto* chart = d->findChild<QWidget*>("TimingDChart");
    ASSERT_NE(chart, nullptr);
    ASSERT_GT(chart->width(), 100);
    const QImage before = chart->grab().toImage();
    EXPECT_EQ(before.pixelColor(2, before.height() - 3), QColor(Qt::black));
    EXPECT_EQ(redAndGreen(chart), std::make_pair(0, 0)) << "titles only until View 3D";

    d->findChild<QPushButton*>("Button1")->click();
    const auto [red, green] = redAndGreen(chart);
    EXPECT_GT(red, 500);
    EXPECT_GT(green, 50);

    // Showing the dialog again analyses afresh and drops the old drawing.
    d->findChild<QPushButton*>("Button2")->click();
    analyse();
    EXPECT_EQ(redAndGreen(chart).first, 0);
}

// "RPM" lies on the red rows: its letters are drawn in a shade the mesh
// does not have, on a dark plate, so they can be told from the lines.
TEST_F(TimingAnalysisTest, RedLabelsStandOutFromTheRedMesh)
{
    app::dialogs::TimingChart3D chart;
    chart.resize(400, 300);
    tools::WireFrame frame;
    for (double z = -0.2; z <= 0.2; z += 0.02)
        frame.lines.push_back({tools::PenColour::Red, {{-1, 0, z}, {1, 0, z}}});
    frame.labels.push_back({"RPM", {0, 0, 0}, 0, 14, tools::PenColour::Red});
    chart.setFrame(frame);
    const QImage img = chart.grab().toImage();
    int lightRed = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QColor c = img.pixelColor(x, y);
            lightRed += c.red() > 200 && c.green() > 110 && c.green() < 200 && c.blue() > 110 && c.blue() < 200;
        }
    EXPECT_GT(lightRed, 10);
}

// A fuel unit keeps no timing maps: nothing of those bytes is analysed or drawn.
TEST_F(TimingAnalysisTest, AUnitWithoutTimingMapsHasNothingToAnalyse)
{
    unit->identity[1] = 2; // "Fuel"
    connectedWindow();
    auto* timing = window->findChild<app::maps::MapChartView*>("TimingChart");
    ASSERT_NE(timing, nullptr);
    EXPECT_EQ(timing->curve(MapId::TimingRpm)->count(), 0);
    EXPECT_EQ(timing->note(), "This unit has no timing maps");
    auto* d = analyse();
    ASSERT_NE(d, nullptr);
    EXPECT_TRUE(d->findChild<QLabel*>("TimingNote")->isVisible());
    EXPECT_EQ(d->grid().rpmPoints(), 0);
    EXPECT_EQ(cell(grid(d), 2, 2), "");
    EXPECT_EQ(cell(grid(d), 2, 1), "");
}
