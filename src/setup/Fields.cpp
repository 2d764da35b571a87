// SPDX-License-Identifier: GPL-3.0-or-later
#include "setup/Fields.h"

#include "setup/Decimal.h"

#include <algorithm>
#include <string>
#include <utility>

namespace kyr::setup {

namespace {

using K = Kind;
using P = Parse;
using S = Scale;
using E = Effect;
using U = Upper;
using SP = table::SetupParam;

constexpr std::string_view kEngine = "Engine Configuration";
constexpr std::string_view kTiming = "Timing Configuration";
constexpr std::string_view kFuel = "Fuel Configuration";
constexpr std::string_view kLaunch = "Launch Control";
constexpr std::string_view kIdle = "Idle Control";
constexpr std::string_view kLambda = "Lambda Configuration";
constexpr std::string_view kVacuum = "Vacuum Configuration";
constexpr std::string_view kOut1 = "Output 1";
constexpr std::string_view kOut2 = "Output 2";
constexpr std::string_view kSensors = "Active Sensors";
constexpr std::string_view kFuelMaps = "Fuel Maps";

// field, label, panel, meaning,
//     MaxLength, kind, parse, lo, hi, upper, scale, output, effect, silentEmpty, zeroShowsAs
constexpr FieldDef kFields[] = {
    {SP::Cylinders, "Cylinders", kEngine, "The number of cylinders of the engine.",
     2, K::Restoring, P::Integer, 1, 12, U::Fixed, S::Value, 0, E::None, true, 0},
    {SP::RpmLimiter, "RPM Limiter", kEngine, "The engine speed the unit will not let the engine pass.",
     5, K::Restoring, P::Integer, 0, 10000, U::RpmRange, S::Div100, 0, E::None, true, 0},
    {SP::CoilTime, "Coil Time (ms)", kEngine, "How long the coil charges before each spark.",
     0, K::Restoring, P::Decimal, 0, 100, U::Fixed, S::Times2, 0, E::None, true, 0},
    {SP::MapSensor, "Map Sensor (kPa x10)", kEngine, "The vacuum range of the map sensor, in tenths of a bar: the vacuum maps span it.",
     0, K::Restoring, P::Integer, 0, 30, U::Fixed, S::Value, 0, E::None, true, 0},
    // A stored 0 runs the unit at 7000 RPM, so that is what the field shows.
    {SP::RpmRange, "RPM Range", kEngine, "The engine speed the RPM maps span: the timing map has a point for every 100 RPM.",
     5, K::Restoring, P::Integer, 0, 10000, U::Fixed, S::Div100, 0, E::RpmRange, true, 70},
    {SP::GearTeeth, "Gear Teeth", kTiming, "The number of teeth on the gear the timing sensor reads.",
     0, K::Restoring, P::Integer, 1, 60, U::Fixed, S::Value, 0, E::None, true, 0},
    {SP::TrailingDeg, "Trailing Degrees", kTiming, "The trailing degrees of the ignition.",
     0, K::Restoring, P::Integer, 0, 180, U::Fixed, S::Value, 0, E::None, true, 0},
    {SP::TimingSensor, "Timing Sensor \u00b0BTDC", kTiming, "Where the timing sensor sits, in degrees before top dead centre.",
     0, K::Restoring, P::Integer, 0, 180, U::Fixed, S::Value, 0, E::None, true, 0},
    {SP::StartEnrich, "Start enrichment ", kFuel, "The extra fuel given while the engine starts.",
     4, K::Restoring, P::Decimal, 0, 25, U::Fixed, S::Times10, 0, E::None, true, 0},
    {SP::MaxFueling, "Max Fueling ", kFuel, "The most fuel the unit gives.",
     4, K::Restoring, P::Decimal, 0, 25, U::Fixed, S::Times10, 0, E::None, true, 0},
    {SP::StartPrime, "Start Prime Pulse", kFuel, "The fuel pulse that primes the engine at start.",
     3, K::Quiet, P::Integer, 0, 255, U::Fixed, S::Value, 0, E::None, false, 0},
    {SP::FuelCutTps, "Fuel Cut-off TPS", kFuel, "The throttle position at which the fuel is cut off.",
     3, K::Restoring, P::Integer, 0, 100, U::Fixed, S::Value, 0, E::None, true, 0},
    {SP::FuelCutVac, "Fuel Cut-off Vac", kFuel, "The vacuum at which the fuel is cut off.",
     5, K::Restoring, P::Decimal, 0, 3, U::Fixed, S::Times100, 0, E::None, true, 0},
    {SP::FuelCutRpm, "Fuel Cut-off RPM", kFuel, "The engine speed at which the fuel is cut off.",
     5, K::Restoring, P::Integer, 0, 10000, U::Fixed, S::Div100, 0, E::None, true, 0},
    {SP::LaunchRpm, "RPM Limiter ", kLaunch, "The engine speed the launch control holds the engine to.",
     0, K::Restoring, P::DecimalRangeThenInteger, 0, 10000, U::Fixed, S::Div100, 0, E::None, true, 0},
    {SP::LaunchTiming, "Timing \u00b0", kLaunch, "The ignition timing during launch control.",
     0, K::Restoring, P::Integer, 0, 90, U::Fixed, S::Value, 0, E::None, true, 0},
    {SP::LaunchFuel, "Fuel %", kLaunch, "The fuelling during launch control.",
     0, K::Quiet, P::Integer, 0, 199, U::Fixed, S::Value, 0, E::None, false, 0},
    {SP::IdleRpm, "RPM", kIdle, "The engine speed the idle control holds.",
     5, K::Restoring, P::Integer, 0, 10000, U::Fixed, S::Div100, 0, E::None, true, 0},
    {SP::IdleStart, "Start %", kIdle, "The idle control's opening at start.",
     3, K::Quiet, P::Integer, 0, 199, U::Fixed, S::Value, 0, E::None, false, 0},
    {SP::IdleUp, "UP", kIdle, "How quickly the idle control answers when the speed must rise.",
     0, K::Quiet, P::Integer, 0, 99, U::Fixed, S::Value, 0, E::None, false, 0},
    {SP::IdleDown, "DOWN", kIdle, "How quickly the idle control answers when the speed must fall.",
     0, K::Quiet, P::Integer, 0, 99, U::Fixed, S::Value, 0, E::None, false, 0},
    {SP::LambdaPercent, "Control Percentage", kLambda, "How far the lambda control may correct the fuel.",
     0, K::Quiet, P::Integer, 0, 100, U::Fixed, S::Value, 0, E::None, false, 0},
    {SP::LambdaDelay, "Control Delay ", kLambda, "The delay of the lambda control.",
     0, K::Quiet, P::Integer, 5, 25, U::Fixed, S::Value, 0, E::None, false, 0},
    {SP::LambdaVariable, "Control Variable", kLambda, "The control variable of the lambda control.",
     0, K::Quiet, P::Integer, 5, 25, U::Fixed, S::Value, 0, E::None, false, 0},
    // A stored 0 means the unit's defaults of 0.1 and 0.9 bar.
    {SP::LowThrottleVac, "Low throttle vacuum ", kVacuum, "The vacuum taken as low throttle; the fuel vacuum map marks it.",
     5, K::Restoring, P::Decimal, 0, 3, U::Fixed, S::Times100, 0, E::VacuumLow, true, 10},
    {SP::HighThrottleVac, "High throttle vacuum", kVacuum, "The vacuum taken as high throttle; the fuel vacuum map marks it.",
     5, K::Restoring, P::Decimal, 0, 3, U::Fixed, S::Times100, 0, E::VacuumHigh, true, 90},
    {SP::Out1Min, "Min", kOut1, "The low end of output 1, in the units of its source.",
     5, K::Restoring, P::Decimal, 0, 10000, U::Fixed, S::Output, 1, E::None, true, 0},
    {SP::Out1Max, "Max", kOut1, "The high end of output 1, in the units of its source.",
     5, K::Restoring, P::Decimal, 0, 10000, U::Fixed, S::Output, 1, E::None, true, 0},
    {SP::Out2Min, "Min", kOut2, "The low end of output 2, in the units of its source.",
     5, K::Restoring, P::Decimal, 0, 10000, U::Fixed, S::Output, 2, E::None, true, 0},
    {SP::Out2Max, "Max", kOut2, "The high end of output 2, in the units of its source.",
     5, K::Restoring, P::Decimal, 0, 10000, U::Fixed, S::Output, 2, E::None, true, 0},
    {SP::WaterCal, "water temperature sensor calibration", kSensors, "The calibration value of the water temperature sensor.",
     3, K::Quiet, P::Integer, 0, 253, U::Fixed, S::Value, 0, E::None, true, 0},
    {SP::LambdaCal, "air temperature sensor calibration", kSensors, "The calibration value of the air temperature sensor.",
     0, K::Quiet, P::Integer, 0, 253, U::Fixed, S::Value, 0, E::None, true, 0},
    {SP::AirCal, "map sensor calibration", kSensors, "The calibration value of the map sensor.",
     0, K::Quiet, P::Integer, 0, 253, U::Fixed, S::Value, 0, E::None, true, 0},
    // The jet trims of the "Fuel Maps" page share the field rules.
    {SP::MainJet, "Main Jet", kFuelMaps, "The main jet's fuel trim.",
     0, K::Restoring, P::Integer, 0, 253, U::Fixed, S::Value, 0, E::Jet, true, 0},
    {SP::IdleJet, "Idle Jet", kFuelMaps, "The idle jet's fuel trim.",
     0, K::Restoring, P::Integer, 0, 253, U::Fixed, S::Value, 0, E::Jet, true, 0},
};

// Units beyond those that follow from the scale.
constexpr std::pair<table::SetupParam, std::string_view> kUnits[] = {
    {SP::TrailingDeg, "\u00b0"}, {SP::TimingSensor, "\u00b0"}, {SP::LaunchTiming, "\u00b0"},
    {SP::FuelCutTps, "%"}, {SP::LaunchFuel, "%"}, {SP::IdleStart, "%"}, {SP::LambdaPercent, "%"},
    {SP::MapSensor, "kPa x10"},
};

// The fields that count things: their caption says what.
constexpr table::SetupParam kCounts[] = {SP::Cylinders, SP::GearTeeth};

bool isCount(const FieldDef& f)
{
    return std::find(std::begin(kCounts), std::end(kCounts), f.param) != std::end(kCounts);
}

std::string_view trimmedLabel(std::string_view s)
{
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return s;
}

// What a tuner calls the field: its caption, with its output for the
// outputs' "Min" and "Max", capitalised, and its unit unless the caption
// names it already ("Coil Time (ms)", "Fuel %").
std::string tipTitle(const FieldDef& f, std::string_view unit)
{
    std::string title(trimmedLabel(f.label));
    // A caption too short to stand alone ("UP", "RPM", "Min") takes its panel's name.
    if (f.output != 0 || title.size() <= 4)
        title = std::string(f.panel) + " " + title;
    if (!title.empty() && title[0] >= 'a' && title[0] <= 'z')
        title[0] = static_cast<char>(title[0] - 'a' + 'A');
    if (!unit.empty() && title.find(unit) == std::string::npos)
        title += " (" + std::string(unit) + ")";
    return title;
}

} // namespace

std::span<const FieldDef> fieldTable() { return kFields; }

const FieldDef* fieldByParam(table::SetupParam param)
{
    for (const auto& f : kFields)
        if (f.param == param)
            return &f;
    return nullptr;
}

int fieldIndex(const FieldDef& f) { return static_cast<int>(&f - kFields); }

int fieldOffset(const FieldDef& f) { return table::setupOffset(f.param); }

table::SetupParam outputSourceParam(int output)
{
    return output == 2 ? table::SetupParam::Out2Source : table::SetupParam::Out1Source;
}

Scale effectiveScale(const FieldDef& f, int outputSource)
{
    if (f.scale != Scale::Output)
        return f.scale;
    switch (outputSource) {
    case SourceRpm: return Scale::Div100;
    case SourceVacuum:
    case SourceLambda: return Scale::Times100;
    default: return Scale::Value;
    }
}

std::string_view fieldUnit(const FieldDef& f, int outputSource)
{
    for (const auto& [param, unit] : kUnits)
        if (param == f.param)
            return unit;
    if (f.scale == Scale::Output && outputSource == SourceLambda)
        return "V";
    if (f.scale == Scale::Output && outputSource == SourceTps)
        return "%";
    if (f.scale == Scale::Output && (outputSource == SourceWater || outputSource == SourceAir))
        return "\u00b0C";
    switch (effectiveScale(f, outputSource)) {
    case Scale::Div100: return "RPM";
    case Scale::Times2: return "ms";
    case Scale::Times100: return "bar";
    default: return {};
    }
}

std::pair<uint64_t, uint64_t> scaleFactor(Scale s)
{
    switch (s) {
    case Scale::Div100: return {1, 100};
    case Scale::Times2: return {2, 1};
    case Scale::Times10: return {10, 1};
    case Scale::Times100: return {100, 1};
    default: return {1, 1};
    }
}

std::string fieldRange(const FieldDef& f, int outputSource, int rpmRange, std::string_view separator)
{
    auto [num, den] = scaleFactor(effectiveScale(f, outputSource));
    const long long hi = f.upper == Upper::RpmRange ? rpmRange : f.hi;
    // The highest byte the unit keeps may be the tighter bound (2.53 bar).
    const long long top = static_cast<long long>(table::MaxRawSent * den);
    std::string text = std::to_string(f.lo) + " to "
        + (hi * static_cast<long long>(num) <= top ? std::to_string(hi)
                                                   : formatFraction(top, static_cast<int>(num), separator));
    const std::string_view unit = fieldUnit(f, outputSource);
    if (!unit.empty() && unit != "%" && unit != "\u00b0")
        text += ' ';
    text += unit;
    return text;
}

std::string fieldTip(const FieldDef& f, int outputSource, int rpmRange, std::string_view separator)
{
    std::string tip = tipTitle(f, fieldUnit(f, outputSource));
    tip += '\n';
    tip += f.meaning;
    tip += "\nRange: " + fieldRange(f, outputSource, rpmRange, separator);
    // A field with no unit says so, rather than leave the tuner to wonder.
    if (fieldUnit(f, outputSource).empty())
        tip += isCount(f) ? "\nNo unit: a count." : "\nNo unit: a number on the KYR's own scale.";
    return tip;
}

std::string shownText(Scale s, int raw, std::string_view separator)
{
    switch (s) {
    case Scale::Div100: return std::to_string(raw * 100);
    case Scale::Times2: return formatFraction(raw, 2, separator);
    case Scale::Times10: return formatFraction(raw, 10, separator);
    case Scale::Times100: return formatFraction(raw, 100, separator);
    default: return std::to_string(raw);
    }
}

std::string jetTextForPosition(int position) { return std::to_string(JetPositionBase - position); }

bool isJet(table::SetupParam param)
{
    return param == table::SetupParam::MainJet || param == table::SetupParam::IdleJet;
}

} // namespace kyr::setup
