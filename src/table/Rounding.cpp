// SPDX-License-Identifier: GPL-3.0-or-later
#include "table/Rounding.h"

#include <algorithm>
#include <cfenv>
#include <cmath>

namespace kyr {

double roundEven(double value)
{
    // nearbyint honours the current rounding mode; the program never changes
    // it from FE_TONEAREST, which is ties-to-even.
    return std::nearbyint(value);
}

double roundTo(double value, int decimals)
{
    double scale = std::pow(10.0, decimals);
    double scaled = value * scale;
    double lower = std::floor(scaled);
    double frac = scaled - lower;
    // Within a few ulps of .5 the decimal text was a tie: pick the even side.
    const double eps = 1e-9 * std::max(1.0, std::fabs(scaled));
    double whole;
    if (std::fabs(frac - 0.5) <= eps)
        whole = std::fmod(lower, 2.0) == 0.0 ? lower : lower + 1.0;
    else
        whole = std::nearbyint(scaled);
    return whole / scale;
}

int roundInt(double value)
{
    return static_cast<int>(roundEven(value));
}

} // namespace kyr
