// How long the window's event loop stands still while the program talks to
// the unit. A 5 ms timer on the window thread records the longest gap
// between its ticks during the start-up search, Connect (identity, setup
// read, table read with their 300 and 500 ms pauses), Write to KYR and
// Read from KYR against kyr-sim on a pseudo-terminal.

#include "SimProcess.h"
#include "app/window/EFICom.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QToolButton>

#include <cstdio>
#include <functional>

namespace {

struct Stall {
    double maxGapMs = 0;
    double totalMs = 0;
    int ticks = 0;
};

bool waitIdle(kyr::app::EFICom& w, int timeoutMs = 20000)
{
    if (w.linkWorker().idle())
        return true;
    QEventLoop loop;
    QObject::connect(&w.linkWorker(), &kyr::app::LinkWorker::drained, &loop, &QEventLoop::quit);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    return w.linkWorker().idle();
}

// Runs action, then the event loop until the link is idle, timing the loop.
Stall measure(kyr::app::EFICom& w, const std::function<void()>& action)
{
    Stall s;
    QElapsedTimer clock, total;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        const double now = clock.nsecsElapsed() / 1e6;
        s.maxGapMs = std::max(s.maxGapMs, now);
        clock.restart();
        ++s.ticks;
    });
    timer.start(5);
    clock.start();
    total.start();
    action();
    if (!waitIdle(w))
        std::fprintf(stderr, "bench_gui_stall: the link did not finish\n");
    s.totalMs = total.nsecsElapsed() / 1e6;
    timer.stop();
    return s;
}

void report(const char* what, const Stall& s)
{
    std::printf("%-22s took %7.1f ms, %5d ticks, longest event-loop gap %6.2f ms (timer 5 ms)\n", what, s.totalMs,
                s.ticks, s.maxGapMs);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    kyr::test::TempFolder dir("kyr-bench-gui");
    std::filesystem::create_directories(dir / "dev");
    kyr::test::SimProcess sim(dir.path(), {.port = 3});
    const auto env = kyr::link::PortEnv::withVariables(
        {{"KYR_PORT_DIR", kyr::test::SimProcess::portDirOf(dir.path()).string()}}, (dir / "dev").string());

    kyr::app::EFICom window(kyr::app::EFIComServices{
        nullptr, nullptr, kyr::app::LinkSetup{kyr::link::posixDeviceFactory(), &kyr::link::systemClock(), env, {}},
        /*livePollMs=*/0});
    auto click = [&window](const char* name) {
        if (auto* b = qobject_cast<QToolButton*>(window.control(QString::fromLatin1(name))))
            b->click();
    };

    report("start-up port search", measure(window, [&] { window.show(); }));
    report("Connect", measure(window, [&] { click("spConnect"); }));
    report("Write to KYR", measure(window, [&] { click("spWrite"); }));
    std::printf("status: %s\n", qPrintable(QString::fromStdString(window.model().state().status.message)));
    return window.model().state().flags.UnitConnected ? 0 : 1;
}
