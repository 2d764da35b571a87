// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/TimingAnalysis.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace kyr;
using namespace kyr::tools;
using table::MapId;

namespace {

table::MapArrays flatMaps(double timing, double vacuum)
{
    table::MapArrays maps;
    for (double& v : maps[MapId::TimingRpm])
        v = timing;
    for (double& v : maps[MapId::TimingVac])
        v = vacuum;
    return maps;
}

table::Axes axesWith(int n)
{
    table::Axes a;
    a.timingPoints = n;
    a.rpmRange = n * 100;
    return a;
}

} // namespace

TEST(TimingGrid, EmptyUntilAnalysed)
{
    const TimingGrid g;
    EXPECT_EQ(g.rpmPoints(), 0);
    EXPECT_EQ(g.text(1, 0), "");
    EXPECT_FALSE(g.number(2, 2));
    EXPECT_TRUE(wireFrame(g).lines.empty());
}

TEST(TimingGrid, HeadersAndVacuumSteps)
{
    const TimingGrid g = TimingGrid::analyse(flatMaps(10, 0), axesWith(70));
    EXPECT_EQ(g.text(1, 0), "RPM");
    EXPECT_EQ(g.text(0, 1), "Bar");
    EXPECT_EQ(g.text(0, 0), "");
    EXPECT_EQ(g.text(1, 1), "");
    EXPECT_EQ(g.text(2, 0), "1");
    EXPECT_EQ(g.text(71, 0), "70");
    // Step i is (i - 10) / 10 bar.
    EXPECT_EQ(g.text(0, 2), "-0.9");
    EXPECT_EQ(g.text(0, 10), "-0.1");
    EXPECT_EQ(g.text(0, 11), "0");
    EXPECT_EQ(g.text(0, 12), "0.1");
    EXPECT_EQ(g.text(0, 14), "0.3");
    EXPECT_EQ(g.text(0, 21), "1");
    EXPECT_EQ(g.text(0, 33), "2.2");
    for (int i = 1; i <= 32; ++i)
        EXPECT_EQ(vacuumStepText(i), g.text(0, i + 1)) << i;
    EXPECT_FALSE(g.number(0, 2)) << "headers are not values";
}

TEST(TimingGrid, FlatMapsGiveTheTimingEverywhere)
{
    const TimingGrid g = TimingGrid::analyse(flatMaps(10, 0), axesWith(70));
    for (int c = 2; c <= 71; ++c)
        for (int r = 2; r <= 33; ++r) {
            ASSERT_EQ(g.text(c, r), "10") << c << "," << r;
            ASSERT_EQ(g.number(c, r), 10.0);
        }
}

TEST(TimingGrid, NPointsFillOnlyTheirColumns)
{
    const TimingGrid g = TimingGrid::analyse(flatMaps(10, 0), axesWith(70));
    EXPECT_EQ(g.rpmPoints(), 70);
    EXPECT_EQ(g.vacuumSteps(), 32);
    for (int c = 72; c < TimingGridColumns; ++c)
        for (int r = 0; r < TimingGridRows; ++r)
            ASSERT_EQ(g.text(c, r), "") << c << "," << r;
    EXPECT_EQ(g.text(102, 2), "") << "outside the grid";
    EXPECT_EQ(g.text(-1, 2), "");

    // All 100 places fill every column but the two fixed ones.
    const TimingGrid full = TimingGrid::analyse(flatMaps(10, 0), axesWith(100));
    EXPECT_EQ(full.text(101, 33), "10");
}

TEST(TimingGrid, BodyIsWholeTimingPlusVacuum)
{
    table::MapArrays maps = flatMaps(0, 0);
    maps.set(MapId::TimingRpm, 1, 20);
    maps.set(MapId::TimingRpm, 2, 12.5); // made whole halves to even: 12
    maps.set(MapId::TimingRpm, 3, 13.5); // 14
    maps.set(MapId::TimingVac, 1, -10);
    maps.set(MapId::TimingVac, 32, 7);
    const TimingGrid g = TimingGrid::analyse(maps, axesWith(3));
    EXPECT_EQ(g.text(2, 1), "20");
    EXPECT_EQ(g.text(3, 1), "12.5");
    EXPECT_EQ(g.text(1, 2), "-10");
    EXPECT_EQ(g.text(2, 2), "10");
    EXPECT_EQ(g.text(3, 2), "2");
    EXPECT_EQ(g.text(4, 2), "4");
    EXPECT_EQ(g.text(2, 33), "27");
    EXPECT_EQ(g.text(4, 33), "21");
    EXPECT_EQ(g.text(5, 2), "");
}

TEST(TimingWireFrame, AxesLabelsRowsAndColumns)
{
    table::MapArrays maps = flatMaps(10, 0);
    maps.set(MapId::TimingVac, 1, 2); // g = cell (2, 2) = 12
    const TimingGrid g = TimingGrid::analyse(maps, axesWith(4));
    const WireFrame f = wireFrame(g);
    ASSERT_EQ(f.lines.size(), 3u + 32u + 4u);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(f.lines[i].pen, PenColour::Green);
    EXPECT_EQ(f.lines[0].points.back(), (Point3{800, 500, 0}));
    EXPECT_EQ(f.lines[1].points.back(), (Point3{0, 500 - 5 * 12, 0}));
    EXPECT_EQ(f.lines[2].points.back(), (Point3{0, 500, 640}));
    ASSERT_EQ(f.labels.size(), 2u);
    EXPECT_EQ(f.labels[0].text, "RPM");
    EXPECT_EQ(f.labels[0].at, (Point3{200, 510, 0}));
    EXPECT_EQ(f.labels[0].angle, 15);
    EXPECT_EQ(f.labels[1].text, "VACUUM");
    EXPECT_EQ(f.labels[1].at, (Point3{0, 510, 250}));
    EXPECT_EQ(f.labels[1].angle, -32);

    // Row 1 starts at the top of the first point, row 2 from the floor at its depth.
    const Polyline& row1 = f.lines[3];
    EXPECT_EQ(row1.pen, PenColour::Red);
    ASSERT_EQ(row1.points.size(), 5u);
    EXPECT_EQ(row1.points[0], (Point3{0, 440, 0}));
    EXPECT_EQ(row1.points[4], (Point3{24, 440, 0}));
    const Polyline& row2 = f.lines[4];
    EXPECT_EQ(row2.points[0], (Point3{0, 500, 20}));
    EXPECT_EQ(row2.points[1], (Point3{0, 450, 20}));
    EXPECT_EQ(f.lines[34].points.back(), (Point3{24, 450, 620}));
    // Column 2 starts from the floor at its x.
    const Polyline& col2 = f.lines[36];
    ASSERT_EQ(col2.points.size(), 33u);
    EXPECT_EQ(col2.points[0], (Point3{8, 500, 0}));
    EXPECT_EQ(col2.points[1], (Point3{8, 440, 0}));
    EXPECT_EQ(col2.points[32], (Point3{8, 450, 620}));
}

TEST(TimingProjection, DeterministicAndInsideTheCanvas)
{
    const View3D view;
    const Point3 p{123, 321, 456};
    EXPECT_EQ(project(p, view, 700, 450), project(p, view, 700, 450));

    // The middle of the drawing lands on the canvas centre moved by the offsets.
    const Point2 mid = project({400, 400, 320}, view, 700, 450);
    EXPECT_NEAR(mid.x, 350 + 30, 1e-9);
    EXPECT_NEAR(mid.y, 225 - 50, 1e-9);

    // Higher advance is higher on the screen; the RPM axis rises to the
    // right and the vacuum axis falls, as the labels' angles (15, -32) run.
    const Point2 origin = project({0, 500, 0}, view, 700, 450);
    EXPECT_LT(project({0, 300, 0}, view, 700, 450).y, origin.y);
    const Point2 rpmEnd = project({800, 500, 0}, view, 700, 450);
    const Point2 vacuumEnd = project({0, 500, 640}, view, 700, 450);
    const double rpmAngle = std::atan2(origin.y - rpmEnd.y, rpmEnd.x - origin.x) * 180 / 3.14159265358979;
    const double vacuumAngle = std::atan2(origin.y - vacuumEnd.y, vacuumEnd.x - origin.x) * 180 / 3.14159265358979;
    EXPECT_NEAR(rpmAngle, 15, 5);
    EXPECT_NEAR(vacuumAngle, -32, 12);

    const WireFrame f = wireFrame(TimingGrid::analyse(flatMaps(45, 10), axesWith(100)));
    for (const Polyline& l : f.lines)
        for (const Point3& q : l.points) {
            const Point2 s = project(q, view, 700, 450);
            ASSERT_TRUE(std::isfinite(s.x) && std::isfinite(s.y));
            ASSERT_GE(s.x, 0);
            ASSERT_LE(s.x, 700);
            ASSERT_GE(s.y, 0);
            ASSERT_LE(s.y, 450);
        }
}
