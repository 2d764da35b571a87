#include "app/FileChooser.h"

#include <QFileDialog>

namespace kyr::app {

QString QtFileChooser::openFileName(const QString& caption, const QString& filter)
{
    return QFileDialog::getOpenFileName(m_parent, caption, QString(), filter);
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
