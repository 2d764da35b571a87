// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/common/MessageSink.h"

#include <QMessageBox>
#include <QPushButton>

namespace kyr::app {

void QtMessageSink::information(const QString& title, const QString& text)
{
    QMessageBox::information(m_parent, title, text);
}

void QtMessageSink::warning(const QString& title, const QString& text)
{
    QMessageBox::warning(m_parent, title, text);
}

Answer QtMessageSink::question(const QString& title, const QString& text)
{
    const auto button = QMessageBox::question(m_parent, title, text, QMessageBox::Yes | QMessageBox::No,
                                              QMessageBox::No);
    return button == QMessageBox::Yes ? Answer::Yes : Answer::No;
}

int QtMessageSink::choose(const QString& title, const QString& text, const QStringList& choices, int byDefault)
{
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::NoButton, m_parent);
    QList<QAbstractButton*> buttons;
    for (const QString& c : choices)
        buttons << box.addButton(c, QMessageBox::AcceptRole);
    if (byDefault >= 0 && byDefault < buttons.size())
        box.setDefaultButton(qobject_cast<QPushButton*>(buttons[byDefault]));
    box.exec();
    return static_cast<int>(buttons.indexOf(box.clickedButton()));
}

} // namespace kyr::app
