// SPDX-License-Identifier: GPL-3.0-or-later
#include "live/GaugeLimits.h"

#include "table/Rounding.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace kyr::live {

namespace {

struct NamedLimit {
    const char* name;
    std::optional<double> value;
};

std::array<NamedLimit, 4> named(const GaugeLimits& l)
{
    return {{{"low danger", l.lowDanger}, {"low warning", l.lowWarning},
             {"high warning", l.highWarning}, {"high danger", l.highDanger}}};
}

std::string number(double v, int decimals)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, roundTo(v, decimals));
    return buf;
}

Error refused(const GaugeScale& scale, const std::string& what)
{
    return makeError(ErrorKind::BadValue, std::string(scale.name) + ": " + what);
}

// a must lie strictly below b when both are used.
bool ordered(std::optional<double> a, std::optional<double> b) { return !a || !b || *a < *b; }

} // namespace

GaugeZone zoneOf(const GaugeLimits& l, double v)
{
    if ((l.lowDanger && v <= *l.lowDanger) || (l.highDanger && v >= *l.highDanger))
        return GaugeZone::Danger;
    if ((l.lowWarning && v <= *l.lowWarning) || (l.highWarning && v >= *l.highWarning))
        return GaugeZone::Warning;
    return GaugeZone::Normal;
}

Status validateLimits(const GaugeScale& scale, const GaugeLimits& limits)
{
    const auto all = named(limits);
    for (const NamedLimit& n : all) {
        if (!n.value)
            continue;
        if (!std::isfinite(*n.value) || *n.value < scale.min || *n.value > scale.max)
            return refused(scale, std::string("the ") + n.name + " limit " + number(*n.value, scale.decimals) +
                                      " is outside the scale " + number(scale.min, scale.decimals) + " to " +
                                      number(scale.max, scale.decimals));
    }
    // In scale order: low danger < low warning < high warning < high danger,
    // each pair checked where both are used.
    for (size_t i = 0; i < all.size(); ++i)
        for (size_t j = i + 1; j < all.size(); ++j)
            if (!ordered(all[i].value, all[j].value))
                return refused(scale, std::string("the ") + all[j].name + " limit " +
                                          number(*all[j].value, scale.decimals) + " must lie above the " +
                                          all[i].name + " limit " + number(*all[i].value, scale.decimals));
    return okStatus();
}

std::string limitsText(const GaugeLimits& limits)
{
    std::string text;
    for (const NamedLimit& n : named(limits)) {
        if (n.value) {
            char buf[64]; // the shortest text that reads back the same number
            const auto end = std::to_chars(buf, buf + sizeof buf, *n.value).ptr;
            text.append(buf, end);
        }
        text += ';';
    }
    text.pop_back();
    return text;
}

Result<GaugeLimits> parseLimits(const GaugeScale& scale, std::string_view text)
{
    std::array<std::optional<double>, 4> values;
    size_t field = 0, start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text[i] != ';')
            continue;
        if (field == values.size())
            return refused(scale, "the limits \"" + std::string(text) + "\" have more than four fields");
        const std::string_view part = text.substr(start, i - start);
        if (!part.empty()) {
            double v = 0;
            const auto [end, ec] = std::from_chars(part.data(), part.data() + part.size(), v);
            if (ec != std::errc() || end != part.data() + part.size())
                return refused(scale, "\"" + std::string(part) + "\" is not a number");
            values[field] = v;
        }
        ++field;
        start = i + 1;
    }
    if (field != values.size())
        return refused(scale, "the limits \"" + std::string(text) + "\" have fewer than four fields");
    const GaugeLimits limits{values[0], values[1], values[2], values[3]};
    if (auto ok = validateLimits(scale, limits); !ok)
        return ok.error();
    return limits;
}

} // namespace kyr::live
