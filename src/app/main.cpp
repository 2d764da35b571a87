// kyr-tuner: the desktop program.

#include "app/EFICom.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QAbstractButton>
#include <QTabWidget>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("KYR Tuner"));
    QApplication::setApplicationDisplayName(QStringLiteral("KYR Tuner"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Tuning program for the KYR engine management unit."));
    parser.addHelpOption();
    const QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                        QStringLiteral("Write a PNG of the window to FILE, then quit."),
                                        QStringLiteral("FILE"));
    const QCommandLineOption after(QStringLiteral("screenshot-after"),
                                   QStringLiteral("Milliseconds to wait before the screenshot (default 3000)."),
                                   QStringLiteral("MS"), QStringLiteral("3000"));
    const QCommandLineOption connect(QStringLiteral("connect"),
                                     QStringLiteral("Press Connect as soon as the port search has found a unit."));
    const QCommandLineOption page(QStringLiteral("page"), QStringLiteral("Show the page with this caption."),
                                  QStringLiteral("CAPTION"));
    parser.addOption(screenshot);
    parser.addOption(after);
    parser.addOption(connect);
    parser.addOption(page);
    parser.process(app);

    kyr::app::EFICom window;
    window.setWindowTitle(QStringLiteral("KYR Tuner"));
    window.show();

    // The start-up search shows the first page when it ends; the chosen page
    // is shown after it, and again just before a screenshot.
    const QString pageCaption = parser.value(page);
    auto showPage = [&window, pageCaption] {
        auto* tabs = window.findChild<QTabWidget*>(QStringLiteral("PageControl1"));
        for (int i = 0; tabs && !pageCaption.isEmpty() && i < tabs->count(); ++i)
            if (tabs->tabText(i) == pageCaption)
                tabs->setCurrentIndex(i);
    };
    QTimer::singleShot(1500, &window, showPage);
    if (parser.isSet(connect)) {
        // The search runs on the first show; Connect is enabled once it found a unit.
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

    if (parser.isSet(screenshot)) {
        bool ok = false;
        const int delay = parser.value(after).toInt(&ok);
        if (!ok || delay < 0) {
            std::fprintf(stderr, "kyr-tuner: --screenshot-after needs a number of milliseconds\n");
            return 2;
        }
        const QString file = parser.value(screenshot);
        QTimer::singleShot(delay, &window, [&window, file, showPage] {
            showPage();
            QApplication::processEvents();
            const bool saved = window.grab().save(file, "PNG");
            if (!saved)
                std::fprintf(stderr, "kyr-tuner: cannot write %s\n", qPrintable(file));
            QApplication::exit(saved ? 0 : 1);
        });
    }
    return app.exec();
}
