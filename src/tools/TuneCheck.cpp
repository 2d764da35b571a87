// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/TuneCheck.h"

#include "maps/Charts.h"
#include "maps/PointRules.h"
#include "setup/Fields.h"
#include "tools/TuneCompare.h"

#include <cmath>

namespace kyr::tools {

namespace {

constexpr double DegreeSpike = 10;
constexpr double FuelSpike = 25;
constexpr double CorrectionShare = 0.25; ///< of the chart's value span

// Whether v stands more than t above both neighbours or more than t below both.
bool isSpike(double before, double v, double after, double t)
{
    return (v - before > t && v - after > t) || (before - v > t && after - v > t);
}

std::string pointWhere(table::MapId map, int i, double x)
{
    return mapName(map) + " point " + std::to_string(i) + " (" + pointXText(map, x) + ")";
}

// The first and last points are not judged: a curve often starts or ends with
// a step (cranking advance, a cut at the top of the range), and a point with one
// neighbour cannot tell a step from a slip.
void findSpikes(std::vector<Finding>& out, const table::MapDef& m, const table::MapArrays& values,
                const table::Axes& axes)
{
    const int count = maps::pointCount(m.id, axes);
    const double t = spikeThreshold(m.id);
    for (int i = 2; i < count; ++i) {
        const double before = values.at(m.id, i - 1), v = values.at(m.id, i), after = values.at(m.id, i + 1);
        if (!isSpike(before, v, after, t))
            continue;
        Finding f{FindingKind::PointSpike, m.id, i, table::pointX(m, i, axes), v, {before, after}};
        f.where = pointWhere(m.id, i, f.x);
        f.message = f.where + " is " + pointValueText(m.id, v) + " while its neighbours are " +
                    pointValueText(m.id, before) + " and " + pointValueText(m.id, after) + ".";
        out.push_back(std::move(f));
    }
}

void findTimingAboveLimit(std::vector<Finding>& out, const table::MapArrays& values, const table::Axes& axes,
                          double limit)
{
    const table::MapDef& m = table::mapDef(table::MapId::TimingRpm);
    for (int i = 1; i <= maps::pointCount(m.id, axes); ++i) {
        const double v = values.at(m.id, i);
        if (v <= limit)
            continue;
        Finding f{FindingKind::TimingAboveLimit, m.id, i, table::pointX(m, i, axes), v};
        f.where = pointWhere(m.id, i, f.x);
        f.message = f.where + " is " + pointValueText(m.id, v) + ", above the limit of " +
                    pointValueText(m.id, limit) + ".";
        out.push_back(std::move(f));
    }
}

// The ends of a field's range in its own units; the RPM limiter's top is the RPM range.
std::pair<double, double> fieldRange(const setup::FieldDef& f, const table::Axes& axes)
{
    const double hi = f.upper == setup::Upper::RpmRange ? axes.rpmRange : f.hi;
    return {static_cast<double>(f.lo), hi};
}

void findSettingsAtEdge(std::vector<Finding>& out, const table::ImageBytes& tune, const table::ImageBytes& unit)
{
    const table::Axes axes = table::deriveAxes(table::setupOf(tune));
    for (const auto& field : setup::fieldTable()) {
        const table::SetupDef* d = &table::setupDef(field.param);
        if (!d || tune[d->offset] == unit[d->offset])
            continue;
        const ShownSetting mine = shownSetting(*d, tune);
        const ShownSetting theirs = shownSetting(*d, unit);
        if (!mine.numeric || mine.text == theirs.text)
            continue;
        const auto [lo, hi] = fieldRange(field, axes);
        if (mine.number > lo && mine.number < hi)
            continue;
        const std::string unitName(settingUnit(*d, tune));
        Finding f{FindingKind::SettingAtEdge};
        f.setting = d;
        f.value = mine.number;
        f.unitValue = withUnit(theirs.text, settingUnit(*d, unit));
        f.where = settingName(*d);
        const bool low = mine.number <= lo;
        const bool past = mine.number < lo || mine.number > hi;
        f.message = f.where + " is " + withUnit(mine.text, unitName) + (past ? ", past the " : ", the ") +
                    (low ? "lowest" : "highest") + " value it takes" + (past ? " (" : "") +
                    (past ? withUnit(shownNumber(low ? lo : hi), unitName) + ")" : "") + ", while the unit has " +
                    f.unitValue + ".";
        out.push_back(std::move(f));
    }
}

} // namespace

std::string tableByteName(int offset)
{
    const std::string name = "table offset " + std::to_string(offset);
    if (const table::SetupDef* d = table::setupByOffset(offset))
        return name + " (" + settingName(*d) + ")";
    for (const auto& m : table::mapTable())
        if (offset >= m.firstOffset && offset < m.firstOffset + m.points)
            return name + " (" + mapName(m.id) + " point " + std::to_string(offset - m.firstOffset + 1) + ")";
    return name;
}

std::vector<Finding> storedZeros(const table::ImageBytes& plusOne)
{
    std::vector<Finding> out;
    // The trailer at 481 is the unit's own and never read as a value.
    for (int offset = 0; offset < table::TableSize - 1; ++offset) {
        if (plusOne[static_cast<std::size_t>(offset)] != 0)
            continue;
        Finding f{FindingKind::StoredZero};
        f.offset = offset;
        f.where = tableByteName(offset);
        f.message = "The byte at " + f.where +
                    " holds a stored 0 (raw 255): the unit ends its table reply at that byte, so it could not "
                    "be read back until the byte is written again.";
        out.push_back(std::move(f));
    }
    return out;
}

double spikeThreshold(table::MapId map)
{
    const table::MapDef& m = table::mapDef(map);
    if (m.unit == "deg")
        return DegreeSpike;
    switch (map) {
    case table::MapId::FuelVac:
    case table::MapId::FuelCruise:
    case table::MapId::FuelLow:
    case table::MapId::FuelHigh: return FuelSpike;
    default: {
        const maps::ChartDef& chart = maps::chartDef(m.chart);
        return (chart.leftMax - chart.leftMin) * CorrectionShare;
    }
    }
}

std::vector<Finding> checkTune(const table::ImageBytes& plusOne, const CheckOptions& options)
{
    std::vector<Finding> out = storedZeros(plusOne);
    const table::Axes axes = table::deriveAxes(table::setupOf(plusOne));
    const table::MapArrays values = table::decodeMaps(plusOne);
    for (const auto& m : table::mapTable())
        if (typeHasMap(options.typeCode, m))
            findSpikes(out, m, values, axes);
    if (typeHasMap(options.typeCode, table::mapDef(table::MapId::TimingRpm)))
        findTimingAboveLimit(out, values, axes, options.timingLimit);
    if (options.unit)
        findSettingsAtEdge(out, plusOne, *options.unit);
    return out;
}

std::string_view findingKindName(FindingKind kind)
{
    switch (kind) {
    case FindingKind::PointSpike: return "spike";
    case FindingKind::TimingAboveLimit: return "timing-limit";
    case FindingKind::SettingAtEdge: return "setting-edge";
    case FindingKind::StoredZero: return "stored-zero";
    }
    return "spike";
}

} // namespace kyr::tools
