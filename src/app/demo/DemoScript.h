// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the demo and the screenshots need of the running program: press
// Connect once the search found a unit, show a chosen page, grab the window.
// Kept out of the program's start-up so that main() only builds the window.

#include <QString>

#include <optional>

class QCommandLineParser;

namespace kyr::app::window {
class EFICom;
}

namespace kyr::app::demo {

struct DemoOptions {
    bool connect = false;          ///< press Connect as soon as it is enabled
    QString page;                  ///< caption of the page to show
    QString screenshot;            ///< PNG to write, then quit
    int screenshotAfterMs = 3000;
    QString open;                  ///< map file to open at start
    QString compare;               ///< map file to compare with once a tune is shown
    bool history = false;          ///< show the History panel once a tune is shown
    bool startupTime = false;      ///< print the time from process start to the first frame, then quit
};

/// Adds the demo options to the parser.
void addDemoOptions(QCommandLineParser& parser);
/// The options as given; an error text for a value that cannot be used.
std::optional<DemoOptions> demoOptions(const QCommandLineParser& parser, QString* error);
/// Starts the timers that carry the options out on the window.
void runDemo(window::EFICom& window, const DemoOptions& options);

} // namespace kyr::app::demo
