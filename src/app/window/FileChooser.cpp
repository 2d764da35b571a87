#include "app/window/FileChooser.h"

#include <QFileDialog>
#include <QInputDialog>

namespace kyr::app {

QString QtFileChooser::openFileName(const QString& caption, const QString& filter)
{
    return QFileDialog::getOpenFileName(m_parent, caption, QString(), filter);
}

int QtFileChooser::chooseBackup(const QString& caption, const QStringList& labels)
{
    bool ok = false;
    const QString chosen = QInputDialog::getItem(m_parent, caption, QStringLiteral("Backups, newest first:"), labels,
                                                 0, false, &ok);
    return ok ? static_cast<int>(labels.indexOf(chosen)) : -1;
}

QString QtFileChooser::saveFileName(const QString& caption, const QString& filter)
{
    QFileDialog dialog(m_parent, caption, QString(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("kyr"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first();
}

} // namespace kyr::app
