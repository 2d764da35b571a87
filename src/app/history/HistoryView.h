// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one place where a unit's tune history becomes what the History panel
// and the status bar show: a row per table with its times, what it was, its
// hash, what changed and the note, the logs recorded on it as rows under
// it, and the short hash of the tune shown. Plain values, no widgets.

#include "session/History.h"

#include <QString>

#include <filesystem>
#include <string>
#include <vector>

namespace kyr::app::history {

/// A log recorded on a table.
struct LogRow {
    QString name;   ///< "run1.mlg"
    QString folder; ///< the folder it lies in
    std::filesystem::path path;
};

/// One table of the history.
struct HistoryRow {
    QString taken;   ///< every time it was taken, newest first, one a line
    QString what;    ///< what each of those times was ("written", "saved as base.kyr"), one a line
    QString hash;    ///< the 16 hex digits
    QString summary; ///< what changed since the table before
    QString note;
    QString label;   ///< how the Compare panel names it: "the table of 2026-12-08 14:03:05"
    bool shown = false; ///< the tune shown is this table
    std::filesystem::path file;         ///< the map file holding it (its newest time)
    std::filesystem::path previousFile; ///< the table before; empty for the oldest
    QString previousLabel;
    std::vector<LogRow> logs;
};

/// What the panel shows of one unit.
struct HistoryView {
    QString heading; ///< "Unit 12345: 3 tables, 2 notes" or why there is nothing
    std::vector<HistoryRow> rows; ///< newest first
};

/// The rows of a unit's history; shownHash (any case, may be empty) marks
/// the row of the tune shown.
HistoryView presentHistory(const session::UnitHistory& history, const std::string& shownHash);

/// The heading when a unit has no history yet.
QString emptyHeading(const QString& serial);

/// The first 8 digits of a hash.
QString shortHash(const std::string& hash);

/// The status bar's text for the tune shown: "Table 1a2b3c4d", with " *" when
/// the history has no entry for it yet; empty when no tune is shown.
QString hashText(const std::string& hash, bool inHistory);
/// Its tip: the whole hash and what the mark means.
QString hashTip(const std::string& hash, bool inHistory);

/// What the panel's buttons may do for the row selected.
struct RowCommands {
    bool open = false;          ///< a table is selected
    bool compareShown = false;  ///< a table is selected and a tune is shown
    bool compareBefore = false; ///< the table selected has one before it
    bool editNote = false;
    bool openLog = false;       ///< a log is selected
};
/// row is the selected table (nullptr when none), log whether a log of it is selected.
RowCommands commandsFor(const HistoryRow* row, bool log, bool tuneShown);

} // namespace kyr::app::history
