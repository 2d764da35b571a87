// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one way the program shows a message box. The window is given a sink;
// the program's is QtMessageSink, tests pass one that records.

#include <QString>
#include <QStringList>

class QWidget;

namespace kyr::app {

/// The answer to a question.
enum class Answer { Yes, No };

class MessageSink {
public:
    virtual ~MessageSink() = default;
    /// A notice the user acknowledges.
    virtual void information(const QString& title, const QString& text) = 0;
    /// A failure the user must see (file errors, refused values).
    virtual void warning(const QString& title, const QString& text) = 0;
    /// A Yes/No question; No is the default.
    virtual Answer question(const QString& title, const QString& text) = 0;
    /// A choice between named answers; the index of the one taken, or -1
    /// when the box was closed without one.
    virtual int choose(const QString& title, const QString& text, const QStringList& choices, int byDefault) = 0;
};

/// Message boxes over a parent window.
class QtMessageSink final : public MessageSink {
public:
    /// The boxes are centred on parent (may be null, and set later).
    explicit QtMessageSink(QWidget* parent = nullptr) : m_parent(parent) {}
    /// The window the boxes belong to.
    void setParent(QWidget* parent) { m_parent = parent; }

    void information(const QString& title, const QString& text) override;
    void warning(const QString& title, const QString& text) override;
    Answer question(const QString& title, const QString& text) override;
    int choose(const QString& title, const QString& text, const QStringList& choices, int byDefault) override;

private:
    QWidget* m_parent;
};

} // namespace kyr::app
