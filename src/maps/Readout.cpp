// SPDX-License-Identifier: GPL-3.0-or-later
#include "maps/Readout.h"

#include "table/Rounding.h"

#include <cmath>
#include <cstdio>

namespace kyr::maps {

std::string formatNumber(double v)
{
    if (v == 0.0 || std::isnan(v))
        v = 0.0; // no "-0" from rounding a small negative, no "nan" in a field
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.10g", v);
    return buf;
}

double mouseCursorX(ChartId id, double x)
{
    return roundTo(x, chartDef(id).readout.cursorDecimals);
}

Readout mouseReadout(ChartId id, double x, double y, const Axes& axes)
{
    const auto& r = chartDef(id).readout;
    Readout out{id, std::nullopt, std::nullopt};

    const double value = roundEven(y);
    if (value >= r.valueMin && value <= r.valueMax)
        out.value = formatNumber(value);

    const double tested = roundTo(x, r.positionTestDecimals);
    if (tested >= r.positionMin && tested <= positionLimit(id, axes)) {
        const double cursor = mouseCursorX(id, x);
        out.position = formatNumber(r.positionText == PositionText::Hundreds ? cursor * 100.0 : cursor);
    }
    return out;
}

Readout keyReadout(ChartId id, double pointX, double value)
{
    const auto& r = chartDef(id).readout;
    double position = pointX;
    if (r.keyPosition == KeyPosition::Hundreds)
        position = pointX * 100.0;
    else if (r.keyPosition == KeyPosition::OneDecimal)
        position = roundTo(pointX, 1);
    return {id, formatNumber(roundEven(value)), formatNumber(position)};
}

} // namespace kyr::maps
