// SPDX-License-Identifier: GPL-3.0-or-later
// kyr-tuner: the desktop program.

#include "app/demo/DemoScript.h"
#include "app/window/EFICom.h"
#include "app/window/RecentFiles.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("KYR"));
    QApplication::setApplicationName(QStringLiteral("KYR Tuner"));
    QApplication::setApplicationDisplayName(QStringLiteral("KYR Tuner"));
    QApplication::setDesktopFileName(QStringLiteral("kyr-tuner"));
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/%1x%1/kyr-tuner.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Tuning program for the KYR engine management unit."));
    parser.addHelpOption();
    kyr::app::demo::addDemoOptions(parser);
    parser.process(app);
    QString error;
    const auto demo = kyr::app::demo::demoOptions(parser, &error);
    if (!demo) {
        std::fprintf(stderr, "kyr-tuner: %s\n", qPrintable(error));
        return 2;
    }

    kyr::app::window::EFICom window;
    kyr::app::window::WindowMemory::restore(window);
    kyr::app::demo::runDemo(window, *demo); // before the first show, which --startup-time watches
    window.show();
    const int code = app.exec();
    kyr::app::window::WindowMemory::remember(window);
    return code;
}
