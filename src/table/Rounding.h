// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one rounding rule of the program: to the nearest, halves to even.

namespace kyr {

/// Nearest whole number, halves to even (2.5 -> 2, 3.5 -> 4, -2.5 -> -2).
double roundEven(double value);

/// The same rule at 10^-decimals: roundTo(0.125, 2) == 0.12, roundTo(0.135, 2) == 0.14.
/// A value that is a tie in decimal (0.545 at two places) is treated as a tie even
/// though the binary double lies a hair off it.
double roundTo(double value, int decimals);

/// roundEven as an int (the value must fit).
int roundInt(double value);

} // namespace kyr
