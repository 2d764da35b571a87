// SPDX-License-Identifier: GPL-3.0-or-later
// kyr: the KYR unit from the command line. Finds the unit, reads its table
// into a map file, writes a map file to it, and shows and compares map files.

#include "Commands.h"
#include "Retry.h"
#include "tools/ProgramInfo.h"

#include <CLI/CLI.hpp>

#include <iostream>


namespace {

using namespace kyr::cli;

#ifdef _WIN32
constexpr const char* PortHelp = "COM1 to COM256 (default: the port where the search finds a unit)";
constexpr const char* LinkHelp = "Not on Windows: its COM names are the system's own";
#else
constexpr const char* PortHelp = "COMn or a device path (default: the port where the search finds a unit)";
constexpr const char* LinkHelp = "Instead of the search, make COMn in the ports folder a link to DEVICE "
                                 "(best its /dev/serial/by-id name), replacing an old COMn";
#endif
constexpr const char* RetryHelp = "When the link is lost, try the same port again for up to S seconds "
                                  "and, once the same unit answers, start over (default 0: give up at once)";

struct Options {
    bool verbose = false;
    bool quick = false;
    PortsOptions ports;
    InfoOptions info;
    ReadOptions read;
    WriteOptions write;
    ShowOptions show;
    DiffOptions diff;
    CheckOptions check;
    AutotuneOptions autotune;
    BackupsOptions backups;
    HistoryOptions history;
    LogOptions log;
    MonitorOptions monitor;
};

void addSubcommands(CLI::App& app, Options& o)
{
    auto* ports = app.add_subcommand("ports", "Search COM1 to COM20 and list each port that opens, with the unit on it");
    auto* json = ports->add_flag("--json", o.ports.json, "Print JSON");
    ports->add_option("--link", o.ports.link, LinkHelp)
        ->expected(2)->type_name("COMn DEVICE")->excludes(json);

    app.add_subcommand("doctor", "Check what keeps you from the serial ports (group, ModemManager, brltty, "
                                 "adapters, COM names) and say what to do");

    auto* info = app.add_subcommand("info", "Connect and show the unit's model, version, type and serial number");
    info->add_option("-p,--port", o.info.port, PortHelp);
    info->add_flag("--json", o.info.json, "Print JSON");

    auto* read = app.add_subcommand("read", "Connect, read the whole table and save it as a map file");
    read->add_option("-p,--port", o.read.port, PortHelp);
    read->add_option("-o,--output", o.read.output, "Map file to write (*.kyr)")->required();
    read->add_option("--make", o.read.make, "Vehicle make (at most 18 characters)");
    read->add_option("--model", o.read.model, "Vehicle model (at most 18 characters)");
    read->add_option("--engine", o.read.engine, "Engine type (at most 18 characters)");
    read->add_option("--retry", o.read.retry, RetryHelp)->type_name("S")->check(CLI::Range(0, MaxRetrySeconds));

    auto* write = app.add_subcommand("write", "Write a map file to the unit, read it back and compare");
    write->add_option("-p,--port", o.write.port, PortHelp);
    write->add_option("file", o.write.file, "Map file (*.kyr)")->required();
    write->add_flag("--force", o.write.force, "Write even when the file was made for another unit type");
    write->add_option("--retry", o.write.retry, RetryHelp)->type_name("S")->check(CLI::Range(0, MaxRetrySeconds));

    auto* log = app.add_subcommand("log", "Connect and record the live values for S seconds (or until Ctrl-C) "
                                          "into a log file: .mlg, .msl or .csv");
    log->add_option("-p,--port", o.log.port, PortHelp);
    log->add_option("--duration", o.log.duration, "Seconds to record")
        ->type_name("S")->required()->check(CLI::PositiveNumber);
    log->add_flag("--fast", o.log.fast, "Take each record as soon as it is whole instead of after the fixed pause");
    log->add_option("--columns", o.log.columns,
                    "Values to record, comma-separated (default all): rpm, timing, vacuum, lambda, volt, injector, "
                    "temperature, throttle, air-temp, pot, injector-ms")->type_name("LIST");
    log->add_option("-o,--output", o.log.output, "Log file to write (*.mlg, *.msl or *.csv; never a *.kyr)")
        ->required();

    auto* monitor = app.add_subcommand("monitor", "Connect and show the live values with their units as they come");
    monitor->add_option("-p,--port", o.monitor.port, PortHelp);
    monitor->add_flag("--fast", o.monitor.fast, "Take each record as soon as it is whole");
    monitor->add_option("--count", o.monitor.count, "Records to show (default: until Ctrl-C)")
        ->type_name("N")->check(CLI::NonNegativeNumber);

    auto* show = app.add_subcommand("show", "Show a map file: identity, vehicle, setup parameters and maps");
    show->add_option("file", o.show.file, "Map file (*.kyr)")->required();
    show->add_flag("--json", o.show.json, "Print JSON");

    auto* backups = app.add_subcommand("backups", "List the backups of tables read from units, newest first");
    backups->add_option("--serial", o.backups.serial, "Only the unit with this serial number");

    auto* history = app.add_subcommand("history", "List each unit's tables read, written and saved, newest first, "
                                                  "with what changed, the notes and the logs recorded on them");
    history->add_option("--serial", o.history.serial, "Only the unit with this serial number");
    auto* historyJson = history->add_flag("--json", o.history.json, "Print JSON");
    history->add_option("--note", o.history.note, "Set the note of the table with this hash (an empty text removes it)")
        ->expected(2)->type_name("HASH TEXT")->excludes(historyJson);
    history->add_option("--logs", o.history.logs, "A folder of logs (.mlg, .msl, .csv): each is listed under the "
                                                  "table it was recorded on (may be given more than once)")
        ->type_name("FOLDER");

    auto* diff = app.add_subcommand("diff", "List the setup parameters and map points in which two map files differ "
                                            "(a table hash from kyr history names that table)");
    diff->add_option("a", o.diff.a, "First map file or table hash")->required();
    diff->add_option("b", o.diff.b, "Second map file or table hash")->required();
    diff->add_flag("--json", o.diff.json, "Print JSON");

    auto* check = app.add_subcommand("check", "Look over a map file for likely slips before it is written: map points "
                                              "far from both neighbours, timing above a limit, setup values at an end "
                                              "of their range that differ from the unit's (exit 1 when any is found)");
    check->add_option("file", o.check.file, "Map file (*.kyr)")->required();
    check->add_option("--timing-limit", o.check.timingLimit, "Highest timing advance the timing map may hold (default 45)")
        ->type_name("DEG")->check(CLI::Range(0.0, 90.0));
    auto* against = check->add_flag("--against-unit", o.check.againstUnit,
                                    "Read the unit's table and list setup values at an end of their range that differ "
                                    "from the unit's");
    check->add_option("-p,--port", o.check.port, PortHelp)->needs(against);
    check->add_flag("--json", o.check.json, "Print JSON");

    auto* tune = app.add_subcommand("autotune", "Suggest fuel changes for one curve from logs of the lambda sensor, and "
                                                "write the suggested tune to a new map file");
    tune->add_option("--tune", o.autotune.tune, "The tune the logs were recorded with (*.kyr)")->required();
    tune->add_option("--map", o.autotune.map, "The curve to tune: cruise (default), low, high or vacuum")
        ->check(CLI::IsMember({"cruise", "low", "high", "vacuum"}));
    tune->add_option("--authority", o.autotune.authority, "The most a point moves in one pass (default 5)")
        ->type_name("PCT")->check(CLI::Range(1.0, 20.0));
    tune->add_option("--min-weight", o.autotune.minWeight,
                     "Summed sample weight a point needs for a suggestion (default 3)")
        ->type_name("W")->check(CLI::Range(0.0, 1e6));
    tune->add_option("--delay", o.autotune.delay, "Seconds from an operating point to its lambda reading (default 0.2)")
        ->type_name("S")->check(CLI::Range(0.0, 2.0));
    tune->add_option("-o,--out", o.autotune.out, "The suggested tune (*.kyr)")->required();
    tune->add_option("logs", o.autotune.logs, "Logs (.mlg, .msl, .csv)")->required();
    tune->add_flag("--force", o.autotune.force, "Write over the base tune when --out names it");
    tune->add_flag("--json", o.autotune.json, "Print JSON");
}

/// The parser's message, or a plainer one for a word that names no command.
std::string usageMessage(const CLI::App& app, const CLI::ParseError& e, int argc, char** argv)
{
    if (!app.get_subcommands().empty())
        return e.what();
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (!word.empty() && word[0] != '-')
            return "\"" + word + "\" is not a command: use ports, doctor, info, read, write, log, monitor, backups, history, show, diff, check or autotune";
    }
    return e.what();
}

int run(const CLI::App& app, Options& o)
{
    Io io{std::cout, std::cerr, o.verbose};
    LinkEnv env;
    env.quickConnect = o.quick;
    const std::string name = app.get_subcommands().front()->get_name();
    if (name == "ports")
        return runPorts(o.ports, io);
    if (name == "doctor")
        return runDoctor(io);
    if (name == "info")
        return runInfo(o.info, io, env);
    if (name == "read")
        return runRead(o.read, io, env);
    if (name == "write")
        return runWrite(o.write, io, env);
    if (name == "show")
        return runShow(o.show, io);
    if (name == "log")
        return runLog(o.log, io, env);
    if (name == "monitor")
        return runMonitor(o.monitor, io, env);
    if (name == "backups")
        return runBackups(o.backups, io);
    if (name == "history")
        return runHistory(o.history, io);
    if (name == "check")
        return runCheck(o.check, io, env);
    if (name == "autotune")
        return runAutotune(o.autotune, io);
    return runDiff(o.diff, io);
}

} // namespace

int main(int argc, char** argv)
{
    CLI::App app{"kyr: find the KYR unit, read its table into a map file, write a map file to it, "
                 "log or show its live values, show and compare map files, and check one before it is written.\nExit codes: 0 success, 1 the unit or the link failed, "
                 "2 a usage error or a file that cannot be used (kyr check --help has its own).",
                 "kyr"};
    Options o;
    app.set_version_flag("--version", "kyr " + kyr::tools::programVersion() + "\n" + kyr::tools::licenseLine() + "\n" +
                                          kyr::tools::sourceLine());
    app.add_flag("-v,--verbose", o.verbose, "Show the link's status texts on stderr as they appear");
    app.add_flag("--quick", o.quick,
                 "Connect quickly: take each reply as soon as it is whole instead of after the unit's fixed pause");
    app.fallthrough();
    app.require_subcommand(1);
    addSubcommands(app, o);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success))
            return app.exit(e); // --help, --version
        const auto subs = app.get_subcommands();
        const std::string help = subs.empty() ? "kyr --help" : "kyr " + subs.front()->get_name() + " --help";
        std::cerr << "kyr: " << usageMessage(app, e, argc, argv) << " (see '" << help << "')\n";
        return ExitUsage;
    }
    return run(app, o);
}
