// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The History panel's two small dialogs: the note of a table, and the
// folders the logs recorded on the tables are looked for in.

#include <QDialog>
#include <QString>
#include <QStringList>

class QLabel;
class QLineEdit;
class QPlainTextEdit;

namespace kyr::app::history {

/// "Edit note": one line of text for one table. Opened window-modal; OK
/// emits noteChosen with the text as typed.
class NoteDialog : public QDialog {
    Q_OBJECT
public:
    explicit NoteDialog(QWidget* parent = nullptr);

    /// Opens the dialog for a table: label names it, note is its note now.
    void edit(const QString& hash, const QString& label, const QString& note);
    QLineEdit* text() const { return m_text; }
    const QString& hash() const { return m_hash; }

signals:
    void noteChosen(const QString& hash, const QString& note);

private:
    QLabel* m_label;
    QLineEdit* m_text;
    QString m_hash;
};

/// "Log folders…": the folders, one a line; empty goes back to the Data
/// Logger's folder. OK emits foldersChosen.
class LogFoldersDialog : public QDialog {
    Q_OBJECT
public:
    explicit LogFoldersDialog(QWidget* parent = nullptr);

    void edit(const QStringList& folders);
    QPlainTextEdit* list() const { return m_list; }

signals:
    void foldersChosen(const QStringList& folders);

private:
    void addFolder();

    QPlainTextEdit* m_list;
};

} // namespace kyr::app::history
