// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one place where the tune session's state becomes widget states: which
// commands are enabled, the live switches, the status line, the port chooser
// and the window title. Every control is bound once, when the window is
// built; a binding that finds no control stops the program there, so a
// misspelt name cannot be skipped in silence.

#include "session/TuneState.h"

#include <QString>

#include <vector>

class QAbstractButton;
class QComboBox;
class QLabel;
class QMainWindow;
class QWidget;

namespace kyr::app::window {

class Presenter {
public:
    /// The window's own controls, by role.
    struct Controls {
        QWidget* connect = nullptr;
        QWidget* disconnect = nullptr;
        QWidget* readTable = nullptr;
        QWidget* writeTable = nullptr;
        QWidget* refreshPorts = nullptr;
        QComboBox* portChooser = nullptr;
        QLabel* panels[3] = {};
        QLabel* linkIndicator = nullptr;
    };
    /// Binds the window's controls and finds the page controls under pages.
    Presenter(QMainWindow& window, Controls controls, QWidget& pages);

    /// Shows the state. differsFromUnit marks the title.
    void show(const session::TuneState& state, bool differsFromUnit);
    /// "KYR Tuner - demo.kyr *".
    static QString title(const session::TuneState& state, bool differsFromUnit);
    /// The connection indicator: "Connected", "Link lost 14:03:12", ...
    static QString linkText(const session::TuneState& state);

private:
    struct Bound {
        bool session::Commands::*command;
        QWidget* widget;
    };
    struct Switch {
        bool session::LiveSwitches::*on;
        QAbstractButton* button;
    };
    void showPorts(const session::TuneState& state);
    void showLink(const session::TuneState& state);

    QMainWindow& m_window;
    Controls m_controls;
    std::vector<Bound> m_bound;
    std::vector<Switch> m_switches;
};

} // namespace kyr::app::window
