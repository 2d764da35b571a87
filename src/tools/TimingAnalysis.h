// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The timing analysis: the total ignition advance for every RPM point and
// vacuum step as a grid of texts, and the same grid as a wire-frame in 3D
// with the projection that turns it into lines on a flat canvas. The app
// only puts texts into cells and draws the lines and labels it is given.

#include "table/Codec.h"

#include <optional>
#include <string>
#include <vector>

namespace kyr::tools {

constexpr int TimingGridColumns = 102; ///< fixed columns 0 and 1, then one per RPM point
constexpr int TimingGridRows = 34;     ///< fixed rows 0 and 1, then one per vacuum step
constexpr int TimingGridFixed = 2;     ///< fixed rows and fixed columns
constexpr int TimingGridColumnWidth = 30;
constexpr int TimingGridRowHeight = 20;

/// The text of vacuum step i (1-based): (i - 10) / 10 bar to one decimal, "-0.9" .. "2.2".
std::string vacuumStepText(int step);

/// A number as the grid shows it: shortest text, whole numbers without a point ("10", "-0.9").
std::string numberText(double value);

/// The "Timing Analysis" grid. Row 0 holds "RPM" and the RPM points 1..N,
/// column 0 "Bar" and the vacuum steps; row 1 the timing-by-RPM values,
/// column 1 the timing-by-vacuum values; body cell (c, r) is the whole
/// timing-by-RPM value of its column plus the vacuum value of its row.
class TimingGrid {
public:
    /// Every cell empty.
    TimingGrid();

    /// "Analyse Maps": the grid of the timing maps, N from the axes (the
    /// points past N stay empty).
    static TimingGrid analyse(const table::MapArrays& maps, const table::Axes& axes);

    /// A cell's text; "" for an empty cell or one outside the grid.
    const std::string& text(int column, int row) const;
    /// A cell's number; nullopt for a header, an empty cell or one outside the grid.
    std::optional<double> number(int column, int row) const;
    /// The RPM points filled (N), 0 for an empty grid.
    int rpmPoints() const { return m_points; }
    /// The vacuum steps filled, 0 for an empty grid.
    int vacuumSteps() const { return m_steps; }

private:
    struct Cell {
        std::string text;
        std::optional<double> value;
    };
    void setText(int column, int row, std::string text);
    void setNumber(int column, int row, double value);
    static int index(int column, int row) { return row * TimingGridColumns + column; }

    std::vector<Cell> m_cells;
    int m_points = 0;
    int m_steps = 0;
};

// ------------------------------------------------------------------ 3D

/// A point of the 3D canvas: x to the right, y downwards, z into the screen.
struct Point3 {
    double x = 0, y = 0, z = 0;
    bool operator==(const Point3&) const = default;
};

/// A point of the flat canvas, pixels from its top-left corner.
struct Point2 {
    double x = 0, y = 0;
    bool operator==(const Point2&) const = default;
};

enum class PenColour { Green, Red };

/// Lines from points[0] through every following point, in one pen.
struct Polyline {
    PenColour pen = PenColour::Red;
    std::vector<Point3> points;
};

/// Text at a point, rotated by angle degrees counter-clockwise on the screen.
struct Label3 {
    std::string text;
    Point3 at;
    double angle = 0;
    int fontSize = 10;
    PenColour colour = PenColour::Red;
};

/// What "View 3D" draws: the green axes, the red rows and columns, the labels.
struct WireFrame {
    std::vector<Polyline> lines;
    std::vector<Label3> labels;
};

/// The wire-frame of a filled grid. Each row of vacuum steps and each
/// column of RPM points is one polyline; each starts where the pen was left
/// (a row from the floor at its depth, a column from the floor at its x), so
/// the drawing shows the drop lines from the floor as well. Empty for an empty grid.
WireFrame wireFrame(const TimingGrid& grid);

/// How the 3D canvas is looked at.
struct View3D {
    double elevation = 340;       ///< degrees about the horizontal axis; 360 looks straight along z
    double rotation = 40;         ///< degrees about the vertical axis
    double horizontalOffset = 30; ///< pixels to the right
    double verticalOffset = -50;  ///< pixels downwards
    double tilt = -1;             ///< degrees about the line of sight
    double zoom = 54;             ///< percent; 100 is the size that fits an 800 x 400 canvas, scaled to the canvas
};

/// Projects a 3D canvas point onto a canvas of the given size (parallel
/// projection about the middle of the drawing's space).
Point2 project(const Point3& p, const View3D& view, double width, double height);

} // namespace kyr::tools
