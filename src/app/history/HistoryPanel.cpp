// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/history/HistoryPanel.h"

#include "app/history/HistoryDialogs.h"
#include "app/history/TuneHistory.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace kyr::app::history {

namespace {

constexpr int RowRole = Qt::UserRole;     // the table's index in the view
constexpr int LogRole = Qt::UserRole + 1; // the log's index under it, -1 on a table's item

QString filePath(const std::filesystem::path& p) { return QString::fromStdString(p.string()); }

} // namespace

HistoryPanel::HistoryPanel(TuneHistory& history, QWidget* parent)
    : QDockWidget(QStringLiteral("History"), parent), m_history(history)
{
    setObjectName(QStringLiteral("HistoryPanel"));
    setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable |
                QDockWidget::DockWidgetClosable);
    auto* body = new QWidget(this);
    auto* column = new QVBoxLayout(body);
    m_heading = new QLabel(body);
    m_heading->setObjectName(QStringLiteral("HistoryHeading"));
    m_heading->setWordWrap(true);
    column->addWidget(m_heading);
    column->addWidget(buildTree(body), 1);
    column->addLayout(buildButtons(body));
    setWidget(body);

    m_noteDialog = new NoteDialog(this);
    m_foldersDialog = new LogFoldersDialog(this);
    connect(m_noteDialog, &NoteDialog::noteChosen, this,
            [this](const QString& hash, const QString& note) { m_history.setNote(hash.toStdString(), note); });
    connect(m_foldersDialog, &LogFoldersDialog::foldersChosen, &m_history, &TuneHistory::setLogFolders);
    connect(m_tree, &QTreeWidget::currentItemChanged, this, &HistoryPanel::showCommands);
    connect(m_tree, &QTreeWidget::itemActivated, this, &HistoryPanel::activated);
    connect(&m_history, &TuneHistory::changed, this, &HistoryPanel::rebuild);
    connect(&m_history, &TuneHistory::shownChanged, this, &HistoryPanel::rebuild);
    // The log folders are searched only while the panel is open.
    connect(this, &QDockWidget::visibilityChanged, &m_history, &TuneHistory::setWantsLogs);
    rebuild();
}

QTreeWidget* HistoryPanel::buildTree(QWidget* body)
{
    m_tree = new QTreeWidget(body);
    m_tree->setObjectName(QStringLiteral("HistoryTree"));
    m_tree->setColumnCount(ColumnCount);
    m_tree->setHeaderLabels({QStringLiteral("Taken"), QStringLiteral("What"), QStringLiteral("Hash"),
                             QStringLiteral("Changes"), QStringLiteral("Note")});
    m_tree->setUniformRowHeights(false);
    m_tree->setWordWrap(true);
    m_tree->setAlternatingRowColors(true);
    m_tree->setSelectionMode(QAbstractItemView::SingleSelection);
    m_tree->header()->setSectionResizeMode(ChangesColumn, QHeaderView::Stretch);
    m_tree->header()->setStretchLastSection(false);
    m_tree->setColumnWidth(NoteColumn, 320);
    return m_tree;
}

QHBoxLayout* HistoryPanel::buildButtons(QWidget* body)
{
    auto* buttons = new QHBoxLayout();
    m_open = addButton(body, QStringLiteral("HistoryOpen"), QStringLiteral("Open"), &HistoryPanel::openSelected);
    m_compareShown = addButton(body, QStringLiteral("HistoryCompareShown"),
                               QStringLiteral("Compare with the tune shown"), &HistoryPanel::compareWithShown);
    m_compareBefore = addButton(body, QStringLiteral("HistoryCompareBefore"),
                                QStringLiteral("Compare with the entry before"), &HistoryPanel::compareWithBefore);
    m_editNote =
        addButton(body, QStringLiteral("HistoryEditNote"), QStringLiteral("Edit note"), &HistoryPanel::editNote);
    m_openLog = addButton(body, QStringLiteral("HistoryOpenLog"), QStringLiteral("Open log"), &HistoryPanel::openLog);
    for (QPushButton* b : {m_open, m_compareShown, m_compareBefore, m_editNote, m_openLog})
        buttons->addWidget(b);
    buttons->addStretch(1);
    buttons->addWidget(addButton(body, QStringLiteral("HistoryLogFolders"), QString::fromUtf8("Log folders\u2026"),
                                 &HistoryPanel::editLogFolders));
    return buttons;
}

QPushButton* HistoryPanel::addButton(QWidget* body, const QString& name, const QString& caption,
                                     void (HistoryPanel::*handler)())
{
    auto* b = new QPushButton(caption, body);
    b->setObjectName(name);
    connect(b, &QPushButton::clicked, this, handler);
    return b;
}

// The rows again; the table selected stays selected (by its hash).
void HistoryPanel::rebuild()
{
    const HistoryRow* was = selectedRow();
    const QString selectedHash = was ? was->hash : QString();
    if (!m_history.available())
        m_view = {QStringLiteral("No folder for backups is set: there is no history."), {}};
    else if (!m_history.tuneShown())
        m_view = {QStringLiteral("No tune is shown: connect to a KYR or open a file to see its unit's history."), {}};
    else
        m_view = presentHistory(m_history.unitHistory(), m_history.shownHash());
    m_heading->setText(m_view.heading);
    m_tree->clear();
    QTreeWidgetItem* reselect = nullptr;
    for (std::size_t i = 0; i < m_view.rows.size(); ++i) {
        const HistoryRow& row = m_view.rows[i];
        auto* item = new QTreeWidgetItem(m_tree, {row.taken, row.what, row.hash, row.summary, row.note});
        item->setData(0, RowRole, static_cast<int>(i));
        item->setData(0, LogRole, -1);
        item->setToolTip(ChangesColumn, row.summary);
        item->setToolTip(NoteColumn, row.note);
        if (row.shown) {
            QFont bold = item->font(0);
            bold.setBold(true);
            for (int c = 0; c < ColumnCount; ++c)
                item->setFont(c, bold);
            item->setToolTip(TakenColumn, QStringLiteral("The tune shown"));
        }
        for (std::size_t j = 0; j < row.logs.size(); ++j) {
            auto* log = new QTreeWidgetItem(item, {row.logs[j].name, QStringLiteral("log"), QString(),
                                                   row.logs[j].folder});
            log->setData(0, RowRole, static_cast<int>(i));
            log->setData(0, LogRole, static_cast<int>(j));
            log->setToolTip(TakenColumn, filePath(row.logs[j].path));
        }
        if (row.hash == selectedHash)
            reselect = item;
    }
    m_tree->expandAll();
    for (int c : {TakenColumn, WhatColumn, HashColumn})
        m_tree->resizeColumnToContents(c);
    if (reselect)
        m_tree->setCurrentItem(reselect);
    showCommands();
}

void HistoryPanel::showCommands()
{
    const RowCommands c = commandsFor(selectedRow(), selectedLog() != nullptr, m_history.tuneShown());
    m_open->setEnabled(c.open);
    m_compareShown->setEnabled(c.compareShown);
    m_compareBefore->setEnabled(c.compareBefore);
    m_editNote->setEnabled(c.editNote);
    m_openLog->setEnabled(c.openLog);
}

void HistoryPanel::select(int row, int log)
{
    QTreeWidgetItem* item = m_tree->topLevelItem(row);
    if (item && log >= 0)
        item = item->child(log);
    m_tree->setCurrentItem(item);
}

const HistoryRow* HistoryPanel::selectedRow() const
{
    const QTreeWidgetItem* item = m_tree ? m_tree->currentItem() : nullptr;
    if (!item)
        return nullptr;
    const int i = item->data(0, RowRole).toInt();
    return i >= 0 && i < static_cast<int>(m_view.rows.size()) ? &m_view.rows[i] : nullptr;
}

const LogRow* HistoryPanel::selectedLog() const
{
    const HistoryRow* row = selectedRow();
    const int j = row ? m_tree->currentItem()->data(0, LogRole).toInt() : -1;
    return row && j >= 0 && j < static_cast<int>(row->logs.size()) ? &row->logs[j] : nullptr;
}

// Enter or a double-click on a log shows it; a table opens only by "Open".
void HistoryPanel::activated(QTreeWidgetItem* item)
{
    if (item != m_tree->currentItem())
        m_tree->setCurrentItem(item);
    openLog();
}

void HistoryPanel::openSelected()
{
    if (const HistoryRow* row = selectedRow(); row && !selectedLog())
        emit openRequested(filePath(row->file));
}

void HistoryPanel::compareWithShown()
{
    if (const HistoryRow* row = selectedRow(); row && !selectedLog() && m_history.tuneShown())
        emit compareRequested(filePath(row->file), row->label);
}

void HistoryPanel::compareWithBefore()
{
    const HistoryRow* row = selectedRow();
    if (row && !selectedLog() && !row->previousFile.empty())
        emit compareBeforeRequested(filePath(row->file), filePath(row->previousFile), row->previousLabel);
}

void HistoryPanel::editNote()
{
    if (const HistoryRow* row = selectedRow(); row && !selectedLog())
        m_noteDialog->edit(row->hash, row->label, row->note);
}

void HistoryPanel::openLog()
{
    if (const LogRow* log = selectedLog())
        emit logRequested(filePath(log->path));
}

void HistoryPanel::editLogFolders() { m_foldersDialog->edit(m_history.logFolders()); }

} // namespace kyr::app::history
