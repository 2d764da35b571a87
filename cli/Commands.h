// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The subcommands of `kyr`, one function each. Each writes its report to
// out, its one-line error (and with verbose the status texts) to err, and
// returns the exit code.

#include "UnitLink.h"

#include "live/DataLog.h"
#include "tools/PortDoctor.h"

#include <ostream>
#include <string>

namespace kyr::cli {

/// 0 success; 1 the unit or the link failed; 2 a usage error or a file that
/// cannot be read or written.
enum ExitCode : int { ExitOk = 0, ExitUnit = 1, ExitUsage = 2 };
/// `kyr check`: 1 when it found likely slips (2 as above), 3 when the unit's
/// table it was to be checked against could not be read.
enum CheckExitCode : int { ExitFindings = 1, ExitCheckUnit = 3 };

/// Where a command writes.
struct Io {
    std::ostream& out;
    std::ostream& err;
    bool verbose = false; ///< the status texts of the link go to err as they appear
};

struct PortsOptions {
    bool json = false;
    std::vector<std::string> link; ///< --link COMn DEVICE: name the device in the ports folder instead
};
struct InfoOptions {
    std::string port; ///< "COMn" or a device path; empty: search
    bool json = false;
};
struct ReadOptions {
    std::string port;
    std::string output;
    std::string make, model, engine;
    int retry = 0; ///< seconds to wait for a lost link to come back (0 to MaxRetrySeconds)
};
struct WriteOptions {
    std::string port;
    std::string file;
    bool force = false; ///< write a file made for another unit type
    int retry = 0;      ///< seconds to wait for a lost link to come back
};
struct BackupsOptions {
    std::string serial; ///< one unit's serial number; empty for every unit
};
struct HistoryOptions {
    std::string serial;            ///< one unit's serial number; empty for every unit
    bool json = false;
    std::vector<std::string> note; ///< --note HASH TEXT: set (or with an empty text remove) a note
    std::vector<std::string> logs; ///< folders of logs to list under the tables they were recorded on
};

struct LogOptions {
    std::string port;
    double duration = 0;   ///< seconds to log
    bool fast = false;     ///< take each record as soon as it is whole
    std::string columns;   ///< "rpm,timing,..." (empty: every value)
    std::string output;    ///< .mlg, .msl or .csv
};
struct MonitorOptions {
    std::string port;
    bool fast = false;
    long count = 0; ///< records to show (0: until Ctrl-C)
};

struct ShowOptions {
    std::string file;
    bool json = false;
};
struct CheckOptions {
    std::string file;
    double timingLimit = 45;  ///< degrees of advance the timing map may reach
    bool againstUnit = false; ///< read the unit's table and judge the setup values against it
    std::string port;         ///< with againstUnit: "COMn" or a device path; empty: search
    bool json = false;
};
struct AutotuneOptions {
    std::string tune;           ///< the base map file
    std::string map = "cruise"; ///< cruise, low, high or vacuum
    double authority = 5;       ///< the most a point moves, %
    double minWeight = 3;       ///< summed sample weight a point needs
    double delay = 0.2;         ///< seconds from an operating point to its lambda reading
    std::string out;            ///< the suggested tune
    std::vector<std::string> logs;
    bool force = false;         ///< write over the base file when out names it
    bool json = false;
};
struct DiffOptions {
    std::string a, b;
    bool json = false;
};

/// `kyr ports`: the port search, every port that opened and the unit on it.
int runPorts(const PortsOptions& o, Io& io, const LinkEnv& env = {});
/// `kyr ports --link COMn DEVICE`: makes the ports folder entry COMn a link
/// to DEVICE (an existing device, best its /dev/serial/by-id name).
int runLinkPort(const std::string& name, const std::string& device, Io& io,
                const link::PortEnv& env = link::PortEnv::system());
/// `kyr doctor`: what keeps the user from the serial ports, and what to do.
/// 0 when some COM name leads to a device that opens, else 1.
int runDoctor(Io& io, const tools::PortDoctor& doctor = tools::PortDoctor());
/// `kyr info`: Connect and report the unit's identity and serial number.
int runInfo(const InfoOptions& o, Io& io, const LinkEnv& env = {});
/// `kyr read`: Connect, read the whole table, save it as a map file. A lost
/// link is waited for up to o.retry seconds, then the whole read runs again.
int runRead(const ReadOptions& o, Io& io, const LinkEnv& env = {});
/// `kyr write`: send a map file's image with WriteTable, read it back and
/// compare. A lost link is waited for up to o.retry seconds, then the backup
/// read, the write and its read-back run again.
int runWrite(const WriteOptions& o, Io& io, const LinkEnv& env = {});
/// `kyr log`: Connect, then record the live values for o.duration seconds
/// (or until Ctrl-C) into a log file of the output's format.
int runLog(const LogOptions& o, Io& io, const LinkEnv& env = {});
/// `kyr monitor`: Connect, then show the live values as they come.
int runMonitor(const MonitorOptions& o, Io& io, const LinkEnv& env = {});
/// The values a --columns list names (keys such as "rpm" or "air-temp", or
/// the captions); every value for an empty list. BadArgument for an unknown name.
Result<std::vector<live::LogColumn>> parseColumns(const std::string& list);
/// The --columns key of a value: "injector-ms" for "Injector (ms)".
std::string columnKey(live::LogColumn c);

/// `kyr show`: a map file's identity, vehicle, setup and maps.
/// Lists the backups of tables read from units, newest first.
int runBackups(const BackupsOptions& o, Io& io, const std::filesystem::path& root = session::defaultBackupRoot());
/// `kyr history`: each unit's tables, newest first, with what changed,
/// notes and logs; with o.note sets a note instead.
int runHistory(const HistoryOptions& o, Io& io,
               const std::filesystem::path& root = session::defaultBackupRoot());
/// The map file an argument names: itself, or when it is no file but a table
/// hash (16 hex digits), the history's file of that table.
Result<std::string> historyFile(const std::string& arg, const std::filesystem::path& root);
int runShow(const ShowOptions& o, Io& io);
/// `kyr diff`: what differs between two map files (or tables of the history,
/// by hash); 0 whether or not they differ.
int runDiff(const DiffOptions& o, Io& io, const std::filesystem::path& root = session::defaultBackupRoot());

/// `kyr check`: the likely slips in a map file (map points far from both
/// neighbours, timing above the limit, with againstUnit setup values at an
/// end of their range that differ from the unit's); ExitFindings when any.
int runCheck(const CheckOptions& o, Io& io, const LinkEnv& env = {});

/// `kyr autotune`: fuel suggestions for one curve from logs, written as a
/// new tune beside the base one; the per-point table on stdout.
int runAutotune(const AutotuneOptions& o, Io& io);

/// The bytes a map file keeps for a vehicle text given in UTF-8: at most 18
/// characters, each with a Windows-1252 byte, no "~" and no control characters.
Result<std::string> vehicleBytes(const std::string& what, const std::string& text);

} // namespace kyr::cli
