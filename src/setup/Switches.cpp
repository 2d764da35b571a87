// SPDX-License-Identifier: GPL-3.0-or-later
#include "setup/Switches.h"

#include "setup/Decimal.h"
#include "table/Rounding.h"

#include <algorithm>
#include <utility>

namespace kyr::setup {

namespace {

using P = table::SetupParam;
using T = SwitchType;

constexpr int kSensorOn = 2;
constexpr int kSensorOff = 1;
constexpr int kLambdaMin = 25;
constexpr int kLambdaMax = 75;
// Track bar maxima: sensitivity 1..20, enrichment 1..20 (10 to 200 %),
// maximum RPM 1..100 (100 to 10000 RPM).
constexpr int kSensMax = 20;
constexpr int kEnrichMax = 20;
constexpr int kRpmMax = 100;

constexpr SwitchDef kSwitches[] = {
    {"CheckBox1", "Throttle Position Sensor", P::TpsActive, T::Sensor, 0, 0, 1, ""},
    {"CheckBox6", "Water Temp Sensor", P::WaterActive, T::Sensor, 0, 0, 1, ""},
    {"CheckBox4", "Air Temp Sensor", P::AirActive, T::Sensor, 0, 0, 1, ""},
    {"CheckBox2", "Lambda Sensor", P::LambdaActive, T::Sensor, 0, 0, 1, ""},
    {"CheckBox5", "Map Sensor", P::MapActive, T::Sensor, 0, 0, 1, ""},
    {"CheckBox3", "TDC Sensor", P::TdcActive, T::Sensor, 0, 0, 1, ""},
    {"CheckBox20", "Two Stroke", P::TwoStroke, T::Sensor, 0, 0, 1, ""},
    {"RadioButton7", "None", P::Out1Source, T::Source, 0, 0, 1, ""},
    {"RadioButton1", "RPM", P::Out1Source, T::Source, 1, 0, 1, ""},
    {"RadioButton2", "Vacuum", P::Out1Source, T::Source, 2, 0, 1, ""},
    {"RadioButton3", "TPS", P::Out1Source, T::Source, 3, 0, 1, ""},
    {"RadioButton4", "Lambda", P::Out1Source, T::Source, 4, 0, 1, ""},
    {"RadioButton5", "Water Temp", P::Out1Source, T::Source, 5, 0, 1, ""},
    {"RadioButton6", "Air Temp", P::Out1Source, T::Source, 6, 0, 1, ""},
    {"RadioButton11", "None", P::Out2Source, T::Source, 0, 0, 1, ""},
    {"RadioButton8", "RPM", P::Out2Source, T::Source, 1, 0, 1, ""},
    {"RadioButton9", "Vacuum", P::Out2Source, T::Source, 2, 0, 1, ""},
    {"RadioButton10", "TPS", P::Out2Source, T::Source, 3, 0, 1, ""},
    {"RadioButton12", "Lambda", P::Out2Source, T::Source, 4, 0, 1, ""},
    {"RadioButton13", "Water Temp", P::Out2Source, T::Source, 5, 0, 1, ""},
    {"RadioButton14", "Air Temp", P::Out2Source, T::Source, 6, 0, 1, ""},
    {"RadioGroup2", "Accelerator Pump", P::AccPumpMode, T::Choice, 0, 0, 3, ""},
    {"RadioGroup3", "Coil Combination", P::CoilCombination, T::Choice, 0, 0, 2, ""},
    {"RadioGroup4", "Tuning POT Input", P::TuningPot, T::Choice, 0, 0, 4, ""},
    {"TrackBar3", "", P::AccMapSens, T::Slider, 0, 1, kSensMax, "Edit46"},
    {"TrackBar4", "", P::AccMapEnrich, T::Slider, 0, 1, kEnrichMax, "Edit47"},
    {"TrackBar5", "", P::AccMapMaxRpm, T::Slider, 0, 1, kRpmMax, "Edit42"},
    {"TrackBar2", "", P::AccTpsSens, T::Slider, 0, 1, kSensMax, "Edit44"},
    {"TrackBar1", "", P::AccTpsEnrich, T::Slider, 0, 1, kEnrichMax, "Edit45"},
    {"TrackBar6", "", P::AccTpsMaxRpm, T::Slider, 0, 1, kRpmMax, "Edit43"},
    {"TrackBar7", "Target Volts", P::LambdaTarget, T::LambdaTarget, 0, kLambdaMin, kLambdaMax, "Edit48"},
};

constexpr unsigned bit(int raw) { return 1u << raw; }
constexpr unsigned kOn = bit(kSensorOn);
constexpr unsigned kAnySource = bit(1) | bit(2) | bit(3) | bit(4) | bit(5) | bit(6);
constexpr unsigned kPumpMap = bit(1) | bit(3);  // "Map", "Both"
constexpr unsigned kPumpTps = bit(2) | bit(3);  // "TPS", "Both"

// Each Calibrate button stands on a row of the "Active Sensors" panel (water,
// air, map sensor) and shows that row's hidden calibration field, so it needs
// the sensor on and the field's byte present. An output without a source has
// no Min and Max; the pump track bars serve only the modes that use them.
constexpr EnableRule kRules[] = {
    {P::TpsActive, kOn, "CalBtn", ""},
    {P::WaterActive, kOn, "Button1", "Edit52"},
    {P::AirActive, kOn, "Button2", "Edit58"},
    {P::MapActive, kOn, "Button3", "Edit60"},
    {P::Out1Source, kAnySource, "Edit16", "Edit16"},
    {P::Out1Source, kAnySource, "Edit17", "Edit17"},
    {P::Out2Source, kAnySource, "Edit1", "Edit1"},
    {P::Out2Source, kAnySource, "Edit24", "Edit24"},
    {P::AccPumpMode, kPumpMap, "TrackBar3", "TrackBar3"},
    {P::AccPumpMode, kPumpMap, "TrackBar4", "TrackBar4"},
    {P::AccPumpMode, kPumpMap, "TrackBar5", "TrackBar5"},
    {P::AccPumpMode, kPumpTps, "TrackBar2", "TrackBar2"},
    {P::AccPumpMode, kPumpTps, "TrackBar1", "TrackBar1"},
    {P::AccPumpMode, kPumpTps, "TrackBar6", "TrackBar6"},
};

int rawAt(const table::SetupCopy& copy, table::SetupParam p)
{
    return static_cast<int>(copy[table::setupOffset(p)]) - 1;
}

} // namespace

std::span<const SwitchDef> switchTable() { return kSwitches; }

const SwitchDef* switchByControl(std::string_view control)
{
    for (const auto& s : kSwitches)
        if (s.control == control)
            return &s;
    return nullptr;
}

int switchIndex(const SwitchDef& s) { return static_cast<int>(&s - kSwitches); }

std::optional<int> switchValue(const SwitchDef& s, int state)
{
    switch (s.type) {
    case T::Sensor:
        return state ? kSensorOn : kSensorOff;
    case T::Source:
        return state ? std::optional<int>(s.value) : std::nullopt;
    case T::Choice:
    case T::LambdaTarget:
        if (state < s.minimum || state > s.maximum)
            return std::nullopt;
        return state;
    case T::Slider:
        if (state < s.minimum || state > s.maximum)
            return std::nullopt;
        return s.maximum - state + 1;
    }
    return std::nullopt;
}

int switchState(const SwitchDef& s, int raw)
{
    switch (s.type) {
    case T::Sensor:
        return raw == kSensorOn ? 1 : 0;
    case T::Source:
        return raw == s.value ? 1 : 0;
    case T::Choice:
        if (raw == -1)
            return s.minimum; // a plus-one 0 selects the first item
        return raw >= s.minimum && raw <= s.maximum ? raw : -1;
    case T::Slider:
        return std::clamp(s.maximum - raw + 1, s.minimum, s.maximum);
    case T::LambdaTarget:
        return std::clamp(raw, s.minimum, s.maximum);
    }
    return 0;
}

std::string switchDisplayText(const SwitchDef& s, int position, std::string_view separator)
{
    auto raw = switchValue(s, position);
    if (!raw || s.display.empty())
        return {};
    if (s.type == T::LambdaTarget)
        return lambdaVoltsText(*raw, separator);
    return std::to_string(roundInt(table::shownValue(table::setupDef(s.param), *raw)));
}

namespace {

struct SliderTip {
    table::SetupParam param;
    std::string_view title, unit, meaning;
};

// What the track bars set, in the words a tuner uses.
constexpr SliderTip kSliderTips[] = {
    {P::AccMapSens, "Map pump Sensitivity", "",
     "How readily the accelerator pump answers a change of vacuum."},
    {P::AccMapEnrich, "Map pump Enrichment", "%", "The extra fuel the accelerator pump gives on a change of vacuum."},
    {P::AccMapMaxRpm, "Map pump Max RPM", "RPM", "The engine speed above which the accelerator pump gives nothing."},
    {P::AccTpsSens, "TPS pump Sensitivity", "",
     "How readily the accelerator pump answers a movement of the throttle."},
    {P::AccTpsEnrich, "TPS pump Enrichment", "%", "The extra fuel the accelerator pump gives as the throttle opens."},
    {P::AccTpsMaxRpm, "TPS pump Max RPM", "RPM", "The engine speed above which the accelerator pump gives nothing."},
    {P::LambdaTarget, "Target Volts", "V", "The lambda sensor voltage the lambda control aims for."},
};

} // namespace

std::string switchMeaning(const SwitchDef& s)
{
    switch (s.type) {
    case T::Sensor:
        if (s.param == P::TwoStroke)
            return "Ticked for a two-stroke engine.";
        return "Ticked when the engine has this sensor: the unit reads it only then.";
    case T::Source: {
        const std::string output = s.param == P::Out1Source ? "Output 1" : "Output 2";
        if (s.value == 0)
            return output + " is not used.";
        return output + " follows the " + std::string(s.caption) + " reading, between its Min and Max.";
    }
    case T::Choice:
        if (s.param == P::AccPumpMode)
            return "What sets off the accelerator pump: vacuum (Map), throttle (TPS), both, or nothing.";
        if (s.param == P::CoilCombination)
            return "How the coils are wired: one coil, wasted-spark pairs, or a coil per cylinder.";
        if (s.param == P::TuningPot)
            return "What the tuning pot trims while the engine runs, if anything.";
        return {};
    default:
        return {};
    }
}

std::string switchTip(const SwitchDef& s, std::string_view separator)
{
    if (s.type != T::Slider && s.type != T::LambdaTarget)
        return {};
    for (const SliderTip& t : kSliderTips) {
        if (t.param != s.param)
            continue;
        std::string tip(t.title);
        if (!t.unit.empty())
            tip += " (" + std::string(t.unit) + ")";
        // A pump bar's top is its largest value: the ends are put low to high.
        int low = s.minimum, high = s.maximum;
        if (switchValue(s, low).value_or(0) > switchValue(s, high).value_or(0))
            std::swap(low, high);
        tip += "\n" + std::string(t.meaning) + "\nRange: " + switchDisplayText(s, low, separator) + " to " +
               switchDisplayText(s, high, separator);
        tip += t.unit.empty() ? "\nNo unit: a number on the KYR's own scale." : " " + std::string(t.unit);
        return tip;
    }
    return {};
}

std::string lambdaVoltsText(int position, std::string_view separator)
{
    return formatFraction(position, 100, separator);
}

std::string lambdaLabelText(int position) { return "." + std::to_string(position); }

int lambdaMarkerLeft(int panelWidth, int position, int itemWidth)
{
    // panelWidth * position / 100 is a tie only at an exact .5, which a
    // double holds exactly, so the common rounding is safe here.
    return roundInt(panelWidth * position / 100.0) - roundInt(itemWidth / 2.0);
}

std::span<const EnableRule> enableRules() { return kRules; }

bool ruleHolds(const EnableRule& r, const table::SetupCopy& copy)
{
    int raw = rawAt(copy, r.when);
    bool on = raw >= 0 && raw < 32 && (r.rawMask & bit(raw)) != 0;
    return on && controlPresent(r.needs, copy);
}

bool rulesAllow(std::string_view control, const table::SetupCopy& copy)
{
    for (const auto& r : kRules)
        if (r.control == control && !ruleHolds(r, copy))
            return false;
    return true;
}

bool controlPresent(std::string_view control, const table::SetupCopy& copy)
{
    const table::SetupDef* d = table::setupByControl(control);
    return !d || copy[d->offset] != table::AbsentPlusOne;
}

} // namespace kyr::setup
