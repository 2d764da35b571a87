// SPDX-License-Identifier: GPL-3.0-or-later
#include "live/FuelAnalysis.h"

#include <algorithm>
#include <cctype>
#include <initializer_list>

namespace kyr::live {

namespace {

bool missing(double v) { return std::isnan(v); }

std::string lower(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// A channel by any of its usual names: ours first, then other tools'.
const LogChannel* channel(const LogData& log, std::initializer_list<std::string_view> names)
{
    for (std::string_view name : names)
        for (const LogChannel& c : log.channels)
            if (lower(c.name) == lower(name))
                return &c;
    return nullptr;
}

double valueAt(const LogChannel* c, std::size_t row)
{
    return c && row < c->values.size() ? static_cast<double>(c->values[row]) : NAN;
}

// The mixture error a reading gives, in %, lean positive: the inverse of the
// sensor's S-curve. A reading at the end of the swing tells only that the
// error is at least this large.
double errorOf(double volts, const FuelSettings& f)
{
    const double swing = volts < f.targetVolts ? f.targetVolts - f.leanVolts : f.richVolts - f.targetVolts;
    const double share = std::clamp((f.targetVolts - volts) / std::max(swing, 0.05), -0.999, 0.999);
    return f.switchPercent * std::atanh(share);
}

// Solves the symmetric tridiagonal system (diag, off) x = rhs (Thomas).
std::vector<double> solveTridiagonal(std::vector<double> diag, const std::vector<double>& off, std::vector<double> rhs)
{
    const std::size_t n = diag.size();
    for (std::size_t i = 1; i < n; ++i) {
        const double m = off[i - 1] / diag[i - 1];
        diag[i] -= m * off[i - 1];
        rhs[i] -= m * rhs[i - 1];
    }
    std::vector<double> x(n, 0.0);
    for (std::size_t i = n; i-- > 0;)
        x[i] = (rhs[i] - (i + 1 < n ? off[i] * x[i + 1] : 0.0)) / diag[i];
    return x;
}

// A whole % a point can take, rounded towards no change so that rounding
// never carries a point past the mixture it was judged at.
int wholePercent(double change)
{
    const double kept = std::max(std::abs(change) - 0.25, 0.0);
    return static_cast<int>(std::copysign(std::round(kept), change));
}

} // namespace

table::MapId mapOfCurve(FuelCurve curve)
{
    switch (curve) {
    case FuelCurve::Low: return table::MapId::FuelLow;
    case FuelCurve::High: return table::MapId::FuelHigh;
    case FuelCurve::Vacuum: return table::MapId::FuelVac;
    default: return table::MapId::FuelCruise;
    }
}

FuelAnalysis::FuelAnalysis(FuelCurve curve, table::Axes axes, FuelSettings settings, int controlPercent)
    : m_curve(curve), m_axes(axes), m_settings(settings), m_controlPercent(controlPercent)
{
    const auto& def = table::mapDef(mapOfCurve(curve));
    for (int i = 1; i <= def.points; ++i)
        m_x.push_back(table::pointX(def, i, axes));
    m_tally.assign(m_x.size(), Tally{});
}

Result<std::size_t> FuelAnalysis::addLog(const LogData& log)
{
    const LogChannel* rpm = channel(log, {"RPM", "Engine Speed"});
    const LogChannel* kpa = channel(log, {"Vacuum", "MAP", "Manifold Pressure"});
    const LogChannel* volts = channel(log, {"Lambda", "O2", "EGO", "O2 Volts"});
    for (const auto& [c, name] : {std::pair{rpm, "RPM"}, {kpa, "Vacuum"}, {volts, "Lambda"}})
        if (!c)
            return makeError(ErrorKind::BadArgument, std::string("The log has no ") + name + " channel");
    const LogChannel* water = channel(log, {"Temperature", "Water", "CLT", "Coolant"});
    const LogChannel* throttle = channel(log, {"Throttle %", "TPS", "Throttle"});
    const LogChannel* duty = channel(log, {"Injector %", "Duty", "Inj Duty", "DutyCycle"});
    std::vector<FuelSample> samples;
    samples.reserve(log.rows());
    for (std::size_t r = 0; r < log.rows(); ++r)
        samples.push_back({log.times[r], valueAt(rpm, r), valueAt(kpa, r), valueAt(volts, r), valueAt(water, r),
                           valueAt(throttle, r), valueAt(duty, r)});
    addSamples(samples);
    // A log's last moments have no reading a delay later: they end with it.
    m_pending.clear();
    return samples.size();
}

void FuelAnalysis::addSamples(const std::vector<FuelSample>& samples)
{
    for (const FuelSample& s : samples) {
        std::size_t judged = 0;
        while (judged < m_pending.size() && m_pending[judged].seconds + m_settings.delaySeconds <= s.seconds)
            judge(m_pending[judged++], s.volts);
        m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<std::ptrdiff_t>(judged));
        m_pending.push_back(s);
    }
}

// Each filter in turn; the first that holds counts the sample.
bool FuelAnalysis::judge(const FuelSample& s, double volts)
{
    const FuelSettings& f = m_settings;
    if (!missing(s.throttle)) {
        if (!missing(m_lastThrottle) && s.seconds > m_lastThrottleAt
            && std::abs(s.throttle - m_lastThrottle) / (s.seconds - m_lastThrottleAt) > f.throttleRate)
            m_stepAt = s.seconds;
        m_lastThrottle = s.throttle;
        m_lastThrottleAt = s.seconds;
    }
    if (missing(volts) || volts <= 0.02 || volts != m_sameVolts)
        m_sameSince = s.seconds;
    m_sameVolts = volts;
    const bool stuck = s.seconds - m_sameSince >= f.stuckSeconds;
    if (missing(volts) || volts <= 0.02 || stuck || missing(s.rpm) || missing(s.kpa)) {
        ++m_counts.noReading;
    } else if (!missing(s.waterC) && s.waterC < f.coldBelowC) {
        ++m_counts.cold;
    } else if (s.seconds - m_stepAt <= f.afterStepSeconds) {
        ++m_counts.transient;
    } else if ((!missing(s.duty) && s.duty <= 0)
               || (!missing(s.throttle) && s.throttle <= f.closedThrottle && s.rpm > f.overrunRpm)) {
        ++m_counts.overrun;
    } else if (!inBand(s.kpa)) {
        ++m_counts.otherCurve;
    } else if (const double x = xOf(s); m_x.empty() || x < m_x.front() || x > m_x.back() || m_x.front() == m_x.back()) {
        ++m_counts.offAxis;
    } else {
        ++m_counts.used;
        count(x, volts);
        return true;
    }
    return false;
}

bool FuelAnalysis::inBand(double kpa) const
{
    if (!m_band || m_curve == FuelCurve::Vacuum)
        return true;
    const auto [low, high] = *m_band;
    if (m_curve == FuelCurve::Low)
        return kpa < low;
    if (m_curve == FuelCurve::High)
        return kpa > high;
    return kpa >= low && kpa <= high;
}

void FuelAnalysis::setPressureBand(double lowKpa, double highKpa) { m_band = std::pair{lowKpa, highKpa}; }

double FuelAnalysis::xOf(const FuelSample& s) const
{
    return m_curve == FuelCurve::Vacuum ? s.kpa / 100.0 : s.rpm / 100.0;
}

// The sample counts for the two points around x, the nearer more.
void FuelAnalysis::count(double x, double volts)
{
    const auto upper = std::upper_bound(m_x.begin(), m_x.end(), x);
    std::size_t hi = std::min(static_cast<std::size_t>(upper - m_x.begin()), m_x.size() - 1);
    std::size_t lo = hi == 0 ? 0 : hi - 1;
    const double span = m_x[hi] - m_x[lo];
    const double wHi = span > 0 ? std::clamp((x - m_x[lo]) / span, 0.0, 1.0) : 1.0;
    const std::pair<std::size_t, double> parts[] = {{lo, 1.0 - wHi}, {hi, wHi}};
    const double error = errorOf(volts, m_settings);
    if (hi != lo)
        m_tally[lo].wNext += (1.0 - wHi) * wHi;
    for (const auto& [i, w] : parts) {
        if (w <= 0)
            continue;
        Tally& t = m_tally[i];
        ++t.hits;
        t.weight += w;
        t.volts += w * volts;
        t.ww += w * w;
        t.wError += w * error;
        if (volts > m_settings.targetVolts)
            t.rich += w;
        else if (volts < m_settings.targetVolts)
            t.lean += w;
    }
}

void FuelAnalysis::setLocked(int index, bool locked)
{
    if (locked)
        m_locked.insert(index);
    else
        m_locked.erase(index);
}

void FuelAnalysis::clear()
{
    m_tally.assign(m_x.size(), Tally{});
    m_counts = {};
    m_pending.clear();
    m_lastThrottle = NAN;
    m_stepAt = -1e9;
    m_sameVolts = NAN;
}

FuelReport FuelAnalysis::report() const
{
    FuelReport r;
    r.counts = m_counts;
    const FuelSettings& f = m_settings;
    const std::vector<double> fitted = fittedErrors();
    const double deadband = f.switchPercent * std::atanh(f.deadband);
    for (std::size_t i = 0; i < m_x.size(); ++i) {
        const Tally& t = m_tally[i];
        PointSuggestion p;
        p.index = static_cast<int>(i) + 1;
        p.x = m_x[i];
        p.hits = t.hits;
        p.weight = t.weight;
        p.locked = locked(p.index);
        if (t.weight > 0) {
            p.meanVolts = t.volts / t.weight;
            p.richShare = t.rich / t.weight;
            p.leanShare = t.lean / t.weight;
        }
        if (!p.locked && t.weight >= f.minWeight) {
            // Below the target (lean): more fuel, in proportion to how far below.
            const double error = std::abs(fitted[i]) < deadband ? 0.0 : fitted[i];
            p.change = wholePercent(std::clamp(error, -f.authority, f.authority));
        }
        r.points.push_back(p);
    }
    if (m_controlPercent > 0)
        r.warning = "Lambda control is on (Control Percentage " + std::to_string(m_controlPercent) +
                    " %): the unit corrects the mixture itself, which hides the map's error. Set Control "
                    "Percentage to 0, write the tune, and log again to tune the fuel maps.";
    return r;
}

// The points' errors that best explain every sample's error, each sample
// reading its two points' errors by its weights. A small pull towards no
// error keeps points with few samples (or none) from swinging.
std::vector<double> FuelAnalysis::fittedErrors() const
{
    constexpr double Pull = 1.0;
    std::vector<double> diag, off, rhs;
    for (const Tally& t : m_tally) {
        diag.push_back(t.ww + Pull);
        off.push_back(t.wNext);
        rhs.push_back(t.wError);
    }
    return m_tally.empty() ? std::vector<double>{} : solveTridiagonal(diag, off, rhs);
}

std::vector<double> FuelAnalysis::applied(const std::vector<double>& values) const
{
    const auto& def = table::mapDef(mapOfCurve(m_curve));
    std::vector<double> out = values;
    const FuelReport r = report();
    for (const PointSuggestion& p : r.points) {
        const auto i = static_cast<std::size_t>(p.index - 1);
        if (!p.change || *p.change == 0 || i >= out.size())
            continue;
        // The curve is a factor (1 + a/100); the change multiplies the fuel it gives.
        const double factor = (1 + out[i] / 100.0) * (1 + *p.change / 100.0);
        out[i] = std::clamp(std::round((factor - 1) * 100.0), def.minValue, def.maxValue);
    }
    return out;
}

} // namespace kyr::live
