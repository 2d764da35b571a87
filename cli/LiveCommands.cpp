// SPDX-License-Identifier: GPL-3.0-or-later
// `kyr log` and `kyr monitor`: Connect, then poll ReadLive at the program's
// pace (or, with --fast, taking each record as soon as it is whole) and write
// the records to a log file or show them. Ctrl-C ends either cleanly: the log
// is closed with every record taken, and the count is printed.

#include "CommandSupport.h"
#include "TuneView.h"

#include "link/Protocol.h"
#include "live/LogFile.h"
#include "session/History.h"

#include <atomic>
#include <cctype>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <iostream>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace kyr::cli {

namespace {

/// A record missing this many times in a row means the unit stopped answering.
constexpr int MissesAllowed = 3;

volatile std::sig_atomic_t g_stopAsked = 0;

#ifdef _WIN32
/// Turns Ctrl+C, Ctrl+Break and the console's close into a request to stop
/// while it lives.
class StopOnSignal {
public:
    StopOnSignal()
    {
        g_stopAsked = 0;
        ::SetConsoleCtrlHandler(askStop, TRUE);
    }
    ~StopOnSignal() { ::SetConsoleCtrlHandler(askStop, FALSE); }
    StopOnSignal(const StopOnSignal&) = delete;
    StopOnSignal& operator=(const StopOnSignal&) = delete;
    bool asked() const { return g_stopAsked != 0; }

private:
    static BOOL WINAPI askStop(DWORD event)
    {
        g_stopAsked = 1;
        // Returning from a close event ends the process: give the loop time
        // to close the log (the system allows a few seconds).
        if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
            ::Sleep(CloseGraceMs);
        return TRUE;
    }
    static constexpr DWORD CloseGraceMs = 2000;
};

bool isTerminal(std::FILE* f) { return ::_isatty(::_fileno(f)) != 0; }

void localTime(const std::time_t& t, std::tm& tm) { ::localtime_s(&tm, &t); }
#else
void askStop(int) { g_stopAsked = 1; }

/// Turns SIGINT, SIGTERM and SIGHUP into a request to stop while it lives.
class StopOnSignal {
public:
    StopOnSignal()
    {
        g_stopAsked = 0;
        struct sigaction sa {};
        sa.sa_handler = askStop;
        sigemptyset(&sa.sa_mask);
        for (int i = 0; i < 3; ++i)
            sigaction(kSignals[i], &sa, &m_previous[i]);
    }
    ~StopOnSignal()
    {
        for (int i = 0; i < 3; ++i)
            sigaction(kSignals[i], &m_previous[i], nullptr);
    }
    StopOnSignal(const StopOnSignal&) = delete;
    StopOnSignal& operator=(const StopOnSignal&) = delete;
    bool asked() const { return g_stopAsked != 0; }

private:
    static constexpr int kSignals[3] = {SIGINT, SIGTERM, SIGHUP};
    struct sigaction m_previous[3];
};

bool isTerminal(std::FILE* f) { return ::isatty(::fileno(f)) != 0; }

void localTime(const std::time_t& t, std::tm& tm) { localtime_r(&t, &tm); }
#endif

/// One ReadLive at the chosen pace; empty when no whole record came.
std::optional<live::LiveValues> pollLive(UnitLink& unit, bool fast)
{
    const link::Bytes reply =
        fast ? link::transactUntil(unit.efi(), unit.clock(), link::readLive(), link::LiveRecordMax,
                                   link::pause::ReadLiveFastLimitMs)
             : link::transact(unit.efi(), unit.clock(), link::readLive(), link::pause::ReadLiveMs);
    auto v = live::decodeLive(reply);
    if (!v)
        return std::nullopt;
    return v.value();
}

std::string localNow()
{
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    localTime(t, tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
    return buf;
}

live::LogInfo logInfoOf(UnitLink& unit)
{
    const auto& st = unit.state();
    const IdentityView id = identityOf(st.unit.identity.bytes, st.setup);
    live::LogInfo info;
    info.unit = "KYR model " + std::to_string(id.model) + ", version " + id.version +
                (id.typeName.empty() ? "" : ", " + id.typeName);
    info.serial = id.serial;
    const auto& image = st.unitImage ? *st.unitImage : st.image;
    info.tableHash = session::tuneHash(image);
    info.started = localNow();
    return info;
}

/// Connects for a live command; the exit code on failure.
std::optional<int> connectUnit(UnitLink& unit, Io& io)
{
    Status s = unit.choosePort();
    if (s)
        s = unit.connect();
    if (!s)
        return fail(io, ExitUnit, s.error().message);
    return std::nullopt;
}

std::string valueText(live::LogColumn c, const live::LiveValues& v, live::ThrottleCal cal)
{
    const auto& d = live::logColumnDef(c);
    const auto value = live::logValue(c, v, cal);
    return std::string(d.caption) + " " + (value ? live::formatFixed(*value, d.decimals) : std::string("--")) + " " +
           std::string(d.unit);
}

} // namespace

std::string columnKey(live::LogColumn c)
{
    std::string key;
    for (char ch : live::logColumnDef(c).caption) {
        if (std::isalnum(static_cast<unsigned char>(ch)))
            key += static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        else if (!key.empty() && key.back() != '-')
            key += '-';
    }
    while (!key.empty() && key.back() == '-')
        key.pop_back();
    return key;
}

Result<std::vector<live::LogColumn>> parseColumns(const std::string& list)
{
    std::vector<live::LogColumn> out;
    if (list.empty()) {
        for (const auto& d : live::logColumnTable())
            out.push_back(d.column);
        return out;
    }
    std::size_t from = 0;
    while (from <= list.size()) {
        const auto comma = std::min(list.find(',', from), list.size());
        std::string name = list.substr(from, comma - from);
        from = comma + 1;
        std::string lower;
        for (char ch : name)
            lower += static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        std::optional<live::LogColumn> found;
        for (const auto& d : live::logColumnTable()) {
            std::string caption;
            for (char ch : d.caption)
                caption += static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
            if (lower == columnKey(d.column) || lower == caption)
                found = d.column;
        }
        if (!found) {
            std::string keys;
            for (const auto& d : live::logColumnTable())
                keys += (keys.empty() ? "" : ", ") + columnKey(d.column);
            return makeError(ErrorKind::BadArgument, "\"" + name + "\" is no live value: use " + keys);
        }
        if (std::find(out.begin(), out.end(), *found) == out.end())
            out.push_back(*found);
    }
    return out;
}

int runLog(const LogOptions& o, Io& io, const LinkEnv& env)
{
    // Nothing is sent before the target is known to be a log a tune file is safe from.
    if (Status s = live::checkLogTarget(o.output); !s)
        return fail(io, ExitUsage, s.error().message);
    auto columns = parseColumns(o.columns);
    if (!columns)
        return fail(io, ExitUsage, columns.error().message);
    LinkSetup setup(io, o.port);
    if (setup.error)
        return fail(io, ExitUsage, setup.error->message);
    UnitLink unit(env, setup.chosen, setup.observer(io));
    if (auto code = connectUnit(unit, io))
        return *code;
    const live::ThrottleCal cal = live::throttleCalOf(unit.state().setup);
    auto writer = live::LogWriter::create(o.output, columns.value(), logInfoOf(unit));
    if (!writer)
        return fail(io, ExitUsage, writer.error().message);
    live::LogWriter& log = *writer.value();

    StopOnSignal stop;
    link::Clock& clock = unit.clock();
    const uint32_t start = clock.tickMs();
    const double limitMs = o.duration * 1000.0;
    int misses = 0;
    std::optional<Error> problem;
    double elapsedMs = 0;
    while (!stop.asked() && elapsedMs < limitMs) {
        const auto v = pollLive(unit, o.fast);
        elapsedMs = static_cast<uint32_t>(clock.tickMs() - start);
        if (!v) {
            if (++misses >= MissesAllowed) {
                problem = makeError(ErrorKind::LinkLost, "the unit on " + unit.where() + " stopped answering");
                break;
            }
            continue;
        }
        misses = 0;
        if (Status s = log.append(elapsedMs / 1000.0, *v, cal); !s) {
            problem = s.error();
            break;
        }
    }
    const Status closed = log.close();
    const double seconds = std::max(elapsedMs / 1000.0, 0.001);
    io.out << (stop.asked() ? "Stopped: " : "") << "wrote " << log.records() << " records in "
           << live::formatFixed(seconds, 1) << " s (" << live::formatFixed(log.records() / seconds, 1)
           << " records a second) to " << o.output << "\n";
    if (problem)
        return fail(io, problem->kind == ErrorKind::LinkLost ? ExitUnit : ExitUsage, problem->message);
    if (!closed)
        return fail(io, ExitUsage, closed.error().message);
    return ExitOk;
}

int runMonitor(const MonitorOptions& o, Io& io, const LinkEnv& env)
{
    LinkSetup setup(io, o.port);
    if (setup.error)
        return fail(io, ExitUsage, setup.error->message);
    UnitLink unit(env, setup.chosen, setup.observer(io));
    if (auto code = connectUnit(unit, io))
        return *code;
    const live::ThrottleCal cal = live::throttleCalOf(unit.state().setup);
    // One line kept up to date on a terminal; one line a record otherwise.
    const bool refresh = &io.out == &std::cout && isTerminal(stdout);
    StopOnSignal stop;
    long shown = 0;
    int misses = 0;
    while (!stop.asked() && (o.count <= 0 || shown < o.count)) {
        const auto v = pollLive(unit, o.fast);
        if (!v) {
            if (++misses >= MissesAllowed) {
                if (refresh)
                    io.out << "\n";
                return fail(io, ExitUnit, "the unit on " + unit.where() + " stopped answering");
            }
            continue;
        }
        misses = 0;
        std::string line;
        for (const auto& d : live::logColumnTable())
            line += (line.empty() ? "" : "  ") + valueText(d.column, *v, cal);
        io.out << (refresh ? "\r" + line + "\x1b[K" : line + "\n") << std::flush;
        ++shown;
    }
    if (refresh)
        io.out << "\n";
    return ExitOk;
}

} // namespace kyr::cli
