// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Fuel suggestions from the narrowband lambda sensor. A sample is an
// operating point (RPM, manifold pressure) and the lambda volts read a
// lambda delay later. Samples the engine could not judge are filtered out,
// each filter counted. The rest count for the two neighbouring points of the
// curve being tuned, with linear weights, as rich or lean against the target
// volts; a point seen lean more often than rich wants more fuel. How much
// more follows the mean reading: a narrowband sensor switches across the
// target within a few % of the right mixture, so a point just off reads
// a little off the target on average, and one far off sits at the end of
// the swing. The sensor's curve is taken as an S of the mixture error whose
// width is switchPercent, so each reading gives an error, large at the ends
// of the swing. A sample between two points reads a mixture of both points'
// errors; the points' errors are fitted to all samples at once (least
// squares), so that a point next to one far off is not taken for off
// itself. The change is the fitted error, within the authority.
//
// The analysis judges one curve at a time; the others are held as they are.
// Of the fuel-by-RPM curves the unit uses Low below the "Low throttle vacuum"
// pressure, High above the "High throttle vacuum" pressure and Cruise
// between them: given those limits (setPressureBand), a sample counts only
// for the curve in use at its pressure. Every sample also meets the
// fuel-by-vacuum curve, so that curve is best tuned after the RPM curves, or
// before them with the RPM curves held flat.

#include "live/LogData.h"
#include "table/Codec.h"
#include "table/Layout.h"
#include "table/Result.h"

#include <cmath>
#include <optional>
#include <set>
#include <utility>
#include <string>
#include <vector>

namespace kyr::live {

/// The curve whose points are judged.
enum class FuelCurve { Low, Cruise, High, Vacuum };
table::MapId mapOfCurve(FuelCurve curve);

struct FuelSettings {
    double delaySeconds = 0.2;      ///< the lambda reading that belongs to a sample comes this much later
    double targetVolts = 0.45;      ///< the tune's lambda target: above is rich, below lean
    double coldBelowC = 60;         ///< a colder engine runs rich on purpose
    double throttleRate = 40;       ///< %/s: the throttle moving faster than this is a transient
    double afterStepSeconds = 0.5;  ///< and this long after it
    double overrunRpm = 1500;       ///< a closed throttle above this is overrun
    double closedThrottle = 2;      ///< % counted as closed
    double stuckSeconds = 2;        ///< a reading that does not change this long is no reading
    double leanVolts = 0.10;        ///< where a narrowband reading settles well lean
    double richVolts = 0.85;        ///< and well rich
    double switchPercent = 2;       ///< how far off the right mixture (%) the reading has gone three quarters of its swing
    double deadband = 0.15;         ///< a fitted error this small (as the share of the swing it reads) asks for no change
    double minWeight = 3;           ///< summed weight a point needs for a suggestion
    double authority = 5;           ///< the most a point moves in one pass, %
};

/// How many samples each filter removed, and how many were used.
struct FilterCounts {
    std::size_t noReading = 0; ///< the sensor gave nothing, sat at 0 V or did not change
    std::size_t cold = 0;
    std::size_t transient = 0; ///< the throttle moving, or just after it moved
    std::size_t overrun = 0;   ///< injectors off, or a closed throttle well above idle
    std::size_t offAxis = 0;   ///< outside the curve's points
    std::size_t otherCurve = 0;///< at a pressure where the unit uses another fuel-by-RPM curve
    std::size_t used = 0;
};

/// What a point of the curve was seen to want.
struct PointSuggestion {
    int index = 0;        ///< from 1
    double x = 0;         ///< the point's x (hundreds of RPM, or bar)
    int hits = 0;         ///< samples that counted for it
    double weight = 0;    ///< their summed weights
    double meanVolts = 0; ///< weighted
    double richShare = 0; ///< weighted share of time rich
    double leanShare = 0;
    std::optional<int> change; ///< %, positive adds fuel; none below the minimum weight
    bool locked = false;  ///< never changed
};

struct FuelReport {
    std::vector<PointSuggestion> points;
    FilterCounts counts;
    std::optional<std::string> warning; ///< the unit's lambda control hides the map's error
};

/// The readings of one log row the analysis needs; NaN where the log has none.
struct FuelSample {
    double seconds = 0;
    double rpm = 0;
    double kpa = 0;
    double volts = 0;     ///< as read at this row (the delay is applied by the analysis)
    double waterC = 0;
    double throttle = 0;  ///< %
    double duty = 0;      ///< injector %
};

class FuelAnalysis {
public:
    /// Judges a curve of a tune whose axes (R, M) and lambda control
    /// percentage are given.
    FuelAnalysis(FuelCurve curve, table::Axes axes, FuelSettings settings = {}, int controlPercent = 0);

    FuelCurve curve() const { return m_curve; }
    const FuelSettings& settings() const { return m_settings; }

    /// A log (ours or another tool's with the same channels, found by their
    /// usual names). An error names the channel a log lacks; nothing is taken then.
    Result<std::size_t> addLog(const LogData& log);
    /// Samples in time order, as a log or the live records give them. Each
    /// waits until the reading a delay later has come.
    void addSamples(const std::vector<FuelSample>& samples);

    /// The unit's "Low throttle vacuum" and "High throttle vacuum" limits in
    /// kPa: a fuel-by-RPM curve counts only samples at the pressures it is
    /// used at (Low below low, High above high, Cruise from low to high).
    void setPressureBand(double lowKpa, double highKpa);

    /// Locked points are never changed.
    void setLocked(int index, bool locked);
    bool locked(int index) const { return m_locked.count(index) > 0; }
    /// Starts over (locks are kept).
    void clear();

    FuelReport report() const;
    /// The curve's values with every unlocked suggestion applied, each kept
    /// within the map's range.
    std::vector<double> applied(const std::vector<double>& values) const;

private:
    struct Tally {
        int hits = 0;
        double weight = 0, volts = 0, rich = 0, lean = 0;
        // The least-squares fit of the points' errors: the sums of the
        // squared weight, the weight times the next point's, and the weight
        // times the error each sample read.
        double ww = 0, wNext = 0, wError = 0;
    };
    std::vector<double> fittedErrors() const;
    bool judge(const FuelSample& s, double volts);
    void count(double x, double volts);
    double xOf(const FuelSample& s) const;
    bool inBand(double kpa) const;

    FuelCurve m_curve;
    table::Axes m_axes;
    FuelSettings m_settings;
    int m_controlPercent;
    std::vector<double> m_x; ///< the points' x, from point 1
    std::vector<Tally> m_tally;
    std::set<int> m_locked;
    FilterCounts m_counts;
    std::vector<FuelSample> m_pending; ///< samples waiting for their delayed reading
    std::optional<std::pair<double, double>> m_band; ///< low and high throttle vacuum, kPa
    double m_lastThrottle = NAN, m_lastThrottleAt = NAN, m_stepAt = -1e9;
    double m_sameVolts = NAN, m_sameSince = 0;
};

} // namespace kyr::live
