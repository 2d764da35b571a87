// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The typed text of a setup field waits until its edit is finished: Enter,
// Tab, or the focus moved to another control of the window. Until then the
// field is tinted, carries the "pending" property and says so in its
// tooltip, and Escape puts back the value it had. Switching to another
// program, a menu or a message box finishes nothing: the field keeps what
// was typed, and its focus, for the user's return. A field disabled meanwhile
// (a sequence runs, Close all) drops it.

#include <QHash>
#include <QObject>
#include <QString>

class QLineEdit;
class QWidget;

namespace kyr::app::setup {

class PendingEdits : public QObject {
    Q_OBJECT
public:
    /// The property that is true while a field holds typing not yet taken.
    static constexpr const char* Property = "pending";
    /// The property that is true while a field's last entry stands refused.
    static constexpr const char* RefusedProperty = "refused";

    explicit PendingEdits(QObject* parent = nullptr);

    /// Follows a field's keys, focus and enabled state.
    void watch(QLineEdit* edit);
    /// Whether a widget is a field holding typing not yet taken: Escape is its own then.
    static bool holds(const QWidget* widget);
    /// Finishes the edit of a field that holds typing not yet taken, as Enter
    /// would: a command (a shortcut, a menu, a tool bar button) calls it before
    /// it acts, so that it never acts on the value from before the typing.
    /// False when the typing was refused: the command should not act then.
    static bool finishTyping(QWidget* widget);
    /// Marks whether the last finished entry of a field was refused.
    static void setRefused(QLineEdit* edit, bool refused);

    /// The field shows typing not yet taken; Escape would put back `taken`.
    void setPending(QLineEdit* edit, const QString& taken);
    /// The field shows a taken value again, with its settled tooltip.
    void setSettled(QLineEdit* edit);
    /// The tooltip of a field while it holds no typing: what it takes, or
    /// why an entry was refused.
    void setTip(QLineEdit* edit, const QString& tip);

signals:
    /// Enter, Tab or the field left: what it holds is to be judged.
    void finished(QLineEdit* edit);
    /// Escape, or the field was disabled: what was typed is to go.
    void dropped(QLineEdit* edit);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool keyPress(QLineEdit* edit, int key);

    QHash<QLineEdit*, QString> m_tips; // each field's settled tooltip
};

} // namespace kyr::app::setup
