// SPDX-License-Identifier: GPL-3.0-or-later
// `kyr autotune`: fuel suggestions for one curve from logs of the lambda
// sensor, written as a new tune; the base tune and the logs are never
// written over.

#include "CommandSupport.h"
#include "Output.h"

#include "files/MapFile.h"
#include "live/FuelAnalysis.h"
#include "live/LogFile.h"
#include "table/Rounding.h"

#include <cstdio>
#include <filesystem>

namespace kyr::cli {

namespace {

using nlohmann::json;
namespace fs = std::filesystem;

live::FuelCurve curveNamed(const std::string& name)
{
    if (name == "low")
        return live::FuelCurve::Low;
    if (name == "high")
        return live::FuelCurve::High;
    if (name == "vacuum")
        return live::FuelCurve::Vacuum;
    return live::FuelCurve::Cruise;
}

bool samePath(const std::string& a, const std::string& b)
{
    std::error_code ec;
    if (fs::exists(a, ec) && fs::exists(b, ec))
        return fs::equivalent(a, b, ec);
    return fs::weakly_canonical(a, ec) == fs::weakly_canonical(b, ec);
}

int raw(const table::ImageBytes& image, table::SetupParam p)
{
    return image[static_cast<std::size_t>(table::setupOffset(p))] - 1;
}

json pointJson(const live::PointSuggestion& p, double before, double after)
{
    json j = {{"index", p.index},        {"x", jsonNumber(roundTo(p.x, 3))},
              {"hits", p.hits},          {"weight", jsonNumber(roundTo(p.weight, 2))},
              {"mean_volts", jsonNumber(roundTo(p.meanVolts, 3))},
              {"rich", jsonNumber(roundTo(p.richShare, 3))}, {"lean", jsonNumber(roundTo(p.leanShare, 3))},
              {"locked", p.locked},      {"before", jsonNumber(before)}, {"after", jsonNumber(after)}};
    j["change"] = p.change ? json(*p.change) : json(nullptr);
    return j;
}

void printTable(Io& io, const live::FuelReport& r, const std::vector<double>& before, const std::vector<double>& after)
{
    char line[160];
    io.out << "point      x   hits   weight  volts  rich%  lean%  change  value\n";
    for (const auto& p : r.points) {
        const auto i = static_cast<std::size_t>(p.index - 1);
        const std::string change = p.change ? (*p.change > 0 ? "+" : "") + std::to_string(*p.change) + "%" : "-";
        std::snprintf(line, sizeof line, "%5d %6.2f %6d %8.1f  %5.2f  %5.0f  %5.0f  %6s  %g -> %g\n", p.index, p.x,
                      p.hits, p.weight, p.meanVolts, p.richShare * 100, p.leanShare * 100, change.c_str(), before[i],
                      after[i]);
        io.out << line;
    }
    const auto& c = r.counts;
    io.out << "samples used " << c.used << "; removed: no reading " << c.noReading << ", cold " << c.cold
           << ", throttle moving " << c.transient << ", overrun " << c.overrun << ", off the axis " << c.offAxis
           << ", another curve's pressure " << c.otherCurve << "\n";
    if (r.warning)
        io.out << "Warning: " << *r.warning << "\n";
}

} // namespace

int runAutotune(const AutotuneOptions& o, Io& io)
{
    for (const auto& log : o.logs)
        if (samePath(o.out, log))
            return fail(io, ExitUsage, o.out + " is a log: choose another name for the suggested tune");
    if (samePath(o.out, o.tune) && !o.force)
        return fail(io, ExitUsage, o.out + " is the base tune: choose another name, or add --force to write over it");
    auto base = files::loadMapFile(o.tune);
    if (!base)
        return fail(io, ExitUsage, base.error().kind == ErrorKind::BadFile ? o.tune + ": " + base.error().message
                                                                            : base.error().message);
    const table::ImageBytes& image = base.value().image;
    live::FuelSettings settings;
    settings.authority = o.authority;
    settings.minWeight = o.minWeight;
    settings.delaySeconds = o.delay;
    settings.targetVolts = raw(image, table::SetupParam::LambdaTarget) / 100.0;
    const live::FuelCurve curve = curveNamed(o.map);
    live::FuelAnalysis analysis(curve, table::deriveAxes(image), settings,
                                raw(image, table::SetupParam::LambdaPercent));
    analysis.setPressureBand(raw(image, table::SetupParam::LowThrottleVac),
                             raw(image, table::SetupParam::HighThrottleVac));
    for (const auto& path : o.logs) {
        auto log = live::readLog(path);
        if (!log)
            return fail(io, ExitUsage, log.error().message + "; nothing was written");
        if (auto taken = analysis.addLog(log.value()); !taken)
            return fail(io, ExitUsage, path + ": " + taken.error().message + "; nothing was written");
    }
    const table::MapId map = live::mapOfCurve(curve);
    const auto& def = table::mapDef(map);
    const std::vector<double> before = table::decodeMaps(image)[map];
    const std::vector<double> after = analysis.applied(before);
    files::MapFile tuned = base.value();
    for (int i = 1; i <= def.points; ++i)
        tuned.image[static_cast<std::size_t>(table::pointOffset(def, i))] =
            static_cast<uint8_t>(table::mapRawByte(def, after[static_cast<std::size_t>(i - 1)]) + 1);
    if (Status saved = files::saveMapFile(o.out, tuned); !saved)
        return fail(io, ExitUnit, saved.error().message);
    const live::FuelReport r = analysis.report();
    if (o.json) {
        json points = json::array();
        for (const auto& p : r.points)
            points.push_back(pointJson(p, before[static_cast<std::size_t>(p.index - 1)],
                                       after[static_cast<std::size_t>(p.index - 1)]));
        const auto& c = r.counts;
        printJson(io.out, {{"tune", o.tune}, {"map", o.map}, {"out", o.out}, {"points", std::move(points)},
                           {"samples", {{"used", c.used}, {"no_reading", c.noReading}, {"cold", c.cold},
                                        {"throttle_moving", c.transient}, {"overrun", c.overrun},
                                        {"off_axis", c.offAxis}, {"other_curve", c.otherCurve}}},
                           {"warning", r.warning ? json(*r.warning) : json(nullptr)}});
    } else {
        printTable(io, r, before, after);
        io.out << "Wrote " << o.out << "\n";
    }
    return ExitOk;
}

} // namespace kyr::cli
