// SPDX-License-Identifier: GPL-3.0-or-later
// Each map page after a drag, a key edit and a mouse move: the edited point
// is drawn where it was put. With KYR_SCREENSHOT_DIR set the window is saved
// there as one PNG per page (run under Xvfb with QT_QPA_PLATFORM=xcb to see
// it as a user would).

#include "maps/MapEditFixture.h"

#include <QDir>
#include <QImage>
#include <QPixmap>
#include <QRadioButton>
#include <QXYSeries>

using namespace kyr;
using namespace kyr::apptest;
using maps::ChartId;
using table::MapId;

namespace {

struct PageShot {
    const char* file;
    ChartId drag;
    MapId map;
    int index;
    double value;
    ChartId hover; // mouse over this chart afterwards, with a key edit
    double hoverX, hoverY;
};

const PageShot kShots[] = {
    {"timing-map.png", ChartId::Timing, MapId::TimingRpm, 40, 40, ChartId::Vacuum, 0.5, 4},
    {"fuel-maps.png", ChartId::FuelRpm, MapId::FuelLow, 16, 30, ChartId::FuelVac, 0.6, 10},
    {"correction-maps.png", ChartId::AirTmp, MapId::AirTempTiming, 10, 15, ChartId::Voltage, 12, 20},
};

} // namespace

TEST_F(MapEditTest, EachPageDrawsTheDraggedPoint)
{
    const QString dir = qEnvironmentVariable("KYR_SCREENSHOT_DIR");
    if (!dir.isEmpty())
        QDir().mkpath(dir);
    qobject_cast<QRadioButton*>(control(QStringLiteral("RadioLow")))->click();
    qobject_cast<QRadioButton*>(control(QStringLiteral("RadioTiming")))->click();
    for (const PageShot& s : kShots) {
        SCOPED_TRACE(s.file);
        clickAt(s.drag, xOf(s.map, s.index), s.value);
        EXPECT_EQ(curveY(s.map, s.index), s.value);
        hover(s.hover, s.hoverX, s.hoverY);
        tap(Qt::Key_Up);
        QCoreApplication::processEvents();
        const QImage shot = window->grab().toImage();
        ASSERT_FALSE(shot.isNull());
        // The dragged point lies on the curve's colour, not on the background.
        app::maps::MapChartView* c = chart(s.drag);
        const QPoint at = c->mapTo(window.get(), pixel(s.drag, xOf(s.map, s.index), s.value));
        const QColor colour = app::maps::curveColour(maps::curveOf(s.map));
        bool found = false;
        for (int dx = -3; dx <= 3 && !found; ++dx)
            for (int dy = -3; dy <= 3 && !found; ++dy) {
                const QColor p = shot.pixelColor(at + QPoint(dx, dy) * shot.devicePixelRatio());
                found = std::abs(p.red() - colour.red()) < 60 && std::abs(p.green() - colour.green()) < 60
                     && std::abs(p.blue() - colour.blue()) < 60;
            }
        EXPECT_TRUE(found) << "no " << colour.name().toStdString() << " near the dragged point";
        if (!dir.isEmpty()) {
            EXPECT_TRUE(shot.save(QDir(dir).filePath(QString::fromLatin1(s.file)), "PNG"));
        }
    }
}
