// SPDX-License-Identifier: GPL-3.0-or-later
#include "maps/RangeEdit.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <sstream>

namespace kyr::maps {

namespace {

// Whole, within the chart's range and what the byte can hold.
double fitted(MapId map, double value)
{
    const ValueRange r = valueRange(map);
    return fitValue(map, std::clamp(value, r.low, r.high));
}

template <typename F>
std::vector<PointChange> eachPoint(const table::MapArrays& maps, Selection s, F newValue)
{
    std::vector<PointChange> changes;
    for (int i = s.first; i <= s.last; ++i) {
        const double old = maps.at(s.map, i);
        const double now = fitted(s.map, newValue(i, old));
        if (now != old)
            changes.push_back({s.map, i, old, now});
    }
    return changes;
}

std::string numberText(double v)
{
    std::ostringstream out;
    out << v;
    return out.str();
}

} // namespace

StepKind stepKindOf(MapId map)
{
    switch (map) {
    case MapId::TimingRpm:
    case MapId::TimingVac:
        return StepKind::Timing;
    case MapId::FuelVac:
    case MapId::FuelCruise:
    case MapId::FuelLow:
    case MapId::FuelHigh:
        return StepKind::Fuel;
    default:
        return StepKind::Correction;
    }
}

ValueRange valueRange(MapId map)
{
    const auto& m = table::mapDef(map);
    const double low = std::max(m.minValue, fitValue(map, m.minValue));
    const double high = std::min(m.maxValue, fitValue(map, m.maxValue));
    return {low, high};
}

Result<Selection> checkedSelection(Selection s, const Axes& axes)
{
    const int n = pointCount(s.map, axes);
    if (s.first < 1 || s.last < s.first || s.last > n)
        return makeError(ErrorKind::BadArgument, "Points " + std::to_string(s.first) + " to " +
                                                     std::to_string(s.last) + " are not points of " +
                                                     std::string(table::mapDef(s.map).title) + " (1 to " +
                                                     std::to_string(n) + ")");
    return s;
}

std::vector<PointChange> setRange(const table::MapArrays& maps, Selection s, double value)
{
    return eachPoint(maps, s, [&](int, double) { return value; });
}

std::vector<PointChange> addStep(const table::MapArrays& maps, Selection s, double step)
{
    return eachPoint(maps, s, [&](int, double old) { return old + step; });
}

std::vector<PointChange> scaleRange(const table::MapArrays& maps, Selection s, double percent)
{
    return eachPoint(maps, s, [&](int, double old) { return old * percent / 100.0; });
}

std::vector<PointChange> interpolateRange(const table::MapArrays& maps, Selection s)
{
    if (s.count() < 3)
        return {};
    const double a = maps.at(s.map, s.first);
    const double b = maps.at(s.map, s.last);
    return eachPoint(maps, s, [&](int i, double) { return a + (b - a) * (i - s.first) / (s.last - s.first); });
}

std::vector<PointChange> smoothRange(const table::MapArrays& maps, Selection s)
{
    if (s.count() < 3)
        return {};
    return eachPoint(maps, s, [&](int i, double old) {
        if (i == s.first || i == s.last)
            return old;
        return (maps.at(s.map, i - 1) + 2 * old + maps.at(s.map, i + 1)) / 4.0;
    });
}

Result<std::vector<PointChange>> pasteValues(const table::MapArrays& maps, MapId map, int first,
                                             const std::vector<double>& values, PasteMode mode,
                                             const Axes& axes)
{
    const std::string title(table::mapDef(map).title);
    const int n = pointCount(map, axes);
    const int last = first + static_cast<int>(values.size()) - 1;
    if (values.empty() || first < 1 || last > n)
        return makeError(ErrorKind::BadArgument, std::to_string(values.size()) + " values from point " +
                                                     std::to_string(first) + " do not fit " + title + " (points 1 to " +
                                                     std::to_string(n) + "): nothing was pasted");
    const ValueRange range = valueRange(map);
    std::vector<PointChange> changes;
    for (int i = first; i <= last; ++i) {
        const double old = maps.at(map, i);
        const double v = values[static_cast<std::size_t>(i - first)];
        const double want = mode == PasteMode::Add ? old + v : mode == PasteMode::Multiply ? old * v : v;
        if (!std::isfinite(want) || want < range.low - 0.5 || want > range.high + 0.5)
            return makeError(ErrorKind::BadArgument, "Point " + std::to_string(i) + " would be " + numberText(want) +
                                                         ", outside " + title + "'s " + numberText(range.low) +
                                                         " to " + numberText(range.high) + ": nothing was pasted");
        const double now = fitted(map, want);
        if (now != old)
            changes.push_back({map, i, old, now});
    }
    return changes;
}

Result<std::vector<double>> parseValues(std::string_view text)
{
    std::vector<double> values;
    std::string token;
    const auto take = [&]() -> std::optional<Error> {
        const auto b = token.find_first_not_of(' ');
        if (b == std::string::npos) {
            token.clear();
            return std::nullopt;
        }
        std::string t = token.substr(b, token.find_last_not_of(' ') - b + 1);
        std::replace(t.begin(), t.end(), ',', '.');
        char* end = nullptr;
        const double v = std::strtod(t.c_str(), &end);
        if (end != t.c_str() + t.size() || !std::isfinite(v))
            return makeError(ErrorKind::BadArgument, "\"" + t + "\" (value " + std::to_string(values.size() + 1) +
                                                         ") is not a number: nothing was pasted");
        values.push_back(v);
        token.clear();
        return std::nullopt;
    };
    for (char c : text) {
        if (c == '\t' || c == '\n' || c == '\r') {
            if (auto e = take())
                return *e;
        } else {
            token += c;
        }
    }
    if (auto e = take())
        return *e;
    if (values.empty())
        return makeError(ErrorKind::BadArgument, "The clipboard holds no numbers: nothing was pasted");
    return values;
}

std::string copyText(const table::MapArrays& maps, Selection s)
{
    std::string text;
    for (int i = s.first; i <= s.last; ++i) {
        if (i > s.first)
            text += '\t';
        text += numberText(maps.at(s.map, i));
    }
    return text;
}

} // namespace kyr::maps
