// SPDX-License-Identifier: GPL-3.0-or-later
#include "table/Layout.h"

namespace kyr::table {

namespace {

using G = MapGroup;
using X = XRule;
using C = ChartId;

constexpr MapDef kMaps[MapCount] = {
    {MapId::TimingRpm, "timing-rpm", "Timing by RPM", 101, 100, 0, G::Timing, 0xE8, -1, X::RpmTiming, 0, 45, C::Timing, "deg"},
    {MapId::TimingVac, "timing-vacuum", "Timing by vacuum", 201, 32, 10, G::Timing, 0xE8, 99, X::Vacuum, -10, 10, C::Vacuum, "deg"},
    {MapId::FuelVac, "fuel-vacuum", "Fuel by vacuum", 233, 64, 100, G::Fuel, 0xDE, -1, X::Vacuum, -50, 50, C::FuelVac, "%"},
    {MapId::FuelCruise, "fuel-rpm-cruise", "Fuel by RPM, Cruise", 297, 32, 100, G::Fuel, 0xDE, 63, X::RpmFuel, -50, 50, C::FuelRpm, "%"},
    {MapId::WaterTemp, "water-temp", "Water temperature correction", 329, 24, 100, G::Fuel, 0xD4, -1, X::WaterTemp, -60, 60, C::Temp, "%"},
    {MapId::AirTempFuel, "air-temp-fuel", "Air temperature correction of fuel", 353, 24, 100, G::Fuel, 0xD4, 23, X::AirTemp, -20, 20, C::AirTmp, "%"},
    {MapId::Voltage, "voltage", "Battery voltage correction", 377, 16, 100, G::Fuel, 0xD4, 47, X::Voltage, -50, 50, C::Voltage, "%"},
    {MapId::FuelLow, "fuel-rpm-low", "Fuel by RPM, Low", 393, 32, 100, G::Fuel, 0xCA, -1, X::RpmFuel, -50, 50, C::FuelRpm, "%"},
    {MapId::FuelHigh, "fuel-rpm-high", "Fuel by RPM, High", 425, 32, 100, G::Fuel, 0xCA, 31, X::RpmFuel, -50, 50, C::FuelRpm, "%"},
    {MapId::AirTempTiming, "air-temp-timing", "Air temperature correction of timing", 457, 24, 100, G::Fuel, 0xCA, 63, X::AirTemp, -20, 20, C::AirTmp, "deg"},
};

constexpr Bank kBanks[] = {
    {0xF2, 0}, {0xE8, 101}, {0xDE, 233}, {0xD4, 329}, {0xCA, 393},
};

constexpr UnitType kTypes[] = {
    {1, "Timing and Vacuum", "Timing", true, false},
    {2, "Fuel", "Fuel", false, true},
    {3, "Fuel and Timing", "Fuel and Timing", true, true},
    {5, "Advanced Fuel and Timing", "", true, true},
    {6, "Advanced Fuel and Timing", "", true, true},
};

constexpr std::string_view kPot[] = {"Off", "Injector", "Timing", "Battery", "Launch"};
constexpr std::string_view kOutput[] = {"None", "RPM", "Vacuum", "TPS", "Lambda", "Water Temp", "Air Temp"};
constexpr std::string_view kAccPump[] = {"None", "Map", "TPS", "Both"};
constexpr std::string_view kCoil[] = {"Single", "Wasted Spark", "Multi Coil"};

using P = SetupParam;
using S = Shown;

const SetupDef kSetup[] = {
    {P::TimingSensor, 0, "timing sensor position", S::Raw, "Timing Sensor \u00b0BTDC", {}},
    {P::GearTeeth, 1, "gear teeth", S::Raw, "Gear Teeth", {}},
    {P::IdleJet, 2, "idle jet fuel trim", S::Raw, "Idle Jet", {}},
    {P::MainJet, 3, "main jet fuel trim", S::Raw, "Main Jet", {}},
    {P::StartPrime, 4, "start prime pulse", S::Raw, "Start Prime Pulse", {}},
    {P::TpsActive, 5, "throttle position sensor active", S::Switch, "Throttle Position Sensor", {}},
    {P::WaterActive, 6, "water temperature sensor active", S::Switch, "Water Temp Sensor", {}},
    {P::AirActive, 7, "air temperature sensor active", S::Switch, "Air Temp Sensor", {}},
    {P::LambdaActive, 8, "lambda sensor active", S::Switch, "Lambda Sensor", {}},
    {P::MapActive, 9, "map sensor active", S::Switch, "Map Sensor", {}},
    {P::LambdaTarget, 10, "lambda target (V)", S::Div100, "Target Volts", {}},
    {P::LambdaPercent, 11, "lambda control percentage", S::Raw, "Control Percentage", {}},
    {P::LambdaDelay, 12, "lambda control delay", S::Raw, "Control Delay ", {}},
    {P::LambdaVariable, 13, "lambda control variable", S::Raw, "Control Variable", {}},
    {P::TuningPot, 14, "tuning pot input", S::Choice, "Tuning POT Input", kPot},
    {P::FuelCutRpm, 15, "fuel cut-off RPM", S::Times100, "Fuel Cut-off RPM", {}},
    {P::FuelCutVac, 16, "fuel cut-off vacuum", S::Div100, "Fuel Cut-off Vac", {}},
    {P::FuelCutTps, 17, "fuel cut-off throttle", S::Raw, "Fuel Cut-off TPS", {}},
    {P::AccMapSens, 23, "accelerator pump, map: sensitivity", S::Raw, "", {}},
    {P::AccMapEnrich, 24, "accelerator pump, map: enrichment (%)", S::Times10, "", {}},
    {P::AccMapMaxRpm, 25, "accelerator pump, map: maximum RPM", S::Times100, "", {}},
    {P::AccTpsSens, 26, "accelerator pump, throttle: sensitivity", S::Raw, "", {}},
    {P::AccTpsEnrich, 27, "accelerator pump, throttle: enrichment (%)", S::Times10, "", {}},
    {P::AccTpsMaxRpm, 28, "accelerator pump, throttle: maximum RPM", S::Times100, "", {}},
    {P::Out1Source, 29, "output 1 source", S::Choice, "Output 1", kOutput},
    {P::Out1Min, 30, "output 1 minimum", S::OutputScaled, "Min", {}},
    {P::Out1Max, 31, "output 1 maximum", S::OutputScaled, "Max", {}},
    {P::Out2Source, 32, "output 2 source", S::Choice, "Output 2", kOutput},
    {P::Out2Min, 33, "output 2 minimum", S::OutputScaled, "Min", {}},
    {P::Out2Max, 34, "output 2 maximum", S::OutputScaled, "Max", {}},
    {P::IdleRpm, 35, "idle control RPM", S::Times100, "RPM", {}},
    {P::IdleStart, 36, "idle control start percentage", S::Raw, "Start %", {}},
    {P::AccPumpMode, 37, "accelerator pump mode", S::Choice, "Accelerator Pump", kAccPump},
    {P::TpsCalLow, 38, "throttle sensor calibration, low", S::Raw, "", {}},
    {P::TpsCalHigh, 39, "throttle sensor calibration, high", S::Raw, "", {}},
    {P::LowThrottleVac, 40, "low throttle vacuum", S::Div100, "Low throttle vacuum ", {}},
    {P::HighThrottleVac, 41, "high throttle vacuum", S::Div100, "High throttle vacuum", {}},
    {P::MaxFueling, 42, "maximum fueling", S::Div10, "Max Fueling ", {}},
    {P::StartEnrich, 43, "start enrichment", S::Div10, "Start enrichment ", {}},
    {P::WaterCal, 44, "water temperature sensor calibration", S::Raw, "", {}},
    {P::TdcActive, 45, "TDC sensor active", S::Switch, "TDC Sensor", {}},
    {P::LaunchRpm, 46, "launch control RPM limiter", S::Times100, "RPM Limiter ", {}},
    {P::LaunchTiming, 47, "launch control timing", S::Raw, "Timing \u00b0", {}},
    {P::LaunchFuel, 48, "launch control fuel", S::Raw, "Fuel %", {}},
    {P::TwoStroke, 49, "two-stroke engine", S::Switch, "Two Stroke", {}},
    {P::LambdaCal, 50, "lambda sensor calibration", S::Raw, "", {}},
    {P::TrailingDeg, 51, "trailing degrees", S::Raw, "Trailing Degrees", {}},
    {P::AirCal, 52, "air temperature sensor calibration", S::Raw, "", {}},
    {P::IdleUp, 53, "idle control response up", S::Raw, "UP", {}},
    {P::IdleDown, 54, "idle control response down", S::Raw, "DOWN", {}},
    {P::Cylinders, 80, "cylinders", S::Raw, "Cylinders", {}},
    {P::RpmRange, 81, "RPM range", S::Times100, "RPM Range", {}},
    {P::CoilTime, 82, "coil time (ms)", S::Div2, "Coil Time (ms)", {}},
    {P::MapSensor, 83, "map sensor (kPa x10)", S::Raw, "Map Sensor (kPa x10)", {}},
    {P::RpmLimiter, 84, "RPM limiter", S::Times100, "RPM Limiter", {}},
    {P::Setting85, 85, "setting 85", S::Raw, "", {}},
    {P::CoilCombination, 86, "coil combination", S::Choice, "Coil Combination", kCoil},
    {P::Serial1, 94, "serial number 1", S::Raw, "1", {}},
    {P::Serial2, 95, "serial number 2", S::Raw, "2", {}},
    {P::Serial3, 96, "serial number 3", S::Raw, "3", {}},
    {P::SerialHw, 97, "hardware number", S::Raw, "H/W", {}},
    {P::SerialPrefix1, 98, "serial prefix 1", S::Char, "Cust", {}},
    {P::SerialPrefix2, 99, "serial prefix 2", S::Char, "Cust", {}},
};

} // namespace

std::span<const MapDef> mapTable() { return kMaps; }

const MapDef& mapDef(MapId id) { return kMaps[static_cast<int>(id)]; }

std::optional<MapId> mapByName(std::string_view name)
{
    for (const auto& m : kMaps)
        if (m.name == name)
            return m.id;
    return std::nullopt;
}

std::span<const Bank> bankTable() { return kBanks; }

std::optional<int> bankOffset(uint8_t command, int index)
{
    for (const auto& b : kBanks)
        if (b.command == command)
            return b.base + index;
    return std::nullopt;
}

std::optional<UnitType> unitType(int code)
{
    for (const auto& t : kTypes)
        if (t.code == code)
            return t;
    return std::nullopt;
}

bool hasGroup(const UnitType& t, MapGroup g)
{
    return g == MapGroup::Timing ? t.timing : t.fuel;
}

std::span<const SetupDef> setupTable() { return kSetup; }

const SetupDef& setupDef(SetupParam p)
{
    for (const auto& d : kSetup)
        if (d.param == p)
            return d;
    return kSetup[0]; // unreachable: every SetupParam has a row (checked by the tests)
}

int setupOffset(SetupParam p) { return setupDef(p).offset; }

const SetupDef* setupByOffset(int offset)
{
    for (const auto& d : kSetup)
        if (d.offset == offset)
            return &d;
    return nullptr;
}

double shownValue(const SetupDef& d, int raw, int outputSource)
{
    switch (d.shown) {
    case Shown::Times100: return raw * 100.0;
    case Shown::Times10: return raw * 10.0;
    case Shown::Div100: return raw / 100.0;
    case Shown::Div10: return raw / 10.0;
    case Shown::Div2: return raw / 2.0;
    case Shown::OutputScaled:
        if (outputSource == 1) return raw * 100.0;
        if (outputSource == 2 || outputSource == 4) return raw / 100.0;
        if (outputSource == 0) return 0.0;
        return raw;
    default: return raw;
    }
}

} // namespace kyr::table
