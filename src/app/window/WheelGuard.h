// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The mouse wheel changes a value control (slider, spin box, combo box) only
// while that control has the keyboard focus, taken by a click or Tab. Over a
// control without the focus the wheel goes to what holds it, so a page that
// scrolls scrolls on: turning the wheel to read the Setup page never sends
// the running engine a new lambda target or jet.

#include <QObject>

class QWidget;

namespace kyr::app::window {

class WheelGuard : public QObject {
    Q_OBJECT
public:
    explicit WheelGuard(QObject* parent = nullptr);

    /// Whether the wheel is kept from a widget now.
    static bool guards(const QWidget* widget);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace kyr::app::window
