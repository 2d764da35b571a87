// SPDX-License-Identifier: GPL-3.0-or-later
// A dropped cable, timed. The window runs with its real-time poll against
// kyr-sim, which drops its line after a number of commands and comes back
// on a new pseudo-terminal some seconds later. For each round:
//   - drop to "Link lost": from the simulator closing its line to the window
//     marking the link lost;
//   - return to live data: from the simulator registering its new line to
//     the first live record decoded after the link was restored;
//   - CPU while down: the program's processor time over the wall time
//     between the two (all threads).
// Both processes time on CLOCK_MONOTONIC, so their times compare directly.

#include "EventLoop.h"
#include "SimProcess.h"
#include "app/live/LivePoll.h"
#include "app/window/EFICom.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <sys/resource.h>
#include <vector>

namespace {

using kyr::bench::runUntil;

constexpr int Rounds = 5;
constexpr int DownMs = 3000;

double nowMs()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

double cpuMs()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    auto ms = [](const timeval& t) { return t.tv_sec * 1000.0 + t.tv_usec / 1000.0; };
    return ms(u.ru_utime) + ms(u.ru_stime);
}


double simEventMs(kyr::test::SimProcess& sim, const char* event, int nth)
{
    int seen = 0;
    for (const auto& line : sim.log())
        if (line.value("event", "") == event && ++seen == nth)
            return line["t_ms"].get<double>();
    return -1;
}

struct Round {
    double lostMs = -1, liveMs = -1, cpuPercent = -1;
};

constexpr int CpuWindowMs = 2000; // inside the time the unit is away

Round runRound()
{
    Round r;
    kyr::test::TempFolder dir("kyr-bench-drop");
    std::filesystem::create_directories(dir / "dev");
    // Search, Connect (identity, setup, table): the drop comes after 60 live records.
    kyr::test::SimProcess sim(dir.path(), {.port = 3, .args = {"--drop-after", "64", "--reconnect-ms",
                                                                std::to_string(DownMs)}});
    const auto env = kyr::link::PortEnv::withVariables(
        {{"KYR_PORT_DIR", kyr::test::SimProcess::portDirOf(dir.path()).string()}}, (dir / "dev").string());
    kyr::app::window::EFICom window(kyr::app::window::EFIComServices{
        nullptr, nullptr, kyr::app::link::LinkSetup{kyr::link::posixDeviceFactory(), &kyr::link::systemClock(), env, {}}});
    auto& poll = window.livePoll();
    double lostAt = -1, liveAt = -1;
    QObject::connect(&window.linkWorker(), &kyr::app::link::LinkWorker::linkLost, [&] {
        lostAt = nowMs();
        const double cpuAtLoss = cpuMs();
        QTimer::singleShot(CpuWindowMs, [&r, cpuAtLoss] { r.cpuPercent = 100.0 * (cpuMs() - cpuAtLoss) / CpuWindowMs; });
    });
    QObject::connect(&poll, &kyr::app::live::LivePoll::liveUpdated, [&] {
        if (lostAt > 0 && liveAt < 0)
            liveAt = nowMs();
    });
    window.show();
    runUntil([&] { return window.control("spConnect")->isEnabled(); }, 10000);
    qobject_cast<QToolButton*>(window.control("spConnect"))->click();
    if (!runUntil([&] { return liveAt > 0 && r.cpuPercent >= 0; }, 30000))
        return r;
    r.lostMs = lostAt - simEventMs(sim, "drop", 1);
    r.liveMs = liveAt - simEventMs(sim, "open", 2);
    return r;
}

void summary(const char* what, std::vector<double> v, const char* unit)
{
    std::sort(v.begin(), v.end());
    std::printf("%-26s median %8.1f %s, max %8.1f %s\n", what, v[v.size() / 2], unit, v.back(), unit);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::vector<double> lost, live, cpu;
    for (int i = 0; i < Rounds; ++i) {
        const Round r = runRound();
        if (r.lostMs < 0 || r.liveMs < 0) {
            std::fprintf(stderr, "bench_link_drop: round %d did not come back\n", i + 1);
            return 1;
        }
        std::printf("round %d: drop to \"Link lost\" %6.1f ms, return to live data %7.1f ms, CPU while down %5.2f %%\n",
                    i + 1, r.lostMs, r.liveMs, r.cpuPercent);
        lost.push_back(r.lostMs);
        live.push_back(r.liveMs);
        cpu.push_back(r.cpuPercent);
    }
    summary("drop to \"Link lost\"", lost, "ms");
    summary("return to live data", live, "ms");
    summary("CPU while down", cpu, "% of a core");
    return 0;
}
