// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/demo/DemoScript.h"

#include "app/window/EFICom.h"
#include "app/history/HistoryPanel.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCommandLineParser>
#include <QTabWidget>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <cstdio>
#include <filesystem>
#include <ctime>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace kyr::app::demo {

namespace {

const QString ScreenshotOpt = QStringLiteral("screenshot");
const QString AfterOpt = QStringLiteral("screenshot-after");
const QString ConnectOpt = QStringLiteral("connect");
const QString PageOpt = QStringLiteral("page");
const QString StartupOpt = QStringLiteral("startup-time");
const QString OpenOpt = QStringLiteral("open");
const QString CompareOpt = QStringLiteral("compare");
const QString HistoryOpt = QStringLiteral("history");

#ifdef _WIN32
// Milliseconds since Windows created this process; -1 when it cannot be read.
double processAgeMs()
{
    FILETIME created{}, exited{}, kernel{}, user{}, now{};
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user))
        return -1;
    GetSystemTimeAsFileTime(&now);
    const auto ticks = [](const FILETIME& t) { // 100 ns ticks
        return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
    };
    return (ticks(now) - ticks(created)) / 1e4;
}
#else
// Milliseconds since the kernel started this process (its start time in
// /proc/self/stat counts clock ticks since boot); -1 when it cannot be read.
double processAgeMs()
{
    std::ifstream in("/proc/self/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto close = stat.rfind(')'); // the command name may hold spaces
    if (close == std::string::npos)
        return -1;
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    for (int i = 3; i <= 22 && fields >> field; ++i) { // field 22: starttime
    }
    timespec now{};
    if (field.empty() || clock_gettime(CLOCK_BOOTTIME, &now) != 0)
        return -1;
    const double startMs = std::stod(field) * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
    return now.tv_sec * 1000.0 + now.tv_nsec / 1e6 - startMs;
}
#endif

// Prints "startup-time-ms N" once the window's first frame is out, then quits.
class FirstFrame : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Expose && static_cast<QWindow*>(watched)->isExposed() && !m_seen) {
            m_seen = true;
            // The expose paints the window before this queued call runs.
            QTimer::singleShot(0, this, [] {
                std::printf("startup-time-ms %.1f\n", processAgeMs());
                std::fflush(stdout);
                QApplication::exit(0);
            });
        }
        return false;
    }

private:
    bool m_seen = false;
};

void reportFirstFrame(window::EFICom& window)
{
    window.winId(); // makes the native window, so its expose can be watched
    window.windowHandle()->installEventFilter(new FirstFrame(&window));
}

void showPage(window::EFICom& window, const QString& caption)
{
    auto* tabs = window.findChild<QTabWidget*>(QStringLiteral("PageControl1"));
    for (int i = 0; tabs && !caption.isEmpty() && i < tabs->count(); ++i)
        if (tabs->tabText(i) == caption)
            tabs->setCurrentIndex(i);
}

// The search runs on the first show; Connect is enabled once it found a unit.
// The search's end shows the first page, so the chosen page is shown again
// with Connect (a slow search, as under Wine, ends after the first showing).
void pressConnectWhenFound(window::EFICom& window, const QString& caption)
{
    auto* poll = new QTimer(&window);
    QObject::connect(poll, &QTimer::timeout, &window, [&window, poll, caption] {
        auto* button = qobject_cast<QAbstractButton*>(window.control(QStringLiteral("spConnect")));
        if (button && button->isEnabled()) {
            poll->stop();
            button->click();
            showPage(window, caption);
        }
    });
    poll->start(100);
    QTimer::singleShot(10000, poll, &QTimer::stop);
}

// Compares as soon as a tune is shown (a file opened, a unit read).
void compareWhenShown(window::EFICom& window, const std::filesystem::path& file)
{
    auto* poll = new QTimer(&window);
    QObject::connect(poll, &QTimer::timeout, &window, [&window, poll, file] {
        if (!window.model().mapsShown())
            return;
        poll->stop();
        window.compareWithFile(file);
    });
    poll->start(100);
}

// Shows the History panel as soon as a tune is shown, with its newest table selected.
void historyWhenShown(window::EFICom& window)
{
    auto* poll = new QTimer(&window);
    QObject::connect(poll, &QTimer::timeout, &window, [&window, poll] {
        if (!window.model().mapsShown() || !window.linkWorker().idle())
            return;
        poll->stop();
        // As tall as the screen allows, for the pages and the panel under them.
        if (const QScreen* screen = window.screen())
            window.resize(window.width(), screen->availableGeometry().height());
        window.showHistory();
        window.historyPanel()->select(0);
    });
    poll->start(100);
}

} // namespace

void addDemoOptions(QCommandLineParser& parser)
{
    parser.addOption({ScreenshotOpt, QStringLiteral("Write a PNG of the window to FILE, then quit."),
                      QStringLiteral("FILE")});
    parser.addOption({AfterOpt, QStringLiteral("Milliseconds to wait before the screenshot (default 3000)."),
                      QStringLiteral("MS"), QStringLiteral("3000")});
    parser.addOption({ConnectOpt, QStringLiteral("Press Connect as soon as the port search has found a unit.")});
    parser.addOption({PageOpt, QStringLiteral("Show the page with this caption."), QStringLiteral("CAPTION")});
    QCommandLineOption startup(StartupOpt,
                               QStringLiteral("Print the milliseconds from process start to the first frame, then quit."));
    startup.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(startup);
    QCommandLineOption open(OpenOpt, QStringLiteral("Open this map file at start."), QStringLiteral("FILE"));
    open.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(open);
    QCommandLineOption compare(CompareOpt, QStringLiteral("Compare the tune shown with this map file."),
                               QStringLiteral("FILE"));
    compare.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(compare);
    QCommandLineOption history(HistoryOpt, QStringLiteral("Show the History panel once a tune is shown."));
    history.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(history);
}

std::optional<DemoOptions> demoOptions(const QCommandLineParser& parser, QString* error)
{
    DemoOptions o;
    o.connect = parser.isSet(ConnectOpt);
    o.page = parser.value(PageOpt);
    o.screenshot = parser.value(ScreenshotOpt);
    o.startupTime = parser.isSet(StartupOpt);
    o.open = parser.value(OpenOpt);
    o.compare = parser.value(CompareOpt);
    o.history = parser.isSet(HistoryOpt);
    bool ok = false;
    o.screenshotAfterMs = parser.value(AfterOpt).toInt(&ok);
    if (!ok || o.screenshotAfterMs < 0) {
        if (error)
            *error = QStringLiteral("--screenshot-after needs a number of milliseconds");
        return std::nullopt;
    }
    return o;
}

void runDemo(window::EFICom& window, const DemoOptions& options)
{
    // The start-up search shows the first page when it ends; the chosen page
    // is shown after it, and again just before a screenshot.
    if (options.startupTime)
        reportFirstFrame(window);
    const QString caption = options.page;
    QTimer::singleShot(1500, &window, [&window, caption] { showPage(window, caption); });
    if (options.connect)
        pressConnectWhenFound(window, caption);
    if (!options.open.isEmpty()) {
        const std::filesystem::path file(options.open.toStdString());
        QTimer::singleShot(500, &window, [&window, file] { window.openMapFile(file); });
    }
    if (!options.compare.isEmpty())
        compareWhenShown(window, std::filesystem::path(options.compare.toStdString()));
    if (options.history)
        historyWhenShown(window);
    if (options.screenshot.isEmpty())
        return;
    const QString file = options.screenshot;
    QTimer::singleShot(options.screenshotAfterMs, &window, [&window, file, caption] {
        showPage(window, caption);
        QApplication::processEvents();
        const bool saved = window.grab().save(file, "PNG");
        if (!saved)
            std::fprintf(stderr, "kyr-tuner: cannot write %s\n", qPrintable(file));
        QApplication::exit(saved ? 0 : 1);
    });
}

} // namespace kyr::app::demo
