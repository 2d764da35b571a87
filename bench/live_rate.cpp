// SPDX-License-Identifier: GPL-3.0-or-later
// Live records a second through the real window against kyr-sim on a
// pseudo-terminal: first Timer1's normal poll, then the fast poll, each for
// a number of seconds with the Timing Map page shown (its live bars drawn).
// The line itself allows about 175 a second: the ReadLive byte and the ten
// record bytes at 1920 bytes a second take 5.7 ms. Also prints how often the
// charts were given a record (at most once a frame) and the records missed.
//
//   build/bench/bench_live_rate [seconds] [--rows]
//
// --rows prints the two rates as JSON lines for bench/run.
//
// TMPDIR=/dev/shm keeps the simulator's log (two lines a record) off the disk.

#include "EventLoop.h"
#include "Rows.h"
#include "SimProcess.h"
#include "app/live/LivePoll.h"
#include "app/maps/MapChartView.h"
#include "app/window/EFICom.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTabWidget>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>

namespace {

using kyr::bench::runUntil;

constexpr double LineRecordsPerSecond = 1920.0 / 11.0;


bool rows = false;

double measure(const char* what, kyr::app::live::LivePoll& poll, double seconds)
{
    runUntil([] { return false; }, 500); // the first records settle the pace
    int frames = 0, missed = 0;
    auto shown = QObject::connect(&poll, &kyr::app::live::LivePoll::liveShown, [&] { ++frames; });
    auto miss = QObject::connect(&poll, &kyr::app::live::LivePoll::liveMissed, [&] { ++missed; });
    const quint64 before = poll.records();
    QElapsedTimer clock;
    clock.start();
    runUntil([] { return false; }, static_cast<int>(seconds * 1000));
    const double s = clock.nsecsElapsed() / 1e9;
    QObject::disconnect(shown);
    QObject::disconnect(miss);
    const double rate = (poll.records() - before) / s;
    if (rows)
        return rate;
    std::printf("%-12s %6llu records in %5.2f s = %6.1f/s (%3.0f%% of the line's %.0f/s), charts %5.1f/s, missed %d\n",
                what, static_cast<unsigned long long>(poll.records() - before), s, rate,
                100.0 * rate / LineRecordsPerSecond, LineRecordsPerSecond, frames / s, missed);
    return rate;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    rows = kyr::bench::rowsWanted(argc, argv);
    const double seconds = argc > 1 && std::strcmp(argv[1], "--rows") ? std::max(1.0, std::atof(argv[1])) : 10.0;

    kyr::test::TempFolder dir("kyr-bench-live");
    std::filesystem::create_directories(dir / "dev"); // an empty /dev: no real port is touched
    kyr::test::SimProcess sim(dir.path(), {.port = 3});
    const auto env = kyr::link::PortEnv::withVariables(
        {{"KYR_PORT_DIR", kyr::test::SimProcess::portDirOf(dir.path()).string()}}, (dir / "dev").string());
    kyr::app::window::EFICom window(kyr::app::window::EFIComServices{
        nullptr, nullptr, kyr::app::link::LinkSetup{kyr::link::posixDeviceFactory(), &kyr::link::systemClock(), env, {}},
        kyr::app::live::LivePoll::IntervalMs});
    window.resize(1200, 800);
    window.show();
    runUntil([&] { return window.linkWorker().idle(); }, 10000);
    if (auto* connect = qobject_cast<QAbstractButton*>(window.control(QStringLiteral("spConnect"))))
        connect->click();
    runUntil([&] { return window.linkWorker().idle() && window.model().mapsShown(); }, 10000);
    if (!window.model().state().flags.UnitConnected) {
        std::fprintf(stderr, "the window did not connect\n");
        return 1;
    }
    auto* chart = window.findChild<kyr::app::maps::MapChartView*>(QStringLiteral("TimingChart"));
    auto* tabs = window.findChild<QTabWidget*>(QStringLiteral("PageControl1"));
    if (chart && tabs)
        for (int i = 0; i < tabs->count(); ++i)
            if (tabs->widget(i)->isAncestorOf(chart))
                tabs->setCurrentIndex(i);

    kyr::app::live::LivePoll& poll = window.livePoll();
    if (!poll.running()) {
        std::fprintf(stderr, "the real-time poll does not run\n");
        return 1;
    }
    const double normal = measure("normal poll", poll, seconds);
    poll.setFastPoll(true);
    const double fast = measure("fast poll", poll, seconds);
    const bool ok = !window.model().state().link.lost;
    if (rows) {
        kyr::bench::printRow("live.normal", {normal}, "/s");
        kyr::bench::printRow("live.fast", {fast}, "/s");
        return ok ? 0 : 1;
    }
    std::printf("link %s\n", ok ? "kept" : "lost");
    return ok ? 0 : 1;
}
