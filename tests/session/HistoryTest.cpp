// SPDX-License-Identifier: GPL-3.0-or-later
// The tune history: the tables of a unit's backup folder as entries, the
// summaries of what changed, the notes' index and its repair, pruning that
// keeps noted tables, and the logs recorded on each table.

#include "SessionFixture.h"
#include "live/LogFile.h"
#include "session/History.h"
#include "session/HistoryIndex.h"
#include "table/Layout.h"
#include "tools/TuneCompare.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <fstream>
#include <map>
#include <sstream>

using namespace kyr;
using namespace kyr::session;
namespace fs = std::filesystem;
using Clock = std::chrono::system_clock;
using Texts = std::vector<std::string>;

namespace {

constexpr std::string_view Serial = "AB-012345-06";

Clock::time_point at(int minute, int second = 0)
{
    std::tm tm{};
    tm.tm_year = 2026 - 1900, tm.tm_mon = 11, tm.tm_mday = 8;
    tm.tm_hour = 14, tm.tm_min = minute, tm.tm_sec = second, tm.tm_isdst = -1;
    return Clock::from_time_t(std::mktime(&tm));
}

/// The example tune with the timing map's points from..to (1-based) moved by delta degrees.
files::MapFile timingMoved(files::MapFile f, int from, int to, int delta)
{
    const auto& timing = table::mapDef(table::MapId::TimingRpm);
    for (int i = from; i <= to; ++i)
        f.image[table::pointOffset(timing, i)] = static_cast<uint8_t>(f.image[table::pointOffset(timing, i)] + delta);
    return f;
}

/// The example tune with Max Fueling shown as value (it is kept as tenths).
files::MapFile maxFueling(files::MapFile f, int value)
{
    f.image[42] = static_cast<uint8_t>(value * 10 + 1);
    return f;
}

std::string slurp(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

Texts whats(const HistoryEntry& e)
{
    Texts out;
    for (const auto& t : e.times)
        out.push_back(t.taken + " " + t.what());
    return out;
}

class HistoryFolder : public ::testing::Test {
protected:
    HistoryFolder() : folder("kyr-history") {}

    BackupStore store(std::size_t keep = BackupStore::DefaultKeep)
    {
        return BackupStore(root(), [this] { return now; }, keep);
    }
    History history() { return History(root(), [this] { return now; }); }
    const fs::path& root() const { return folder.path(); }
    fs::path unitDir() const { return root() / std::string(Serial); }

    fs::path keep(const files::MapFile& f, Clock::time_point when, HistoryKind kind = HistoryKind::Read)
    {
        now = when;
        auto saved = store().save(f, Serial, kind);
        EXPECT_TRUE(saved.ok()) << saved.error().message;
        return saved.ok() ? saved.value() : fs::path();
    }
    UnitHistory load(const std::vector<fs::path>& logFolders = {})
    {
        auto h = history().load(Serial, logFolders);
        EXPECT_TRUE(h.ok()) << h.error().message;
        return h.ok() ? h.value() : UnitHistory{};
    }

    sessiontest::TempFolder folder;
    Clock::time_point now = at(0);
    const files::MapFile base = sessiontest::demoFile();
};

} // namespace

// ---------------------------------------------------------------- the entries

// Read A, read B, write B, read A again, save C: three tables, each listed
// once with all its times, ordered by the last time each was taken.
TEST_F(HistoryFolder, EachTableIsOneEntryWithAllItsTimesNewestFirst)
{
    const files::MapFile a = base, b = timingMoved(base, 30, 35, 2), c = maxFueling(a, 22);
    keep(a, at(1));
    keep(b, at(2));
    const fs::path written = keep(b, at(2), HistoryKind::Written); // the same second: after the read
    EXPECT_EQ(written.filename(), "2026-12-08_14-02-00_2_written.kyr");
    keep(a, at(3));
    now = at(4);
    ASSERT_TRUE(history().recordSaved(c, Serial, "/home/tuner/tunes/base.kyr").ok());

    const UnitHistory h = load();
    EXPECT_TRUE(h.notices.empty());
    EXPECT_EQ(h.serial, Serial);
    ASSERT_EQ(h.entries.size(), 3u);
    const HistoryEntry &ec = h.entries[0], &ea = h.entries[1], &eb = h.entries[2];
    EXPECT_EQ(ec.hash, tuneHash(c.image));
    EXPECT_EQ(ea.hash, tuneHash(a.image));
    EXPECT_EQ(eb.hash, tuneHash(b.image));
    EXPECT_EQ(whats(ec), (Texts{"2026-12-08 14:04:00 saved as base.kyr"}));
    EXPECT_EQ(ec.newest().savedAs, fs::path("/home/tuner/tunes/base.kyr"));
    EXPECT_EQ(whats(ea), (Texts{"2026-12-08 14:03:00 read", "2026-12-08 14:01:00 read"}));
    EXPECT_EQ(whats(eb), (Texts{"2026-12-08 14:02:00 written", "2026-12-08 14:02:00 read"}));

    // Each against the table taken before its newest time, with another hash.
    EXPECT_EQ(ec.previousHash, ea.hash);
    EXPECT_EQ(ea.previousHash, eb.hash);
    EXPECT_EQ(eb.previousHash, ea.hash);
    EXPECT_NE(ec.summary.find("Max Fueling"), std::string::npos) << ec.summary;
    EXPECT_EQ(ea.summary, "Timing Map points 30\u201335 -2\u00b0");
    EXPECT_EQ(eb.summary, "Timing Map points 30\u201335 +2\u00b0");

    // Every kept table opens as the map file it was.
    EXPECT_EQ(files::loadMapFile(ec.newest().path).value().image, c.image);
    EXPECT_EQ(h.find(ea.hash), &ea);
    EXPECT_EQ(h.find("FFFFFFFFFFFFFFFF"), nullptr);
}

TEST_F(HistoryFolder, TheOldestIsFirstAndAnUnreadableFileIsNamedNotLost)
{
    keep(base, at(1));
    std::ofstream(unitDir() / "2026-12-08_14-05-00.kyr") << "not a map file";
    const UnitHistory h = load();
    ASSERT_EQ(h.entries.size(), 1u);
    EXPECT_EQ(h.entries[0].summary, "First in the history");
    EXPECT_TRUE(h.entries[0].previousHash.empty());
    ASSERT_EQ(h.notices.size(), 1u);
    EXPECT_NE(h.notices[0].find("cannot be read"), std::string::npos) << h.notices[0];
    EXPECT_TRUE(fs::exists(unitDir() / "2026-12-08_14-05-00.kyr"));

    EXPECT_TRUE(history().load("XY-000000-00").value().entries.empty());
    EXPECT_FALSE(History(fs::path()).load(Serial).ok());
}

// The hash leaves the trailer byte out: the unit's copy ends in 0, a file in 56.
TEST_F(HistoryFolder, TheHashIsTheLogsHashOfTheTableWithoutItsTrailer)
{
    files::MapFile f = base;
    const std::string hash = tuneHash(f.image);
    EXPECT_EQ(hash, live::tableHash(std::span<const uint8_t>(f.image.data(), 481)));
    EXPECT_EQ(hash.size(), 16u);
    EXPECT_TRUE(isTuneHash(hash));
    f.image[table::TrailerOffset] ^= 0x55;
    EXPECT_EQ(tuneHash(f.image), hash);
    f.image[480] ^= 1;
    EXPECT_NE(tuneHash(f.image), hash);
    for (std::string_view bad : {"", "0123456789abcde", "0123456789abcdefa", "0123456789abcdeg"})
        EXPECT_FALSE(isTuneHash(bad)) << bad;
}

// ---------------------------------------------------------------- summaries

TEST(HistorySummary, RunsOfPointsThenSettingsThenOtherBytes)
{
    const files::MapFile before = sessiontest::demoFile();
    files::MapFile after = maxFueling(timingMoved(timingMoved(before, 30, 35, 2), 36, 36, -1), 22);
    const auto from = maxFueling(before, 20);
    EXPECT_EQ(changeSummary(from.image, after.image),
              "Timing Map points 30\u201335 +2\u00b0; Timing Map point 36 -1\u00b0; Max Fueling 20 \u2192 22");
    EXPECT_EQ(changeSummary(from.image, from.image), "No change");

    // A byte no setting or point covers is counted.
    int loose = 0;
    while (std::any_of(table::setupTable().begin(), table::setupTable().end(),
                       [&](const table::SetupDef& d) { return d.offset == loose; }))
        ++loose;
    ASSERT_LT(loose, table::SetupSize);
    files::MapFile odd = from;
    odd.image[loose] = static_cast<uint8_t>(odd.image[loose] ^ 0x40);
    EXPECT_EQ(changeSummary(from.image, odd.image), "1 other byte");
}

// Every other point changed by another amount: far too much for one line.
TEST(HistorySummary, ALongListEndsWithHowManyMoreThereAre)
{
    const files::MapFile before = sessiontest::demoFile();
    files::MapFile after = before;
    for (int i = 1; i <= 40; i += 2)
        after = timingMoved(after, i, i, i % 4 == 1 ? 1 : -1);
    const std::string line = changeSummary(before.image, after.image, 0, 0, 100);
    EXPECT_EQ(line.rfind("Timing Map point 1 +1\u00b0; Timing Map point 3 -1\u00b0", 0), 0u) << line;
    const std::string tail = " more";
    ASSERT_GT(line.size(), tail.size());
    EXPECT_EQ(line.substr(line.size() - tail.size()), tail) << line;
    const auto dots = line.find("\u2026 and ");
    ASSERT_NE(dots, std::string::npos) << line;
    const int shown = static_cast<int>(std::count(line.begin(), line.begin() + dots, ';'));
    EXPECT_EQ(line.substr(dots), "\u2026 and " + std::to_string(20 - shown) + " more");
    EXPECT_LE(line.size(), 100u + 8u); // the ellipsis and the dashes take more bytes than they show
    EXPECT_EQ(line.find('\n'), std::string::npos);
}

// ---------------------------------------------------------------- notes

TEST_F(HistoryFolder, NotesAreKeptByTableInTheIndexNotInTheMapFiles)
{
    const fs::path first = keep(base, at(1));
    const files::MapFile b = timingMoved(base, 1, 1, 1);
    keep(b, at(2));
    keep(base, at(3));
    const std::string bytesBefore = slurp(first);
    History hist = history();
    const std::string noteText = "ran well at \"the strip\"\nline two \u00b0";
    ASSERT_TRUE(hist.setNote(Serial, tuneHash(base.image), noteText).ok());
    ASSERT_TRUE(hist.setNote(Serial, tuneHash(b.image), "  leaner  ").ok());
    EXPECT_EQ(slurp(first), bytesBefore);

    UnitHistory h = load();
    ASSERT_EQ(h.entries.size(), 2u);
    EXPECT_EQ(h.entries[0].note, noteText);
    EXPECT_EQ(h.entries[1].note, "leaner");

    // An upper-case hash is the same table; an empty text removes the note.
    std::string upper = tuneHash(b.image);
    for (char& ch : upper)
        ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    ASSERT_TRUE(hist.setNote(Serial, upper, " ").ok());
    EXPECT_EQ(load().entries[1].note, "");

    auto unknown = hist.setNote(Serial, "0123456789abcdef", "x");
    ASSERT_FALSE(unknown.ok());
    EXPECT_EQ(unknown.error().message, "No table with hash 0123456789abcdef in the history of unit " +
                                           std::string(Serial));
    EXPECT_FALSE(hist.setNote(Serial, "12ab", "x").ok());
}

// The index is replaced whole, so a crash leaves the old one; a disk that
// lost the end of it, or filled it with junk, leaves a damaged one. It is set
// aside, never deleted, and the notes whose lines are whole come back.
TEST_F(HistoryFolder, ADamagedIndexIsSetAsideAndRebuiltWithTheNotesThatSurvive)
{
    const files::MapFile b = timingMoved(base, 1, 1, 1), c = timingMoved(base, 2, 2, 1);
    keep(base, at(1));
    keep(b, at(2));
    keep(c, at(3));
    now = at(4);
    History hist = history();
    ASSERT_TRUE(hist.recordSaved(c, Serial, "/tunes/track.kyr").ok());
    // The index keeps notes in the order of their hashes: the last is cut.
    std::map<std::string, std::string> notes = {{tuneHash(base.image), ""}, {tuneHash(b.image), ""},
                                                {tuneHash(c.image), ""}};
    const Texts texts = {"stock", "first try, \"rich\"", "the one cut off"};
    auto text = texts.begin();
    for (auto& [hash, note] : notes) {
        note = *text++;
        ASSERT_TRUE(hist.setNote(Serial, hash, note).ok());
    }
    const std::string whole = slurp(unitDir() / IndexFileName);
    const auto cut = whole.find("the one cut");
    ASSERT_NE(cut, std::string::npos) << whole;
    std::ofstream(unitDir() / IndexFileName, std::ios::binary | std::ios::trunc) << whole.substr(0, cut);

    now = at(10);
    UnitHistory h = load();
    ASSERT_EQ(h.notices.size(), 1u);
    const std::string aside = "index.json.damaged-2026-12-08_14-10-00";
    EXPECT_NE(h.notices[0].find("set aside as " + aside), std::string::npos) << h.notices[0];
    EXPECT_NE(h.notices[0].find("(2 notes recovered)"), std::string::npos) << h.notices[0];
    EXPECT_EQ(slurp(unitDir() / aside), whole.substr(0, cut));
    ASSERT_EQ(h.entries.size(), 3u);
    for (const auto& [hash, note] : notes)
        EXPECT_EQ(h.find(hash)->note, note == texts[2] ? "" : note);
    // The saved path came after the notes: it is lost, the saved table is not.
    EXPECT_EQ(h.entries[0].newest().what(), "saved");

    // The rebuilt index is whole: the next load has nothing to tell.
    EXPECT_EQ(readHistoryIndex(unitDir()).state, IndexRead::State::Whole);
    EXPECT_TRUE(load().notices.empty());

    // Junk: no note survives, every table does, and a second damaged index
    // of the same second gets a name of its own.
    std::ofstream(unitDir() / IndexFileName, std::ios::binary | std::ios::trunc) << std::string("\0\xff{[", 4);
    now = at(10);
    h = load();
    ASSERT_EQ(h.notices.size(), 1u);
    EXPECT_NE(h.notices[0].find("(0 notes recovered)"), std::string::npos) << h.notices[0];
    EXPECT_TRUE(fs::exists(unitDir() / (aside + "_2")));
    EXPECT_EQ(h.entries.size(), 3u);
}

TEST(HistoryIndexText, RecordsReadBackAndOnlyWholeLinesAreSalvaged)
{
    HistoryIndex index;
    index.notes["0123456789abcdef"] = "a \"quoted\"\nnote \u00b0";
    index.notes["fedcba9876543210"] = "";
    index.savedAs["2026-12-08_14-03-05_saved.kyr"] = "/x/y z.kyr";
    const std::string text = formatHistoryIndex(index);
    const IndexRead whole = parseHistoryIndex(text);
    EXPECT_EQ(whole.state, IndexRead::State::Whole);
    EXPECT_EQ(whole.index.notes, index.notes);
    EXPECT_EQ(whole.index.savedAs, index.savedAs);

    // Cut inside the second note: the first comes back, and the saved path after it does not.
    const IndexRead cut = parseHistoryIndex(text.substr(0, text.find("fedcba98") + 5));
    EXPECT_EQ(cut.state, IndexRead::State::Damaged);
    const std::map<std::string, std::string> first = {{"0123456789abcdef", index.notes["0123456789abcdef"]}};
    EXPECT_EQ(cut.index.notes, first);
    EXPECT_TRUE(cut.index.savedAs.empty());

    // Whole JSON of another shape is no index either.
    EXPECT_EQ(parseHistoryIndex("{\"notes\": {\"not a hash\": \"x\"}}").state, IndexRead::State::Damaged);
    EXPECT_EQ(parseHistoryIndex("[1, 2]").state, IndexRead::State::Damaged);
    EXPECT_EQ(parseHistoryIndex("{}").state, IndexRead::State::Whole);
}

// ---------------------------------------------------------------- pruning

TEST_F(HistoryFolder, PruningKeepsItsRuleAndNeverTakesANotedTable)
{
    std::vector<files::MapFile> tunes;
    for (int i = 0; i < 7; ++i)
        tunes.push_back(timingMoved(base, 1, 1, i));
    std::vector<fs::path> kept;
    auto save = [&](int i) {
        now = at(1, i);
        auto p = store(2).save(tunes[i], Serial);
        ASSERT_TRUE(p.ok());
        kept.push_back(p.value());
    };
    for (int i = 0; i < 3; ++i)
        save(i);
    ASSERT_TRUE(history().setNote(Serial, tuneHash(tunes[1].image), "keep me").ok());
    for (int i = 3; i < 6; ++i)
        save(i);
    // The oldest, the two newest, and the noted one.
    const auto names = store().list(Serial);
    std::vector<fs::path> left;
    for (const auto& e : names)
        left.push_back(e.path);
    EXPECT_EQ(left, (std::vector<fs::path>{kept[5], kept[4], kept[1], kept[0]}));

    // Which tables carry notes is not known while the index is damaged: nothing goes.
    std::ofstream(unitDir() / IndexFileName, std::ios::trunc) << "{\"notes\": {";
    save(6);
    EXPECT_EQ(store().list(Serial).size(), 5u);
}

// ---------------------------------------------------------------- logs

TEST_F(HistoryFolder, LogsWhoseTableHashIsAnEntrysAreListedUnderIt)
{
    const files::MapFile b = timingMoved(base, 5, 5, 3);
    keep(base, at(1));
    keep(b, at(2));
    const fs::path logs = root() / "logs", more = root() / "more";
    fs::create_directories(logs / "track day");
    fs::create_directories(more);
    auto record = [](const fs::path& path, const std::string& hash) {
        live::LogInfo info;
        info.unit = "KYR model 3, version 2.1";
        info.tableHash = hash;
        auto w = live::LogWriter::create(path.string(), {live::LogColumn::Rpm}, info);
        ASSERT_TRUE(w.ok()) << w.error().message;
        ASSERT_TRUE(w.value()->append(0.0, {}, {}).ok());
        ASSERT_TRUE(w.value()->close().ok());
    };
    record(logs / "a.csv", tuneHash(base.image));
    record(logs / "track day" / "b.mlg", tuneHash(base.image));
    record(more / "c.msl", tuneHash(b.image));
    record(more / "other.csv", "00000000deadbeef");
    record(more / "nohash.csv", "");
    std::ofstream(more / "notes.txt") << "Table hash: " << tuneHash(b.image) << "\n";

    EXPECT_EQ(live::readLogTableHash((logs / "track day" / "b.mlg").string()), tuneHash(base.image));
    EXPECT_EQ(live::readLogTableHash((more / "nohash.csv").string()), std::nullopt);
    EXPECT_EQ(live::readLogTableHash((more / "missing.csv").string()), std::nullopt);

    const UnitHistory h = load({logs, more, root() / "no such folder"});
    ASSERT_EQ(h.entries.size(), 2u);
    auto paths = [](const HistoryEntry& e) {
        std::vector<fs::path> out;
        for (const auto& l : e.logs)
            out.push_back(l.path);
        return out;
    };
    EXPECT_EQ(paths(h.entries[0]), (std::vector<fs::path>{more / "c.msl"}));
    EXPECT_EQ(paths(h.entries[1]), (std::vector<fs::path>{logs / "a.csv", logs / "track day" / "b.mlg"}));
    EXPECT_EQ(findLogs({more}).size(), 2u); // other.csv and c.msl
}

// ---------------------------------------------------------------- by hash

TEST_F(HistoryFolder, AHashFindsItsFileInAnyUnitsHistory)
{
    const files::MapFile b = timingMoved(base, 5, 5, 3);
    keep(base, at(1));
    const fs::path newest = keep(base, at(2));
    now = at(3);
    const fs::path other = store().save(b, "ZZ-1").value();
    History hist = history();
    EXPECT_EQ(hist.fileOfHash(tuneHash(base.image)).value(), newest);
    EXPECT_EQ(hist.fileOfHash(tuneHash(b.image)).value(), other);
    EXPECT_EQ(hist.fileOfHash(tuneHash(b.image), "ZZ-1").value(), other);
    auto missing = hist.fileOfHash(tuneHash(b.image), Serial);
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error().message,
              "No table with hash " + tuneHash(b.image) + " in the history of unit " + std::string(Serial));
    EXPECT_EQ(hist.serials(), (Texts{std::string(Serial), "ZZ-1"}));
}
