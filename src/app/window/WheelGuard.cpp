// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/window/WheelGuard.h"

#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QEvent>
#include <QScrollBar>
#include <QWidget>

namespace kyr::app::window {

namespace {

// The value control a widget belongs to: a spin box's line edit and a combo
// box's own parts pass the wheel to their control first.
QWidget* valueControl(QWidget* w)
{
    for (QWidget* p = w; p; p = p->parentWidget()) {
        if (qobject_cast<QScrollBar*>(p))
            return nullptr; // a scroll bar scrolls: that is what the wheel is for
        if (qobject_cast<QAbstractSlider*>(p) || qobject_cast<QAbstractSpinBox*>(p) || qobject_cast<QComboBox*>(p))
            return p;
        if (p->isWindow())
            break;
    }
    return nullptr;
}

} // namespace

WheelGuard::WheelGuard(QObject* parent) : QObject(parent) {}

bool WheelGuard::guards(const QWidget* widget)
{
    QWidget* control = valueControl(const_cast<QWidget*>(widget));
    return control && !control->hasFocus();
}

bool WheelGuard::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Polish) {
        // A wheel turned over a control must not hand it the focus either.
        auto* w = qobject_cast<QWidget*>(watched);
        if (w && valueControl(w) == w && (w->focusPolicy() & Qt::WheelFocus) == Qt::WheelFocus)
            w->setFocusPolicy(Qt::StrongFocus);
        return false;
    }
    if (event->type() != QEvent::Wheel || !watched->isWidgetType())
        return false;
    auto* w = static_cast<QWidget*>(watched);
    QWidget* control = valueControl(w);
    if (!control || control->hasFocus())
        return false;
    // Ignored and not delivered: the application offers the wheel to the
    // parents in turn, up to the scroll area that moves the page.
    event->ignore();
    return true;
}

} // namespace kyr::app::window
