// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/dialogs/OwnedDialog.h"

#include <QHideEvent>
#include <QShowEvent>

namespace kyr::app::dialogs {

OwnedDialog::OwnedDialog(QWidget* owner, const QString& objectName, const QString& title)
    : QDialog(owner), m_owner(owner)
{
    setObjectName(objectName);
    setWindowTitle(title);
    setModal(false);
}

// Only the program's own show and hide count: the window system hides and
// shows a dialog spontaneously when its owner is minimised and restored.
void OwnedDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (event->spontaneous() || !m_owner)
        return;
    m_owner->setEnabled(false);
    // Disabling a window disables its child windows too; this one must stay usable.
    setEnabled(true);
}

// Escape and the title bar reject the dialog, its buttons accept or reject
// it: every way out ends in hide().
void OwnedDialog::hideEvent(QHideEvent* event)
{
    QDialog::hideEvent(event);
    if (!event->spontaneous() && m_owner)
        m_owner->setEnabled(true);
}

} // namespace kyr::app::dialogs
