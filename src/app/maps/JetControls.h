// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main and idle jet trims of the "Fuel Maps" page: a vertical track bar
// (`MainJetAdjust`, `IdleJetAdjust`) with its edit beside it (`Edit28`,
// `Edit32`). The bar's position is 255 - value, with the largest value at
// the top; it stops at the position of value 253, the highest the unit can
// keep. The edits are setup fields: a SetupBinder takes every change of
// their text to the setup engine, which judges, sends and stores it.

#include "maps/Jets.h"

#include <QString>
#include <QWidget>

class QLineEdit;
class QSlider;

namespace kyr::app::maps {

class JetControls : public QWidget {
    Q_OBJECT
public:
    /// Both bars at position 127 (value 128), disabled.
    explicit JetControls(QWidget* parent = nullptr);

    QSlider* trackBar(kyr::maps::Jet jet) const;
    QLineEdit* edit(kyr::maps::Jet jet) const;
    /// The jet of a control name ("Edit28", "MainJetAdjust"), or nullopt.
    static std::optional<kyr::maps::Jet> jetOf(const QString& control);

    /// A letter key's move of a bar's position; the edit follows and reports.
    void move(const kyr::maps::JetMove& move);
    /// Puts a bar at a position without touching its edit (the engine already shows the value).
    void setPosition(kyr::maps::Jet jet, int position);

private:
    struct Trim {
        QSlider* bar;
        QLineEdit* edit;
    };
    Trim makeTrim(kyr::maps::Jet jet, const QString& caption, int column);

    Trim m_trims[2];
};

} // namespace kyr::app::maps
