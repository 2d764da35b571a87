#pragma once
// The prompt shown on Exit or Close all while the image differs from the
// unit: write the new setup to the unit first, leave without writing, or stay.

#include "app/dialogs/OwnedDialog.h"

namespace kyr::app {

class SetupChangedDialog : public OwnedDialog {
    Q_OBJECT
public:
    /// The dialog's results: Escape and the title bar give Cancel.
    enum Choice { Cancel = QDialog::Rejected, Yes = QDialog::Accepted, No = 2 };

    explicit SetupChangedDialog(QWidget* owner);

signals:
    /// The user answered; the owner is enabled again by now.
    void answered(kyr::app::SetupChangedDialog::Choice choice);
};

} // namespace kyr::app
