// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/window/Presenter.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QMainWindow>

namespace kyr::app::window {

namespace {

template <class T>
T* mustFind(QWidget& under, const char* name)
{
    auto* w = under.findChild<T*>(QString::fromLatin1(name));
    if (!w)
        qFatal("The window has no control named %s", name);
    return w;
}

} // namespace

Presenter::Presenter(QMainWindow& window, Controls controls, QWidget& pages)
    : m_window(window), m_controls(controls)
{
    using C = session::Commands;
    m_bound = {{&C::connect, controls.connect},
               {&C::disconnect, controls.disconnect},
               {&C::readTable, controls.readTable},
               {&C::writeTable, controls.writeTable},
               {&C::refreshPorts, controls.refreshPorts},
               {&C::choosePort, controls.portChooser},
               {&C::analogSignals, mustFind<QWidget>(pages, "AnalogEn")},
               {&C::analogSignals, mustFind<QWidget>(pages, "FastPoll")},
               {&C::realtimeTracking, mustFind<QWidget>(pages, "RT_Track")}};
    using L = session::LiveSwitches;
    m_switches = {{&L::analogSignals, mustFind<QAbstractButton>(pages, "AnalogEn")},
                  {&L::realtimeTracking, mustFind<QAbstractButton>(pages, "RT_Track")},
                  {&L::fastPoll, mustFind<QAbstractButton>(pages, "FastPoll")}};
}

QString Presenter::title(const session::TuneState& state, bool differsFromUnit)
{
    QString text = QStringLiteral("KYR Tuner");
    if (!state.filePath.empty())
        text += QStringLiteral(" - ") + QString::fromStdString(state.filePath.filename().string());
    if (differsFromUnit)
        text += QStringLiteral(" *");
    return text;
}

void Presenter::show(const session::TuneState& state, bool differsFromUnit)
{
    const QString lines[3] = {QString::fromStdString(state.status.message),
                              QString::fromStdString(state.status.unitLine),
                              QString::fromStdString(state.status.typeName)};
    for (int i = 0; i < 3; ++i)
        m_controls.panels[i]->setText(lines[i]);
    const session::Commands commands = state.commands();
    for (const Bound& b : m_bound)
        b.widget->setEnabled(commands.*b.command);
    for (const Switch& s : m_switches) {
        // The poll follows the state, not the click handler.
        const QSignalBlocker block(s.button);
        s.button->setChecked(state.live.*s.on);
    }
    showPorts(state);
    showLink(state);
    m_window.setWindowTitle(title(state, differsFromUnit));
}

QString Presenter::linkText(const session::TuneState& state)
{
    const session::LinkState& l = state.link;
    if (l.lost) {
        QString text = QStringLiteral("Link lost %1").arg(QString::fromStdString(l.lostAt));
        if (l.journaled > 0)
            text += QStringLiteral(" \u00b7 %1 edit%2 waiting").arg(l.journaled).arg(l.journaled == 1 ? "" : "s");
        return text;
    }
    if (l.choosing)
        return QStringLiteral("Link back: choose a table");
    return state.flags.UnitConnected ? QStringLiteral("Connected") : QStringLiteral("Not connected");
}

// In colour: red while lost, amber while the user chooses, green when live.
void Presenter::showLink(const session::TuneState& state)
{
    QLabel* label = m_controls.linkIndicator;
    if (!label)
        return;
    const session::LinkState& l = state.link;
    const char* style = "color: palette(mid); padding: 0 6px;";
    if (l.lost)
        style = "background: #c62828; color: white; font-weight: bold; padding: 0 6px;";
    else if (l.choosing)
        style = "background: #f9a825; color: black; font-weight: bold; padding: 0 6px;";
    else if (state.flags.UnitConnected)
        style = "color: #2e7d32; font-weight: bold; padding: 0 6px;";
    label->setText(linkText(state));
    label->setStyleSheet(QString::fromLatin1(style));
}

void Presenter::showPorts(const session::TuneState& state)
{
    QComboBox* combo = m_controls.portChooser;
    QStringList items;
    for (int n : state.ports)
        items << QStringLiteral("Com%1").arg(n);
    const QSignalBlocker block(combo);
    QStringList shown;
    for (int i = 0; i < combo->count(); ++i)
        shown << combo->itemText(i);
    if (shown != items) {
        combo->clear();
        combo->addItems(items);
    }
    combo->setCurrentIndex(combo->findText(QString::fromStdString(state.port.chooserText())));
}

} // namespace kyr::app::window
