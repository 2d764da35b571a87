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
using W = SwitchId;
using X = SetupText;
using B = SetupButton;

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
    {W::TpsSensor, "Throttle Position Sensor", P::TpsActive, T::Sensor, 0, 0, 1, std::nullopt},
    {W::WaterSensor, "Water Temp Sensor", P::WaterActive, T::Sensor, 0, 0, 1, std::nullopt},
    {W::AirSensor, "Air Temp Sensor", P::AirActive, T::Sensor, 0, 0, 1, std::nullopt},
    {W::LambdaSensor, "Lambda Sensor", P::LambdaActive, T::Sensor, 0, 0, 1, std::nullopt},
    {W::MapSensor, "Map Sensor", P::MapActive, T::Sensor, 0, 0, 1, std::nullopt},
    {W::TdcSensor, "TDC Sensor", P::TdcActive, T::Sensor, 0, 0, 1, std::nullopt},
    {W::TwoStroke, "Two Stroke", P::TwoStroke, T::Sensor, 0, 0, 1, std::nullopt},
    {W::Out1None, "None", P::Out1Source, T::Source, 0, 0, 1, std::nullopt},
    {W::Out1Rpm, "RPM", P::Out1Source, T::Source, 1, 0, 1, std::nullopt},
    {W::Out1Vacuum, "Vacuum", P::Out1Source, T::Source, 2, 0, 1, std::nullopt},
    {W::Out1Tps, "TPS", P::Out1Source, T::Source, 3, 0, 1, std::nullopt},
    {W::Out1Lambda, "Lambda", P::Out1Source, T::Source, 4, 0, 1, std::nullopt},
    {W::Out1Water, "Water Temp", P::Out1Source, T::Source, 5, 0, 1, std::nullopt},
    {W::Out1Air, "Air Temp", P::Out1Source, T::Source, 6, 0, 1, std::nullopt},
    {W::Out2None, "None", P::Out2Source, T::Source, 0, 0, 1, std::nullopt},
    {W::Out2Rpm, "RPM", P::Out2Source, T::Source, 1, 0, 1, std::nullopt},
    {W::Out2Vacuum, "Vacuum", P::Out2Source, T::Source, 2, 0, 1, std::nullopt},
    {W::Out2Tps, "TPS", P::Out2Source, T::Source, 3, 0, 1, std::nullopt},
    {W::Out2Lambda, "Lambda", P::Out2Source, T::Source, 4, 0, 1, std::nullopt},
    {W::Out2Water, "Water Temp", P::Out2Source, T::Source, 5, 0, 1, std::nullopt},
    {W::Out2Air, "Air Temp", P::Out2Source, T::Source, 6, 0, 1, std::nullopt},
    {W::AccPumpMode, "Accelerator Pump", P::AccPumpMode, T::Choice, 0, 0, 3, std::nullopt},
    {W::CoilCombination, "Coil Combination", P::CoilCombination, T::Choice, 0, 0, 2, std::nullopt},
    {W::TuningPot, "Tuning POT Input", P::TuningPot, T::Choice, 0, 0, 4, std::nullopt},
    {W::AccMapSens, "", P::AccMapSens, T::Slider, 0, 1, kSensMax, X::AccMapSensValue},
    {W::AccMapEnrich, "", P::AccMapEnrich, T::Slider, 0, 1, kEnrichMax, X::AccMapEnrichValue},
    {W::AccMapMaxRpm, "", P::AccMapMaxRpm, T::Slider, 0, 1, kRpmMax, X::AccMapMaxRpmValue},
    {W::AccTpsSens, "", P::AccTpsSens, T::Slider, 0, 1, kSensMax, X::AccTpsSensValue},
    {W::AccTpsEnrich, "", P::AccTpsEnrich, T::Slider, 0, 1, kEnrichMax, X::AccTpsEnrichValue},
    {W::AccTpsMaxRpm, "", P::AccTpsMaxRpm, T::Slider, 0, 1, kRpmMax, X::AccTpsMaxRpmValue},
    {W::LambdaTarget, "Target Volts", P::LambdaTarget, T::LambdaTarget, 0, kLambdaMin, kLambdaMax, X::LambdaVolts},
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
    {P::TpsActive, kOn, B::CalibrateThrottle, std::nullopt},
    {P::WaterActive, kOn, B::CalibrateWater, P::WaterCal},
    {P::AirActive, kOn, B::CalibrateAir, P::LambdaCal},
    {P::MapActive, kOn, B::CalibrateMap, P::AirCal},
    {P::Out1Source, kAnySource, P::Out1Min, P::Out1Min},
    {P::Out1Source, kAnySource, P::Out1Max, P::Out1Max},
    {P::Out2Source, kAnySource, P::Out2Min, P::Out2Min},
    {P::Out2Source, kAnySource, P::Out2Max, P::Out2Max},
    {P::AccPumpMode, kPumpMap, W::AccMapSens, P::AccMapSens},
    {P::AccPumpMode, kPumpMap, W::AccMapEnrich, P::AccMapEnrich},
    {P::AccPumpMode, kPumpMap, W::AccMapMaxRpm, P::AccMapMaxRpm},
    {P::AccPumpMode, kPumpTps, W::AccTpsSens, P::AccTpsSens},
    {P::AccPumpMode, kPumpTps, W::AccTpsEnrich, P::AccTpsEnrich},
    {P::AccPumpMode, kPumpTps, W::AccTpsMaxRpm, P::AccTpsMaxRpm},
};

int rawAt(const table::SetupCopy& copy, table::SetupParam p)
{
    return static_cast<int>(copy[table::setupOffset(p)]) - 1;
}

} // namespace

std::span<const SwitchDef> switchTable() { return kSwitches; }

const SwitchDef& switchDef(SwitchId id) { return kSwitches[static_cast<int>(id)]; }

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
    if (!raw || !s.display)
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
    return on && (!r.needs || copy[table::setupOffset(*r.needs)] != table::AbsentPlusOne);
}

bool rulesAllow(const SetupControl& control, const table::SetupCopy& copy)
{
    for (const auto& r : kRules)
        if (r.control == control && !ruleHolds(r, copy))
            return false;
    return true;
}

bool controlPresent(const SetupControl& control, const table::SetupCopy& copy)
{
    std::optional<table::SetupParam> param;
    if (const auto* p = std::get_if<table::SetupParam>(&control))
        param = *p;
    else if (const auto* w = std::get_if<SwitchId>(&control))
        param = switchDef(*w).param;
    return !param || copy[table::setupOffset(*param)] != table::AbsentPlusOne;
}

} // namespace kyr::setup
