// SPDX-License-Identifier: GPL-3.0-or-later
#include "Output.h"

#include "maps/Charts.h"
#include "table/Rounding.h"

#include <iomanip>

namespace kyr::cli {

namespace {

constexpr int LabelWidth = 15;
constexpr int PortWidth = 7;
constexpr int DeviceWidth = 30;
constexpr int ParameterWidth = 44;
constexpr int PointWidth = 13;
constexpr int PointsPerLine = 6;
constexpr int TextXDecimals = 2;  ///< x in the text form
constexpr int ShownXDecimals = 4; ///< x as the JSON keeps it

void row(std::ostream& out, const std::string& label, const std::string& value)
{
    out << std::left << std::setw(LabelWidth) << label << value << "\n";
}

std::string unitText(const link::UnitIdentity& id)
{
    std::string text = "KYR " + std::to_string(id.model()) + " v" + std::to_string(id.major()) + "." +
                       std::to_string(id.minor());
    if (auto t = table::unitType(id.typeCode()))
        text += ", " + std::string(t->name);
    return text;
}

std::string typeLine(const IdentityView& id)
{
    if (id.typeName.empty())
        return "unknown (type code " + std::to_string(id.typeCode) + ")";
    return id.typeName + " (" + std::to_string(id.typeCode) + ")";
}

void printIdentity(std::ostream& out, const IdentityView& id)
{
    row(out, "model", std::to_string(id.model));
    row(out, "version", id.version);
    row(out, "unit type", typeLine(id));
    row(out, "serial number", id.serial);
}

void printSetup(std::ostream& out, const std::vector<SetupValue>& setup)
{
    out << "\nSetup\n";
    for (const auto& v : setup) {
        out << std::right << std::setw(5) << v.def->offset << "  " << std::left << std::setw(ParameterWidth)
            << v.def->parameter << v.text << "\n";
    }
}

std::string mapHeading(const MapView& m)
{
    return std::string(m.def->title) + " [" + std::string(m.def->name) + "], " + std::string(m.def->unit) +
           " by " + m.xUnit + ", " + std::to_string(m.points.size()) + " points";
}

void printMap(std::ostream& out, const MapView& m)
{
    out << "\n" << mapHeading(m) << "\n";
    for (std::size_t i = 0; i < m.points.size(); ++i) {
        const auto& p = m.points[i];
        std::string cell = numberText(p.x, TextXDecimals) + ": " + numberText(p.value);
        const bool last = (i + 1) % PointsPerLine == 0 || i + 1 == m.points.size();
        out << (i % PointsPerLine == 0 ? "  " : "");
        if (last)
            out << cell << "\n";
        else
            out << std::left << std::setw(PointWidth) << cell;
    }
}

// The point's x under the first tune's axes, and under the second's where they differ.
std::string xText(const tools::PointDifference& p)
{
    std::string x = numberText(p.x, TextXDecimals);
    if (roundTo(p.x, ShownXDecimals) != roundTo(p.otherX, ShownXDecimals))
        x += " -> " + numberText(p.otherX, TextXDecimals);
    return x;
}

// A setup value's change; a byte that differs under the same shown value
// (a stored 0 the unit runs as its default) says so.
std::string settingChange(const tools::SettingDifference& s)
{
    std::string text = s.mine.text + " -> " + s.other.text;
    if (s.mine.text == s.other.text)
        text += " (stored " + std::to_string(s.mine.stored) + " -> " + std::to_string(s.other.stored) + ")";
    return text;
}

} // namespace

IdentityView unitIdentity(const link::UnitIdentity& id, const table::SetupCopy& setupPlusOne)
{
    return identityOf(id.bytes, setupPlusOne);
}

void printSurvey(std::ostream& out, const Survey& survey)
{
    if (survey.ports.empty())
        out << "No serial ports found\n";
    for (const auto& p : survey.ports) {
        std::string what = p.unit ? unitText(*p.unit) : p.problem.empty() ? "no unit" : p.problem;
        out << std::left << std::setw(PortWidth) << link::comName(p.port) << " " << std::setw(DeviceWidth)
            << p.device << " " << what << "\n";
    }
    if (survey.found)
        out << "Unit found on " << link::comName(survey.found) << "\n";
    else
        out << "No KYR present\n";
}

void printInfo(std::ostream& out, const InfoView& info)
{
    row(out, "port", info.port == info.device || info.device.empty() ? info.port
                                                                      : info.port + " (" + info.device + ")");
    printIdentity(out, info.identity);
}

void printTune(std::ostream& out, const TuneView& tune, const std::string& fileName)
{
    row(out, "file", fileName);
    printIdentity(out, tune.identity);
    row(out, "make", tune.make);
    row(out, "vehicle model", tune.model);
    row(out, "engine", tune.engine);
    printSetup(out, tune.setup);
    out << "\nMaps: RPM range " << tune.axes.rpmRange << ", " << tune.axes.timingPoints
        << " timing points, map sensor " << tune.axes.mapSensor << "\n";
    if (tune.allMaps)
        out << "The unit type is unknown: every map is shown.\n";
    for (const auto& m : tune.maps)
        printMap(out, m);
}

void printDiff(std::ostream& out, const FileDiff& diff, const std::string& nameA, const std::string& nameB)
{
    if (diff.empty()) {
        out << "no differences\n";
        return;
    }
    out << "--- " << nameA << "\n+++ " << nameB << "\n";
    for (const auto& f : diff.identity)
        out << "identity  " << f.field << ": " << f.a << " -> " << f.b << "\n";
    for (const auto& f : diff.vehicle)
        out << "vehicle   " << f.field << ": " << f.a << " -> " << f.b << "\n";
    for (const auto& s : diff.tune.setup)
        out << "setup     [" << s.def->offset << "] " << s.def->parameter << ": " << settingChange(s) << "\n";
    for (const auto& p : diff.tune.points) {
        const table::MapDef& m = table::mapDef(p.map);
        out << "map       " << m.name << " point " << p.index << " (x " << xText(p) << " "
            << printable(maps::chartDef(m.chart).bottomTitle) << "): " << numberText(p.mine) << " -> "
            << numberText(p.other) << " " << m.unit << "\n";
    }
    for (const auto& b : diff.tune.bytes)
        out << "byte      [" << b.offset << "]: " << b.mine << " -> " << b.other << " (stored)\n";
    const std::size_t n = diff.size();
    out << n << (n == 1 ? " difference\n" : " differences\n");
}

} // namespace kyr::cli
