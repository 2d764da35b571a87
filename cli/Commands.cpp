// SPDX-License-Identifier: GPL-3.0-or-later
#include "Commands.h"

#include "CommandSupport.h"
#include "Output.h"
#include "Retry.h"
#include "TuneView.h"

#include "files/AtomicFile.h"
#include "files/Cp1252.h"
#include "session/History.h"
#include "session/TuneSession.h"
#include "session/WriteRules.h"
#include "tools/SerialNumber.h"
#include "tools/TuneCheck.h"

#include <filesystem>
#include <tuple>

namespace kyr::cli {

namespace {

constexpr std::size_t MaxListedOffsets = 20;

Result<files::MapFile> loadFile(const std::string& path)
{
    auto f = files::loadMapFile(path);
    if (!f && f.error().kind == ErrorKind::BadFile)
        return makeError(ErrorKind::BadFile, path + ": " + f.error().message);
    return f;
}

/// Where the unit's table was kept, or why it was not: never a failure of the command.
void reportBackup(Io& io, const UnitLink& unit)
{
    if (unit.lastBackup())
        io.out << "Backup of the unit's table: " << unit.lastBackup()->string() << "\n";
    else if (unit.backupError())
        io.err << "kyr: warning: no backup of the unit's table: " << unit.backupError()->message << "\n";
}

/// A command that fails after the unit's table was read still says where
/// that table was kept, or that it was not.
int failAfterBackup(Io& io, const UnitLink& unit, int code, const std::string& message)
{
    reportBackup(io, unit);
    return fail(io, code, message);
}

std::string unitLine(const IdentityView& id)
{
    return "KYR " + std::to_string(id.model) + " v" + id.version +
           (id.typeName.empty() ? "" : " (" + id.typeName + ")") + ", serial " + id.serial;
}

} // namespace

Result<std::string> vehicleBytes(const std::string& what, const std::string& text)
{
    auto bytes = files::cp1252FromUtf8(text);
    if (!bytes)
        return makeError(ErrorKind::BadArgument, what + " \"" + printable(text) + "\": " + bytes.error().message);
    const std::string& b = bytes.value();
    if (b.size() > static_cast<std::size_t>(files::MaxVehicleText))
        return makeError(ErrorKind::BadArgument, what + " \"" + printable(text) + "\" is longer than " +
                                                     std::to_string(files::MaxVehicleText) + " characters");
    for (char c : b)
        if (c == '~' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return makeError(ErrorKind::BadArgument,
                             what + " \"" + printable(text) + "\" may not hold \"~\" or control characters");
    return bytes;
}

int runPorts(const PortsOptions& o, Io& io, const LinkEnv& env)
{
    if (o.link.size() == 2)
        return runLinkPort(o.link[0], o.link[1], io, env.ports);
    StatusPrinter printer(io.err);
    UnitLink unit(env, std::nullopt, io.verbose ? &printer : nullptr);
    const Survey survey = unit.survey();
    if (o.json)
        printJson(io.out, surveyJson(survey));
    else
        printSurvey(io.out, survey);
    return ExitOk;
}

int runInfo(const InfoOptions& o, Io& io, const LinkEnv& env)
{
    LinkSetup setup(io, o.port);
    if (setup.error)
        return fail(io, ExitUsage, setup.error->message);
    UnitLink unit(env, setup.chosen, setup.observer(io));
    if (Status s = unit.choosePort(); !s)
        return fail(io, ExitUnit, s.error().message);
    if (Status s = unit.connect(); !s)
        return fail(io, ExitUnit, s.error().message);
    const auto& st = unit.state();
    InfoView info{unit.where(), unit.device(), unitIdentity(st.unit.identity, st.setup)};
    if (o.json)
        printJson(io.out, infoJson(info));
    else
        printInfo(io.out, info);
    // Where it went stays out of the report; a backup not taken is said.
    if (unit.backupError())
        io.err << "kyr: warning: no backup of the unit's table: " << unit.backupError()->message << "\n";
    return ExitOk;
}

int runRead(const ReadOptions& o, Io& io, const LinkEnv& env)
{
    files::MapFile file;
    for (auto [what, text, bytes] : {std::tuple{"--make", &o.make, &file.make}, {"--model", &o.model, &file.model},
                                     {"--engine", &o.engine, &file.engine}}) {
        auto b = vehicleBytes(what, *text);
        if (!b)
            return fail(io, ExitUsage, b.error().message);
        *bytes = b.value();
    }
    // The file must be writable before the unit is asked for anything.
    if (Status s = files::checkReplaceable(o.output); !s)
        return fail(io, ExitUsage, s.error().message);
    LinkSetup setup(io, o.port);
    if (setup.error)
        return fail(io, ExitUsage, setup.error->message);
    UnitLink unit(env, setup.chosen, setup.observer(io));
    Status s = unit.choosePort();
    if (s)
        s = runRetrying(unit, {LinkWork::TableRead, o.retry, io.err}, [&](bool) { return unit.connect(); });
    if (!s)
        return fail(io, ExitUnit, s.error().message + "; nothing was saved");

    const auto& st = unit.state();
    file.identity = st.unit.identity.bytes;
    file.image = session::savedFromUnit(st.image);
    if (Status saved = files::saveMapFile(o.output, file); !saved)
        return failAfterBackup(io, unit, ExitUsage, saved.error().message);
    // The file saved from the unit joins the unit's history; a history not
    // kept is said, and the file stays saved.
    if (!env.backupRoot.empty()) {
        auto kept = session::History(env.backupRoot)
                        .recordSaved(file, tools::serialText(table::setupOf(file.image)), o.output);
        if (!kept)
            io.err << "kyr: warning: the saved file is not in the unit's history: " << kept.error().message << "\n";
    }
    io.out << "Saved " << o.output << ": " << unitLine(identityOf(file.identity, table::setupOf(file.image)))
           << ", read on " << unit.where() << "\n";
    reportBackup(io, unit);
    return ExitOk;
}

int runWrite(const WriteOptions& o, Io& io, const LinkEnv& env)
{
    auto file = loadFile(o.file);
    if (!file)
        return fail(io, ExitUsage, file.error().message);
    // The unit could not even be read back: --force does not override this.
    if (const auto zeros = tools::storedZeros(file.value().image); !zeros.empty())
        return fail(io, ExitUsage, o.file + ": " + zeros.front().message +
                                       (zeros.size() > 1 ? " (" + std::to_string(zeros.size()) + " such bytes)" : "") +
                                       " Nothing was written.");
    LinkSetup setup(io, o.port);
    if (setup.error)
        return fail(io, ExitUsage, setup.error->message);
    UnitLink unit(env, setup.chosen, setup.observer(io));
    Status s = unit.choosePort();
    if (s)
        s = unit.joinWithFile(file.value());
    if (!s)
        return failAfterBackup(io, unit, ExitUnit, s.error().message + "; nothing was written");
    // The same look as the window's Write: a table laid out for another unit
    // type would run the engine on maps it was not made for. Likely slips are
    // `kyr check`'s to list.
    const auto& st = unit.state();
    session::WriteLook look;
    look.slips = false;
    const session::WritePlan plan = session::prepareWrite(st, table::decodeMaps(st.image), look);
    if (plan.refusal)
        return fail(io, ExitUnit, o.file + ": " + plan.refusal->message + "; nothing was written");
    if (!o.force && plan.mismatch)
        return fail(io, ExitUnit, o.file + " was made for unit type " + std::to_string(st.fileTypeCode) +
                                      ", the unit on " + unit.where() + " is type " + std::to_string(st.unitTypeCode) +
                                      "; nothing was written (--force writes it anyway)");
    VerifyResult verified;
    Status written = runRetrying(unit, {LinkWork::TableWrite, o.retry, io.err}, [&](bool again) {
        if (Status joined = again ? unit.connect() : okStatus(); !joined)
            return joined;
        auto verify = unit.writeAndVerify();
        if (!verify)
            return Status(verify.error());
        verified = verify.value();
        return okStatus();
    });
    if (!written)
        return failAfterBackup(io, unit, ExitUnit, written.error().message);
    const auto& offsets = verified.offsets;
    if (!offsets.empty())
        return failAfterBackup(io, unit, ExitUnit, "verify failed: the unit's table differs from " + o.file + " at " +
                                      std::to_string(offsets.size()) + " offset" + (offsets.size() == 1 ? "" : "s") +
                                      ": " + session::offsetList(offsets, MaxListedOffsets));
    io.out << "Wrote " << o.file << " to " << unit.where() << "; the read-back matches ("
           << link::ReadTableKeep << " bytes)\n";
    reportBackup(io, unit);
    return ExitOk;
}

int runBackups(const BackupsOptions& o, Io& io, const std::filesystem::path& root)
{
    if (root.empty())
        return fail(io, ExitUsage, "no folder for backups: " + std::string(NoBackupFolderHint));
    const session::BackupStore store(root);
    std::vector<std::string> serials;
    if (o.serial.empty())
        serials = store.serials();
    else
        serials.push_back(session::serialFolder(o.serial));
    std::size_t listed = 0;
    for (const std::string& serial : serials) {
        const auto entries = store.list(serial);
        if (entries.empty())
            continue;
        io.out << "Unit " << serial << " (" << entries.size() << " backup" << (entries.size() == 1 ? "" : "s")
               << ", newest first)\n";
        for (const auto& e : entries)
            io.out << "  " << e.taken << "  " << e.path.string() << "\n";
        listed += entries.size();
    }
    if (listed == 0)
        io.out << "No backups" << (o.serial.empty() ? "" : " of unit " + o.serial) << " in " << root.string() << "\n";
    return ExitOk;
}

int runShow(const ShowOptions& o, Io& io)
{
    auto file = loadFile(o.file);
    if (!file)
        return fail(io, ExitUsage, file.error().message);
    const TuneView view = tuneView(file.value());
    if (o.json)
        printJson(io.out, tuneJson(view, o.file));
    else
        printTune(io.out, view, o.file);
    return ExitOk;
}

int runDiff(const DiffOptions& o, Io& io, const std::filesystem::path& root)
{
    std::vector<files::MapFile> tunes;
    for (const std::string* name : {&o.a, &o.b}) {
        auto path = historyFile(*name, root);
        if (!path)
            return fail(io, ExitUsage, path.error().message);
        auto file = loadFile(path.value());
        if (!file)
            return fail(io, ExitUsage, file.error().message);
        tunes.push_back(std::move(file).value());
    }
    const FileDiff diff = diffFiles(tunes[0], tunes[1]);
    if (o.json)
        printJson(io.out, diffJson(diff, o.a, o.b));
    else
        printDiff(io.out, diff, o.a, o.b);
    return ExitOk;
}

} // namespace kyr::cli
