// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window connected to a fake unit of type 3 (every map) with the demo
// tune (R 7000, N 70, M 1.0 bar), mouse tuning on, and helpers that point
// the mouse at chart values and read the map writes off the wire.

#include "window/AppFixture.h"
#include "app/common/ControlNames.h"

#include "app/maps/MapChartView.h"
#include "app/maps/MapEditSession.h"
#include "maps/PointRules.h"

#include <QApplication>
#include <QCursor>
#include <QTabWidget>
#include <QTest>
#include <QXYSeries>

namespace kyr::apptest {

class MapEditTest : public WindowTest {
protected:
    void SetUp() override { start(); }

    /// Connects (after `prepare` has set the fake unit up) and turns mouse tuning on.
    void start()
    {
        if (!window)
            makeWindow();
        window->resize(1300, 900);
        connectedWindow();
        QApplication::setActiveWindow(window.get());
        click(QStringLiteral("SpeedButton3"));
        ASSERT_TRUE(window->model().mouseTuning());
        unit->device.clearWritten();
    }

    app::maps::MapChartView* chart(maps::ChartId id) const
    {
        const auto name = app::chartLook(id).object;
        auto* c = window->findChild<app::maps::MapChartView*>(QString::fromLatin1(name));
        EXPECT_NE(c, nullptr) << name;
        return c;
    }
    const maps::MapEditor& editor() const
    {
        return window->mapEditSession().editor();
    }
    /// Shows the page that holds a widget.
    void showPageOf(QWidget* w)
    {
        auto* tabs = window->findChild<QTabWidget*>(QStringLiteral("PageControl1"));
        for (int i = 0; i < tabs->count(); ++i)
            if (tabs->widget(i)->isAncestorOf(w))
                tabs->setCurrentIndex(i);
        QCoreApplication::processEvents();
    }
    QPoint pixel(maps::ChartId id, double x, double y) const
    {
        return chart(id)->positionOf({x, y}).toPoint();
    }
    /// x of point i of a map under the axes fixed at the read.
    double xOf(table::MapId map, int i) const { return table::pointX(table::mapDef(map), i, editor().axes()); }

    /// A press and release at chart values, as a click-drag of one step.
    void clickAt(maps::ChartId id, double x, double y)
    {
        app::maps::MapChartView* c = chart(id);
        showPageOf(c);
        QTest::mousePress(c->viewport(), Qt::LeftButton, {}, pixel(id, x, y));
        QTest::mouseRelease(c->viewport(), Qt::LeftButton, {}, pixel(id, x, y));
        waitIdle();
    }
    /// The mouse moves over a chart (its page shown): it becomes the key target.
    void hover(maps::ChartId id, double x, double y)
    {
        app::maps::MapChartView* c = chart(id);
        showPageOf(c);
        // A move to where the mouse already is counts for nothing: come from beside it.
        // The pointer goes there too, so that a real display sends no move from elsewhere.
        QCursor::setPos(c->viewport()->mapToGlobal(pixel(id, x, y)));
        QTest::mouseMove(c->viewport(), pixel(id, x, y) + QPoint(0, 3));
        QTest::mouseMove(c->viewport(), pixel(id, x, y));
    }
    QWidget* focused() const { return QApplication::focusWidget() ? QApplication::focusWidget() : window.get(); }
    void press(int key, Qt::KeyboardModifiers mods = {}) { QTest::keyPress(focused(), Qt::Key(key), mods); }
    void release(int key, Qt::KeyboardModifiers mods = {})
    {
        QTest::keyRelease(focused(), Qt::Key(key), mods);
        waitIdle();
    }
    void tap(int key, Qt::KeyboardModifiers mods = {})
    {
        press(key, mods);
        release(key, mods);
    }

    /// Every WritePoint on the wire since the last clearWritten(), in order.
    std::vector<link::Bytes> pointWrites() const
    {
        std::vector<link::Bytes> out;
        for (const auto& w : unit->device.writes())
            for (const auto& b : table::bankTable())
                if (w.size() == 3 && b.base != 0 && w[0] == b.command)
                    out.push_back(w);
        return out;
    }
    static link::Bytes bytesOf(const maps::WritePoint& w) { return {w.bank, w.index, w.value}; }
    /// The y the chart draws for point i of a map.
    double curveY(table::MapId map, int i) const
    {
        return chart(table::mapDef(map).chart)->curve(map)->at(i - 1).y();
    }
    double modelValue(table::MapId map, int i) const { return window->model().maps().at(map, i); }
};

} // namespace kyr::apptest
