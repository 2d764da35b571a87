// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A data log held in memory: what the log viewer and the logger's strip chart
// show, and what the log readers give. Each channel keeps its values in a
// column of floats, one per row; a missing reading is NaN. Times are seconds
// from the first row.

#include <cmath>
#include <cstddef>
#include <limits>
#include <string>
#include <utility>
#include <vector>

namespace kyr::live {

/// One logged value: its name, unit and the places it is shown with.
struct LogChannel {
    std::string name;  ///< "RPM"
    std::string unit;  ///< "RPM", "deg", "kPa"
    int digits = 0;
    std::vector<float> values; ///< one per row; NaN where the unit gave no reading
};

/// A marker the tuner set while logging (the M key).
struct LogMarker {
    double seconds = 0;
    std::string text;
};

struct LogData {
    /// What the log says of itself, in its order: ("Unit", "KYR model 3 v2.1"),
    /// ("Serial", "12345"), ("Tune file", "base.kyr"), ("Table hash", "...").
    std::vector<std::pair<std::string, std::string>> info;
    std::vector<double> times; ///< seconds, one per row, finite and not decreasing
    std::vector<LogChannel> channels;
    std::vector<LogMarker> markers;

    std::size_t rows() const { return times.size(); }
    static float missing() { return std::numeric_limits<float>::quiet_NaN(); }
    static bool isMissing(float v) { return std::isnan(v); }
};

} // namespace kyr::live
