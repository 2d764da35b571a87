// SPDX-License-Identifier: GPL-3.0-or-later
#include "maps/Charts.h"

#include "table/Rounding.h"

namespace kyr::maps {

namespace {

using C = ChartId;
using M = MapId;
using B = BottomRule;
using S = StepSpan;
using L = Limit;
using P = PositionText;
using K = KeyPosition;

constexpr CurveDef kTimingCurves[] = {{M::TimingRpm, ""}};
constexpr CurveDef kVacuumCurves[] = {{M::TimingVac, ""}};
constexpr CurveDef kFuelVacCurves[] = {{M::FuelVac, ""}};
constexpr CurveDef kFuelRpmCurves[] = {
    {M::FuelCruise, "Cruise"},
    {M::FuelLow, "Low"},
    {M::FuelHigh, "High"},
};
constexpr CurveDef kTempCurves[] = {{M::WaterTemp, ""}};
constexpr CurveDef kAirCurves[] = {
    {M::AirTempFuel, "Fuel"},
    {M::AirTempTiming, "Timing"},
};
constexpr CurveDef kVoltageCurves[] = {{M::Voltage, ""}};

// Read-out rules of a mouse move: cursor x places, value window, position test
// places and window, position text, key-down position form.
constexpr ReadoutRule kTimingRead{0, 0, 45, 0, 1, L::TimingPoints, 0, P::Hundreds, K::Hundreds};
constexpr ReadoutRule kVacuumRead{2, -10, 10, 1, -1.0, L::VacuumRange, 0, P::Cursor, K::OneDecimal};
constexpr ReadoutRule kFuelVacRead{2, -50, 50, 1, 0, L::VacuumRange, 0, P::Cursor, K::OneDecimal};
constexpr ReadoutRule kFuelRpmRead{0, -50, 50, 0, 0, L::RpmHundreds, 0, P::Hundreds, K::Hundreds};
constexpr ReadoutRule kTempRead{0, -60, 60, 0, 0, L::Fixed, 120, P::Cursor, K::Plain};
constexpr ReadoutRule kAirRead{0, -50, 50, 0, -20, L::Fixed, 100, P::Cursor, K::Plain};
// The voltage position is tested on round(x) against 0..120 as on the
// temperature charts; on the 8..16 V axis it always holds.
constexpr ReadoutRule kVoltageRead{1, -50, 50, 0, 0, L::Fixed, 120, P::Cursor, K::Plain};

const ChartDef kCharts[table::ChartCount] = {
    {C::Timing, "Timing Map", "Timing Map", "Degrees", "RPM x 100", 0, 45,
     B::TimingRpm, 0, 0, S::BottomAxis, 0, 45, kTimingCurves, MapGroup::Timing, kTimingRead},
    {C::Vacuum, "Timing Map", "Vacuum Map", "Degrees", "Bar", -10, 10,
     B::Vacuum, 0, 0, S::VacuumRange, 32, 10, kVacuumCurves, MapGroup::Timing, kVacuumRead},
    {C::FuelVac, "Fuel Maps", "Vacuum Map", "%", "Bar", -50, 50,
     B::VacuumRounded, 0, 0, S::VacuumRange, 64, 50, kFuelVacCurves, MapGroup::Fuel, kFuelVacRead},
    {C::FuelRpm, "Fuel Maps", "RPM Map", "%", "RPM x 100", -50, 50,
     B::FuelRpm, 0, 0, S::BottomAxis, 32, 50, kFuelRpmCurves, MapGroup::Fuel, kFuelRpmRead},
    {C::Temp, "Correction Maps", "Water Temp Correction", "%", "\u00b0C", -60, 60,
     B::Fixed, 0, 120, S::BottomAxis, 24, 60, kTempCurves, MapGroup::Fuel, kTempRead},
    {C::AirTmp, "Correction Maps", "Air Temp Correction", "%", "\u00b0C", -20, 20,
     B::Fixed, -20, 100, S::BottomAxis, 24, 50, kAirCurves, MapGroup::Fuel, kAirRead},
    {C::Voltage, "Correction Maps", "Voltage Correction", "%", "Volts", -50, 50,
     B::Fixed, 8, 16, S::BottomAxis, 16, 50, kVoltageCurves, MapGroup::Fuel, kVoltageRead},
};

double vacuumRange(const Axes& axes) { return axes.mapSensor / 10.0; }

// The correction charts' titles name what is on the axis, and their unit
// follows; the others' titles are the unit themselves.
struct AxisQuantity {
    ChartId chart;
    std::string_view value;
    std::string_view x;
};
constexpr AxisQuantity kQuantities[] = {
    {C::Temp, "Correction", "Water Temp"},
    {C::AirTmp, "", "Air Temp"}, // named by the map being edited: "Fuel" or "Timing"
    {C::Voltage, "Correction", "Battery"},
};

const AxisQuantity* quantityOf(ChartId id)
{
    for (const auto& q : kQuantities)
        if (q.chart == id)
            return &q;
    return nullptr;
}

std::string titled(std::string_view quantity, std::string_view unit)
{
    return std::string(quantity) + " (" + std::string(unit) + ")";
}

} // namespace

std::span<const ChartDef> chartTable() { return kCharts; }

const ChartDef& chartDef(ChartId id) { return kCharts[static_cast<int>(id)]; }


const CurveDef& curveOf(MapId map)
{
    const auto& m = table::mapDef(map);
    for (const auto& c : chartDef(m.chart).curves)
        if (c.map == map)
            return c;
    return chartDef(m.chart).curves.front(); // unreachable: every map has a curve (checked by the tests)
}

std::string_view valueUnit(MapId map) { return table::mapDef(map).unit == "deg" ? "\u00b0" : "%"; }

std::string_view xUnit(table::XRule rule)
{
    switch (rule) {
    case table::XRule::RpmTiming:
    case table::XRule::RpmFuel: return "RPM";
    case table::XRule::Vacuum: return "bar";
    case table::XRule::Voltage: return "V";
    case table::XRule::WaterTemp:
    case table::XRule::AirTemp: break;
    }
    return "\u00b0C";
}

std::string_view positionUnit(ChartId id) { return xUnit(table::mapDef(chartDef(id).curves.front().map).xRule); }

std::string valueAxisTitle(ChartId id, MapId shown)
{
    const AxisQuantity* q = quantityOf(id);
    if (!q)
        return std::string(chartDef(id).leftTitle);
    return titled(q->value.empty() ? curveOf(shown).caption : q->value, valueUnit(shown));
}

std::string bottomAxisTitle(ChartId id)
{
    const AxisQuantity* q = quantityOf(id);
    return q ? titled(q->x, positionUnit(id)) : std::string(chartDef(id).bottomTitle);
}

AxisRange bottomAxis(ChartId id, const Axes& axes)
{
    const auto& c = chartDef(id);
    const double r100 = axes.rpmRange / 100.0;
    const double vac = vacuumRange(axes);
    switch (c.bottom) {
    case BottomRule::TimingRpm: return {0, roundEven(r100), std::nullopt};
    case BottomRule::FuelRpm: return {0, r100, std::nullopt};
    case BottomRule::Vacuum:
        return {0, vac + 0.2, vac < 2.0 ? std::optional<double>(0.1) : std::nullopt};
    case BottomRule::VacuumRounded: return {0, roundTo(vac + 0.2, 2), std::nullopt};
    case BottomRule::Fixed: break;
    }
    return {c.bottomMin, c.bottomMax, std::nullopt};
}

double keyStep(ChartId id, const Axes& axes)
{
    const auto& c = chartDef(id);
    const int divisor = c.stepDivisor != 0 ? c.stepDivisor : axes.timingPoints;
    if (divisor <= 0)
        return 0.0;
    if (c.stepSpan == StepSpan::VacuumRange)
        return vacuumRange(axes) / divisor;
    const AxisRange b = bottomAxis(id, axes);
    return (b.max - b.min) / divisor;
}

double positionLimit(ChartId id, const Axes& axes)
{
    const auto& r = chartDef(id).readout;
    switch (r.positionLimit) {
    case Limit::TimingPoints: return axes.timingPoints;
    case Limit::VacuumRange: return vacuumRange(axes);
    case Limit::RpmHundreds: return axes.rpmRange / 100.0;
    case Limit::Fixed: break;
    }
    return r.positionMax;
}

} // namespace kyr::maps
