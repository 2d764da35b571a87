// SPDX-License-Identifier: GPL-3.0-or-later
// The numbers typed into the setup fields. The first byte picks the decimal
// separator and the field's scale; the rest is the text. What must hold:
// an integer text reads as the same decimal; a value in range scales, prints
// and reads back to the same byte; a printed fraction reads back exactly.

#include "FuzzCheck.h"
#include "setup/Decimal.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

using namespace kyr::setup;
using kyr::fuzz::check;

namespace {

constexpr long long FieldLimit = 1'000'000; // the widest range scaleRound is made for
constexpr int Divisors[] = {1, 2, 10, 100};

bool sameValue(const Decimal& a, const Decimal& b)
{
    if (a.isZero() || b.isZero())
        return a.isZero() && b.isZero();
    return a.negative == b.negative && a.units == b.units && a.sticky == b.sticky && a.huge == b.huge;
}

void checkInteger(std::string_view text, std::string_view separator)
{
    auto n = parseInteger(text);
    if (!n)
        return;
    auto d = parseDecimal(text, separator);
    check(d.has_value(), "an integer text is a decimal text");
    check(sameValue(*d, decimalOf(*n)), "an integer text reads as the same decimal");
    check(parseInteger(std::to_string(*n)) == n, "an integer prints and reads back");
}

// A value in range, scaled to a field's byte as the setup engine does.
void checkScaled(const Decimal& d, int div, std::string_view separator)
{
    if (!inRange(d, -FieldLimit, FieldLimit))
        return;
    check(!d.huge && std::fabs(d.toDouble()) <= FieldLimit, "a value in range is not huge");
    const long long byte = scaleRound(d, static_cast<uint64_t>(div), 1);
    check(std::fabs(d.toDouble() * div - static_cast<double>(byte)) <= 0.5 + 1e-6,
          "the scaled value is the nearest whole number");
    const std::string shown = formatFraction(byte, div, separator);
    auto back = parseDecimal(shown, separator);
    check(back.has_value(), "a printed value reads");
    check(!back->sticky && scaleRound(*back, static_cast<uint64_t>(div), 1) == byte,
          "a printed value reads back to the same byte");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const std::string_view separator = (data[0] & 1) ? "," : ".";
    const int div = Divisors[(data[0] >> 1) % 4];
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

    checkInteger(text, separator);
    auto d = parseDecimal(text, separator);
    if (!d)
        return 0;
    check(!d->huge || d->units == 0, "a huge value carries no units");
    check(d->huge || d->units < Decimal::HugeLimit * Decimal::One, "units stay below the huge limit");
    checkScaled(*d, div, separator);
    return 0;
}
