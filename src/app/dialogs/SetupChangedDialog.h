// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The prompt shown on Exit, Disconnect or Close all while the tune shown
// differs from what the unit keeps: write it to the unit first, leave without
// writing, or stay. Map points tuned live reach the unit's working maps only,
// which it forgets at the next power-off, so they are asked about too.

#include "app/dialogs/OwnedDialog.h"

class QLabel;

namespace kyr::app::dialogs {

class SetupChangedDialog : public OwnedDialog {
    Q_OBJECT
public:
    /// The dialog's results: Escape and the title bar give Cancel.
    enum Choice { Cancel = QDialog::Rejected, Yes = QDialog::Accepted, No = 2 };

    explicit SetupChangedDialog(QWidget* owner);

    /// Says what was changed: the setup, or only map points tuned live.
    void setMapsOnly(bool mapsOnly);

signals:
    /// The user answered; the owner is enabled again by now.
    void answered(kyr::app::dialogs::SetupChangedDialog::Choice choice);

private:
    QLabel* m_line1 = nullptr;
};

} // namespace kyr::app::dialogs
