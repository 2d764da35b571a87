// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/history/HistoryView.h"

#include <QStringList>

namespace kyr::app::history {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

QString plural(std::size_t n, const char* one, const char* many)
{
    return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
}

QString labelOf(const session::HistoryEntry& e)
{
    return QStringLiteral("the table of %1").arg(qs(e.newest().taken));
}

HistoryRow rowOf(const session::UnitHistory& history, const session::HistoryEntry& e, const QString& shownHash)
{
    HistoryRow row;
    QStringList taken, what;
    for (const session::HistoryTime& t : e.times) {
        taken << qs(t.taken);
        what << qs(t.what());
    }
    row.taken = taken.join(QLatin1Char('\n'));
    row.what = what.join(QLatin1Char('\n'));
    row.hash = qs(e.hash);
    row.summary = qs(e.summary);
    row.note = qs(e.note);
    row.label = labelOf(e);
    row.shown = !shownHash.isEmpty() && row.hash.compare(shownHash, Qt::CaseInsensitive) == 0;
    row.file = e.newest().path;
    if (const session::HistoryEntry* before = e.previousHash.empty() ? nullptr : history.find(e.previousHash)) {
        row.previousFile = before->newest().path;
        row.previousLabel = labelOf(*before);
    }
    for (const session::HistoryLog& log : e.logs)
        row.logs.push_back({qs(log.path.filename().string()), qs(log.path.parent_path().string()), log.path});
    return row;
}

} // namespace

HistoryView presentHistory(const session::UnitHistory& history, const std::string& shownHash)
{
    HistoryView view;
    const QString serial = qs(history.serial);
    if (history.entries.empty()) {
        view.heading = emptyHeading(serial);
        return view;
    }
    std::size_t notes = 0, logs = 0;
    for (const session::HistoryEntry& e : history.entries) {
        view.rows.push_back(rowOf(history, e, qs(shownHash)));
        notes += e.note.empty() ? 0 : 1;
        logs += e.logs.size();
    }
    view.heading = QStringLiteral("Unit %1: %2").arg(serial, plural(history.entries.size(), "table", "tables"));
    if (notes > 0)
        view.heading += QStringLiteral(", ") + plural(notes, "note", "notes");
    if (logs > 0)
        view.heading += QStringLiteral(", ") + plural(logs, "log", "logs");
    return view;
}

QString emptyHeading(const QString& serial)
{
    return QStringLiteral("Unit %1 has no history yet: its tables are kept from the next Connect, "
                          "Write or Save on.")
        .arg(serial);
}

QString shortHash(const std::string& hash) { return qs(hash.substr(0, 8)); }

QString hashText(const std::string& hash, bool inHistory)
{
    if (hash.empty())
        return {};
    return QStringLiteral("Table %1%2").arg(shortHash(hash), inHistory ? QString() : QStringLiteral(" *"));
}

QString hashTip(const std::string& hash, bool inHistory)
{
    if (hash.empty())
        return {};
    QString tip = QStringLiteral("Table hash %1").arg(qs(hash));
    if (!inHistory)
        tip += QStringLiteral("\n* This tune is not in the unit's history yet: write it to the KYR or save it "
                              "to keep it there.");
    return tip;
}

RowCommands commandsFor(const HistoryRow* row, bool log, bool tuneShown)
{
    RowCommands c;
    if (!row)
        return c;
    c.openLog = log;
    c.open = !log;
    c.compareShown = !log && tuneShown;
    c.compareBefore = !log && !row->previousFile.empty();
    c.editNote = !log;
    return c;
}

} // namespace kyr::app::history
