// SPDX-License-Identifier: GPL-3.0-or-later
// The time from a map edit on the screen to its WritePoint on the line: a
// mouse press on TimingChart, and an Up (or Down) key with its key-up, are
// sent to the real window connected to kyr-sim on a pseudo-terminal, and the
// time runs until the simulator has read the WritePoint's last byte (its log
// stamps each command on the same monotonic clock as ours).
//
// The real-time poll may run meanwhile: "idle" leaves it off, "normal" runs
// Timer1's 20 ms poll, "fast" the fast poll. A random pause before each edit
// spreads the edits over the poll's cycle. Prints milliseconds; run it on a
// quiet machine.
//
//   build/bench/bench_map_edit [rounds] [idle|normal|fast] [--rows]
//
// --rows prints the two figures as JSON lines for bench/run.
//
// The misses and link losses of the run are printed too: on a busy machine the
// simulator is sometimes held off the processor, which shows as outliers here
// and as commands read late in its log. TMPDIR=/dev/shm keeps its log and
// memory file off the disk.

#include "Rows.h"
#include "SimProcess.h"
#include "app/live/LivePoll.h"
#include "app/maps/MapChartView.h"
#include "app/window/EFICom.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTabWidget>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

using namespace kyr;

namespace {

double nowMs()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

// Reads the simulator's log as it grows: the times its WritePoints arrived.
class WriteArrivals {
public:
    explicit WriteArrivals(std::filesystem::path path) : m_path(std::move(path)) {}

    /// Reads what was added since the last call; the arrivals after `since`.
    std::vector<double> after(double since)
    {
        std::ifstream in(m_path, std::ios::binary);
        in.seekg(static_cast<std::streamoff>(m_offset));
        std::string chunk((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const std::size_t end = chunk.rfind('\n');
        if (end != std::string::npos) {
            m_offset += end + 1;
            std::size_t start = 0;
            for (std::size_t nl = chunk.find('\n'); start <= end; nl = chunk.find('\n', start)) {
                const auto e = nlohmann::json::parse(chunk.substr(start, nl - start), nullptr, false);
                if (e.is_object() && e.value("cmd", "") == "WritePoint")
                    m_times.push_back(e["t_ms"].get<double>());
                start = nl + 1;
            }
        }
        std::vector<double> out;
        for (double t : m_times)
            if (t >= since)
                out.push_back(t);
        return out;
    }

private:
    std::filesystem::path m_path;
    std::size_t m_offset = 0;
    std::vector<double> m_times;
};

bool waitUntil(const std::function<bool()>& done, int timeoutMs = 5000)
{
    const double deadline = nowMs() + timeoutMs;
    while (!done()) {
        if (nowMs() > deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    return true;
}

// Runs the event loop for a while, as a user between two edits.
void pause(double ms) { waitUntil([until = nowMs() + ms] { return nowMs() >= until; }); }

void report(const char* what, std::vector<double> ms)
{
    if (ms.empty()) {
        std::printf("%-32s no samples\n", what);
        return;
    }
    std::sort(ms.begin(), ms.end());
    auto at = [&](double q) { return ms[std::min(ms.size() - 1, static_cast<std::size_t>(q * ms.size()))]; };
    std::printf("%-32s n=%zu  p50 %.2f ms  p90 %.2f ms  p99 %.2f ms  max %.2f ms\n", what, ms.size(), at(0.5),
                at(0.9), at(0.99), ms.back());
}

void showPageOf(QWidget* w, QTabWidget* tabs)
{
    for (int i = 0; i < tabs->count(); ++i)
        if (tabs->widget(i)->isAncestorOf(w))
            tabs->setCurrentIndex(i);
    waitUntil([&] { return w->isVisible(); });
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qapp(argc, argv);
    const bool rows = bench::rowsWanted(argc, argv);
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--rows"))
            args.emplace_back(argv[i]);
    const int rounds = args.size() > 0 ? std::max(1, std::atoi(args[0].c_str())) : 200;
    const std::string mode = args.size() > 1 ? args[1] : "idle";
    if (mode != "idle" && mode != "normal" && mode != "fast") {
        std::fprintf(stderr, "usage: bench_map_edit [rounds] [idle|normal|fast] [--rows]\n");
        return 2;
    }

    test::TempFolder dir("kyr-bench-edit");
    std::filesystem::create_directories(dir / "dev"); // an empty /dev: no real port is touched
    test::SimProcess sim(dir.path(), {.port = 1});
    const auto env = link::PortEnv::withVariables({{"KYR_PORT_DIR", test::SimProcess::portDirOf(dir.path()).string()}},
                                                  (dir / "dev").string());
    app::window::EFICom window(app::window::EFIComServices{nullptr, nullptr,
                                           app::link::LinkSetup{link::posixDeviceFactory(), &link::systemClock(), env, {}},
                                           mode == "idle" ? 0 : app::live::LivePoll::IntervalMs});
    window.resize(1200, 800);
    window.show(); // the start-up search finds the unit on COM1
    waitUntil([&] { return window.linkWorker().idle(); }, 10000);
    if (auto* connect = qobject_cast<QAbstractButton*>(window.control(QStringLiteral("spConnect"))))
        connect->click();
    waitUntil([&] { return window.linkWorker().idle() && window.model().mapsShown(); }, 10000);
    if (!window.model().state().flags.UnitConnected) {
        std::fprintf(stderr, "the window did not connect\n");
        return 1;
    }
    window.model().setMouseTuning(true);
    app::live::LivePoll& poll = window.livePoll();
    if (mode == "fast")
        poll.setFastPoll(true);

    auto* chart = window.findChild<app::maps::MapChartView*>(QStringLiteral("TimingChart"));
    auto* tabs = window.findChild<QTabWidget*>(QStringLiteral("PageControl1"));
    if (!chart || !tabs) {
        std::fprintf(stderr, "no TimingChart\n");
        return 1;
    }
    showPageOf(chart, tabs);

    WriteArrivals arrivals(sim.logPath());
    std::mt19937 random(7);
    std::uniform_real_distribution<double> gap(0.0, 25.0);
    // Waits for the WritePoint of an edit begun at t0; its time on the line, or -1.
    auto timed = [&](double t0) {
        double at = -1;
        waitUntil([&] {
            const auto seen = arrivals.after(t0);
            if (!seen.empty())
                at = seen.front();
            return at >= 0;
        });
        return at < 0 ? -1 : at - t0;
    };

    std::vector<double> mouse, keys;
    const quint64 recordsBefore = poll.records();
    int missed = 0, lost = 0; // a unit that stalls (a busy machine) shows here
    int unsent = 0;           // edits whose WritePoint never came
    QObject::connect(&poll, &app::live::LivePoll::liveMissed, [&] { ++missed; });
    QObject::connect(&window.linkWorker(), &app::link::LinkWorker::linkLost, [&] { ++lost; });
    for (int i = 0; i < rounds + 5; ++i) {
        pause(gap(random));
        const QPointF at = chart->positionOf({10.0 + i % 50, 5.0 + i % 35});
        QMouseEvent press(QEvent::MouseButtonPress, at, chart->viewport()->mapToGlobal(at), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, at, chart->viewport()->mapToGlobal(at), Qt::LeftButton,
                            Qt::NoButton, Qt::NoModifier);
        const double t0 = nowMs();
        QCoreApplication::sendEvent(chart->viewport(), &press);
        const double ms = timed(t0);
        if (ms < 0) {
            std::fprintf(stderr, "round %d: no WritePoint arrived within 5 s of a mouse press\n", i);
            ++unsent;
        } else if (i >= 5) // the first rounds warm up
            mouse.push_back(ms);
        QCoreApplication::sendEvent(chart->viewport(), &release);
    }
    // The key path: a mouse move makes TimingChart the key target and gives it
    // the keys; Up (or Down) and its key-up send.
    QApplication::setActiveWindow(&window);
    const QPointF over = chart->positionOf({30, 20});
    QMouseEvent move(QEvent::MouseMove, over, chart->viewport()->mapToGlobal(over), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(chart->viewport(), &move);
    for (int i = 0; i < rounds; ++i) {
        pause(gap(random));
        const int key = (i % 2) ? Qt::Key_Down : Qt::Key_Up;
        QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier);
        QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier);
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : &window;
        const double t0 = nowMs();
        QCoreApplication::sendEvent(target, &down);
        QCoreApplication::sendEvent(target, &up);
        const double ms = timed(t0);
        if (ms < 0) {
            std::fprintf(stderr, "round %d: no WritePoint arrived within 5 s of a key-up (sent to %s)\n", i,
                         target->metaObject()->className());
            ++unsent;
            continue;
        }
        keys.push_back(ms);
    }
    if (rows) {
        bench::printRow("edit.mouse." + mode, mouse);
        bench::printRow("edit.key." + mode, keys);
        bench::printRow("edit.unsent." + mode, {static_cast<double>(unsent)}, "edits");
        bench::printRow("edit.link_lost." + mode, {static_cast<double>(lost)}, "times");
        return mouse.empty() || keys.empty() ? 1 : 0;
    }
    std::printf("poll: %s (%llu records during the edits, %d missed, link lost %d times)\n", mode.c_str(),
                static_cast<unsigned long long>(poll.records() - recordsBefore), missed, lost);
    report("mouse press -> WritePoint on line", mouse);
    report("key press -> WritePoint on line", keys);
    if (unsent > 0)
        std::printf("%d edits sent no WritePoint within 5 s\n", unsent);
    return mouse.empty() || keys.empty() ? 1 : 0;
}
