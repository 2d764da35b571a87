// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/TimingAnalysis.h"

#include "table/Rounding.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <numbers>

namespace kyr::tools {

namespace {

using table::MapId;

const std::string Empty;

// The 3D canvas: the floor at y 500, one RPM point every 8 along x, one
// vacuum step every 20 along z, a degree of advance 5 high.
constexpr double Floor = 500;
constexpr double RpmStep = 8;
constexpr double VacuumStep = 20;
constexpr double DegreeHeight = 5;
constexpr double RpmAxisEnd = 800;
constexpr double VacuumAxisEnd = 640;

// Zoom 100 makes the drawing as large as fits a canvas this size.
constexpr double ZoomWidth = RpmAxisEnd;
constexpr double ZoomHeight = 400;

// The middle of the space the drawing takes: the projection turns about it.
constexpr Point3 ViewCentre{RpmAxisEnd / 2, Floor - 100, VacuumAxisEnd / 2};

double radians(double degrees) { return degrees * std::numbers::pi / 180.0; }

double height(double value) { return Floor - DegreeHeight * value; }

} // namespace

std::string vacuumStepText(int step)
{
    return numberText(roundTo((step - 10) / 10.0, 1));
}

std::string numberText(double value)
{
    if (!std::isfinite(value))
        return {};
    if (value == 0)
        value = 0; // no "-0"
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, r.ptr);
}

// ------------------------------------------------------------------ grid

TimingGrid::TimingGrid() : m_cells(TimingGridColumns * TimingGridRows) {}

const std::string& TimingGrid::text(int column, int row) const
{
    if (column < 0 || column >= TimingGridColumns || row < 0 || row >= TimingGridRows)
        return Empty;
    return m_cells[index(column, row)].text;
}

std::optional<double> TimingGrid::number(int column, int row) const
{
    if (column < 0 || column >= TimingGridColumns || row < 0 || row >= TimingGridRows)
        return std::nullopt;
    return m_cells[index(column, row)].value;
}

void TimingGrid::setText(int column, int row, std::string text)
{
    m_cells[index(column, row)] = Cell{std::move(text), std::nullopt};
}

void TimingGrid::setNumber(int column, int row, double value)
{
    m_cells[index(column, row)] = Cell{numberText(value), value};
}

TimingGrid TimingGrid::analyse(const table::MapArrays& maps, const table::Axes& axes)
{
    const auto& rpm = maps[MapId::TimingRpm];
    const auto& vacuum = maps[MapId::TimingVac];
    TimingGrid g;
    // N is 1..100 once derived; the grid and the map bound it all the same.
    g.m_points = std::clamp(axes.timingPoints, 0,
                            std::min<int>(TimingGridColumns - TimingGridFixed, static_cast<int>(rpm.size())));
    g.m_steps = std::min<int>(TimingGridRows - TimingGridFixed, static_cast<int>(vacuum.size()));

    g.setText(1, 0, "RPM");
    g.setText(0, 1, "Bar");
    for (int j = 1; j <= g.m_points; ++j) {
        g.setText(j + 1, 0, std::to_string(j));
        g.setNumber(j + 1, 1, rpm[j - 1]);
    }
    for (int i = 1; i <= g.m_steps; ++i) {
        g.setText(0, i + 1, vacuumStepText(i));
        g.setNumber(1, i + 1, vacuum[i - 1]);
    }
    for (int c = TimingGridFixed; c < TimingGridFixed + g.m_points; ++c) {
        const int base = roundInt(*g.number(c, 1));
        for (int r = TimingGridFixed; r < TimingGridFixed + g.m_steps; ++r)
            g.setNumber(c, r, base + *g.number(1, r));
    }
    return g;
}

// ------------------------------------------------------------------ 3D

WireFrame wireFrame(const TimingGrid& grid)
{
    WireFrame f;
    const int n = grid.rpmPoints();
    const int steps = grid.vacuumSteps();
    if (n == 0 || steps == 0)
        return f;
    auto cell = [&](int c, int r) { return grid.number(c + 1, r + 1).value_or(0); };
    auto at = [&](int c, int r) { return Point3{(c - 1) * RpmStep, height(cell(c, r)), (r - 1) * VacuumStep}; };
    const double g = cell(1, 1);
    const Point3 origin{0, Floor, 0};
    const Point3 top{0, height(g), 0};

    f.lines.push_back({PenColour::Green, {origin, {RpmAxisEnd, Floor, 0}}});
    f.lines.push_back({PenColour::Green, {origin, top}});
    f.lines.push_back({PenColour::Green, {origin, {0, Floor, VacuumAxisEnd}}});
    f.labels.push_back({"RPM", {200, Floor + 10, 0}, 15});
    f.labels.push_back({"VACUUM", {0, Floor + 10, 250}, -32});

    // Each row starts where the pen was left: the top of the first point,
    // then the floor at the row's depth.
    Point3 pen = top;
    for (int r = 1; r <= steps; ++r) {
        Polyline row{PenColour::Red, {pen}};
        for (int c = 1; c <= n; ++c)
            row.points.push_back(at(c, r));
        f.lines.push_back(std::move(row));
        pen = Point3{0, Floor, r * VacuumStep};
    }
    pen = top;
    for (int c = 1; c <= n; ++c) {
        Polyline column{PenColour::Red, {pen}};
        for (int r = 1; r <= steps; ++r)
            column.points.push_back(at(c, r));
        f.lines.push_back(std::move(column));
        pen = Point3{c * RpmStep, Floor, 0};
    }
    return f;
}

Point2 project(const Point3& p, const View3D& view, double width, double height)
{
    const double x = p.x - ViewCentre.x;
    const double y = p.y - ViewCentre.y;
    const double z = p.z - ViewCentre.z;
    // About the vertical axis: the RPM axis turns towards the viewer.
    const double a = radians(view.rotation);
    const double x1 = x * std::cos(a) + z * std::sin(a);
    const double z1 = -x * std::sin(a) + z * std::cos(a);
    // About the horizontal screen axis: below 360 the vacuum axis comes
    // down towards the viewer, so the RPM axis rises to the right and the
    // vacuum axis falls, as the labels' angles expect.
    const double e = radians(view.elevation);
    const double y2 = y * std::cos(e) - z1 * std::sin(e);
    // About the line of sight.
    const double t = radians(view.tilt);
    const double x3 = x1 * std::cos(t) - y2 * std::sin(t);
    const double y3 = x1 * std::sin(t) + y2 * std::cos(t);
    const double scale = view.zoom / 100.0 * std::min(width / ZoomWidth, height / ZoomHeight);
    return {width / 2 + view.horizontalOffset + x3 * scale, height / 2 + view.verticalOffset + y3 * scale};
}

} // namespace kyr::tools
