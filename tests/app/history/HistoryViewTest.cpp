// SPDX-License-Identifier: GPL-3.0-or-later
// What the History panel and the status bar make of a unit's history: one
// row a table with all its times, the row of the tune shown, the table
// before, the logs, and what each button may do.

#include "app/history/HistoryView.h"

#include <gtest/gtest.h>

using namespace kyr;
using namespace kyr::app::history;
using session::HistoryKind;

namespace {

session::HistoryEntry entry(const std::string& hash, std::vector<session::HistoryTime> times,
                            const std::string& previous, const std::string& note = {})
{
    session::HistoryEntry e;
    e.hash = hash;
    e.times = std::move(times);
    e.previousHash = previous;
    e.summary = previous.empty() ? "First in the history" : "Timing Map point 30 +2°";
    e.note = note;
    return e;
}

// Three tables, the newest taken twice, the middle one with a note and a log.
session::UnitHistory threeTables()
{
    session::UnitHistory h;
    h.serial = "AB-010203-04";
    h.entries = {
        entry("cccccccccccccccc",
              {{"2026-12-10 15:02:00", HistoryKind::Read, "/b/AB/2026-12-10_15-02-00.kyr", {}},
               {"2026-12-10 15:01:00", HistoryKind::Written, "/b/AB/2026-12-10_15-01-00_written.kyr", {}}},
              "bbbbbbbbbbbbbbbb"),
        entry("bbbbbbbbbbbbbbbb",
              {{"2026-12-10 14:00:00", HistoryKind::Saved, "/b/AB/2026-12-10_14-00-00_saved.kyr", "/home/t/base.kyr"}},
              "aaaaaaaaaaaaaaaa", "ran well"),
        entry("aaaaaaaaaaaaaaaa", {{"2026-12-09 09:00:00", HistoryKind::Read, "/b/AB/2026-12-09_09-00-00.kyr", {}}},
              ""),
    };
    h.entries[1].logs = {{"/logs/track/run1.mlg"}};
    return h;
}

} // namespace

TEST(HistoryView, EachTableIsOneRowWithAllItsTimesAndTheOneBeforeIt)
{
    const HistoryView view = presentHistory(threeTables(), "BBBBBBBBBBBBBBBB");
    EXPECT_EQ(view.heading, QStringLiteral("Unit AB-010203-04: 3 tables, 1 note, 1 log"));
    ASSERT_EQ(view.rows.size(), 3u);

    const HistoryRow& newest = view.rows[0];
    EXPECT_EQ(newest.taken, QStringLiteral("2026-12-10 15:02:00\n2026-12-10 15:01:00"));
    EXPECT_EQ(newest.what, QStringLiteral("read\nwritten"));
    EXPECT_EQ(newest.label, QStringLiteral("the table of 2026-12-10 15:02:00"));
    EXPECT_EQ(newest.file, std::filesystem::path("/b/AB/2026-12-10_15-02-00.kyr")) << "its newest time";
    EXPECT_EQ(newest.previousFile, std::filesystem::path("/b/AB/2026-12-10_14-00-00_saved.kyr"));
    EXPECT_EQ(newest.previousLabel, QStringLiteral("the table of 2026-12-10 14:00:00"));
    EXPECT_FALSE(newest.shown);

    const HistoryRow& saved = view.rows[1];
    EXPECT_EQ(saved.what, QStringLiteral("saved as base.kyr"));
    EXPECT_EQ(saved.note, QStringLiteral("ran well"));
    EXPECT_TRUE(saved.shown) << "the hash is matched in either case";
    ASSERT_EQ(saved.logs.size(), 1u);
    EXPECT_EQ(saved.logs[0].name, QStringLiteral("run1.mlg"));
    EXPECT_EQ(saved.logs[0].folder, QStringLiteral("/logs/track"));

    EXPECT_EQ(view.rows[2].summary, QStringLiteral("First in the history"));
    EXPECT_TRUE(view.rows[2].previousFile.empty());
}

TEST(HistoryView, AnEmptyHistorySaysWhenTablesAreKept)
{
    session::UnitHistory h;
    h.serial = "AB-010203-04";
    const HistoryView view = presentHistory(h, "aaaaaaaaaaaaaaaa");
    EXPECT_TRUE(view.rows.empty());
    EXPECT_TRUE(view.heading.startsWith("Unit AB-010203-04 has no history yet")) << view.heading.toStdString();
}

TEST(HistoryView, TheStatusBarShowsEightDigitsAndMarksATuneNotKept)
{
    EXPECT_EQ(hashText("0123456789abcdef", true), QStringLiteral("Table 01234567"));
    EXPECT_EQ(hashText("0123456789abcdef", false), QStringLiteral("Table 01234567 *"));
    EXPECT_EQ(hashText("", false), QString()) << "no tune shown";
    EXPECT_TRUE(hashTip("0123456789abcdef", false).contains("0123456789abcdef"));
    EXPECT_TRUE(hashTip("0123456789abcdef", false).contains("not in the unit's history"));
    EXPECT_FALSE(hashTip("0123456789abcdef", true).contains("not in"));
}

TEST(HistoryView, TheButtonsFollowWhatIsSelected)
{
    const HistoryView view = presentHistory(threeTables(), "");
    const RowCommands none = commandsFor(nullptr, false, true);
    EXPECT_FALSE(none.open || none.compareShown || none.compareBefore || none.editNote || none.openLog);

    const RowCommands newest = commandsFor(&view.rows[0], false, true);
    EXPECT_TRUE(newest.open && newest.compareShown && newest.compareBefore && newest.editNote);
    EXPECT_FALSE(newest.openLog);
    EXPECT_FALSE(commandsFor(&view.rows[0], false, false).compareShown) << "no tune shown";
    EXPECT_FALSE(commandsFor(&view.rows[2], false, true).compareBefore) << "the oldest";

    const RowCommands log = commandsFor(&view.rows[1], true, true);
    EXPECT_TRUE(log.openLog);
    EXPECT_FALSE(log.open || log.compareShown || log.compareBefore || log.editNote);
}
