// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/history/HistoryDialogs.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace kyr::app::history {

namespace {

// OK and Cancel under the dialog's body.
QDialogButtonBox* okCancel(QDialog* dialog)
{
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    QObject::connect(box, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(box, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return box;
}

} // namespace

NoteDialog::NoteDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("NoteDialog"));
    setWindowTitle(QStringLiteral("Edit note"));
    setWindowModality(Qt::WindowModal);
    auto* column = new QVBoxLayout(this);
    m_label = new QLabel(this);
    m_label->setWordWrap(true);
    m_text = new QLineEdit(this);
    m_text->setObjectName(QStringLiteral("NoteText"));
    m_text->setMinimumWidth(420);
    m_text->setPlaceholderText(QStringLiteral("What this tune is, how it ran"));
    column->addWidget(m_label);
    column->addWidget(m_text);
    column->addWidget(okCancel(this));
    connect(this, &QDialog::accepted, this, [this] { emit noteChosen(m_hash, m_text->text()); });
}

void NoteDialog::edit(const QString& hash, const QString& label, const QString& note)
{
    m_hash = hash;
    m_label->setText(QStringLiteral("Note on %1 (hash %2). An empty note removes it.").arg(label, hash));
    m_text->setText(note);
    m_text->selectAll();
    open();
    m_text->setFocus();
}

LogFoldersDialog::LogFoldersDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("LogFoldersDialog"));
    setWindowTitle(QStringLiteral("Log folders"));
    setWindowModality(Qt::WindowModal);
    auto* column = new QVBoxLayout(this);
    auto* label = new QLabel(QStringLiteral("The folders (and their subfolders) where the logs recorded on each "
                                            "table are looked for, one a line. Empty: the Data Logger's folder."),
                             this);
    label->setWordWrap(true);
    m_list = new QPlainTextEdit(this);
    m_list->setObjectName(QStringLiteral("LogFolderList"));
    auto* add = new QPushButton(QString::fromUtf8("Add folder\u2026"), this);
    add->setObjectName(QStringLiteral("AddLogFolder"));
    connect(add, &QPushButton::clicked, this, &LogFoldersDialog::addFolder);
    column->addWidget(label);
    column->addWidget(m_list, 1);
    column->addWidget(add, 0, Qt::AlignLeft);
    column->addWidget(okCancel(this));
    resize(520, 260);
    connect(this, &QDialog::accepted, this, [this] {
        emit foldersChosen(m_list->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts));
    });
}

void LogFoldersDialog::edit(const QStringList& folders)
{
    m_list->setPlainText(folders.join(QLatin1Char('\n')));
    open();
}

void LogFoldersDialog::addFolder()
{
    const QString folder = QFileDialog::getExistingDirectory(this, QStringLiteral("Log folder"));
    if (!folder.isEmpty())
        m_list->appendPlainText(folder);
}

} // namespace kyr::app::history
