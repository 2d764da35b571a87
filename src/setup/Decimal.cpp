// SPDX-License-Identifier: GPL-3.0-or-later
#include "setup/Decimal.h"

#include <limits>

namespace kyr::setup {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Adds a digit to a magnitude that saturates at `cap` instead of overflowing.
long long pushDigit(long long value, char digit, long long cap)
{
    if (value > (cap - (digit - '0')) / 10)
        return cap;
    return value * 10 + (digit - '0');
}

struct Scanned {
    bool negative = false;
    std::string digits;       // mantissa digits, separator removed
    long long intDigits = 0;  // digits before the separator
    long long exponent = 0;
};

// Splits a decimal text into its parts; empty when the text is not a number.
std::optional<Scanned> scan(std::string_view text, std::string_view separator)
{
    Scanned s;
    size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        s.negative = text[i++] == '-';
    bool seenSeparator = false;
    while (i < text.size()) {
        if (isDigit(text[i])) {
            s.digits += text[i++];
            if (!seenSeparator)
                ++s.intDigits;
        } else if (!seenSeparator && !separator.empty() && text.substr(i, separator.size()) == separator) {
            seenSeparator = true;
            i += separator.size();
        } else {
            break;
        }
    }
    if (s.digits.empty())
        return std::nullopt;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        bool negExp = false;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            negExp = text[i++] == '-';
        if (i >= text.size())
            return std::nullopt;
        constexpr long long cap = 1'000'000'000'000LL; // far beyond anything meaningful
        for (; i < text.size() && isDigit(text[i]); ++i)
            s.exponent = pushDigit(s.exponent, text[i], cap);
        if (negExp)
            s.exponent = -s.exponent;
    }
    if (i != text.size())
        return std::nullopt;
    return s;
}

} // namespace

double Decimal::toDouble() const
{
    if (huge)
        return negative ? -1e300 : 1e300;
    double v = static_cast<double>(units / One) + static_cast<double>(units % One) / static_cast<double>(One);
    return negative ? -v : v;
}

std::optional<int> parseInteger(std::string_view text)
{
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    if (i >= text.size())
        return std::nullopt;
    constexpr long long cap = static_cast<long long>(std::numeric_limits<int>::max()) + 1;
    long long value = 0;
    for (; i < text.size(); ++i) {
        if (!isDigit(text[i]))
            return std::nullopt;
        value = pushDigit(value, text[i], cap);
    }
    if (negative)
        value = -value;
    if (value > std::numeric_limits<int>::max() || value < std::numeric_limits<int>::min())
        return std::nullopt;
    return static_cast<int>(value);
}

std::optional<Decimal> parseDecimal(std::string_view text, std::string_view separator)
{
    auto s = scan(text, separator);
    if (!s)
        return std::nullopt;
    Decimal d;
    d.negative = s->negative;
    // Leading zeros carry no value and would only push the digits apart.
    size_t first = s->digits.find_first_not_of('0');
    if (first == std::string::npos)
        return d; // zero
    std::string_view digits = std::string_view(s->digits).substr(first);
    long long intDigits = s->intDigits - static_cast<long long>(first) + s->exponent;
    if (intDigits > 9) {
        d.huge = true;
        return d;
    }
    for (size_t j = 0; j < digits.size(); ++j) {
        long long place = intDigits + (Decimal::FracDigits - 1) - static_cast<long long>(j);
        int digit = digits[j] - '0';
        if (place < 0) {
            d.sticky = d.sticky || digit != 0;
            continue;
        }
        uint64_t p = 1;
        for (long long k = 0; k < place; ++k)
            p *= 10;
        d.units += static_cast<uint64_t>(digit) * p;
    }
    return d;
}

Decimal decimalOf(long long value)
{
    Decimal d;
    d.negative = value < 0;
    unsigned long long mag = value < 0 ? 0ULL - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
    if (mag >= Decimal::HugeLimit)
        d.huge = true;
    else
        d.units = mag * Decimal::One;
    return d;
}

bool inRange(const Decimal& d, long long lo, long long hi)
{
    if (d.isZero())
        return lo <= 0 && 0 <= hi;
    if (d.huge)
        return false; // every bound in the program is far below the huge limit
    // Compare sign * (units + sticky epsilon) with the bounds in billionths.
    auto above = [&](long long bound) { // d > bound
        if (d.negative)
            return bound < 0 && static_cast<uint64_t>(-bound) * Decimal::One > d.units;
        if (bound < 0)
            return true;
        uint64_t b = static_cast<uint64_t>(bound) * Decimal::One;
        return d.units > b || (d.units == b && d.sticky);
    };
    auto below = [&](long long bound) { // d < bound
        if (d.negative) {
            if (bound >= 0)
                return true;
            uint64_t b = static_cast<uint64_t>(-bound) * Decimal::One;
            return d.units > b || (d.units == b && d.sticky);
        }
        if (bound <= 0)
            return false;
        uint64_t b = static_cast<uint64_t>(bound) * Decimal::One;
        return d.units < b;
    };
    return !below(lo) && !above(hi);
}

long long scaleRound(const Decimal& d, uint64_t num, uint64_t den)
{
    // The true value lies in [units, units + 1) billionths (open at the top
    // when sticky). Every boundary that matters (whole numbers and halves of
    // the result) is a multiple of num in these units, so only an exact tie
    // with a sticky remainder needs the flag: it tips the tie upwards.
    const uint64_t n = d.units * num;
    const uint64_t full = Decimal::One * den;
    uint64_t q = n / full;
    const uint64_t r = n % full;
    if (r * 2 > full || (r * 2 == full && (d.sticky || q % 2 == 1)))
        ++q;
    long long result = static_cast<long long>(q);
    return d.negative ? -result : result;
}

std::string formatFraction(long long n, int div, std::string_view separator)
{
    long long hundredths = n * (100 / div);
    bool negative = hundredths < 0;
    unsigned long long mag = negative ? 0ULL - static_cast<unsigned long long>(hundredths)
                                      : static_cast<unsigned long long>(hundredths);
    std::string text = negative ? "-" : "";
    text += std::to_string(mag / 100);
    unsigned frac = static_cast<unsigned>(mag % 100);
    if (frac != 0) {
        text += separator;
        text += static_cast<char>('0' + frac / 10);
        if (frac % 10 != 0)
            text += static_cast<char>('0' + frac % 10);
    }
    return text;
}

} // namespace kyr::setup
