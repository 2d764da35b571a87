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

namespace kyr::setup {

enum class SwitchType {
    Sensor,       ///< check box: raw 2 on, 1 off
    Source,       ///< one radio button of an output source: raw = its code
    Choice,       ///< radio group: raw = item index (plus-one 0 selects item 0)
    Slider,       ///< accelerator pump track bar: position = maximum - raw + 1
    LambdaTarget, ///< TrackBar7: position = raw, volts = raw / 100
};

struct SwitchDef {
    std::string_view control;  ///< form control name
    std::string_view caption;  ///< its caption (radio button: the source name)
    table::SetupParam param;   ///< the setup byte it drives
    SwitchType type;
    int value;                 ///< Source: the code this button selects
    int minimum, maximum;      ///< Slider, LambdaTarget: position range; Choice: item range
    std::string_view display;  ///< the read-only edit that shows the value, or ""
};

/// Every switch of the Setup page.
std::span<const SwitchDef> switchTable();
/// The row of a control, or nullptr.
const SwitchDef* switchByControl(std::string_view control);
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

/// TrackBar7's companion texts: Edit48 shows the volts ("0.45"), Label6 "." + volts * 100 (".45").
constexpr std::string_view LambdaVoltsEdit = "Edit48";
constexpr std::string_view LambdaTargetLabel = "Label6";
std::string lambdaVoltsText(int position, std::string_view separator);
std::string lambdaLabelText(int position);
/// Left edge of the target marker or label in a lambda panel of the given
/// width: Round(width * volts) - Round(itemWidth / 2).
int lambdaMarkerLeft(int panelWidth, int position, int itemWidth);

/// A control whose enabled state follows a setup byte: enabled when the raw
/// value of `when` is one of the bits of `rawMask` and the byte of `needs`
/// (a control of the layout; "" for none) is present.
struct EnableRule {
    table::SetupParam when;
    unsigned rawMask;
    std::string_view control;
    std::string_view needs;
};

/// The enable rules: Calibrate buttons by their sensor, output Min/Max by
/// their source, accelerator pump track bars by the pump mode.
std::span<const EnableRule> enableRules();
/// Whether a rule holds for a plus-one setup copy.
bool ruleHolds(const EnableRule& r, const table::SetupCopy& copy);
/// Whether the rules allow a control (true when no rule names it).
bool rulesAllow(std::string_view control, const table::SetupCopy& copy);
/// Whether a control's own setup byte is present (not plus-one 255).
/// Controls without a layout row count as present.
bool controlPresent(std::string_view control, const table::SetupCopy& copy);

} // namespace kyr::setup
