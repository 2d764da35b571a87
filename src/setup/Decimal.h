// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Exact reading and writing of the numbers typed into the setup fields.
//
// A typed "0.545" must be judged as the tie it is when it is scaled by 100;
// a binary double holds 0.54500000000000004 and would round it up. So texts
// are read into a whole number of billionths, with a flag for any non-zero
// digit beyond that, and every scaling and rounding is done in integers.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kyr::setup {

/// A decimal number read exactly from a text.
struct Decimal {
    static constexpr int FracDigits = 9;                 ///< digits kept after the point
    static constexpr uint64_t One = 1'000'000'000ULL;    ///< 10^FracDigits
    static constexpr uint64_t HugeLimit = 1'000'000'000ULL; ///< whole part at or above this is "huge"

    bool negative = false;
    uint64_t units = 0;   ///< |value| in billionths, digits beyond the ninth dropped
    bool sticky = false;  ///< a non-zero digit was dropped: |value| lies just above units
    bool huge = false;    ///< |value| is at least HugeLimit; units is then meaningless

    /// True when the value is exactly zero (a "-0" is zero).
    bool isZero() const { return !huge && units == 0 && !sticky; }
    /// The value as a double (for marker positions; never for bytes).
    double toDouble() const;
};

/// Reads an integer the way the integer fields accept it: an optional sign and
/// decimal digits, nothing else, within the 32-bit range. Empty on failure.
std::optional<int> parseInteger(std::string_view text);

/// Reads a decimal number: an optional sign, digits with at most one
/// separator (at least one digit in all), and an optional exponent
/// ("e" or "E", optional sign, digits). No blanks. Empty on failure.
std::optional<Decimal> parseDecimal(std::string_view text, std::string_view separator);

/// The Decimal of a whole number.
Decimal decimalOf(long long value);

/// True when lo <= d <= hi, judged exactly (lo and hi are whole numbers).
bool inRange(const Decimal& d, long long lo, long long hi);

/// round(d * num / den), nearest with halves to even, judged on the exact
/// decimal value. Only for values that passed a range check of at most
/// 10^6 in size, so that nothing overflows. num must divide 5 * 10^8
/// (1, 2, 10 and 100 do) and den is 1 or 100.
long long scaleRound(const Decimal& d, uint64_t num, uint64_t den);

/// The shortest decimal text of n / div (div is 1, 2, 10 or 100), with the
/// given separator: 5/2 -> "2.5", 45/100 -> "0.45", 50/100 -> "0.5".
std::string formatFraction(long long n, int div, std::string_view separator);

} // namespace kyr::setup
