// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Which control of the form shows each thing the core names by its meaning:
// the Setup page's fields, switches, read-only texts and buttons, the jet
// track bars and the serial-number dialog's fields. The core never sees
// these names; tests and the accessibility bus find the controls by them.
// How the charts are drawn (object names, read-out fields, series, colours)
// is kept here as well.

#include "setup/Switches.h"
#include "table/Layout.h"
#include "tools/SerialNumber.h"

#include <QString>
#include <QStringList>

#include <optional>

class QWidget;

namespace kyr::app {

/// The control of a setup field ("Edit53" for LaunchRpm); empty for a
/// parameter that no field of the Setup page edits.
QString controlName(kyr::table::SetupParam field);
QString controlName(kyr::setup::SwitchId id);
QString controlName(kyr::setup::SetupText text);
QString controlName(kyr::setup::SetupButton button);
QString controlName(const kyr::setup::SetupControl& control);
/// The track bar beside a jet's field ("MainJetAdjust"); empty for other parameters.
QString jetTrackBarName(kyr::table::SetupParam jet);
/// The edit of a field of the serial-number dialog ("Edit1" for the first letter).
QString controlName(kyr::tools::SerialField field);

/// How the app shows a chart: its object name, its read-out fields and the
/// places of its bars among its series.
struct ChartLook {
    kyr::table::ChartId chart;
    const char* object;        ///< "TimingChart"
    const char* valueField;    ///< "Edit2"
    const char* positionField; ///< "Edit3"
    int cursorSeries;          ///< the key-cursor bar
    int liveSeries;            ///< the live bar
    int lowVacSeries;          ///< the low throttle vacuum marker, -1 for none
    int highVacSeries;         ///< the high throttle vacuum marker, -1 for none
};
/// How a map's curve is drawn on its chart.
struct CurveLook {
    kyr::table::MapId map;
    int series;         ///< its place among the chart's series
    const char* colour; ///< a colour name: "red", "green", "navy", "blue"
};
const ChartLook& chartLook(kyr::table::ChartId chart);
const CurveLook& curveLook(kyr::table::MapId map);
/// The chart of an object name ("VacuumChart"), or nullopt.
std::optional<kyr::table::ChartId> chartOfObject(const QString& object);

/// The setup field a control edits, or nullopt.
std::optional<kyr::table::SetupParam> fieldOfControl(const QString& name);
/// The switch a control is, or nullopt.
std::optional<kyr::setup::SwitchId> switchOfControl(const QString& name);

/// What is wrong with the table itself: an id with no control or with more
/// than one, a name given to two controls of one form. Empty when sound.
QStringList controlTableFaults();
/// The names of the main window's controls in the table that `form` lacks.
QStringList missingControls(const QWidget& form);
/// Stops the program when the table is unsound or `form` lacks one of its
/// controls: a misspelt name must never leave a value unshown.
void verifyControlNames(const QWidget& form);

} // namespace kyr::app
