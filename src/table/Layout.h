// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The DataTable layout as data: the ten maps and the setup area. Every table
// offset, bias and bank in the program is read from these two tables.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace kyr::table {

constexpr int TableSize = 482;      ///< bytes of the configuration table, offsets 0..481
constexpr int SetupSize = 101;      ///< setup area, offsets 0..100
constexpr int TrailerOffset = 481;  ///< the trailer byte
constexpr uint8_t TrailerRaw = 55;  ///< what the encoder always writes there
constexpr uint8_t AbsentPlusOne = 255; ///< plus-one value marking a setting the unit lacks
constexpr int MaxRawSent = 253;     ///< the highest raw value any editor may send (254 would read back as absent)

using ImageBytes = std::array<uint8_t, TableSize>;

// ---------------------------------------------------------------- maps

enum class MapId : int {
    TimingRpm, TimingVac, FuelVac, FuelCruise, WaterTemp,
    AirTempFuel, Voltage, FuelLow, FuelHigh, AirTempTiming,
};
constexpr int MapCount = 10;

/// The two map groups a unit type may have.
enum class MapGroup { Timing, Fuel };

/// The seven charts that show the maps.
enum class ChartId : int { Timing, Vacuum, FuelVac, FuelRpm, Temp, AirTmp, Voltage };
constexpr int ChartCount = 7;

/// How the x of point i is computed.
enum class XRule {
    RpmTiming, ///< i * (R/100) / N
    Vacuum,    ///< i / points * M / 10
    RpmFuel,   ///< i * (R/100) / 32
    WaterTemp, ///< i * 120 / 24
    AirTemp,   ///< (i-1) * 120/23 - 20
    Voltage,   ///< (i+14)/15 * 8
};

/// A live-write bank: the command byte and the table offset of its index 0.
struct Bank {
    uint8_t command;
    int base;
};

struct MapDef {
    MapId id;
    std::string_view name;     ///< short name used by the tools ("timing-rpm")
    std::string_view title;    ///< what a user calls it
    int firstOffset;           ///< table offset of point 1
    int points;                ///< places in the table
    int bias;                  ///< raw byte = shown value + bias
    MapGroup group;
    uint8_t bank;              ///< live-write command byte
    int indexBase;             ///< live-write index of point i = indexBase + i
    XRule xRule;
    double minValue, maxValue; ///< the chart's drag range
    ChartId chart;             ///< the chart that draws it
    std::string_view unit;     ///< "deg" or "%"
};

/// The ten maps in table order of MapId.
std::span<const MapDef> mapTable();
const MapDef& mapDef(MapId id);
std::optional<MapId> mapByName(std::string_view name);

/// The live-write banks: F2 (setup) and the four map banks.
std::span<const Bank> bankTable();
/// Table offset for a bank command and index, or nullopt for an unknown bank.
std::optional<int> bankOffset(uint8_t command, int index);

/// Live-write index of point i (1-based) of a map.
inline int writeIndex(const MapDef& m, int i) { return m.indexBase + i; }
/// Table offset of point i (1-based) of a map.
inline int pointOffset(const MapDef& m, int i) { return m.firstOffset + i - 1; }

// ---------------------------------------------------------------- unit types

struct UnitType {
    int code;
    std::string_view name;        ///< name used by Connect
    std::string_view searchName;  ///< name used by the start-up port search
    bool timing;                  ///< has the two timing maps
    bool fuel;                    ///< has the fuel and correction maps
};

/// The unit type for an identity type code, or nullopt for an unknown code.
std::optional<UnitType> unitType(int code);
bool hasGroup(const UnitType& t, MapGroup g);

// ---------------------------------------------------------------- setup area

enum class SetupParam : int {
    TimingSensor, GearTeeth, IdleJet, MainJet, StartPrime,
    TpsActive, WaterActive, AirActive, LambdaActive, MapActive,
    LambdaTarget, LambdaPercent, LambdaDelay, LambdaVariable, TuningPot,
    FuelCutRpm, FuelCutVac, FuelCutTps,
    AccMapSens, AccMapEnrich, AccMapMaxRpm, AccTpsSens, AccTpsEnrich, AccTpsMaxRpm,
    Out1Source, Out1Min, Out1Max, Out2Source, Out2Min, Out2Max,
    IdleRpm, IdleStart, AccPumpMode, TpsCalLow, TpsCalHigh,
    LowThrottleVac, HighThrottleVac, MaxFueling, StartEnrich, WaterCal,
    TdcActive, LaunchRpm, LaunchTiming, LaunchFuel, TwoStroke,
    LambdaCal, TrailingDeg, AirCal, IdleUp, IdleDown,
    Cylinders, RpmRange, CoilTime, MapSensor, RpmLimiter, Setting85, CoilCombination,
    Serial1, Serial2, Serial3, SerialHw, SerialPrefix1, SerialPrefix2,
};

/// How a raw setup byte becomes the shown value.
enum class Shown {
    Raw,          ///< as is
    Times100,     ///< raw * 100 (RPM)
    Times10,      ///< raw * 10 (percent)
    Div100,       ///< raw / 100
    Div10,        ///< raw / 10
    Div2,         ///< raw / 2 (milliseconds)
    Switch,       ///< 2 on, 1 off
    Choice,       ///< an index into the choices
    OutputScaled, ///< by the output's source: RPM x100, Vacuum and Lambda /100, others raw
    Char,         ///< a character code
};

struct SetupDef {
    SetupParam param;
    int offset;
    std::string_view parameter;   ///< what it is
    Shown shown;
    std::string_view caption;     ///< its caption on the page
    std::span<const std::string_view> choices; ///< for Shown::Choice
};

/// Every setup byte the program uses, in offset order.
std::span<const SetupDef> setupTable();
const SetupDef& setupDef(SetupParam p);
int setupOffset(SetupParam p);
/// The row at a table offset, or nullptr for a carried-through byte.
const SetupDef* setupByOffset(int offset);

/// The shown value of a raw byte (for Shown::OutputScaled pass the source code).
double shownValue(const SetupDef& d, int raw, int outputSource = 0);

} // namespace kyr::table
