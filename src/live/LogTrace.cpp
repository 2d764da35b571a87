// SPDX-License-Identifier: GPL-3.0-or-later
#include "live/LogTrace.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace kyr::live {

namespace {

using C = LogColumn;
using F = LiveField;

std::string lower(std::string_view s)
{
    std::string out;
    for (char ch : s)
        if (!std::isspace(static_cast<unsigned char>(ch)))
            out += static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return out;
}

struct Alias {
    std::string_view name; // lower case, no spaces
    LiveField field;
};

// Names other tools give the same readings. The throttle is left out: logs
// keep it in percent, the live record in sensor counts.
constexpr Alias kAliases[] = {
    {"rpm", F::Rpm},           {"enginespeed", F::Rpm},   {"advance", F::Timing},     {"ignitionadvance", F::Timing},
    {"spark", F::Timing},      {"map", F::Vacuum},        {"mapkpa", F::Vacuum},      {"o2", F::Lambda},
    {"ego", F::Lambda},        {"battery", F::Battery},   {"batteryv", F::Battery},   {"batt", F::Battery},
    {"clt", F::WaterTemp},     {"coolant", F::WaterTemp}, {"iat", F::AirTemp},        {"mat", F::AirTemp},
    {"dutycycle", F::InjectorDuty},
};

} // namespace

std::string_view logColumnUnitText(LogColumn c) { return logColumnDef(c).unit; }

LogChannel channelOf(LogColumn c)
{
    const LogColumnDef& d = logColumnDef(c);
    return LogChannel{std::string(d.caption), std::string(logColumnUnitText(c)), d.decimals, {}};
}

std::size_t firstRowFrom(const std::vector<double>& times, double t)
{
    return static_cast<std::size_t>(std::lower_bound(times.begin(), times.end(), t) - times.begin());
}

std::optional<std::size_t> nearestRow(const std::vector<double>& times, double t)
{
    if (times.empty())
        return std::nullopt;
    const std::size_t after = firstRowFrom(times, t);
    if (after == 0)
        return 0;
    if (after == times.size())
        return times.size() - 1;
    return t - times[after - 1] <= times[after] - t ? after - 1 : after;
}

void ValueSpan::include(double v)
{
    lo = std::min(lo, v);
    hi = std::max(hi, v);
}

std::optional<ValueSpan> channelSpan(const LogChannel& channel)
{
    std::optional<ValueSpan> span;
    for (float v : channel.values) {
        if (!std::isfinite(v)) // an infinite reading would leave no scale for the rest
            continue;
        if (span)
            span->include(v);
        else
            span = ValueSpan{v, v};
    }
    return span;
}

std::vector<PixelSpan> pixelSpans(const std::vector<double>& times, const std::vector<float>& values, double start,
                                  double secondsPerPixel, int columns)
{
    std::vector<PixelSpan> out(static_cast<std::size_t>(std::max(columns, 0)));
    if (out.empty() || secondsPerPixel <= 0)
        return out;
    const auto end = times.begin() + static_cast<std::ptrdiff_t>(std::min(times.size(), values.size()));
    auto from = std::lower_bound(times.begin(), end, start);
    // Each column's rows by one search of its end, then a plain loop over its values.
    for (std::size_t x = 0; x < out.size() && from != end; ++x) {
        const double columnEnd = start + static_cast<double>(x + 1) * secondsPerPixel;
        const auto to = std::lower_bound(from, end, columnEnd);
        PixelSpan& p = out[x];
        for (auto i = static_cast<std::size_t>(from - times.begin()); i < static_cast<std::size_t>(to - times.begin());
             ++i) {
            const float v = values[i];
            if (!std::isfinite(v)) {
                p.gap = true;
            } else if (!p.any) {
                p = PixelSpan{v, v, true, p.gap};
            } else {
                p.lo = std::min(p.lo, v);
                p.hi = std::max(p.hi, v);
            }
        }
        from = to;
    }
    return out;
}

double niceStep(double lo, double hi, int most)
{
    const double range = hi - lo;
    if (!(range > 0) || most < 1)
        return 1;
    const double rough = range / most;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (m * power >= rough)
            return m * power;
    return 10 * power;
}

std::vector<double> niceTicks(double lo, double hi, int most)
{
    std::vector<double> out;
    if (!(hi >= lo) || !std::isfinite(lo) || !std::isfinite(hi))
        return out;
    const double step = niceStep(lo, hi, most);
    for (double k = std::ceil(lo / step - 1e-9); k * step <= hi + step * 1e-9; k += 1) {
        const double v = k * step;
        out.push_back(std::abs(v) < step * 1e-9 ? 0.0 : v);
        if (out.size() > static_cast<std::size_t>(most) + 2)
            break;
    }
    return out;
}

std::optional<LiveField> liveFieldOfChannel(std::string_view name)
{
    const std::string key = lower(name);
    // The logger's own captions first: "Volt" is the battery, "Injector %" the duty.
    if (auto c = logColumnNamed(name)) {
        switch (*c) {
        case C::Rpm: return F::Rpm;
        case C::Timing: return F::Timing;
        case C::Vacuum: return F::Vacuum;
        case C::Lambda: return F::Lambda;
        case C::Volt: return F::Battery;
        case C::InjectorPercent: return F::InjectorDuty;
        case C::Temperature: return F::WaterTemp;
        case C::AirTemp: return F::AirTemp;
        case C::PotPercent: return F::Pot;
        case C::ThrottlePercent: case C::InjectorMs: return std::nullopt;
        }
    }
    for (const LiveFieldDef& d : liveFieldTable())
        if (d.field != F::Throttle && (key == lower(d.name) || key == lower(d.caption)))
            return d.field;
    for (const Alias& a : kAliases)
        if (key == a.name)
            return a.field;
    return std::nullopt;
}

ChannelFields liveFieldsOf(const LogData& log)
{
    ChannelFields out;
    out.reserve(log.channels.size());
    for (const LogChannel& ch : log.channels)
        out.push_back(liveFieldOfChannel(ch.name));
    return out;
}

LiveValues liveValuesAt(const LogData& log, std::size_t row) { return liveValuesAt(log, liveFieldsOf(log), row); }

LiveValues liveValuesAt(const LogData& log, const ChannelFields& fields, std::size_t row)
{
    LiveValues out;
    for (std::size_t c = 0; c < log.channels.size() && c < fields.size(); ++c) {
        const auto& field = fields[c];
        const LogChannel& ch = log.channels[c];
        if (!field || out.get(*field) || row >= ch.values.size() || LogData::isMissing(ch.values[row]))
            continue;
        out.set(*field, ch.values[row]);
    }
    return out;
}

} // namespace kyr::live
