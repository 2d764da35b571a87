// SPDX-License-Identifier: GPL-3.0-or-later
#include "TuneView.h"

#include "files/Cp1252.h"
#include "maps/Charts.h"
#include "table/Rounding.h"
#include "tools/SerialNumber.h"
#include "tools/TuneCompare.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace kyr::cli {

namespace {

constexpr int ShownDecimals = 4;

int rawOf(uint8_t stored) { return (stored - 1) & 0xFF; }

void describe(SetupValue& v, const table::ImageBytes& plusOne)
{
    const table::SetupDef& d = *v.def;
    switch (d.shown) {
    case table::Shown::Switch:
    case table::Shown::Choice:
    case table::Shown::Char: {
        const tools::ShownSetting shown = tools::shownChoice(d, v.raw);
        v.kind = d.shown == table::Shown::Switch ? ValueKind::Switch
                 : d.shown == table::Shown::Choice ? ValueKind::Choice
                                                   : ValueKind::Char;
        v.known = shown.known;
        v.text = shown.text;
        return;
    }
    default:
        v.kind = ValueKind::Number;
        v.number = table::shownValue(d, v.raw, tools::settingOutputSource(d, plusOne));
        v.text = numberText(v.number);
        return;
    }
}

// The length of the well-formed UTF-8 sequence of two or more bytes at s[i];
// 0 for a byte that starts none (a stray continuation byte, an overlong or
// cut-off sequence, a surrogate).
std::size_t utf8LengthAt(std::string_view s, std::size_t i)
{
    const auto c = static_cast<unsigned char>(s[i]);
    const std::size_t len = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
    if (len == 0 || i + len > s.size())
        return 0;
    const auto second = static_cast<unsigned char>(s[i + 1]);
    const unsigned lowest = c == 0xE0 ? 0xA0 : c == 0xF0 ? 0x90 : 0x80;
    const unsigned highest = c == 0xED ? 0x9F : c == 0xF4 ? 0x8F : 0xBF;
    if (second < lowest || second > highest)
        return 0;
    for (std::size_t k = 2; k < len; ++k)
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
            return 0;
    return len;
}

// U+0080..U+009F: terminals take some of them (CSI, OSC) for control sequences.
bool isC1Control(std::string_view s, std::size_t i)
{
    return static_cast<unsigned char>(s[i]) == 0xC2 && static_cast<unsigned char>(s[i + 1]) < 0xA0;
}

std::string identityBytesText(const std::array<uint8_t, 7>& b)
{
    std::string out;
    for (uint8_t v : b)
        out += (out.empty() ? "" : " ") + std::to_string(v);
    return out;
}

void compareField(std::vector<FieldChange>& out, const char* field, const std::string& a, const std::string& b)
{
    if (a != b)
        out.push_back({field, a, b});
}

std::string typeText(const IdentityView& id)
{
    return std::to_string(id.typeCode) + (id.typeName.empty() ? "" : " (" + id.typeName + ")");
}

} // namespace

std::string numberText(double value, int decimals)
{
    const double v = roundTo(value, decimals);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    std::string s = buf;
    s.erase(s.find_last_not_of('0') + 1);
    if (s.back() == '.')
        s.pop_back();
    return s == "-0" ? "0" : s;
}

std::string printable(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t len = c < 0x80 ? 1 : utf8LengthAt(text, i);
        if (c >= 0x20 && c < 0x7F)
            out += text[i];
        else if (len > 1 && !isC1Control(text, i))
            out.append(text.substr(i, len));
        else
            out += '?';
        i += std::max<std::size_t>(len, 1);
    }
    return out;
}

std::string snakeName(std::string_view text)
{
    std::string out;
    bool gap = false;
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (std::isalnum(c) && c < 0x80) {
            if (gap && !out.empty())
                out += '_';
            out += static_cast<char>(std::tolower(c));
            gap = false;
        } else {
            gap = true;
        }
    }
    return out;
}

IdentityView identityOf(const std::array<uint8_t, 7>& bytes, const table::SetupCopy& setupPlusOne)
{
    IdentityView id;
    id.bytes = bytes;
    id.model = bytes[0];
    id.version = std::to_string(bytes[1]) + "." + std::to_string(bytes[2]);
    id.typeCode = bytes[1];
    if (auto t = table::unitType(id.typeCode))
        id.typeName = std::string(t->name);
    id.serial = printable(tools::serialText(setupPlusOne));
    return id;
}

std::vector<SetupValue> setupValues(const table::ImageBytes& plusOne)
{
    std::vector<SetupValue> out;
    for (const auto& d : table::setupTable()) {
        SetupValue v;
        v.def = &d;
        v.name = snakeName(d.parameter);
        v.stored = plusOne[d.offset];
        v.raw = rawOf(plusOne[d.offset]);
        v.absent = v.stored == table::AbsentPlusOne;
        if (v.absent) {
            v.text = "absent";
            v.known = false;
            v.kind = d.shown == table::Shown::Switch   ? ValueKind::Switch
                     : d.shown == table::Shown::Choice ? ValueKind::Choice
                     : d.shown == table::Shown::Char   ? ValueKind::Char
                                                       : ValueKind::Number;
        } else {
            describe(v, plusOne);
        }
        out.push_back(std::move(v));
    }
    return out;
}

bool typeHasMap(int typeCode, const table::MapDef& map) { return tools::typeHasMap(typeCode, map); }

MapView mapView(const table::MapDef& map, const table::ImageBytes& plusOne, const table::Axes& axes)
{
    MapView v;
    v.def = &map;
    v.xUnit = printable(maps::chartDef(map.chart).bottomTitle);
    const int shown = map.xRule == table::XRule::RpmTiming ? std::min(axes.timingPoints, map.points) : map.points;
    const table::MapArrays values = table::decodeMaps(plusOne);
    for (int i = 1; i <= shown; ++i)
        v.points.push_back({i, table::pointOffset(map, i), roundTo(table::pointX(map, i, axes), ShownDecimals),
                            values.at(map.id, i)});
    return v;
}

TuneView tuneView(const files::MapFile& file)
{
    TuneView v;
    const table::SetupCopy setup = table::setupOf(file.image);
    v.identity = identityOf(file.identity, setup);
    v.make = printable(files::utf8FromCp1252(file.make));
    v.model = printable(files::utf8FromCp1252(file.model));
    v.engine = printable(files::utf8FromCp1252(file.engine));
    v.axes = table::deriveAxes(setup);
    v.setup = setupValues(file.image);
    v.allMaps = !table::unitType(v.identity.typeCode).has_value();
    for (const auto& m : table::mapTable())
        if (typeHasMap(v.identity.typeCode, m))
            v.maps.push_back(mapView(m, file.image, v.axes));
    return v;
}

FileDiff diffFiles(const files::MapFile& fa, const files::MapFile& fb)
{
    const TuneView a = tuneView(fa);
    const TuneView b = tuneView(fb);
    FileDiff d;

    if (a.identity.model != b.identity.model)
        d.identity.push_back({"model", std::to_string(a.identity.model), std::to_string(b.identity.model)});
    compareField(d.identity, "version", a.identity.version, b.identity.version);
    if (a.identity.typeCode != b.identity.typeCode)
        d.identity.push_back({"unit_type", typeText(a.identity), typeText(b.identity)});
    compareField(d.identity, "identity_bytes", identityBytesText(fa.identity), identityBytesText(fb.identity));
    compareField(d.vehicle, "make", a.make, b.make);
    compareField(d.vehicle, "model", a.model, b.model);
    compareField(d.vehicle, "engine", a.engine, b.engine);
    d.tune = tools::compareTunes(fa.image, fb.image, a.identity.typeCode, b.identity.typeCode);
    return d;
}

} // namespace kyr::cli
