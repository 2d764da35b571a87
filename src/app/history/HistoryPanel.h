// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The History panel under the pages: every table of the unit whose tune is
// shown, newest first, with when it was taken, what it was, its hash, what
// changed since the table before and the tuner's note; the logs recorded on
// a table are rows under it. The panel only shows what presentHistory gives
// and asks the window, through its signals, to open or compare a table or
// show a log; notes go through TuneHistory.

#include "app/history/HistoryView.h"

#include <QDockWidget>
#include <QString>

class QHBoxLayout;
class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace kyr::app::history {

class LogFoldersDialog;
class NoteDialog;
class TuneHistory;

class HistoryPanel : public QDockWidget {
    Q_OBJECT
public:
    /// The tree's columns.
    enum Column { TakenColumn, WhatColumn, HashColumn, ChangesColumn, NoteColumn, ColumnCount };

    explicit HistoryPanel(TuneHistory& history, QWidget* parent = nullptr);

    QTreeWidget* tree() const { return m_tree; }
    QLabel* heading() const { return m_heading; }
    const HistoryView& view() const { return m_view; }
    NoteDialog* noteDialog() const { return m_noteDialog; }
    LogFoldersDialog* logFoldersDialog() const { return m_foldersDialog; }

    /// Selects the table at row (0 = newest), or a log under it (from 0).
    void select(int row, int log = -1);
    /// The table selected, or the one whose log is selected; nullptr when none.
    const HistoryRow* selectedRow() const;
    /// The log selected; nullptr when a table or nothing is selected.
    const LogRow* selectedLog() const;

    // The buttons, as a click does.
    void openSelected();
    void compareWithShown();
    void compareWithBefore();
    void editNote();
    void openLog();
    void editLogFolders();

signals:
    /// "Open": the map file of a table, opened as Open file does.
    void openRequested(const QString& file);
    /// "Compare with the tune shown": the Compare panel, with the table named so.
    void compareRequested(const QString& file, const QString& name);
    /// "Compare with the entry before": the table shown, the one before compared with it.
    void compareBeforeRequested(const QString& file, const QString& before, const QString& name);
    /// A log recorded on a table, for the log viewer.
    void logRequested(const QString& log);

private:
    QTreeWidget* buildTree(QWidget* body);
    QHBoxLayout* buildButtons(QWidget* body);
    QPushButton* addButton(QWidget* body, const QString& name, const QString& caption,
                           void (HistoryPanel::*handler)());
    void rebuild();
    void showCommands();
    void activated(QTreeWidgetItem* item);

    TuneHistory& m_history;
    HistoryView m_view;
    QLabel* m_heading = nullptr;
    QTreeWidget* m_tree = nullptr;
    QPushButton* m_open = nullptr;
    QPushButton* m_compareShown = nullptr;
    QPushButton* m_compareBefore = nullptr;
    QPushButton* m_editNote = nullptr;
    QPushButton* m_openLog = nullptr;
    NoteDialog* m_noteDialog = nullptr;
    LogFoldersDialog* m_foldersDialog = nullptr;
};

} // namespace kyr::app::history
