// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The option switches of the Setup page as data: sensor check boxes, the
// output source radio buttons, the three radio groups and the track bars.
// Each one sends WriteByte to its layout offset and stores value + 1; the
// engine (SetupEngine::switchChanged) applies these rows.
//
// A switch is described by its widget state, one int:
//   check box: 1 checked, 0 not;  radio button: 1 checked, 0 not;
//   radio group: item index (-1 none);  track bar: position.

#include "table/Codec.h"
#include "table/Layout.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace kyr::setup {

/// The switches of the Setup page, in the order of switchTable().
enum class SwitchId : int {
    TpsSensor, WaterSensor, AirSensor, LambdaSensor, MapSensor, TdcSensor, TwoStroke,
    Out1None, Out1Rpm, Out1Vacuum, Out1Tps, Out1Lambda, Out1Water, Out1Air,
    Out2None, Out2Rpm, Out2Vacuum, Out2Tps, Out2Lambda, Out2Water, Out2Air,
    AccPumpMode, CoilCombination, TuningPot,
    AccMapSens, AccMapEnrich, AccMapMaxRpm, AccTpsSens, AccTpsEnrich, AccTpsMaxRpm,
    LambdaTarget,
};
constexpr int SwitchCount = 31;

/// The read-only texts beside the track bars: the value each one sets, and
/// the lambda target's volts and its label on the lambda panel.
enum class SetupText : int {
    AccMapSensValue, AccMapEnrichValue, AccMapMaxRpmValue,
    AccTpsSensValue, AccTpsEnrichValue, AccTpsMaxRpmValue,
    LambdaVolts, LambdaLabel,
};
constexpr int SetupTextCount = 8;

/// The Calibrate buttons of the throttle and of the sensors of the "Active Sensors" panel.
enum class SetupButton : int { CalibrateThrottle, CalibrateWater, CalibrateAir, CalibrateMap };
constexpr int SetupButtonCount = 4;

/// Anything the Setup page shows: a field (by its setup parameter), a
/// switch, a read-only text or a button.
using SetupControl = std::variant<table::SetupParam, SwitchId, SetupText, SetupButton>;

enum class SwitchType {
    Sensor,       ///< check box: raw 2 on, 1 off
    Source,       ///< one radio button of an output source: raw = its code
    Choice,       ///< radio group: raw = item index (plus-one 0 selects item 0)
    Slider,       ///< accelerator pump track bar: position = maximum - raw + 1
    LambdaTarget, ///< the lambda target: position = raw, volts = raw / 100
};

struct SwitchDef {
    SwitchId id;
    std::string_view caption;  ///< its caption (radio button: the source name)
    table::SetupParam param;   ///< the setup byte it drives
    SwitchType type;
    int value;                 ///< Source: the code this button selects
    int minimum, maximum;      ///< Slider, LambdaTarget: position range; Choice: item range
    std::optional<SetupText> display; ///< the read-only text that shows the value
};

/// Every switch of the Setup page.
std::span<const SwitchDef> switchTable();
/// The row of a switch.
const SwitchDef& switchDef(SwitchId id);
/// Index of a row in switchTable().
int switchIndex(const SwitchDef& s);

/// The raw value a widget state sends, or nothing when that state sends
/// nothing (a radio button being unchecked, a position out of range).
std::optional<int> switchValue(const SwitchDef& s, int state);
/// The widget state that shows a stored raw value (raw -1 is a plus-one 0).
int switchState(const SwitchDef& s, int raw);
/// The text of the read-only edit beside a track bar for a position ("" when none).
std::string switchDisplayText(const SwitchDef& s, int position, std::string_view separator);

/// One line on what a check box, radio button or radio group does ("" for a track bar).
std::string switchMeaning(const SwitchDef& s);

/// The tip of a track bar and of the edit that shows its value: what it
/// sets, its unit, and the range of values it gives ("" for other switches).
std::string switchTip(const SwitchDef& s, std::string_view separator = ".");

/// The lambda target's companion texts: SetupText::LambdaVolts shows the
/// volts ("0.45"), SetupText::LambdaLabel "." + volts * 100 (".45").
std::string lambdaVoltsText(int position, std::string_view separator);
std::string lambdaLabelText(int position);
/// Left edge of the target marker or label in a lambda panel of the given
/// width: Round(width * volts) - Round(itemWidth / 2).
int lambdaMarkerLeft(int panelWidth, int position, int itemWidth);

/// A control whose enabled state follows a setup byte: enabled when the raw
/// value of `when` is one of the bits of `rawMask` and the byte of `needs`
/// (if any) is present.
struct EnableRule {
    table::SetupParam when;
    unsigned rawMask;
    SetupControl control;
    std::optional<table::SetupParam> needs;
};

/// The enable rules: Calibrate buttons by their sensor, output Min/Max by
/// their source, accelerator pump track bars by the pump mode.
std::span<const EnableRule> enableRules();
/// Whether a rule holds for a plus-one setup copy.
bool ruleHolds(const EnableRule& r, const table::SetupCopy& copy);
/// Whether the rules allow a control (true when no rule names it).
bool rulesAllow(const SetupControl& control, const table::SetupCopy& copy);
/// Whether a control's own setup byte is present (not plus-one 255): a
/// field's or a switch's. Texts and buttons have none and count as present.
bool controlPresent(const SetupControl& control, const table::SetupCopy& copy);

} // namespace kyr::setup
