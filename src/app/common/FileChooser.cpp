// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/common/FileChooser.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>

namespace kyr::app {

QString startFolder()
{
#ifdef Q_OS_WIN
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
#else
    return {};
#endif
}

namespace {

const QString LoggerFolderKey = QStringLiteral("DataLogger/folder");

} // namespace

QString dataLoggerFolder() { return QSettings().value(LoggerFolderKey).toString(); }

void rememberDataLoggerFolder(const QString& logPath)
{
    QSettings().setValue(LoggerFolderKey, QFileInfo(logPath).absolutePath());
}

QString QtFileChooser::openFileName(const QString& caption, const QString& filter)
{
    return QFileDialog::getOpenFileName(m_parent, caption, startFolder(), filter);
}

int QtFileChooser::chooseBackup(const QString& caption, const QStringList& labels)
{
    bool ok = false;
    const QString chosen = QInputDialog::getItem(m_parent, caption, QStringLiteral("Backups, newest first:"), labels,
                                                 0, false, &ok);
    return ok ? static_cast<int>(labels.indexOf(chosen)) : -1;
}

QString suffixOfFilter(const QString& filter)
{
    static const QRegularExpression pattern(QStringLiteral("\\*\\.(\\w+)"));
    const QRegularExpressionMatch m = pattern.match(filter);
    return m.hasMatch() ? m.captured(1) : QString();
}

std::unique_ptr<QFileDialog> QtFileChooser::saveDialog(QWidget* parent, const QString& caption, const QString& filter)
{
    auto dialog = std::make_unique<QFileDialog>(parent, caption, startFolder(), filter);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setDefaultSuffix(suffixOfFilter(filter));
    // A name typed without a suffix takes the one of the filter chosen.
    QFileDialog* d = dialog.get();
    QObject::connect(d, &QFileDialog::filterSelected, d, [d](const QString& chosen) {
        d->setDefaultSuffix(suffixOfFilter(chosen));
    });
    return dialog;
}

QString QtFileChooser::saveFileName(const QString& caption, const QString& filter)
{
    const auto dialog = saveDialog(m_parent, caption, filter);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty())
        return {};
    return dialog->selectedFiles().first();
}

} // namespace kyr::app
