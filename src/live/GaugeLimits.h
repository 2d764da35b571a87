// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The warning and danger limits of a gauge and the zone a value falls in. A
// gauge may warn at its low end (battery volts sagging, a lean lambda), at
// its high end (water temperature) or at both; a limit left empty is not
// used. Past a warning limit a value is in the warning zone, past the danger
// limit beyond it in the danger zone.

#include "table/Result.h"

#include <optional>
#include <string>
#include <string_view>

namespace kyr::live {

struct GaugeLimits {
    std::optional<double> lowDanger, lowWarning, highWarning, highDanger;

    bool operator==(const GaugeLimits&) const = default;
};

enum class GaugeZone { Normal, Warning, Danger };

/// The zone of a value: a low limit takes values at or below it, a high limit
/// values at or above it; danger wins over warning.
GaugeZone zoneOf(const GaugeLimits& limits, double value);

/// The scale a set of limits is checked against.
struct GaugeScale {
    std::string_view name; ///< the gauge's name, for messages ("Battery")
    double min, max;
    int decimals;          ///< places the limits are shown with
};

/// Checks a set of limits: every limit inside the scale, each danger limit
/// beyond its warning limit, and every low limit below every high limit.
/// BadValue naming the gauge and the limits at fault otherwise.
Status validateLimits(const GaugeScale& scale, const GaugeLimits& limits);

/// The limits as settings text: "lowDanger;lowWarning;highWarning;highDanger",
/// an empty field for a limit not used.
std::string limitsText(const GaugeLimits& limits);
/// Reads limitsText's form back and validates it against the scale; BadValue
/// for a text that is not four fields of numbers or empties, or fails validation.
Result<GaugeLimits> parseLimits(const GaugeScale& scale, std::string_view text);

} // namespace kyr::live
