// SPDX-License-Identifier: GPL-3.0-or-later
// kyr history and kyr diff by table hash, through the built binary: on a
// backup folder made here, and against kyr-sim after a read, a write and a log.

#include "RunKyr.h"

#include "session/History.h"
#include "table/Layout.h"

#include <gmock/gmock.h>

#include <ctime>

using namespace kyr;
using namespace kyr::test;
using ::testing::HasSubstr;
using nlohmann::json;
using Clock = std::chrono::system_clock;

namespace {

constexpr char Serial[] = "AB-012345-06";

Clock::time_point at(int minute)
{
    std::tm tm{};
    tm.tm_year = 2026 - 1900, tm.tm_mon = 11, tm.tm_mday = 8, tm.tm_hour = 14, tm.tm_min = minute, tm.tm_isdst = -1;
    return Clock::from_time_t(std::mktime(&tm));
}

fs::path backupRoot(const TempFolder& dir) { return dir.path() / "data" / "kyr" / "backups"; }

files::MapFile timingMoved(files::MapFile f, int point, int delta)
{
    f.image[table::pointOffset(table::mapDef(table::MapId::TimingRpm), point)] += delta;
    return f;
}

/// A unit's history of the demo tune A, then B (one timing point +2), then A again.
struct ThreeTables {
    files::MapFile a = loadOrFail(demoTune()), b = timingMoved(a, 11, 2);
    fs::path aOld, bPath, aNew;

    explicit ThreeTables(const TempFolder& dir)
    {
        Clock::time_point now;
        session::BackupStore store(backupRoot(dir), [&] { return now; });
        now = at(1), aOld = store.save(a, Serial).value();
        now = at(2), bPath = store.save(b, Serial, session::HistoryKind::Written).value();
        now = at(3), aNew = store.save(a, Serial).value();
    }
};

json historyJson(const TempFolder& dir, std::vector<std::string> args = {})
{
    args.insert(args.begin(), {"history", "--json"});
    KyrRun r = runKyr(dir.path(), args);
    EXPECT_EQ(r.code, 0) << r.err;
    return r.code == 0 ? json::parse(r.out) : json::array();
}

} // namespace

TEST(CliHistory, JsonListsEachTableOnceNewestFirstWithItsTimes)
{
    TempFolder dir;
    const ThreeTables t(dir);
    const json j = historyJson(dir);
    ASSERT_TRUE(j.is_array());
    ASSERT_EQ(j.size(), 2u) << j.dump(2);
    for (const char* key : {"time", "kind", "hash", "summary", "note", "path", "serial", "times", "logs"})
        for (const auto& e : j)
            EXPECT_TRUE(e.contains(key)) << key;
    EXPECT_EQ(j[0]["time"], "2026-12-08 14:03:00");
    EXPECT_EQ(j[0]["kind"], "read");
    EXPECT_EQ(j[0]["hash"], session::tuneHash(t.a.image));
    EXPECT_EQ(j[0]["path"], t.aNew.string());
    EXPECT_EQ(j[0]["serial"], Serial);
    EXPECT_EQ(j[0]["summary"], "Timing Map point 11 -2\u00b0");
    EXPECT_EQ(j[0]["note"], "");
    ASSERT_EQ(j[0]["times"].size(), 2u);
    EXPECT_EQ(j[0]["times"][1]["time"], "2026-12-08 14:01:00");
    EXPECT_EQ(j[0]["times"][1]["path"], t.aOld.string());
    EXPECT_EQ(j[1]["kind"], "written");
    EXPECT_EQ(j[1]["summary"], "Timing Map point 11 +2\u00b0");
    EXPECT_EQ(j[1]["previous_hash"], j[0]["hash"]);

    KyrRun text = runKyr(dir.path(), {"history", "--serial", Serial});
    ASSERT_EQ(text.code, 0) << text.err;
    EXPECT_THAT(text.out, HasSubstr("Unit AB-012345-06 (2 tables, newest first)"));
    EXPECT_THAT(text.out, HasSubstr(session::tuneHash(t.b.image) + "  2026-12-08 14:02:00  written"));
    EXPECT_THAT(text.out, HasSubstr("Timing Map point 11 +2\u00b0"));

    KyrRun none = runKyr(dir.path(), {"history", "--serial", "ZZ 99"});
    EXPECT_EQ(none.code, 0);
    EXPECT_THAT(none.out, HasSubstr("No history of unit ZZ 99"));
    EXPECT_EQ(historyJson(dir, {"--serial", "ZZ 99"}), json::array());
}

TEST(CliHistory, NoteSetsAndRemovesTheNoteOfATableByItsHash)
{
    TempFolder dir;
    const ThreeTables t(dir);
    const std::string hash = session::tuneHash(t.b.image);
    KyrRun set = runKyr(dir.path(), {"history", "--note", hash, "ran well at the strip"});
    ASSERT_EQ(set.code, 0) << set.err;
    EXPECT_THAT(set.out, HasSubstr("Note set on " + hash));
    json j = historyJson(dir);
    EXPECT_EQ(j[1]["note"], "ran well at the strip");
    EXPECT_EQ(j[0]["note"], "");
    EXPECT_TRUE(fs::exists(backupRoot(dir) / Serial / "index.json"));
    // The map files stay as they were.
    EXPECT_EQ(loadOrFail(t.bPath).image, t.b.image);

    KyrRun text = runKyr(dir.path(), {"history"});
    EXPECT_THAT(text.out, HasSubstr("Note: ran well at the strip"));

    KyrRun removed = runKyr(dir.path(), {"history", "--serial", Serial, "--note", hash, ""});
    ASSERT_EQ(removed.code, 0) << removed.err;
    EXPECT_EQ(historyJson(dir)[1]["note"], "");

    KyrRun unknown = runKyr(dir.path(), {"history", "--note", "0123456789abcdef", "x"});
    EXPECT_EQ(unknown.code, 2);
    EXPECT_THAT(unknown.err, HasSubstr("No table with hash 0123456789abcdef in the history"));
    KyrRun bad = runKyr(dir.path(), {"history", "--note", "12ab", "x"});
    EXPECT_EQ(bad.code, 2);
    EXPECT_THAT(bad.err, HasSubstr("is not a table hash"));
}

// A damaged index is set aside with a warning; the listing goes on.
TEST(CliHistory, ADamagedIndexIsReportedAndRebuilt)
{
    TempFolder dir;
    const ThreeTables t(dir);
    std::ofstream(backupRoot(dir) / Serial / "index.json") << "{\"notes\": {\n\"" << session::tuneHash(t.a.image)
                                                           << "\": \"stock\",\n\"0123";
    KyrRun r = runKyr(dir.path(), {"history", "--json"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_THAT(r.err, HasSubstr("kyr: warning: The history index of unit AB-012345-06 was damaged"));
    EXPECT_THAT(r.err, HasSubstr("(1 note recovered)"));
    EXPECT_EQ(json::parse(r.out)[0]["note"], "stock");
    KyrRun again = runKyr(dir.path(), {"history"});
    EXPECT_EQ(again.err, "");
}

TEST(CliDiff, ATableHashFromTheHistoryStandsForItsFile)
{
    TempFolder dir;
    const ThreeTables t(dir);
    const std::string a = session::tuneHash(t.a.image), b = session::tuneHash(t.b.image);
    KyrRun byHash = runKyr(dir.path(), {"diff", "--json", a, b});
    ASSERT_EQ(byHash.code, 0) << byHash.err;
    KyrRun byFile = runKyr(dir.path(), {"diff", "--json", t.aNew.string(), t.bPath.string()});
    ASSERT_EQ(byFile.code, 0) << byFile.err;
    json hashed = json::parse(byHash.out), filed = json::parse(byFile.out);
    EXPECT_EQ(hashed["a"], a);
    EXPECT_EQ(hashed["b"], b);
    hashed["a"] = filed["a"], hashed["b"] = filed["b"];
    EXPECT_EQ(hashed, filed); // only the names differ
    EXPECT_EQ(filed["points"].size(), 1u);

    KyrRun mixed = runKyr(dir.path(), {"diff", b, demoTune().string()});
    ASSERT_EQ(mixed.code, 0) << mixed.err;
    EXPECT_THAT(mixed.out, HasSubstr("--- " + b + "\n"));
    EXPECT_THAT(mixed.out, HasSubstr("timing-rpm point 11"));

    KyrRun unknown = runKyr(dir.path(), {"diff", "0123456789abcdef", demoTune().string()});
    EXPECT_EQ(unknown.code, 2);
    EXPECT_EQ(unknown.err, "kyr: No table with hash 0123456789abcdef in the history\n");
    KyrRun missing = runKyr(dir.path(), {"diff", (dir / "nothing.kyr").string(), demoTune().string()});
    EXPECT_EQ(missing.code, 2);
}

// kyr read, kyr write of an edited tune and kyr log: the history holds the
// unit's table (read, and saved as the file) and the table written, whose
// summary names the edits, and the log sits under the table it ran on.
TEST(CliPtyHistory, ReadWriteAndLogLandInTheUnitsHistory)
{
    TempFolder dir;
    SimProcess sim(dir.path(), {.port = 2});
    const fs::path readPath = dir / "read.kyr";
    KyrRun r = runKyr(dir.path(), {"read", "--port", "COM2", "-o", readPath.string()});
    ASSERT_EQ(r.code, 0) << r.err;
    files::MapFile edited = loadOrFail(readPath);
    edited.image[table::pointOffset(table::mapDef(table::MapId::TimingRpm), 20)] += 2;
    edited.image[table::pointOffset(table::mapDef(table::MapId::TimingRpm), 21)] += 2;
    edited.image[table::setupOffset(table::SetupParam::MaxFueling)] += 20;
    ASSERT_TRUE(files::saveMapFile(dir / "edited.kyr", edited).ok());
    KyrRun w = runKyr(dir.path(), {"write", "--port", "COM2", (dir / "edited.kyr").string()});
    ASSERT_EQ(w.code, 0) << w.err;
    fs::create_directories(dir / "logs");
    KyrRun log = runKyr(dir.path(), {"log", "--port", "COM2", "--duration", "1", "--columns", "rpm", "-o",
                                     (dir / "logs" / "run.csv").string()});
    ASSERT_EQ(log.code, 0) << log.err;

    const json j = historyJson(dir, {"--logs", (dir / "logs").string()});
    ASSERT_EQ(j.size(), 2u) << j.dump(2);
    // Written, then read again by kyr log's Connect.
    std::vector<std::string> kinds;
    for (const auto& t : j[0]["times"])
        kinds.push_back(t["kind"]);
    EXPECT_EQ(kinds, (std::vector<std::string>{"read", "written"}));
    EXPECT_EQ(j[0]["hash"], session::tuneHash(edited.image));
    const std::string summary = j[0]["summary"];
    EXPECT_THAT(summary, ::testing::StartsWith("Timing Map points 20\u201321 +2\u00b0; Max Fueling "));
    EXPECT_THAT(summary, HasSubstr(" \u2192 "));
    EXPECT_EQ(j[0]["logs"], json::array({(dir / "logs" / "run.csv").string()}));

    // The unit's own table: read by kyr read (and saved as read.kyr), read again before the write.
    EXPECT_EQ(j[1]["hash"], session::tuneHash(loadOrFail(readPath).image));
    kinds.clear();
    for (const auto& t : j[1]["times"])
        kinds.push_back(t["kind"]);
    EXPECT_THAT(kinds, ::testing::UnorderedElementsAre("read", "read", "saved"));
    for (const auto& t : j[1]["times"]) {
        if (t["kind"] == "saved") {
            EXPECT_EQ(t["saved_as"], readPath.string());
        }
    }
}
