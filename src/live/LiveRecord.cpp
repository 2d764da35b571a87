// SPDX-License-Identifier: GPL-3.0-or-later
#include "live/LiveRecord.h"

#include "table/Rounding.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace kyr::live {

namespace {

using F = LiveField;

constexpr LiveFieldDef kFields[LiveFieldCount] = {
    {F::Rpm, 0, "rpm", "RPM", "RPM", 50.0, 0.0},
    {F::Timing, 1, "timing", "Timing", "deg", 0.5, -20.0},
    {F::Vacuum, 2, "vacuum", "Vacuum", "kPa", 1.0, 0.0},
    {F::Lambda, 3, "lambda", "Lambda", "V", 0.01, 0.0},
    {F::Battery, 4, "battery", "Volt", "V", 0.1, 0.0},
    {F::InjectorDuty, 5, "injector", "Injector %", "%", 0.5, 0.0},
    {F::WaterTemp, 6, "water", "Temperature", "C", 1.0, -40.0},
    {F::AirTemp, 7, "air", "Air Temp", "C", 1.0, -40.0},
    {F::Throttle, 8, "throttle", "Throttle sensor", "counts", 1.0, 0.0},
    {F::Pot, 9, "pot", "POT %", "%", 0.5, 0.0},
};

} // namespace

std::span<const LiveFieldDef> liveFieldTable() { return kFields; }

const LiveFieldDef& liveFieldDef(LiveField f) { return kFields[static_cast<int>(f)]; }

uint8_t liveRaw(const LiveFieldDef& d, double value)
{
    if (std::isnan(value))
        return 0;
    const double raw = roundEven((value - d.offset) / d.scale);
    return static_cast<uint8_t>(std::clamp(raw, 0.0, static_cast<double>(LiveMaxRaw)));
}

double liveValue(const LiveFieldDef& d, int raw) { return raw * d.scale + d.offset; }

LiveBytes encodeLive(const LiveValues& v)
{
    LiveBytes out{};
    for (const auto& d : kFields) {
        const auto value = v.get(d.field);
        out[d.index] = value ? static_cast<uint8_t>(liveRaw(d, *value) + 1) : LiveAbsent;
    }
    return out;
}

Result<LiveValues> decodeLive(std::span<const uint8_t> reply)
{
    const auto end = std::find(reply.begin(), reply.end(), uint8_t{0});
    const auto length = static_cast<int>(end - reply.begin());
    if (length < LiveRecordSize)
        return makeError(ErrorKind::ShortReply, "The live record had " + std::to_string(length) + " of " +
                                                    std::to_string(LiveRecordSize) + " bytes.");
    LiveValues v;
    for (const auto& d : kFields) {
        const uint8_t b = reply[d.index];
        if (b != LiveAbsent)
            v.set(d.field, liveValue(d, b - 1));
    }
    return v;
}

std::optional<double> throttlePercent(double reading, int calLowRaw, int calHighRaw)
{
    double low = calLowRaw, high = calHighRaw;
    if (calHighRaw == 0) {
        low = 0.0;
        high = 100.0;
    }
    if (high <= low)
        return std::nullopt;
    return std::clamp((reading - low) * 100.0 / (high - low), 0.0, 100.0);
}

std::optional<double> injectorMs(double dutyPercent, double rpm)
{
    if (!(rpm > 0.0))
        return std::nullopt;
    return dutyPercent / 100.0 * 60000.0 / rpm;
}

} // namespace kyr::live
