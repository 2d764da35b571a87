// SPDX-License-Identifier: GPL-3.0-or-later
// The JSON forms of the reports (see docs/cli.md for the fields).

#include "Output.h"

#include "table/Rounding.h"

#include <cmath>

namespace kyr::cli {

using nlohmann::json;

namespace {

constexpr double MaxExactWhole = 1e15;
constexpr int XDecimals = 4; ///< a point's x in the JSON

/// A whole number as a JSON integer (7000, not 7000.0), any other as a double.
json number(double v)
{
    if (std::floor(v) == v && std::fabs(v) < MaxExactWhole)
        return static_cast<long long>(v);
    return v;
}

const char* kindName(ValueKind k)
{
    switch (k) {
    case ValueKind::Number: return "number";
    case ValueKind::Switch: return "switch";
    case ValueKind::Choice: return "choice";
    case ValueKind::Char: return "char";
    }
    return "number";
}

/// The value of a setup parameter: a number, "on"/"off", a choice name or a
/// character; null when the byte holds no valid value or the setting is absent.
json valueOf(const SetupValue& v)
{
    if (v.absent || !v.known)
        return nullptr;
    if (v.kind == ValueKind::Number)
        return number(v.number);
    return v.text;
}

/// A compared setup value: a number, or its text; null when it holds no valid value.
json shownJson(const tools::ShownSetting& s)
{
    if (!s.known)
        return nullptr;
    if (s.numeric)
        return number(s.number);
    return s.text;
}

json unitJson(const link::UnitIdentity& id)
{
    auto t = table::unitType(id.typeCode());
    return {{"model", id.model()},
            {"version", std::to_string(id.major()) + "." + std::to_string(id.minor())},
            {"type_code", id.typeCode()},
            {"type_name", t ? json(std::string(t->name)) : json(nullptr)}};
}

json pointJson(const MapPoint& p)
{
    return {{"index", p.index}, {"offset", p.offset}, {"x", number(p.x)}, {"value", number(p.value)}};
}

json mapJson(const MapView& m)
{
    json points = json::array();
    for (const auto& p : m.points)
        points.push_back(pointJson(p));
    return {{"name", std::string(m.def->name)},
            {"title", std::string(m.def->title)},
            {"group", m.def->group == table::MapGroup::Timing ? "timing" : "fuel"},
            {"unit", std::string(m.def->unit)},
            {"x_unit", m.xUnit},
            {"points", std::move(points)}};
}

json fieldsJson(const std::vector<FieldChange>& fields)
{
    json out = json::array();
    for (const auto& f : fields)
        out.push_back({{"field", f.field}, {"a", f.a}, {"b", f.b}});
    return out;
}

} // namespace

json identityJson(const IdentityView& id)
{
    return {{"model", id.model},
            {"version", id.version},
            {"type_code", id.typeCode},
            {"type_name", id.typeName.empty() ? json(nullptr) : json(id.typeName)},
            {"serial_number", id.serial},
            {"identity_bytes", id.bytes}};
}

json setupValueJson(const SetupValue& v)
{
    return {{"name", v.name},
            {"parameter", std::string(v.def->parameter)},
            {"caption", std::string(v.def->caption)},
            {"offset", v.def->offset},
            {"stored", v.stored},
            {"raw", v.raw},
            {"kind", kindName(v.kind)},
            {"value", valueOf(v)},
            {"text", v.text},
            {"absent", v.absent}};
}

json surveyJson(const Survey& survey)
{
    json ports = json::array();
    for (const auto& p : survey.ports)
        ports.push_back({{"port", link::comName(p.port)},
                         {"number", p.port},
                         {"device", p.device},
                         {"unit", p.unit ? unitJson(*p.unit) : json(nullptr)},
                         {"problem", p.problem.empty() ? json(nullptr) : json(p.problem)}});
    return {{"ports", std::move(ports)},
            {"found", survey.found ? json(link::comName(survey.found)) : json(nullptr)}};
}

json infoJson(const InfoView& info)
{
    json j = identityJson(info.identity);
    j["port"] = info.port;
    j["device"] = info.device;
    return j;
}

json tuneJson(const TuneView& tune, const std::string& fileName)
{
    json setup = json::array();
    for (const auto& v : tune.setup)
        setup.push_back(setupValueJson(v));
    json maps = json::array();
    for (const auto& m : tune.maps)
        maps.push_back(mapJson(m));
    return {{"file", fileName},
            {"identity", identityJson(tune.identity)},
            {"vehicle", {{"make", tune.make}, {"model", tune.model}, {"engine", tune.engine}}},
            {"axes",
             {{"rpm_range", tune.axes.rpmRange},
              {"timing_points", tune.axes.timingPoints},
              {"map_sensor", tune.axes.mapSensor}}},
            {"setup", std::move(setup)},
            {"all_maps", tune.allMaps},
            {"maps", std::move(maps)}};
}

json diffJson(const FileDiff& diff, const std::string& nameA, const std::string& nameB)
{
    json setup = json::array();
    for (const auto& s : diff.tune.setup)
        setup.push_back({{"name", snakeName(s.def->parameter)},
                         {"parameter", std::string(s.def->parameter)},
                         {"offset", s.def->offset},
                         {"a", shownJson(s.mine)},
                         {"b", shownJson(s.other)},
                         {"a_text", s.mine.text},
                         {"b_text", s.other.text}});
    json points = json::array();
    for (const auto& p : diff.tune.points) {
        const table::MapDef& m = table::mapDef(p.map);
        points.push_back({{"map", std::string(m.name)},
                          {"index", p.index},
                          {"offset", p.offset},
                          {"x_a", number(roundTo(p.x, XDecimals))},
                          {"x_b", number(roundTo(p.otherX, XDecimals))},
                          {"a", number(p.mine)},
                          {"b", number(p.other)},
                          {"unit", std::string(m.unit)}});
    }
    json bytes = json::array();
    for (const auto& b : diff.tune.bytes)
        bytes.push_back({{"offset", b.offset}, {"a", b.mine}, {"b", b.other}});
    return {{"a", nameA},
            {"b", nameB},
            {"identical", diff.empty()},
            {"identity", fieldsJson(diff.identity)},
            {"vehicle", fieldsJson(diff.vehicle)},
            {"setup", std::move(setup)},
            {"points", std::move(points)},
            {"bytes", std::move(bytes)}};
}

json jsonNumber(double v) { return number(v); }

void printJson(std::ostream& out, const json& j)
{
    out << j.dump(2, ' ', false, json::error_handler_t::replace) << "\n";
}

} // namespace kyr::cli
