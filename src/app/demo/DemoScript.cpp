#include "app/demo/DemoScript.h"

#include "app/window/EFICom.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCommandLineParser>
#include <QTabWidget>
#include <QTimer>

#include <cstdio>

namespace kyr::app {

namespace {

const QString ScreenshotOpt = QStringLiteral("screenshot");
const QString AfterOpt = QStringLiteral("screenshot-after");
const QString ConnectOpt = QStringLiteral("connect");
const QString PageOpt = QStringLiteral("page");

void showPage(EFICom& window, const QString& caption)
{
    auto* tabs = window.findChild<QTabWidget*>(QStringLiteral("PageControl1"));
    for (int i = 0; tabs && !caption.isEmpty() && i < tabs->count(); ++i)
        if (tabs->tabText(i) == caption)
            tabs->setCurrentIndex(i);
}

// The search runs on the first show; Connect is enabled once it found a unit.
void pressConnectWhenFound(EFICom& window)
{
    auto* poll = new QTimer(&window);
    QObject::connect(poll, &QTimer::timeout, &window, [&window, poll] {
        auto* button = qobject_cast<QAbstractButton*>(window.control(QStringLiteral("spConnect")));
        if (button && button->isEnabled()) {
            poll->stop();
            button->click();
        }
    });
    poll->start(100);
    QTimer::singleShot(10000, poll, &QTimer::stop);
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
}

std::optional<DemoOptions> demoOptions(const QCommandLineParser& parser, QString* error)
{
    DemoOptions o;
    o.connect = parser.isSet(ConnectOpt);
    o.page = parser.value(PageOpt);
    o.screenshot = parser.value(ScreenshotOpt);
    bool ok = false;
    o.screenshotAfterMs = parser.value(AfterOpt).toInt(&ok);
    if (!ok || o.screenshotAfterMs < 0) {
        if (error)
            *error = QStringLiteral("--screenshot-after needs a number of milliseconds");
        return std::nullopt;
    }
    return o;
}

void runDemo(EFICom& window, const DemoOptions& options)
{
    // The start-up search shows the first page when it ends; the chosen page
    // is shown after it, and again just before a screenshot.
    const QString caption = options.page;
    QTimer::singleShot(1500, &window, [&window, caption] { showPage(window, caption); });
    if (options.connect)
        pressConnectWhenFound(window);
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

} // namespace kyr::app
