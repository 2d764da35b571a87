// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The numeric setup fields as data: one row per field, one engine for all.
//
// Table offsets are not repeated here: each row names its setup parameter and
// the offset comes from the layout. Which control shows a field is the app's
// business.
//
// Ranges chosen where the unit's own limits are not stated per field:
// - "Control Delay " and "Control Variable" (LambdaDelay, LambdaVariable): the unit works
//   with 5 to 25, and a field is judged only when its edit is finished, so
//   5 to 25 is what they take. A refused value keeps the last accepted one:
//   a "0" would be below the unit's range too.
// - The three hidden sensor calibration fields (WaterCal, LambdaCal, AirCal): one
//   byte each, so 0 to 253 is accepted and more is refused ("0").
// - Every field: a byte below 0 or above 253 is refused like an out-of-range
//   value of its kind, never sent wrapped (254 would read back as "absent").

#include "table/Layout.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

namespace kyr::setup {

/// What an accepted value does to the tool bar. A refused value never sends
/// anything: every field shows its last accepted value again.
enum class Kind {
    Restoring, ///< accepting marks the image changed (spRead off, spWrite on)
    Quiet,     ///< accepting leaves spRead and spWrite alone
};

/// How the text is read.
enum class Parse {
    Integer,
    Decimal,
    DecimalRangeThenInteger, ///< range checked on the decimal, value then read as an integer
};

/// How the field's value becomes the byte (and the byte the shown value).
enum class Scale {
    Value,    ///< byte = value
    Div100,   ///< byte = Round(value / 100)   (RPM)
    Times2,   ///< byte = Round(value * 2)     (milliseconds in halves)
    Times10,  ///< byte = Round(value * 10)
    Times100, ///< byte = Round(value * 100)   (bar, volts)
    Output,   ///< by the output's source: RPM Div100, Vacuum and Lambda Times100, others Value
};

/// What else an accepted value does.
enum class Effect {
    None,
    RpmRange,     ///< becomes the RPM range in force
    VacuumLow,    ///< moves the "low" marker of the fuel vacuum chart
    VacuumHigh,   ///< moves the "high" marker of the fuel vacuum chart
    Jet,          ///< moves the jet's track bar to 255 - value
};

/// The upper bound of the accepted range.
enum class Upper {
    Fixed,     ///< FieldDef::hi
    RpmRange,  ///< the RPM range in force when the edit is made
};

struct FieldDef {
    table::SetupParam param;    ///< the setup byte it edits
    std::string_view label;     ///< its caption
    std::string_view panel;     ///< the panel (or page) that holds it
    std::string_view meaning;   ///< what the value does, in one sentence for the tuner
    int maxLength;              ///< longest text taken, 0 = no limit; a longer one is refused
    Kind kind;
    Parse parse;
    int lo, hi;                 ///< accepted range in the field's own units
    Upper upper;
    Scale scale;
    int output;                 ///< 1 or 2 for the output Min/Max fields, else 0
    Effect effect;
    bool silentEmpty;           ///< an empty text stops without a message
    int zeroShowsAs;            ///< a stored raw 0 is shown as this raw value (0 = as is)
};

/// Every field, in the order of the setup page, then the two jet fields.
std::span<const FieldDef> fieldTable();
/// The row of a setup parameter, or nullptr when no field edits it.
const FieldDef* fieldByParam(table::SetupParam param);
/// Index of a row in fieldTable().
int fieldIndex(const FieldDef& f);
/// The table offset of a field (from the layout).
int fieldOffset(const FieldDef& f);
/// The output source setting of an output field's output (Out1Source or Out2Source).
table::SetupParam outputSourceParam(int output);

/// The scale in force for a field: Output resolves by the source code.
Scale effectiveScale(const FieldDef& f, int outputSource);

/// Numerator and denominator of a scale: byte = Round(value * num / den).
std::pair<uint64_t, uint64_t> scaleFactor(Scale s);

/// The unit a field's value is in ("RPM", "ms", "bar", "%"), "" when it has none to show.
std::string_view fieldUnit(const FieldDef& f, int outputSource);

/// What a field takes under a source and an RPM range, in its shown units:
/// "1 to 12", "0 to 7000 RPM", "0 to 2.53 bar" (the highest byte the unit
/// keeps may be the tighter bound).
std::string fieldRange(const FieldDef& f, int outputSource, int rpmRange, std::string_view separator = ".");

/// A field's tooltip: its name with the unit, its meaning and what it takes,
/// one to a line ("Coil Time (ms)", "How long ...", "Range: 0 to 100 ms").
std::string fieldTip(const FieldDef& f, int outputSource, int rpmRange, std::string_view separator = ".");

/// The shown text of a raw byte under a scale, e.g. Times2 of 5 is "2.5".
std::string shownText(Scale s, int raw, std::string_view separator);

/// Output source codes.
enum OutputSource : int { SourceNone = 0, SourceRpm = 1, SourceVacuum = 2, SourceTps = 3,
                          SourceLambda = 4, SourceWater = 5, SourceAir = 6 };
constexpr int OutputSourceCount = 7;

/// A jet track bar position is JetPositionBase - value (the top of the bar is the largest value).
constexpr int JetPositionBase = 255;
/// The lowest jet track bar position that maps to a value that may be sent.
constexpr int JetTrackBarMin = JetPositionBase - table::MaxRawSent;

/// The text a jet edit takes when its track bar moves to `position`.
std::string jetTextForPosition(int position);
/// Whether a field is one of the two jet trims, which have a track bar beside them.
bool isJet(table::SetupParam param);

} // namespace kyr::setup
