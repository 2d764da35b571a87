// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The two read-out fields of a chart (value, then position) with their
// labels, named as maps::chartDef().readout names them ("Edit2", "Edit3"),
// each followed by its unit ("Edit2Unit": "°"), so that a row reads
// "Timing 28 ° at 3500 RPM".
// Hidden until the mouse first moves over the chart.

#include "maps/Readout.h"

#include <QWidget>

#include <array>

class QLabel;
class QLineEdit;

namespace kyr::app::maps {

class ChartReadout : public QWidget {
    Q_OBJECT
public:
    /// The read-outs of a chart; the labels are "<field>Label".
    explicit ChartReadout(const kyr::maps::ChartDef& def, QWidget* parent = nullptr);

    /// Shows both fields and their labels; a text that is nullopt leaves its field as it was.
    void showReadout(const kyr::maps::Readout& readout);
    /// Hides both fields and their labels.
    void hideAll();
    /// Whether the fields are shown.
    bool shown() const;
    /// The value's unit follows the map the chart edits (degrees or percent).
    void showValueUnitOf(table::MapId map);
    /// What the row says, with units: "28° at 3500 RPM".
    QString readoutText() const;

    QLineEdit* valueField() const { return m_value; }
    QLineEdit* positionField() const { return m_position; }

private:
    std::array<QWidget*, 6> parts() const;

    QLineEdit* m_value;
    QLineEdit* m_position;
    QLabel* m_valueLabel;
    QLabel* m_positionLabel;
    QLabel* m_valueUnit;
    QLabel* m_positionUnit;
};

} // namespace kyr::app::maps
