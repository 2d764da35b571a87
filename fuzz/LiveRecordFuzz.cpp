// SPDX-License-Identifier: GPL-3.0-or-later
// The LiveRecord decoder on any reply: a reply that decodes encodes back to
// its first ten bytes; one that does not is short before its tenth byte.
// The bytes are also read as values for the encoder and the throttle.

#include "FuzzCheck.h"
#include "live/LiveRecord.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

using namespace kyr;
using namespace kyr::live;
using kyr::fuzz::check;

namespace {

void checkDecoder(std::span<const uint8_t> reply)
{
    auto v = decodeLive(reply);
    const auto zero = std::find(reply.begin(), reply.end(), uint8_t{0});
    if (!v) {
        check(v.error().kind == ErrorKind::ShortReply, "a reply that does not decode is short");
        check(zero - reply.begin() < LiveRecordSize, "only a reply ended before ten bytes is short");
        return;
    }
    const LiveBytes back = encodeLive(v.value());
    check(std::equal(back.begin(), back.end(), reply.begin()), "a decoded record encodes to its bytes");
}

// Any double as a value: the encoder keeps it in the byte range and never
// sends a zero; the throttle stays in 0..100.
void checkValues(std::span<const uint8_t> bytes)
{
    LiveValues values;
    std::size_t pos = 0;
    for (const auto& d : liveFieldTable()) {
        double x = 0;
        if (pos + sizeof x > bytes.size())
            break;
        std::memcpy(&x, bytes.data() + pos, sizeof x);
        pos += sizeof x;
        check(liveRaw(d, x) <= LiveMaxRaw, "a raw byte stays in range");
        values.set(d.field, x);
        if (auto pct = throttlePercent(x, bytes[0], bytes[1]); pct && !std::isnan(x))
            check(*pct >= 0.0 && *pct <= 100.0, "the throttle stays in 0..100");
    }
    const LiveBytes out = encodeLive(values);
    check(std::find(out.begin(), out.end(), uint8_t{0}) == out.end(), "an encoded record holds no zero byte");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::span<const uint8_t> bytes(data, size);
    checkDecoder(bytes);
    checkValues(bytes);
    return 0;
}
