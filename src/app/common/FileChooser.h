// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where the user picks map files. The window is given a chooser; the
// program's shows the file dialogs, tests pass one with fixed answers.

#include <QString>
#include <QStringList>

#include <memory>

class QFileDialog;
class QWidget;

namespace kyr::app {

/// The file dialogs' filter for map files.
inline const QString MapFileFilter = QStringLiteral("KYR map files (*.kyr)");

/// The suffix of a filter's first pattern, "kyr" for "KYR map files (*.kyr)";
/// empty when the filter names none.
QString suffixOfFilter(const QString& filter);

/// The folder the file dialogs open in: Documents on Windows, where users
/// keep their files; elsewhere empty, the working folder.
QString startFolder();

/// The folder the Data Logger recorded its last log in; empty before its
/// first recording.
QString dataLoggerFolder();
/// Remembers the folder of a log the Data Logger records.
void rememberDataLoggerFolder(const QString& logPath);

class FileChooser {
public:
    virtual ~FileChooser() = default;
    /// A file to open, or empty when the user cancelled.
    virtual QString openFileName(const QString& caption, const QString& filter) = 0;
    /// A file to create or replace, or empty when the user cancelled.
    virtual QString saveFileName(const QString& caption, const QString& filter) = 0;
    /// One of the backups (labels shown, newest first), as its index; -1 when cancelled.
    virtual int chooseBackup(const QString& caption, const QStringList& labels) = 0;
};

/// The toolkit's file dialogs.
class QtFileChooser final : public FileChooser {
public:
    explicit QtFileChooser(QWidget* parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget* parent) { m_parent = parent; }

    QString openFileName(const QString& caption, const QString& filter) override;
    QString saveFileName(const QString& caption, const QString& filter) override;
    int chooseBackup(const QString& caption, const QStringList& labels) override;

    /// The dialog saveFileName() shows: a name typed without a suffix gets
    /// the filter's own, so a log never becomes "run.kyr".
    static std::unique_ptr<QFileDialog> saveDialog(QWidget* parent, const QString& caption, const QString& filter);

private:
    QWidget* m_parent;
};

} // namespace kyr::app
