#pragma once
// Where the user picks map files. The window is given a chooser; the
// program's shows the file dialogs, tests pass one with fixed answers.

#include <QString>
#include <QStringList>

class QWidget;

namespace kyr::app {

/// The file dialogs' filter for map files.
inline const QString MapFileFilter = QStringLiteral("KYR map files (*.kyr)");

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

private:
    QWidget* m_parent;
};

} // namespace kyr::app
