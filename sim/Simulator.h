// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The simulated unit on a pseudo-terminal: receives bytes, hands them to the
// command parser and the unit, paces the replies at the line rate, keeps the
// memory file and the log, and plays the fault modes.

#include "CommandParser.h"
#include "EventLog.h"
#include "LinePacer.h"
#include "Pty.h"
#include "Unit.h"

#include <csignal>
#include <filesystem>
#include <memory>
#include <optional>
#include <random>

namespace kyr::sim {

struct SimConfig {
    int port = 1;                        ///< registered as "COM" + port
    std::filesystem::path portDir;       ///< the ports folder
    std::filesystem::path memory;        ///< the unit's non-volatile memory (raw table)
    std::filesystem::path tune;          ///< map file to start from when there is no memory file
    std::filesystem::path log;           ///< JSON-lines log; empty for none
    Identity identity;
    int baud = 19200;
    bool silent = false;                 ///< answer nothing
    std::optional<int> shortReply;       ///< cut every reply to this many bytes
    bool garbage = false;                ///< answer with random bytes of the right length
    unsigned seed = 1;                   ///< of the garbage and of the lambda noise
    int slowMs = 0;                      ///< extra delay before every reply
    std::optional<int> dropAfter;        ///< close the line after this many commands (once)
    std::optional<int> reconnectMs;      ///< and open a new one this long after
    std::optional<int> dropInWrite;      ///< close the line once this many WriteTable image bytes came (once)
    std::optional<int> changeWhileDown;  ///< flip the low bit of this table byte when the line drops
    std::optional<int> corruptWriteOffset; ///< flip the low bit of this table byte on every WriteTable
    int busyAfterWriteMs = 0;            ///< after a WriteTable, commands are ignored for this long
    std::optional<double> throttle;      ///< fixed throttle opening, percent
    std::filesystem::path throttleFile;  ///< read the throttle from here at every ReadLive
    std::filesystem::path engineNeed;    ///< the engine's fuel need; empty for the built-in one
    bool warm = false;                   ///< the engine starts at its running temperature
};

/// The memory file used when none is given: ${XDG_STATE_HOME:-$HOME/.local/state}/kyr/COMn.mem.
std::filesystem::path defaultMemoryPath(int port);

class Simulator {
public:
    explicit Simulator(SimConfig config);
    ~Simulator();

    /// Loads the memory, opens the line and registers the port.
    Status start();
    /// Serves until stop is set (by a signal handler). The signals are blocked
    /// by the caller and unblocked only while waiting (waitMask).
    void run(const volatile std::sig_atomic_t& stop, const sigset_t* waitMask);
    /// Stores pending memory, removes the port entry and logs the end.
    void finish();

    const std::string& device() const { return m_pty.slavePath(); }

private:
    Status openLine();
    void dropWhenDrained(double now);
    void dropLine(double now);
    void changeWhileDown(double now);
    void receive(double now);
    void consume(std::span<const uint8_t> bytes, double now);
    size_t feedStep() const;
    bool writeCutDue() const;
    void cutWrite(double now);
    void handle(const Command& c, double now);
    void dropIfDue();
    void queueReply(const Command& c, std::vector<uint8_t> reply, double now);
    void pump(double now);
    void readThrottleFile();
    void storeMemory(double now);
    Status saveTable();
    void reportStoreFailure(const Status& s, double now);
    /// Logs a command's entry (at its time) after storing the table it changed.
    void logStored(const Json& entry, double at, bool changed, double now);

    SimConfig m_cfg;
    EventLog m_log;
    std::unique_ptr<Unit> m_unit;
    CommandParser m_parser;
    LinePacer m_pacer;
    Pty m_pty;
    PortEntry m_entry;
    std::mt19937 m_random;
    double m_startMs = 0;
    int m_commands = 0;
    bool m_dropped = false;
    bool m_dropDue = false;
    std::optional<double> m_busyUntil; ///< commands that begin before this are ignored (storing a table)
    std::optional<double> m_dropSince; ///< drop due: waiting for the client to read the last reply
    std::optional<double> m_reconnectAt;
    bool m_outputBlocked = false;
    bool m_unsaved = false; ///< the last memory store failed
};

} // namespace kyr::sim
