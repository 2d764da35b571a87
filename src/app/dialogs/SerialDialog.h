// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The unit serial-number dialog (TSerialFrm), opened from the about box once
// its access code was accepted; the about box is disabled while it shows.
// Update checks all six fields first: a refused one sends nothing at all.

#include "app/common/AppContext.h"
#include "app/dialogs/OwnedDialog.h"

#include <array>

class QLineEdit;
class QPushButton;

namespace kyr::app::dialogs {

class SerialDialog : public OwnedDialog {
    Q_OBJECT
public:
    /// owner is the about box.
    SerialDialog(AppContext context, QWidget* owner);

    /// Update (Button1): the six WriteBytes, the setup copy and image, the
    /// status line. A refused field shows its message and sends nothing.
    void button1Click();

signals:
    /// Update sent the serial number; serial is its new text.
    void serialUpdated(const QString& serial);

protected:
    const AppContext& context() const { return m_context; }
    void showEvent(QShowEvent* event) override;

private:
    void fillFields();
    void fieldEdited(int field, const QString& text);
    void centreOnMainWindow();

    AppContext m_context;
    std::array<QLineEdit*, 6> m_fields{}; // Edit1, Edit6, Edit2..Edit5, in writing order
    QPushButton* m_update;                // Button1
};

} // namespace kyr::app::dialogs
