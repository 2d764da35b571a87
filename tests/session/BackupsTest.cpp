// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/Backups.h"

#include <gtest/gtest.h>

#include <ctime>
#include <fstream>
#include <map>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

using namespace kyr;
using namespace kyr::session;
namespace fs = std::filesystem;
using Clock = std::chrono::system_clock;
using Names = std::vector<std::string>;

namespace {

constexpr std::string_view kSerial = "AB-012345-06";

files::MapFile sample(unsigned seed)
{
    files::MapFile f{{4, 3, 17, 1, 2, files::FileSignature, files::FileSignature}, "Datsun", "1200 Coupe", "A12", {}};
    std::mt19937 rng(seed);
    for (auto& b : f.image)
        b = static_cast<uint8_t>(rng() % 256);
    return f;
}

// A wall-clock time in the machine's zone, so that names can be checked whatever the zone.
Clock::time_point localTime(int year, int month, int day, int hour, int minute, int second)
{
    std::tm tm{};
    tm.tm_year = year - 1900, tm.tm_mon = month - 1, tm.tm_mday = day;
    tm.tm_hour = hour, tm.tm_min = minute, tm.tm_sec = second, tm.tm_isdst = -1;
    return Clock::from_time_t(std::mktime(&tm));
}

void touch(const fs::path& p) { std::ofstream(p) << "not a backup"; }

Names names(const std::vector<BackupEntry>& entries)
{
    Names out;
    for (const auto& e : entries)
        out.push_back(e.path.filename().string());
    return out;
}

class Backups : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("kyr-backups-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    BackupStore store(std::size_t keep = BackupStore::DefaultKeep) { return BackupStore(dir, [this] { return now; }, keep); }
    fs::path saveAt(BackupStore& s, int second, unsigned seed, std::string_view serial = kSerial)
    {
        now = localTime(2026, 12, 8, 14, 3, second);
        auto saved = s.save(sample(seed), serial);
        EXPECT_TRUE(saved.ok()) << saved.error().message;
        return saved.ok() ? saved.value() : fs::path();
    }

    fs::path dir;
    Clock::time_point now;
};

} // namespace

TEST_F(Backups, SavedFileIsNamedByLocalTimeAndReadsBackWhole)
{
    auto s = store();
    const fs::path path = saveAt(s, 5, 1);
    EXPECT_EQ(path, dir / kSerial / "2026-12-08_14-03-05.kyr");
    auto loaded = files::loadMapFile(path);
    ASSERT_TRUE(loaded.ok()) << loaded.error().message;
    EXPECT_EQ(files::formatMapFile(loaded.value()), files::formatMapFile(sample(1)));
    // Neither the reserved name nor the write's temporary file is left over.
    EXPECT_EQ(std::distance(fs::directory_iterator(path.parent_path()), fs::directory_iterator()), 1);
    EXPECT_EQ(s.list(kSerial).at(0).taken, "2026-12-08 14:03:05");
}

// Saved out of order, across a minute, and eleven in one second: none
// overwrites another, and "_10" sorts after "_9".
TEST_F(Backups, ListIsNewestFirstAndSavesInOneSecondAllSurvive)
{
    auto s = store();
    saveAt(s, 60, 100);
    for (unsigned seed = 1; seed <= 11; ++seed)
        saveAt(s, 59, seed);
    saveAt(s, 0, 200);
    const auto entries = s.list(kSerial);
    ASSERT_EQ(entries.size(), 13u);
    const Names n = names(entries);
    EXPECT_EQ(Names(n.begin(), n.begin() + 4), (Names{"2026-12-08_14-04-00.kyr", "2026-12-08_14-03-59_11.kyr",
                                                        "2026-12-08_14-03-59_10.kyr", "2026-12-08_14-03-59_9.kyr"}));
    EXPECT_EQ(n.back(), "2026-12-08_14-03-00.kyr");
    for (std::size_t i = 1; i <= 11; ++i)
        EXPECT_EQ(files::loadMapFile(entries[i].path).value().image, sample(12 - i).image) << n[i];
    EXPECT_TRUE(s.list("XY-000000-00").empty());
}

TEST_F(Backups, PruneKeepsTheOldestAndTheNewestAndNothingElse)
{
    const fs::path unit = dir / kSerial;
    fs::create_directories(unit / "2000-01-01_00-00-00.kyr"); // a folder, not a backup
    const std::vector<fs::path> others = {unit / "notes.txt", unit / ".2026-12-08_14-03-05.kyr.Ab12Cd",
                                          unit / "2001-01-01_00-00-00_1.kyr", unit / "2001-01-01_00-00-00.KYR"};
    for (const auto& p : others)
        touch(p);
    auto s = store(3);
    for (unsigned i = 0; i < 6; ++i)
        saveAt(s, 5 + i, i);
    EXPECT_EQ(names(s.list(kSerial)), (Names{"2026-12-08_14-03-10.kyr", "2026-12-08_14-03-09.kyr",
                                             "2026-12-08_14-03-08.kyr", "2026-12-08_14-03-05.kyr"}));
    for (const auto& p : others)
        EXPECT_TRUE(fs::exists(p)) << p;
    EXPECT_TRUE(fs::is_directory(unit / "2000-01-01_00-00-00.kyr"));

    auto one = store(0); // 0 would delete the backup just written; it means 1
    saveAt(one, 30, 9);
    EXPECT_EQ(names(one.list(kSerial)), (Names{"2026-12-08_14-03-30.kyr", "2026-12-08_14-03-05.kyr"}));
}

// Backups named by a clock that ran ahead, or copied in from elsewhere, sort
// after the one just written: it is kept all the same, and so is a backup a
// second program wrote after it.
TEST_F(Backups, PruneNeverTakesTheBackupJustWrittenNorALaterOne)
{
    const fs::path unit = dir / kSerial;
    fs::create_directories(unit);
    const auto hourAgo = fs::file_time_type::clock::now() - std::chrono::hours(1);
    const auto inAnHour = fs::file_time_type::clock::now() + std::chrono::hours(1);
    const Names earlier = {"2000-01-01_00-00-00.kyr", "2030-01-01_00-00-00.kyr", "2030-01-01_00-00-01.kyr",
                           "2030-01-01_00-00-02.kyr"};
    for (const auto& name : earlier) {
        touch(unit / name);
        fs::last_write_time(unit / name, hourAgo);
    }
    touch(unit / "2010-01-01_00-00-00.kyr");
    fs::last_write_time(unit / "2010-01-01_00-00-00.kyr", inAnHour);

    auto s = store(1);
    const fs::path written = saveAt(s, 5, 1);
    EXPECT_TRUE(fs::exists(written));
    EXPECT_EQ(names(s.list(kSerial)), (Names{"2030-01-01_00-00-02.kyr", "2026-12-08_14-03-05.kyr",
                                             "2010-01-01_00-00-00.kyr", "2000-01-01_00-00-00.kyr"}));
}

TEST_F(Backups, SerialsAreTheUnitFoldersHoldingBackups)
{
    auto s = store(1);
    for (unsigned i = 0; i < 3; ++i) {
        saveAt(s, i, i, "ZZ-1");
        saveAt(s, i, i, "AB 12 34");
    }
    fs::create_directories(dir / "empty");
    fs::create_directories(dir / "made by hand");
    touch(dir / "made by hand" / "2026-12-08_14-03-05.kyr"); // list() could never reach it
    touch(dir / "2026-12-08_14-03-05.kyr");
    EXPECT_EQ(s.serials(), (Names{"AB_12_34", "ZZ-1"}));
    EXPECT_EQ(s.list("AB 12 34").size(), 2u); // each unit is pruned on its own
    EXPECT_EQ(s.list("ZZ-1").size(), 2u);
    EXPECT_TRUE(BackupStore(dir / "missing").serials().empty());
}

TEST(BackupNames, SerialFolderIsOneSafeName)
{
    EXPECT_EQ(serialFolder("AB 12 34"), "AB_12_34");
    EXPECT_EQ(serialFolder(kSerial), kSerial);
    EXPECT_EQ(serialFolder(""), "unknown");
    EXPECT_EQ(serialFolder("\xC3\x9C" "b"), "_b"); // one '_' for a letter beyond ASCII, one byte in the unit
    EXPECT_EQ(serialFolder(std::string(300, 'x')).size(), 64u);
    for (std::string_view evil : {"../x", "..", "a/b\\c", "/etc"}) {
        const std::string folder = serialFolder(evil);
        EXPECT_EQ(folder.find_first_of("/\\"), std::string::npos) << evil;
        EXPECT_EQ(folder.find(".."), std::string::npos) << evil;
    }
}

TEST(BackupNames, DefaultRootFollowsXdgDataHomeThenHome)
{
    std::map<std::string, std::string> vars;
    auto env = [&](const char* name) -> std::optional<std::string> {
        auto it = vars.find(name);
        return it == vars.end() ? std::nullopt : std::optional(it->second);
    };
    EXPECT_TRUE(defaultBackupRoot(env).empty());
    vars["HOME"] = "/home/ann";
    for (const char* ignored : {"", "relative/data"}) {
        vars["XDG_DATA_HOME"] = ignored;
        EXPECT_EQ(defaultBackupRoot(env), fs::path("/home/ann/.local/share/kyr/backups")) << ignored;
    }
    vars["XDG_DATA_HOME"] = "/data/ann";
    EXPECT_EQ(defaultBackupRoot(env), fs::path("/data/ann/kyr/backups"));
}

TEST_F(Backups, AFolderThatCannotBeWrittenGivesAnError)
{
    const fs::path file = dir / "plain-file";
    touch(file);
    auto saved = BackupStore(file).save(sample(1), kSerial);
    ASSERT_FALSE(saved.ok());
    EXPECT_EQ(saved.error().kind, ErrorKind::OsError);
    EXPECT_NE(saved.error().message.find(file.string()), std::string::npos) << saved.error().message;
    EXPECT_TRUE(BackupStore(file).list(kSerial).empty());
    EXPECT_EQ(BackupStore(fs::path()).save(sample(1), kSerial).error().kind, ErrorKind::BadArgument);

    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only folders";
    fs::create_directories(dir / kSerial);
    ::chmod((dir / kSerial).c_str(), 0555);
    auto refused = store().save(sample(1), kSerial);
    ::chmod((dir / kSerial).c_str(), 0755);
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error().kind, ErrorKind::OsError);
    EXPECT_NE(refused.error().message.find((dir / kSerial).string()), std::string::npos) << refused.error().message;
    EXPECT_TRUE(fs::is_empty(dir / kSerial));
}
