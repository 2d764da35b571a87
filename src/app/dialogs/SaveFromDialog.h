// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "Save From?" (TSaveFrm): where "Save settings" takes the image it stores,
// the connected unit or the program's own maps and setup.

#include "app/dialogs/OwnedDialog.h"

class QPushButton;
class QRadioButton;

namespace kyr::app {
class TuneModel;
}

namespace kyr::app::dialogs {

class SaveFromDialog : public OwnedDialog {
    Q_OBJECT
public:
    enum class Source { Kyr, Pc };

    SaveFromDialog(const TuneModel& model, QWidget* owner);

signals:
    /// OK with a source chosen; the dialog is closed by now.
    void saveChosen(kyr::app::dialogs::SaveFromDialog::Source source);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void okClick();

    const TuneModel& m_model;
    QRadioButton* m_fromKyr; // RadioButton1
    QRadioButton* m_fromPc;  // RadioButton2
    QPushButton* m_ok;       // Button1
};

} // namespace kyr::app::dialogs
