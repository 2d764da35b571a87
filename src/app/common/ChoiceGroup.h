// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A group of radio buttons that picks one map for a shared chart
// ("Low", "Cruise", "High"; "Fuel", "Timing"). The chosen caption is shown
// in bold, the others in normal type.

#include <QGroupBox>
#include <QString>

#include <vector>

class QButtonGroup;
class QRadioButton;

namespace kyr::app {

class ChoiceGroup : public QGroupBox {
    Q_OBJECT
public:
    struct Choice {
        QString object;  ///< "RadioCruise"
        QString caption; ///< "Cruise"
    };

    /// The buttons in order, `checked` chosen at start.
    ChoiceGroup(const QString& title, const std::vector<Choice>& choices, int checked, QWidget* parent = nullptr);

    /// Checks a button as the program's choice (a new table selects Cruise); emits nothing.
    void setChosen(int index);
    /// The checked button's index.
    int chosen() const;
    QRadioButton* button(int index) const;

signals:
    /// The user chose a button.
    void choiceMade(int index);

private:
    void showBold();

    QButtonGroup* m_group;
    std::vector<QRadioButton*> m_buttons;
};

} // namespace kyr::app
