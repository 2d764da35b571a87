// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A dialog of the main window: created once at start, shown without
// blocking while its owner (the main window, or the dialog that opened it)
// is disabled. However it closes (its button, Escape, the title bar, hide())
// the owner is enabled again.

#include <QDialog>

namespace kyr::app::dialogs {

class OwnedDialog : public QDialog {
    Q_OBJECT
public:
    /// owner is disabled while this dialog shows; it is also the parent window.
    OwnedDialog(QWidget* owner, const QString& objectName, const QString& title);

    QWidget* owner() const { return m_owner; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QWidget* m_owner;
};

} // namespace kyr::app::dialogs
