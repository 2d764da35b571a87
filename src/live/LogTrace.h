// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a strip chart needs of a LogData: the row at a time, the span of a
// channel's values, the min/max of the samples that fall in each pixel column
// (so that an hour of records draws as fast as a minute), round tick values
// for a scale, and the live values a row stands for (to put the map charts'
// operating point where the log was at that moment).

#include "live/DataLog.h"
#include "live/LiveRecord.h"
#include "live/LogData.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kyr::live {

/// The unit a logger column is given in a log ("RPM", "deg", "kPa", "V", "%", "C", "ms").
std::string_view logColumnUnitText(LogColumn c);

/// A channel for a logger column, with its caption, unit and places; no values.
LogChannel channelOf(LogColumn c);

/// The row whose time is nearest t (the earlier of two as near); empty for a log without rows.
std::optional<std::size_t> nearestRow(const std::vector<double>& times, double t);

/// The first row at or after t (times.size() when none).
std::size_t firstRowFrom(const std::vector<double>& times, double t);

/// Lowest and highest finite value of a channel; empty when it has none.
struct ValueSpan {
    double lo = 0;
    double hi = 0;
    /// Widens the span to hold v.
    void include(double v);
};
std::optional<ValueSpan> channelSpan(const LogChannel& channel);

/// The samples of one pixel column: lowest and highest reading (any is false
/// when the column holds no row or only missing readings), and whether a
/// missing or infinite reading lies in it (the trace breaks there).
struct PixelSpan {
    float lo = 0;
    float hi = 0;
    bool any = false;
    bool gap = false;
};

/// One PixelSpan per pixel column: column i covers the times
/// [start + i * secondsPerPixel, start + (i + 1) * secondsPerPixel). Only the
/// rows in view are visited.
std::vector<PixelSpan> pixelSpans(const std::vector<double>& times, const std::vector<float>& values, double start,
                                  double secondsPerPixel, int columns);

/// Up to about `most` round values (1, 2 or 5 times a power of ten apart) from lo to hi, both included when round.
std::vector<double> niceTicks(double lo, double hi, int most);
/// The step niceTicks uses, for the places of its labels.
double niceStep(double lo, double hi, int most);

/// The live field a channel of a log carries, matched by its name (this
/// program's captions and the usual names of other tools); empty for a
/// channel no live display uses in that form.
std::optional<LiveField> liveFieldOfChannel(std::string_view name);

/// The live values at one row: each channel that carries a live field gives
/// its reading (missing stays missing).
LiveValues liveValuesAt(const LogData& log, std::size_t row);

/// The live field of each channel, by liveFieldOfChannel; worked out once
/// per log, it spares a wide log the name matching at every cursor move.
using ChannelFields = std::vector<std::optional<LiveField>>;
ChannelFields liveFieldsOf(const LogData& log);
/// liveValuesAt with the fields of liveFieldsOf(log).
LiveValues liveValuesAt(const LogData& log, const ChannelFields& fields, std::size_t row);

} // namespace kyr::live
