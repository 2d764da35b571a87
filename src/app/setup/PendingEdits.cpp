// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/setup/PendingEdits.h"

#include <QEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QVariant>

namespace kyr::app::setup {

namespace {

constexpr const char* OwnerProperty = "pendingEdits";
const QString PendingTint = QStringLiteral("QLineEdit { background-color: #fff0b0; }");

} // namespace

PendingEdits::PendingEdits(QObject* parent) : QObject(parent) {}

void PendingEdits::watch(QLineEdit* edit)
{
    m_tips.insert(edit, edit->toolTip());
    edit->setProperty(Property, false);
    edit->setProperty(OwnerProperty, QVariant::fromValue(static_cast<QObject*>(this)));
    edit->installEventFilter(this);
}

bool PendingEdits::holds(const QWidget* widget)
{
    return qobject_cast<const QLineEdit*>(widget) && widget->property(Property).toBool();
}

bool PendingEdits::finishTyping(QWidget* widget)
{
    if (!holds(widget))
        return true;
    auto* edit = static_cast<QLineEdit*>(widget);
    auto* owner = qobject_cast<PendingEdits*>(edit->property(OwnerProperty).value<QObject*>());
    if (!owner)
        return true;
    emit owner->finished(edit);
    return !holds(edit) && !edit->property(RefusedProperty).toBool();
}

void PendingEdits::setRefused(QLineEdit* edit, bool refused) { edit->setProperty(RefusedProperty, refused); }

void PendingEdits::setPending(QLineEdit* edit, const QString& taken)
{
    if (!holds(edit)) {
        edit->setProperty(Property, true);
        edit->setStyleSheet(PendingTint);
    }
    edit->setToolTip(taken.isEmpty() ? QStringLiteral("Not sent yet: Enter or Tab sends it, Esc clears it")
                                     : QStringLiteral("Not sent yet: Enter or Tab sends it, Esc puts back %1").arg(taken));
}

void PendingEdits::setSettled(QLineEdit* edit)
{
    if (!holds(edit))
        return;
    edit->setProperty(Property, false);
    edit->setStyleSheet(QString());
    edit->setToolTip(m_tips.value(edit));
}

void PendingEdits::setTip(QLineEdit* edit, const QString& tip)
{
    m_tips.insert(edit, tip);
    if (!holds(edit))
        edit->setToolTip(tip);
}

bool PendingEdits::eventFilter(QObject* watched, QEvent* event)
{
    auto* edit = qobject_cast<QLineEdit*>(watched);
    if (!edit)
        return QObject::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::KeyPress:
        return keyPress(edit, static_cast<QKeyEvent*>(event)->key());
    case QEvent::FocusOut: {
        // Leaving the window, or a menu over it, is no end of the edit.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (!edit->isEnabled())
            emit dropped(edit);
        else if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason
                 && reason != Qt::MenuBarFocusReason)
            emit finished(edit);
        break;
    }
    case QEvent::EnabledChange:
        if (!edit->isEnabled())
            emit dropped(edit);
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

bool PendingEdits::keyPress(QLineEdit* edit, int key)
{
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        emit finished(edit);
        return false; // the field still sees it (returnPressed)
    }
    if (key == Qt::Key_Escape && holds(edit)) {
        emit dropped(edit);
        return true;
    }
    return false;
}

} // namespace kyr::app::setup
