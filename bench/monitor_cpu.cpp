// SPDX-License-Identifier: GPL-3.0-or-later
// What the "Engine Monitor" page costs while the engine runs: the whole
// program against kyr-sim on a pseudo-terminal, the monitor page shown, and
// the process's CPU time (every thread, from getrusage) over a stretch of
// seconds. By default the real-time poll runs at its normal pace; --feed N
// switches the poll off and hands the page N records a second directly, a
// smoothly changing engine, to measure the painting at a faster rate; --fast
// ticks "Fast poll", so the unit is asked for each record as the last is in.
//
// --soak MINUTES measures memory instead: the resident size at rest after
// Connect, then MINUTES of records at the line's 175 a second handed to the
// page as fast as they go, with the Data Logger on and recording to an .mlg,
// the resident size reported at each quarter of an hour simulated, beside
// the bytes the logger's strip chart keeps for scroll-back (all of the
// recording), and again after malloc_trim() hands the allocator's free
// blocks back. --rows prints JSON lines for bench/run.
//
//   bench_monitor_cpu [--seconds S] [--feed N] [--fast] [--page CAPTION]
//   bench_monitor_cpu --soak 60 [--rows]

#include "Rows.h"
#include "SimProcess.h"
#include "app/live/LivePoll.h"
#include "app/live/LoggerPage.h"
#include "app/live/StripChart.h"
#include "app/window/EFICom.h"
#include "app/common/TuneModel.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>

#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

struct Options {
    double seconds = 20;
    int feed = 0; // records a second handed to the page directly; 0: the poll runs
    bool fast = false;
    int soakMinutes = 0; // simulated minutes of records fed for the memory figures
    bool rows = false;
    QString page = QStringLiteral("Engine Monitor");
};

Options parse(int argc, char** argv)
{
    Options o;
    for (int i = 1; i < argc; i += 2) {
        if (!std::strcmp(argv[i], "--fast") || !std::strcmp(argv[i], "--rows")) {
            (argv[i][2] == 'f' ? o.fast : o.rows) = true;
            --i;
            continue;
        }
        if (i + 1 >= argc)
            break;
        if (!std::strcmp(argv[i], "--seconds"))
            o.seconds = std::atof(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--soak"))
            o.soakMinutes = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--feed"))
            o.feed = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--page"))
            o.page = QString::fromLocal8Bit(argv[i + 1]);
    }
    return o;
}

void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool waitUntil(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < timeoutMs)
        runFor(20);
    return done();
}

double cpuSeconds(const rusage& r)
{
    return r.ru_utime.tv_sec + r.ru_stime.tv_sec + (r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

// An engine revving between idle and 6000 RPM, everything else following.
kyr::live::LiveValues fedRecord(double t)
{
    using kyr::live::LiveField;
    const double load = 0.5 - 0.5 * std::cos(t * 1.3);
    kyr::live::LiveValues v;
    v.set(LiveField::Rpm, 900 + 5100 * load);
    v.set(LiveField::Timing, 10 + 22 * load);
    v.set(LiveField::Vacuum, 30 + 70 * load);
    v.set(LiveField::Lambda, 0.45 + 0.4 * std::sin(t * 7.0));
    v.set(LiveField::Battery, 13.8 + 0.2 * std::sin(t * 0.7));
    v.set(LiveField::InjectorDuty, 5 + 60 * load);
    v.set(LiveField::WaterTemp, 80 + 10 * std::sin(t * 0.05));
    v.set(LiveField::AirTemp, 25 + 3 * load);
    v.set(LiveField::Throttle, 20 + 210 * load);
    v.set(LiveField::Pot, 50);
    return v;
}

double residentMb()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// The bytes the strip chart keeps: the rows as stored, and as allocated.
std::pair<double, double> chartMb(const kyr::live::LogData& log)
{
    double used = log.times.size() * sizeof(double), held = log.times.capacity() * sizeof(double);
    for (const auto& c : log.channels) {
        used += c.values.size() * sizeof(float);
        held += c.values.capacity() * sizeof(float);
    }
    return {used / (1024.0 * 1024.0), held / (1024.0 * 1024.0)};
}

// An hour (or minutes) of logging at the line's rate, simulated: the records
// go to liveUpdated in batches, the event loop running between them, the
// logger's clock following the records' own times.
int soak(kyr::app::window::EFICom& window, kyr::app::live::LivePoll& poll, const Options& opt, const QString& logFile)
{
    constexpr double RecordsPerSecond = 175;
    auto* logger = window.findChild<kyr::app::live::LoggerPage*>();
    auto* record = window.findChild<QCheckBox*>(QStringLiteral("RecordToFile"));
    if (!logger || !record) {
        std::fprintf(stderr, "bench_monitor_cpu: no Data Logger page\n");
        return 1;
    }
    runFor(1000);
    const double rest = residentMb();
    long fed = 0;
    logger->setClock([&fed] { return static_cast<qint64>(fed * 1000 / RecordsPerSecond); });
    record->setChecked(true);
    logger->OnClick();
    if (!logger->logging() || logger->recordingFile().isEmpty()) {
        std::fprintf(stderr, "bench_monitor_cpu: the Data Logger did not start recording\n");
        return 1;
    }
    std::vector<double> minutes{0}, rss{rest}, trimmed{rest}, chartUsed{0}, chartHeld{0};
    QElapsedTimer wall;
    wall.start();
    for (int quarter = 1; quarter * 15 <= std::max(opt.soakMinutes, 15); ++quarter) {
        const long until = static_cast<long>(std::min(quarter * 15, opt.soakMinutes) * 60 * RecordsPerSecond);
        while (fed < until) {
            for (int i = 0; i < 1000 && fed < until; ++i, ++fed)
                emit poll.liveUpdated(fedRecord(fed / RecordsPerSecond));
            QCoreApplication::processEvents();
        }
        runFor(100);
        const auto [used, held] = chartMb(logger->chart()->log());
        minutes.push_back(fed / RecordsPerSecond / 60.0);
        rss.push_back(residentMb());
        malloc_trim(0); // what the allocator keeps of freed blocks (the chart's outgrown buffers) goes back
        trimmed.push_back(residentMb());
        chartUsed.push_back(used);
        chartHeld.push_back(held);
        if (!opt.rows)
            std::printf("%5.1f min simulated (%ld records, %.1f s): RSS %.1f MB (%.1f MB after malloc_trim), "
                        "strip chart %.1f MB (%.1f MB allocated), log %.1f MB\n",
                        minutes.back(), fed, wall.nsecsElapsed() / 1e9, rss.back(), trimmed.back(), used, held,
                        std::filesystem::file_size(logFile.toStdString()) / (1024.0 * 1024.0));
    }
    logger->OffClick();
    if (opt.rows) {
        kyr::bench::printRow("mem.minutes", minutes, "min");
        kyr::bench::printRow("mem.rss", rss, "MB");
        kyr::bench::printRow("mem.rss_trimmed", trimmed, "MB");
        kyr::bench::printRow("mem.chart", chartUsed, "MB");
        kyr::bench::printRow("mem.chart_alloc", chartHeld, "MB");
        kyr::bench::printRow("mem.feed_seconds", {wall.nsecsElapsed() / 1e9}, "s");
    } else {
        std::printf("at rest after Connect: RSS %.1f MB\n", rest);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const Options opt = parse(argc, argv);

    kyr::test::TempFolder dir("kyr-bench-monitor");
    std::filesystem::create_directories(dir / "dev");
    kyr::test::SimProcess sim(dir.path(), {.port = 3});
    const QString logFile = QString::fromStdString((dir / "soak.mlg").string());
    const auto env = kyr::link::PortEnv::withVariables(
        {{"KYR_PORT_DIR", kyr::test::SimProcess::portDirOf(dir.path()).string()}}, (dir / "dev").string());

    const int pollMs = opt.feed > 0 || opt.soakMinutes > 0 ? 0 : kyr::app::live::LivePoll::IntervalMs;
    kyr::app::window::EFICom window(kyr::app::window::EFIComServices{
        nullptr, std::make_shared<kyr::bench::FixedSaveFile>(logFile), kyr::app::link::LinkSetup{kyr::link::posixDeviceFactory(), &kyr::link::systemClock(), env, {}},
        pollMs});
    window.resize(1280, 860);
    window.show();
    auto& link = window.linkWorker();
    auto& poll = window.livePoll();
    auto* connect = qobject_cast<QToolButton*>(window.control(QStringLiteral("spConnect")));
    if (!connect || !waitUntil([&] { return connect->isEnabled() && link.idle(); }, 20000)) {
        std::fprintf(stderr, "bench_monitor_cpu: no unit found\n");
        return 1;
    }
    connect->click();
    if (!waitUntil([&] { return window.model().state().flags.UnitConnected && link.idle(); }, 30000)) {
        std::fprintf(stderr, "bench_monitor_cpu: Connect did not finish\n");
        return 1;
    }
    auto* tabs = window.findChild<QTabWidget*>(QStringLiteral("PageControl1"));
    for (int i = 0; tabs && i < tabs->count(); ++i)
        if (tabs->tabText(i) == opt.page)
            tabs->setCurrentIndex(i);

    if (opt.soakMinutes > 0)
        return soak(window, poll, opt, logFile);

    QTimer feeder;
    QElapsedTimer feedClock;
    if (opt.feed > 0) {
        feeder.setTimerType(Qt::PreciseTimer);
        QObject::connect(&feeder, &QTimer::timeout, [&] {
            emit poll.liveUpdated(fedRecord(feedClock.nsecsElapsed() / 1e9));
        });
        feedClock.start();
        feeder.start(1000 / opt.feed);
    } else if (!waitUntil([&] { return poll.running(); }, 5000)) {
        std::fprintf(stderr, "bench_monitor_cpu: the real-time poll is not running\n");
        return 1;
    } else if (opt.fast) {
        if (auto* box = window.findChild<QCheckBox*>(QStringLiteral("FastPoll")))
            box->setChecked(true);
    }
    runFor(2000); // settle: first paints, caches

    int fed = 0;
    QObject::connect(&poll, &kyr::app::live::LivePoll::liveUpdated, [&fed] { ++fed; });
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    QElapsedTimer wall;
    wall.start();
    runFor(static_cast<int>(opt.seconds * 1000));
    getrusage(RUSAGE_SELF, &after);
    const double secs = wall.nsecsElapsed() / 1e9;
    const double cpu = cpuSeconds(after) - cpuSeconds(before);

    std::printf("platform %s, page \"%s\", %s\n", qPrintable(QGuiApplication::platformName()), qPrintable(opt.page),
                opt.feed > 0 ? "records fed directly (poll off)"
                : opt.fast   ? "fast poll against kyr-sim"
                             : "real-time poll against kyr-sim");
    std::printf("%.1f s: %d records (%.1f/s), CPU %.2f s = %.1f %% of a core, "
                "context switches %.0f/s voluntary, %.0f/s involuntary\n",
                secs, fed, fed / secs, cpu, 100.0 * cpu / secs, (after.ru_nvcsw - before.ru_nvcsw) / secs,
                (after.ru_nivcsw - before.ru_nivcsw) / secs);
    return fed > 0 ? 0 : 1;
}
