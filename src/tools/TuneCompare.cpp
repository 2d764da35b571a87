// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/TuneCompare.h"

#include "files/Cp1252.h"
#include "maps/Charts.h"
#include "maps/PointRules.h"
#include "setup/Fields.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>
#include <utility>

namespace kyr::tools {

namespace {

constexpr int SwitchOn = 2;
constexpr int SwitchOff = 1;
constexpr int RpmPerAxisUnit = 100; ///< the RPM charts count in hundreds

int rawOf(uint8_t stored) { return (stored - 1) & 0xFF; }

// Panels whose captions ("RPM", "Min", "UP") say little on their own, and the
// words put before them.
constexpr std::pair<std::string_view, std::string_view> kQualifiedPanels[] = {
    {"Launch Control", "Launch Control"}, {"Idle Control", "Idle Control"}, {"Output 1", "Output 1"},
    {"Output 2", "Output 2"},             {"Lambda Configuration", "Lambda"},
};

std::string trimmed(std::string_view s)
{
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return std::string(s);
}

void describeChoice(ShownSetting& s, const table::SetupDef& d, int raw)
{
    switch (d.shown) {
    case table::Shown::Switch:
        s.known = raw == SwitchOn || raw == SwitchOff;
        s.text = raw == SwitchOn ? "on" : raw == SwitchOff ? "off" : "unset (" + std::to_string(raw) + ")";
        return;
    case table::Shown::Choice:
        s.known = raw < static_cast<int>(d.choices.size());
        s.text = raw < static_cast<int>(d.choices.size()) ? std::string(d.choices[raw])
                                                          : "unknown (" + std::to_string(raw) + ")";
        return;
    default: {
        const char32_t cp = files::cp1252CodePoint(static_cast<uint8_t>(raw));
        const bool letter = cp >= 0x20 && (cp < 0x7F || cp >= 0xA0);
        s.known = letter;
        s.text = letter ? files::utf8FromCp1252(std::string(1, static_cast<char>(raw))) : "code " + std::to_string(raw);
        return;
    }
    }
}

} // namespace

int settingOutputSource(const table::SetupDef& d, const table::ImageBytes& plusOne)
{
    const setup::FieldDef* f = setup::fieldByParam(d.param);
    if (!f || f->output == 0)
        return 0;
    return rawOf(plusOne[table::setupOffset(setup::outputSourceParam(f->output))]);
}

ShownSetting shownChoice(const table::SetupDef& d, int raw)
{
    ShownSetting s;
    s.stored = (raw + 1) & 0xFF;
    describeChoice(s, d, raw);
    return s;
}

std::string shownNumber(double value)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.2f", std::round(value * 100) / 100);
    std::string s = buf;
    s.erase(s.find_last_not_of('0') + 1);
    if (s.back() == '.')
        s.pop_back();
    return s == "-0" ? "0" : s;
}

ShownSetting shownSetting(const table::SetupDef& d, const table::ImageBytes& plusOne)
{
    ShownSetting s;
    s.stored = plusOne[d.offset];
    s.absent = s.stored == table::AbsentPlusOne;
    if (s.absent) {
        s.text = "absent";
        s.known = false;
        return s;
    }
    int raw = rawOf(plusOne[d.offset]);
    if (d.shown == table::Shown::Switch || d.shown == table::Shown::Choice || d.shown == table::Shown::Char) {
        describeChoice(s, d, raw);
        return s;
    }
    const setup::FieldDef* f = setup::fieldByParam(d.param);
    if (f && raw == 0 && f->zeroShowsAs != 0)
        raw = f->zeroShowsAs; // the unit runs on its default for a stored 0
    s.numeric = true;
    s.number = table::shownValue(d, raw, settingOutputSource(d, plusOne));
    s.text = shownNumber(s.number);
    return s;
}

std::string_view settingUnit(const table::SetupDef& d, const table::ImageBytes& plusOne)
{
    if (const setup::FieldDef* f = setup::fieldByParam(d.param))
        return setup::fieldUnit(*f, settingOutputSource(d, plusOne));
    switch (d.shown) {
    case table::Shown::Times100: return "RPM";
    case table::Shown::Times10: return "%";
    case table::Shown::Div100: return "V"; // the lambda target
    default: return {};
    }
}

std::string settingName(const table::SetupDef& d)
{
    std::string caption = trimmed(d.caption);
    if (caption.empty() || d.param == table::SetupParam::SerialPrefix1 || d.param == table::SetupParam::SerialPrefix2) {
        std::string p(d.parameter);
        p[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(p[0])));
        return p;
    }
    if (const setup::FieldDef* f = setup::fieldByParam(d.param))
        for (const auto& [panel, prefix] : kQualifiedPanels)
            if (f->panel == panel)
                return std::string(prefix) + " " + caption;
    return caption;
}

std::string withUnit(std::string_view text, std::string_view unit)
{
    if (unit.empty())
        return std::string(text);
    if (unit == "\u00b0")
        return std::string(text) + std::string(unit);
    return std::string(text) + " " + std::string(unit);
}

std::string_view pointUnit(table::MapId map) { return maps::valueUnit(map); }

std::string pointValueText(table::MapId map, double value) { return withUnit(shownNumber(value), pointUnit(map)); }

std::string pointXText(table::MapId map, double x)
{
    const table::XRule rule = table::mapDef(map).xRule;
    const bool rpm = rule == table::XRule::RpmTiming || rule == table::XRule::RpmFuel;
    return withUnit(shownNumber(rpm ? std::round(x * RpmPerAxisUnit) : x), maps::xUnit(rule));
}

std::string mapName(table::MapId map)
{
    const table::MapDef& m = table::mapDef(map);
    const maps::ChartDef& chart = maps::chartDef(m.chart);
    std::string name(chart.title);
    if (m.chart == table::ChartId::Vacuum)
        return name + " (timing)";
    if (m.chart == table::ChartId::FuelVac)
        return name + " (fuel)";
    const maps::CurveDef& curve = maps::curveOf(map);
    return curve.caption.empty() ? name : name + ", " + std::string(curve.caption);
}

bool typeHasMap(int typeCode, const table::MapDef& map)
{
    auto t = table::unitType(typeCode);
    return !t || table::hasGroup(*t, map.group);
}

TuneComparison compareTunes(const table::ImageBytes& mine, const table::ImageBytes& other, int mineType, int otherType)
{
    TuneComparison c;
    std::set<int> covered;
    for (const auto& d : table::setupTable()) {
        covered.insert(d.offset);
        ShownSetting a = shownSetting(d, mine);
        ShownSetting b = shownSetting(d, other);
        if (a.stored != b.stored || a.text != b.text)
            c.setup.push_back({&d, settingName(d), std::string(settingUnit(d, mine)), std::move(a), std::move(b)});
    }
    const table::Axes axesMine = table::deriveAxes(table::setupOf(mine));
    const table::Axes axesOther = table::deriveAxes(table::setupOf(other));
    const table::MapArrays va = table::decodeMaps(mine);
    const table::MapArrays vb = table::decodeMaps(other);
    for (const auto& m : table::mapTable()) {
        if (!typeHasMap(mineType, m) && !typeHasMap(otherType, m))
            continue;
        const int shown = std::max(maps::pointCount(m.id, axesMine), maps::pointCount(m.id, axesOther));
        for (int i = 1; i <= shown; ++i) {
            const int off = table::pointOffset(m, i);
            covered.insert(off);
            if (mine[off] != other[off])
                c.points.push_back({m.id, i, off, table::pointX(m, i, axesMine), table::pointX(m, i, axesOther),
                                    va.at(m.id, i), vb.at(m.id, i)});
        }
    }
    for (int off = 0; off < table::TableSize; ++off)
        if (!covered.count(off) && mine[off] != other[off])
            c.bytes.push_back({off, mine[off], other[off]});
    return c;
}

TuneComparison compareTunes(const table::EncodedImage& mine, const table::EncodedImage& other, int mineType,
                            int otherType)
{
    return compareTunes(mine.plusOne, other.plusOne, mineType, otherType);
}

} // namespace kyr::tools
