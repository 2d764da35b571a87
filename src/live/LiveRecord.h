// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The LiveRecord: the unit's reply to ReadLive. Ten bytes, one value each, in
// plus-one form (byte = raw + 1), so the reply never holds a zero byte. A byte
// of 255 (raw 254) means the unit has no reading for that value. The fields are
// rows of a table: the monitor, the logger and the throttle calibration read
// positions and scaling from it, never from literals of their own.

#include "table/Result.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace kyr::live {

/// The values of a LiveRecord, in byte order.
enum class LiveField : int {
    Rpm,          ///< engine speed, RPM
    Timing,       ///< total ignition advance, degrees BTDC
    Vacuum,       ///< manifold pressure, kPa (= hundredths of a bar)
    Lambda,       ///< lambda sensor, volts
    Battery,      ///< battery, volts
    InjectorDuty, ///< injector duty, percent
    WaterTemp,    ///< water temperature, degrees C
    AirTemp,      ///< air temperature, degrees C
    Throttle,     ///< throttle sensor reading, uncalibrated counts (see throttlePercent)
    Pot,          ///< tuning pot position, percent
};

constexpr int LiveFieldCount = 10;
constexpr int LiveRecordSize = 10;         ///< bytes of a complete reply
constexpr uint8_t LiveAbsent = 255;        ///< plus-one byte meaning "no reading"
constexpr int LiveMaxRaw = 253;            ///< highest raw value carrying a reading

/// One byte of the record: value = raw * scale + offset.
struct LiveFieldDef {
    LiveField field;
    int index;                 ///< byte position in the reply
    std::string_view name;     ///< short name for logs and headers ("rpm")
    std::string_view caption;  ///< what the data logger calls it ("RPM")
    std::string_view unit;     ///< "RPM", "deg", "kPa", "V", "%", "C", "counts"
    double scale;
    double offset;
};

/// The ten fields in byte order.
std::span<const LiveFieldDef> liveFieldTable();
const LiveFieldDef& liveFieldDef(LiveField f);

/// Engineering values of one record; an empty value is a reading the unit did not give.
struct LiveValues {
    std::array<std::optional<double>, LiveFieldCount> values{};

    std::optional<double> get(LiveField f) const { return values[static_cast<int>(f)]; }
    void set(LiveField f, std::optional<double> v) { values[static_cast<int>(f)] = v; }
};

using LiveBytes = std::array<uint8_t, LiveRecordSize>;

/// The raw byte (0..253) of a value: (value - offset) / scale, rounded halves
/// to even and clamped to the range the record can carry.
uint8_t liveRaw(const LiveFieldDef& d, double value);
/// The value a raw byte stands for.
double liveValue(const LiveFieldDef& d, int raw);

/// The reply bytes for a set of values, plus-one form; missing values become 255.
LiveBytes encodeLive(const LiveValues& v);

/// Decodes a ReadLive reply. The reply ends at its first zero byte; fewer than
/// ten bytes is a ShortReply error, bytes beyond the tenth are ignored.
Result<LiveValues> decodeLive(std::span<const uint8_t> reply);

/// Throttle opening in percent from a sensor reading and the calibration bytes
/// at table offsets 38 and 39 (raw form). A high point of 0 means "not
/// calibrated": the reading is then taken as percent (low 0, high 100). The
/// result is clamped to 0..100; an empty result means the calibration is
/// unusable (high not above low).
std::optional<double> throttlePercent(double reading, int calLowRaw, int calHighRaw);

/// Injector pulse width in milliseconds: the duty share of one engine
/// revolution. Empty when the engine is not turning.
std::optional<double> injectorMs(double dutyPercent, double rpm);

} // namespace kyr::live
