// SPDX-License-Identifier: GPL-3.0-or-later
// kyr-sim: a simulated KYR unit on a pseudo-terminal, registered as COMn in
// the ports folder, for tests and for trying the program without a unit.

#include "Simulator.h"

#include <CLI/CLI.hpp>

#include <csignal>
#include <filesystem>
#include <iostream>
#include <sys/prctl.h>
#include <unistd.h>

#ifndef KYR_DEFAULT_TUNE
#define KYR_DEFAULT_TUNE "examples/demo.kyr"
#endif
#ifndef KYR_INSTALLED_TUNE
#define KYR_INSTALLED_TUNE "share/kyr/examples/demo.kyr"
#endif

namespace {

volatile std::sig_atomic_t g_stop = 0;

void onSignal(int) { g_stop = 1; }

// The demo tune of the source tree this program was built from, else the one
// installed beside it (<prefix>/bin/kyr-sim, <prefix>/share/kyr/examples).
std::string defaultTune()
{
    namespace fs = std::filesystem;
    std::error_code ec;
    if (fs::exists(KYR_DEFAULT_TUNE, ec))
        return KYR_DEFAULT_TUNE;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (ec)
        return KYR_DEFAULT_TUNE;
    const fs::path installed = self.parent_path().parent_path() / KYR_INSTALLED_TUNE;
    return fs::exists(installed, ec) ? installed.string() : std::string(KYR_DEFAULT_TUNE);
}

// Identity bytes are single bytes on the wire.
CLI::Option* addByte(CLI::App& app, const std::string& name, uint8_t& target, const std::string& help)
{
    return app.add_option_function<int>(name, [&target](int v) { target = static_cast<uint8_t>(v); }, help)
        ->type_name("BYTE")
        ->check(CLI::Range(0, 255))
        ->default_str(std::to_string(target));
}

// The faults a test can ask the unit to play.
void addFaults(CLI::App& app, kyr::sim::SimConfig& c)
{
    app.add_flag("--silent", c.silent, "Fault: answer nothing (writes are still taken)");
    app.add_option("--short", c.shortReply, "Fault: cut every reply to its first N bytes")
        ->type_name("N")
        ->check(CLI::Range(0, 10000));
    app.add_flag("--garbage", c.garbage, "Fault: answer with random bytes (the right number of them)");
    app.add_option("--seed", c.seed, "Seed of the --garbage bytes and of the lambda sensor's noise")->type_name("N")->capture_default_str();
    app.add_option("--slow", c.slowMs, "Fault: wait MS milliseconds more before every reply")
        ->type_name("MS")
        ->check(CLI::Range(0, 600000));
    app.add_option("--drop-after", c.dropAfter,
                   "Fault: after N commands (and their replies) close the line and remove the port entry, once")
        ->type_name("N")
        ->check(CLI::Range(0, 1000000));
    app.add_option("--reconnect-ms", c.reconnectMs,
                   "After a drop, open a new line and register it again after MS milliseconds")
        ->type_name("MS")
        ->check(CLI::Range(0, 600000));
    app.add_option("--drop-in-write", c.dropInWrite,
                   "Fault: once N bytes of a whole-table write's image have come, close the line and remove "
                   "the port entry at once, once; the N bytes are stored over the start of the table and "
                   "the rest of the image is lost")
        ->type_name("N")
        ->check(CLI::Range(0, kyr::table::TableSize - 1));
    app.add_option("--change-while-down", c.changeWhileDown,
                   "Fault: when the line drops (--drop-after, --drop-in-write), change the byte at table "
                   "offset OFFSET (its lowest bit flipped) and store it, as if someone else had written it")
        ->type_name("OFFSET")
        ->check(CLI::Range(0, kyr::table::TableSize - 1));
    app.add_option("--busy-after-write", c.busyAfterWriteMs,
                   "Fault: for MS milliseconds after the last byte of a whole-table write the unit is storing "
                   "it: commands that begin meanwhile are neither carried out nor answered")
        ->type_name("MS")
        ->check(CLI::Range(0, 600000));
    app.add_option("--corrupt-write", c.corruptWriteOffset,
                   "Fault: store every whole-table write with the byte at table offset OFFSET changed "
                   "(its lowest bit flipped); single-byte writes are stored as sent")
        ->type_name("OFFSET")
        ->check(CLI::Range(0, kyr::table::TableSize - 1));
}

void addOptions(CLI::App& app, kyr::sim::SimConfig& c, bool& withParent)
{
    app.add_flag("--exit-with-parent", withParent,
                 "Stop when the process that started this one ends (for test runners that may crash)");
    app.add_option("-p,--port", c.port, "Register as COM<port> in the ports folder")
        ->type_name("N")
        ->check(CLI::Range(1, 99))->capture_default_str();
    app.add_option("--port-dir", c.portDir,
                   "Ports folder (default $KYR_PORT_DIR, else ${XDG_CONFIG_HOME:-$HOME/.config}/kyr/ports)")
        ->type_name("DIR");
    app.add_option("--memory", c.memory,
                   "The unit's non-volatile memory: 482 raw bytes, created from the tune when missing "
                   "(default ${XDG_STATE_HOME:-$HOME/.local/state}/kyr/COM<port>.mem)")
        ->type_name("FILE");
    app.add_option("--tune", c.tune, "Map file (*.kyr) to start from when the memory file does not exist")
        ->type_name("FILE")
        ->capture_default_str();
    app.add_option("--log", c.log, "Write every command and reply as JSON lines to this file (appended)")
        ->type_name("FILE");
    addByte(app, "--model", c.identity.model, "Identity byte 0: model number");
    addByte(app, "--type", c.identity.type, "Identity byte 1: unit type code, also the version major");
    addByte(app, "--minor", c.identity.minor, "Identity byte 2: version minor");
    addByte(app, "--byte3", c.identity.byte3, "Identity byte 3 (not zero, or a reader stops there)");
    addByte(app, "--byte4", c.identity.byte4, "Identity byte 4 (not zero, or a reader stops there)");
    addByte(app, "--sig5", c.identity.sig5, "Identity byte 5: signature, 5 for a real unit");
    addByte(app, "--sig6", c.identity.sig6, "Identity byte 6: signature, 6 for a real unit");
    app.add_option("--baud", c.baud, "Line rate the replies are paced at (10 bits a byte)")
        ->type_name("BAUD")
        ->check(CLI::Range(50, 4000000))->capture_default_str();
    app.add_option("--throttle", c.throttle,
                   "Hold the throttle at this opening in percent instead of cycling idle, rev and cruise")
        ->type_name("PCT")
        ->check(CLI::Range(0.0, 100.0));
    app.add_option("--throttle-file", c.throttleFile,
                   "Read the throttle percent from this file at every ReadLive (falls back to --throttle "
                   "when the file is missing or holds no number)")
        ->type_name("FILE");
    app.add_option("--engine-need", c.engineNeed,
                   "The fuel the engine needs, by RPM and by manifold pressure: lines \"rpm RPM PERCENT\" and "
                   "\"kpa KPA PERCENT\" (default: a built-in need that differs from the demo tune)")
        ->type_name("FILE");
    app.add_flag("--warm", c.warm, "Start the engine at its running temperature instead of cold");
    addFaults(app, c);
}

void installSignals(sigset_t& waitMask)
{
    sigset_t block;
    sigemptyset(&block);
    for (int s : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&block, s);
    // Blocked except inside the wait, so a stop request is never missed
    // between checking the flag and going to sleep.
    sigprocmask(SIG_BLOCK, &block, &waitMask);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction sa {};
        sa.sa_handler = onSignal;
        sigemptyset(&sa.sa_mask);
        sigaction(s, &sa, nullptr);
    }
    std::signal(SIGPIPE, SIG_IGN);
}

} // namespace

int main(int argc, char** argv)
{
    kyr::sim::SimConfig config;
    config.tune = defaultTune();
    CLI::App app{"kyr-sim: a simulated KYR unit on a pseudo-terminal, registered as COM<port> in the ports folder. "
                 "Stop it with SIGINT or SIGTERM; it removes its port entry on the way out."};
    bool withParent = false;
    addOptions(app, config, withParent);
    CLI11_PARSE(app, argc, argv);

    if (config.portDir.empty())
        config.portDir = kyr::sim::defaultPortDir();
    if (config.memory.empty())
        config.memory = kyr::sim::defaultMemoryPath(config.port);

    sigset_t waitMask;
    installSignals(waitMask);
    if (withParent) {
        const pid_t parent = ::getppid();
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent) // the parent ended before the request took hold
            return 0;
    }

    kyr::sim::Simulator sim(config);
    if (auto s = sim.start(); !s) {
        std::cerr << "kyr-sim: " << s.error().message << "\n";
        sim.finish();
        return 1;
    }
    std::cerr << "kyr-sim: " << kyr::sim::portName(config.port) << " -> " << sim.device() << "\n";
    sim.run(g_stop, &waitMask);
    sim.finish();
    return 0;
}
