// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The fuel the simulated engine needs: a curve by RPM and a curve by
// manifold pressure, each in percent of the fuel a tune of all zeros gives.
// A tune meets the need where its maps deliver (1 + rpm%/100)(1 + kPa%/100).

#include "table/Result.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace kyr::sim {

/// Points (x, percent) in rising x, read linearly between points and flat
/// beyond the first and the last.
struct NeedCurve {
    std::vector<std::pair<double, double>> points;

    double at(double x) const;
};

struct EngineNeed {
    NeedCurve byRpm; ///< x in RPM
    NeedCurve byKpa; ///< x in kPa of manifold pressure

    /// The fuel needed at this operating point as a factor of the all-zero tune.
    double factor(double rpm, double kpa) const;

    /// The need kyr-sim starts with: the demo tune's fuel by vacuum, and by RPM
    /// a smooth swing of up to about 15 % either way from its Cruise curve.
    static EngineNeed defaults();
};

/// Reads the text form: one point a line, "rpm RPM PERCENT" or "kpa KPA PERCENT";
/// from '#' to the end of a line is a comment, blank lines are skipped. Each curve takes its
/// points in strictly rising x, x from 0 to 25000 RPM or 0 to 500 kPa, percent
/// from -50 to 50. A curve without points needs 0 %. Anything else refuses the
/// whole text with an error naming `source` and the line.
Result<EngineNeed> parseEngineNeed(std::string_view text, const std::string& source);

/// parseEngineNeed on a file's contents.
Result<EngineNeed> loadEngineNeed(const std::filesystem::path& path);

} // namespace kyr::sim
