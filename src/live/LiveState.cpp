// SPDX-License-Identifier: GPL-3.0-or-later
#include "live/LiveState.h"

#include <algorithm>

namespace kyr::live {

namespace {

using table::ChartId;

constexpr double KpaPerBar = 100.0;

std::optional<double> scaled(std::optional<double> v, double divisor)
{
    if (!v)
        return std::nullopt;
    return *v / divisor;
}

constexpr ChartId kTracked[] = {ChartId::Timing, ChartId::FuelRpm, ChartId::Vacuum};

constexpr std::nullopt_t None = std::nullopt;

constexpr GaugeDef kGauges[GaugeCount] = {
    {Gauge::RpmHundreds, "rpm", "RPM", "RPM x 100", 0, 100, 1, 10, 4, {None, None, 65, 75}},
    {Gauge::Degrees, "timing", "Timing", "Degrees", -10, 50, 1, 10, 1, {None, None, 40, 45}},
    {Gauge::KpaTens, "vacuum", "Vacuum", "kPa x10", 0, 25, 1, 5, 4, {None, None, None, None}},
    {Gauge::LambdaVolts, "lambda", "Lambda", "V", 0, 1, 2, 0.2, 1, {0.1, 0.2, None, None}},
    {Gauge::AirFuel, "afr", "Mixture", "Air/Fuel Ratio", 10, 20, 1, 2, 1, {None, None, 15.5, 16.5}},
    {Gauge::Volts, "battery", "Battery", "V", 8, 16, 1, 2, 1, {11, 12, 14.8, 15.5}},
    {Gauge::InjectorPercent, "injector", "Injector Duty", "% Inj", 0, 100, 1, 20, 1, {None, None, 80, 90}},
    {Gauge::InjectorMs, "injectorms", "Injector Time", "ms", 0, 25, 2, 5, 4, {None, None, None, None}},
    {Gauge::Celsius, "water", "Water Temp", "\u00b0C", -40, 120, 0, 20, 1, {None, None, 100, 110}},
    {Gauge::AirCelsius, "air", "Air Temp", "\u00b0C", -40, 120, 0, 20, 1, {None, None, 50, 65}},
    {Gauge::ThrottlePercent, "throttle", "Throttle", "%", 0, 100, 0, 20, 1, {None, None, None, None}},
    {Gauge::PotPercent, "pot", "POT", "%", 0, 100, 0, 20, 1, {None, None, None, None}},
};

} // namespace

std::optional<double> liveChartX(ChartId chart, const LiveValues& v)
{
    switch (chart) {
    case ChartId::Timing:
    case ChartId::FuelRpm:
        return scaled(v.get(LiveField::Rpm), 100.0);
    case ChartId::Vacuum:
    case ChartId::FuelVac:
        return scaled(v.get(LiveField::Vacuum), KpaPerBar);
    case ChartId::Temp:
        return v.get(LiveField::WaterTemp);
    case ChartId::AirTmp:
        return v.get(LiveField::AirTemp);
    case ChartId::Voltage:
        return v.get(LiveField::Battery);
    }
    return std::nullopt;
}

std::optional<double> trackingCursorX(ChartId chart, const LiveValues& v)
{
    if (std::find(std::begin(kTracked), std::end(kTracked), chart) == std::end(kTracked)
        && chart != ChartId::FuelVac)
        return std::nullopt;
    return liveChartX(chart, v);
}

std::span<const ChartId> trackedCharts() { return kTracked; }

double airFuelRatio(double lambdaVolts)
{
    // Two points of the usual narrow-band curve; the sensor says rich or lean,
    // not how much, so the figure is a guide only.
    constexpr double LeanV = 0.1, LeanAfr = 16.0, RichV = 0.9, RichAfr = 13.0;
    const double afr = LeanAfr + (lambdaVolts - LeanV) * (RichAfr - LeanAfr) / (RichV - LeanV);
    return std::clamp(afr, 10.0, 20.0);
}

std::span<const GaugeDef> gaugeTable() { return kGauges; }

const GaugeDef& gaugeDef(Gauge g)
{
    for (const GaugeDef& d : kGauges)
        if (d.gauge == g)
            return d;
    return kGauges[0];
}

std::optional<double> gaugeValue(Gauge g, const LiveValues& v, ThrottleCal cal)
{
    switch (g) {
    case Gauge::RpmHundreds:
        return scaled(v.get(LiveField::Rpm), 100.0);
    case Gauge::Degrees:
        return v.get(LiveField::Timing);
    case Gauge::KpaTens:
        return scaled(v.get(LiveField::Vacuum), 10.0);
    case Gauge::LambdaVolts:
        return v.get(LiveField::Lambda);
    case Gauge::AirFuel:
        if (auto l = v.get(LiveField::Lambda))
            return airFuelRatio(*l);
        return std::nullopt;
    case Gauge::Volts:
        return v.get(LiveField::Battery);
    case Gauge::InjectorPercent:
        return v.get(LiveField::InjectorDuty);
    case Gauge::InjectorMs:
        return logValue(LogColumn::InjectorMs, v, cal);
    case Gauge::Celsius:
        return v.get(LiveField::WaterTemp);
    case Gauge::AirCelsius:
        return v.get(LiveField::AirTemp);
    case Gauge::ThrottlePercent:
        return logValue(LogColumn::ThrottlePercent, v, cal);
    case Gauge::PotPercent:
        return v.get(LiveField::Pot);
    }
    return std::nullopt;
}

} // namespace kyr::live
