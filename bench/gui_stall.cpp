// SPDX-License-Identifier: GPL-3.0-or-later
// How long the window's event loop stands still while the program talks to
// the unit. A 5 ms timer on the window thread records the longest gap
// between its ticks (the gap includes the timer's own 5 ms) during the
// start-up search (after the window's first frame), Connect (identity, setup read, table read with their 300
// and 500 ms pauses), Write to KYR, the live poll with the Data Logger
// recording to an .mlg, and a drag on TimingChart with mouse tuning on,
// against kyr-sim on a pseudo-terminal.
//
// Connect runs several times, each in a fresh window; each is also timed
// from the button's click to the first paint of TimingChart after the
// unit's table reached the charts.
//
//   QT_QPA_PLATFORM=offscreen build/bench/bench_gui_stall [--connects N] [--live-seconds S] [--rows]

#include "EventLoop.h"
#include "Rows.h"
#include "SimProcess.h"
#include "app/live/LivePoll.h"
#include "app/maps/MapChartView.h"
#include "app/window/EFICom.h"
#include "app/common/TuneModel.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMouseEvent>
#include <QTabWidget>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

namespace {

using kyr::bench::runFor;
using kyr::bench::runUntil;

struct Stall {
    double maxGapMs = 0;
    double totalMs = 0;
    int ticks = 0;
};

struct Options {
    int connects = 5;
    int quickConnects = 0; ///< more Connects with "Quick connect", after the others
    double liveSeconds = 5;
    bool rows = false;
};

Options parse(int argc, char** argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--rows"))
            o.rows = true;
        else if (!std::strcmp(argv[i], "--connects") && i + 1 < argc)
            o.connects = std::max(1, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--quick-connects") && i + 1 < argc)
            o.quickConnects = std::max(0, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--live-seconds") && i + 1 < argc)
            o.liveSeconds = std::max(1.0, std::atof(argv[++i]));
    }
    return o;
}

bool waitIdle(kyr::app::window::EFICom& w, int timeoutMs = 20000)
{
    if (w.linkWorker().idle())
        return true;
    QEventLoop loop;
    QObject::connect(&w.linkWorker(), &kyr::app::link::LinkWorker::drained, &loop, &QEventLoop::quit);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    return w.linkWorker().idle();
}

// Set once the window's first frame is out: the gaps before it (the show
// and the first paint) belong to the cold start, not to the search.
class FirstFrame : public QObject {
public:
    bool framed = false;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Expose && static_cast<QWindow*>(watched)->isExposed())
            QTimer::singleShot(0, this, [this] { framed = true; });
        return false;
    }
};

// Runs action, then wait (by default: until the link is idle), timing the
// loop; with from, only the gaps that begin after *from is true count.
Stall measure(kyr::app::window::EFICom& w, const std::function<void()>& action, std::function<void()> wait = {},
              const bool* from = nullptr)
{
    Stall s;
    bool counting = false;
    QElapsedTimer clock, total;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        const double now = clock.nsecsElapsed() / 1e6;
        if (!from || counting) // the gap in which *from turned true is not counted
            s.maxGapMs = std::max(s.maxGapMs, now);
        counting = from && *from;
        clock.restart();
        ++s.ticks;
    });
    timer.start(5);
    clock.start();
    total.start();
    action();
    if (wait)
        wait();
    else if (!waitIdle(w))
        std::fprintf(stderr, "bench_gui_stall: the link did not finish\n");
    s.totalMs = total.nsecsElapsed() / 1e6;
    timer.stop();
    return s;
}

void report(const Options& o, const char* what, const Stall& s)
{
    if (!o.rows)
        std::printf("%-26s took %7.1f ms, %5d ticks, longest event-loop gap %6.2f ms (timer 5 ms)\n", what,
                    s.totalMs, s.ticks, s.maxGapMs);
}

void showPageOf(QWidget* w, QTabWidget* tabs)
{
    for (int i = 0; tabs && i < tabs->count(); ++i)
        if (tabs->widget(i)->isAncestorOf(w))
            tabs->setCurrentIndex(i);
    runUntil([&] { return w->isVisible(); }, 2000);
}

// Calls back once a widget has been painted, after armed is set.
class PaintWatch : public QObject {
public:
    explicit PaintWatch(std::function<void()> painted) : m_painted(std::move(painted)) {}
    bool armed = false;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (armed && event->type() == QEvent::Paint) {
            armed = false;
            QTimer::singleShot(0, this, m_painted); // runs once the paint is done
        }
        return false;
    }

private:
    std::function<void()> m_painted;
};

// Connect, timed from the click to the first paint of the shown chart after
// the unit's table reached the charts.
double timedConnect(kyr::app::window::EFICom& window, QAbstractButton* connect, kyr::app::maps::MapChartView* chart, Stall& stall,
                    const Options& o, bool quick)
{
    QElapsedTimer clock;
    double drawnMs = -1;
    PaintWatch watch([&] { drawnMs = clock.nsecsElapsed() / 1e6; });
    chart->viewport()->installEventFilter(&watch);
    auto applied = QObject::connect(&window.model(), &kyr::app::TuneModel::stateApplied, &window,
                                    [&](const kyr::session::SessionResult& outcome) {
                                        if (outcome.mapsDecoded && drawnMs < 0)
                                            watch.armed = true;
                                    });
    const Stall s = measure(
        window,
        [&] {
            clock.start();
            // Quick connect as the button's menu sets it, without touching the user's settings.
            if (quick)
                window.linkWorker().connectUnit(kyr::session::ConnectPace::Quick);
            else
                connect->click();
        },
        [&] {
            waitIdle(window);
            runUntil([&] { return drawnMs >= 0; }, 2000);
        });
    QObject::disconnect(applied);
    chart->viewport()->removeEventFilter(&watch);
    report(o, quick ? "Quick connect" : "Connect", s);
    stall.maxGapMs = std::max(stall.maxGapMs, s.maxGapMs);
    return drawnMs;
}

// Mouse tuning on: a press on TimingChart, a sweep across twenty points at a
// hand's pace, and the release.
void drag(kyr::app::maps::MapChartView* chart)
{
    auto send = [chart](QEvent::Type type, const QPointF& at, Qt::MouseButtons buttons) {
        QMouseEvent e(type, at, chart->viewport()->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
        QCoreApplication::sendEvent(chart->viewport(), &e);
    };
    send(QEvent::MouseButtonPress, chart->positionOf({10, 10}), Qt::LeftButton);
    for (int i = 1; i <= 20; ++i) {
        runFor(16);
        send(QEvent::MouseMove, chart->positionOf({10.0 + i, 10.0 + i}), Qt::LeftButton);
    }
    send(QEvent::MouseButtonRelease, chart->positionOf({30, 30}), Qt::NoButton);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const Options opt = parse(argc, argv);

    kyr::test::TempFolder dir("kyr-bench-gui");
    std::filesystem::create_directories(dir / "dev");
    kyr::test::SimProcess sim(dir.path(), {.port = 3});
    const auto env = kyr::link::PortEnv::withVariables(
        {{"KYR_PORT_DIR", kyr::test::SimProcess::portDirOf(dir.path()).string()}}, (dir / "dev").string());
    const QString logFile = QString::fromStdString((dir / "live.mlg").string());

    // Each Connect runs in a fresh window (a connected window's Connect is
    // disabled), after its start-up search has found the unit.
    auto makeWindow = [&] {
        auto w = std::make_unique<kyr::app::window::EFICom>(kyr::app::window::EFIComServices{
            nullptr, std::make_shared<kyr::bench::FixedSaveFile>(logFile),
            kyr::app::link::LinkSetup{kyr::link::posixDeviceFactory(), &kyr::link::systemClock(), env, {}},
            kyr::app::live::LivePoll::IntervalMs});
        w->resize(1200, 800);
        return w;
    };
    std::unique_ptr<kyr::app::window::EFICom> shown;
    Stall search, connects;
    std::vector<double> connectMs, quickMs;
    QCheckBox* analog = nullptr;
    kyr::app::maps::MapChartView* chart = nullptr;
    QTabWidget* tabs = nullptr;
    for (int i = 0; i < opt.connects + opt.quickConnects; ++i) {
        const bool quick = i >= opt.connects;
        shown.reset();
        shown = makeWindow();
        analog = shown->findChild<QCheckBox*>(QStringLiteral("AnalogEn"));
        auto* connect = qobject_cast<QAbstractButton*>(shown->control(QStringLiteral("spConnect")));
        chart = shown->findChild<kyr::app::maps::MapChartView*>(QStringLiteral("TimingChart"));
        tabs = shown->findChild<QTabWidget*>(QStringLiteral("PageControl1"));
        if (!analog || !connect || !chart || !tabs) {
            std::fprintf(stderr, "bench_gui_stall: the window lacks AnalogEn, spConnect or TimingChart\n");
            return 1;
        }
        analog->setChecked(false); // the poll waits for the live stretch below
        FirstFrame frame;
        shown->winId();
        shown->windowHandle()->installEventFilter(&frame);
        const Stall s = measure(*shown, [&] { shown->show(); }, [&] {
            runUntil([&] { return frame.framed; }, 5000);
            waitIdle(*shown);
        }, &frame.framed);
        shown->windowHandle()->removeEventFilter(&frame);
        report(opt, "start-up port search", s);
        search.maxGapMs = std::max(search.maxGapMs, s.maxGapMs);
        showPageOf(chart, tabs);
        if (!runUntil([&] { return connect->isEnabled(); }, 5000)) {
            std::fprintf(stderr, "bench_gui_stall: the search did not find kyr-sim\n");
            return 1;
        }
        (quick ? quickMs : connectMs).push_back(timedConnect(*shown, connect, chart, connects, opt, quick));
    }
    kyr::app::window::EFICom& window = *shown;
    if (!window.model().state().flags.UnitConnected) {
        std::fprintf(stderr, "bench_gui_stall: the window did not connect\n");
        return 1;
    }
    const Stall write = measure(window, [&] {
        if (auto* b = qobject_cast<QAbstractButton*>(window.control(QStringLiteral("spWrite"))))
            b->click();
    });
    report(opt, "Write to KYR", write);

    // The live poll with the Data Logger recording to an .mlg, its chart shown.
    auto* logOn = window.findChild<QAbstractButton*>(QStringLiteral("LogOn"));
    auto* logOff = window.findChild<QAbstractButton*>(QStringLiteral("LogOff"));
    auto* record = window.findChild<QCheckBox*>(QStringLiteral("RecordToFile"));
    if (!logOn || !logOff || !record) {
        std::fprintf(stderr, "bench_gui_stall: no Data Logger controls\n");
        return 1;
    }
    showPageOf(logOn, tabs);
    kyr::app::live::LivePoll& poll = window.livePoll();
    const quint64 recordsBefore = poll.records();
    const Stall live = measure(
        window,
        [&] {
            record->setChecked(true);
            logOn->click();
            analog->setChecked(true);
        },
        [&] { runFor(static_cast<int>(opt.liveSeconds * 1000)); });
    const quint64 logged = poll.records() - recordsBefore;
    analog->setChecked(false);
    logOff->click();
    waitIdle(window);
    report(opt, "live poll, logging to .mlg", live);

    window.model().setMouseTuning(true);
    showPageOf(chart, tabs);
    runFor(200);
    const Stall dragged = measure(window, [&] { drag(chart); });
    report(opt, "drag on TimingChart", dragged);

    const bool ok = window.model().state().flags.UnitConnected && logged > 0 &&
                    std::all_of(connectMs.begin(), connectMs.end(), [](double ms) { return ms >= 0; }) &&
                    std::all_of(quickMs.begin(), quickMs.end(), [](double ms) { return ms >= 0; });
    if (opt.rows) {
        kyr::bench::printRow("connect", connectMs);
        if (!quickMs.empty())
            kyr::bench::printRow("connect.quick", quickMs);
        kyr::bench::printRow("stall.search", {search.maxGapMs});
        kyr::bench::printRow("stall.connect", {connects.maxGapMs});
        kyr::bench::printRow("stall.write", {write.maxGapMs});
        kyr::bench::printRow("stall.live_log", {live.maxGapMs});
        kyr::bench::printRow("stall.drag", {dragged.maxGapMs});
    } else {
        std::sort(connectMs.begin(), connectMs.end());
        std::printf("Connect to the charts drawn: median %.0f ms, max %.0f ms over %zu runs\n",
                    connectMs[connectMs.size() / 2], connectMs.back(), connectMs.size());
        if (!quickMs.empty()) {
            std::sort(quickMs.begin(), quickMs.end());
            std::printf("Quick connect to the charts drawn: median %.0f ms, max %.0f ms over %zu runs\n",
                        quickMs[quickMs.size() / 2], quickMs.back(), quickMs.size());
        }
        std::printf("%llu records logged to %s; status: %s\n", static_cast<unsigned long long>(logged),
                    qPrintable(logFile), qPrintable(QString::fromStdString(window.model().state().status.message)));
    }
    if (!ok)
        std::fprintf(stderr, "bench_gui_stall: %s\n", logged ? "a Connect did not show the maps" : "no record logged");
    return ok ? 0 : 1;
}
