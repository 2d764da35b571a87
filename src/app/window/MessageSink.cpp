#include "app/window/MessageSink.h"

#include <QMessageBox>

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

} // namespace kyr::app
