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

constexpr GaugeDef kGauges[GaugeCount] = {
    {Gauge::RpmHundreds, "RPM x 100", 0, 100, 1},
    {Gauge::KpaTens, "kPa x10", 0, 25, 1},
    {Gauge::AirFuel, "Air/Fuel Ratio", 10, 20, 1},
    {Gauge::Volts, "V", 8, 16, 1},
    {Gauge::Degrees, "Degrees", -10, 50, 1},
    {Gauge::Celsius, "\u00b0C", -40, 120, 0},
    {Gauge::InjectorPercent, "% Inj", 0, 100, 1},
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

std::optional<double> gaugeValue(Gauge g, const LiveValues& v)
{
    switch (g) {
    case Gauge::RpmHundreds:
        return scaled(v.get(LiveField::Rpm), 100.0);
    case Gauge::KpaTens:
        return scaled(v.get(LiveField::Vacuum), 10.0);
    case Gauge::AirFuel:
        if (auto l = v.get(LiveField::Lambda))
            return airFuelRatio(*l);
        return std::nullopt;
    case Gauge::Volts:
        return v.get(LiveField::Battery);
    case Gauge::Degrees:
        return v.get(LiveField::Timing);
    case Gauge::Celsius:
        return v.get(LiveField::WaterTemp);
    case Gauge::InjectorPercent:
        return v.get(LiveField::InjectorDuty);
    }
    return std::nullopt;
}

} // namespace kyr::live
