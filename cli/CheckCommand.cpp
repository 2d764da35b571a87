// SPDX-License-Identifier: GPL-3.0-or-later
// `kyr check`: the look over a map file for likely slips before it is written.

#include "CommandSupport.h"
#include "Output.h"

#include "session/TuneSession.h"
#include "table/Rounding.h"
#include "tools/TuneCheck.h"

namespace kyr::cli {

namespace {

using nlohmann::json;

/// The unit's table in plus-one form, or the reason it could not be read.
Result<table::ImageBytes> readUnitTable(const CheckOptions& o, Io& io, const LinkEnv& env)
{
    LinkSetup setup(io, o.port);
    if (setup.error)
        return *setup.error;
    UnitLink unit(env, setup.chosen, setup.observer(io));
    Status s = unit.choosePort();
    if (s)
        s = unit.connect();
    if (!s)
        return s.error();
    return session::savedFromUnit(unit.state().image);
}

json findingJson(const tools::Finding& f)
{
    json j = {{"kind", std::string(tools::findingKindName(f.kind))}, {"where", f.where}, {"message", f.message}};
    if (f.map) {
        j["map"] = std::string(table::mapDef(*f.map).name);
        j["index"] = f.index;
        j["x"] = jsonNumber(roundTo(f.x, 4));
        j["value"] = jsonNumber(f.value);
        j["unit"] = std::string(table::mapDef(*f.map).unit);
        if (!f.neighbours.empty())
            j["neighbours"] = {jsonNumber(f.neighbours[0]), jsonNumber(f.neighbours[1])};
    }
    if (f.kind == tools::FindingKind::StoredZero)
        j["offset"] = f.offset;
    if (f.setting) {
        j["parameter"] = std::string(f.setting->parameter);
        j["offset"] = f.setting->offset;
        j["value"] = jsonNumber(f.value);
        j["unit_value"] = f.unitValue;
    }
    return j;
}

} // namespace

int runCheck(const CheckOptions& o, Io& io, const LinkEnv& env)
{
    auto file = files::loadMapFile(o.file);
    if (!file)
        return fail(io, ExitUsage, file.error().kind == ErrorKind::BadFile ? o.file + ": " + file.error().message
                                                                            : file.error().message);
    tools::CheckOptions check;
    check.timingLimit = o.timingLimit;
    check.typeCode = file.value().identity[1];
    if (o.againstUnit) {
        auto unit = readUnitTable(o, io, env);
        if (!unit)
            return fail(io, ExitCheckUnit, unit.error().message + "; nothing was checked");
        check.unit = unit.value();
    }
    const auto findings = tools::checkTune(file.value().image, check);
    if (o.json) {
        json list = json::array();
        for (const auto& f : findings)
            list.push_back(findingJson(f));
        printJson(io.out, {{"file", o.file},
                           {"timing_limit", jsonNumber(o.timingLimit)},
                           {"against_unit", o.againstUnit},
                           {"findings", std::move(list)}});
    } else if (findings.empty()) {
        io.out << "No likely slips found.\n";
    } else {
        for (const auto& f : findings)
            io.out << printable(f.message) << "\n";
        io.out << findings.size() << (findings.size() == 1 ? " likely slip" : " likely slips") << " in " << o.file
               << "\n";
    }
    return findings.empty() ? static_cast<int>(ExitOk) : static_cast<int>(ExitFindings);
}

} // namespace kyr::cli
