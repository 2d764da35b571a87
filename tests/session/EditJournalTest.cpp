// SPDX-License-Identifier: GPL-3.0-or-later
// The journal of single writes made while the link is down: which writes it
// takes, the order it keeps them in, and its file across a crash.

#include "SessionFixture.h"

#include "session/EditJournal.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <iterator>

using namespace kyr;
using kyr::link::Bytes;
using kyr::session::EditJournal;
using kyr::session::JournalEntry;
namespace fs = std::filesystem;

namespace {

const Bytes First = link::writePoint(0xE8, 5, 0x20);  // offset 106
const Bytes Second = link::writePoint(0xD4, 3, 0x11); // offset 332
const Bytes Third = link::writeByte(40, 0x07);        // offset 40

void writeText(const fs::path& file, const std::string& text)
{
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
}

std::vector<Bytes> bytesOf(const std::vector<JournalEntry>& entries)
{
    std::vector<Bytes> out;
    for (const JournalEntry& e : entries)
        out.push_back(e.bytes);
    return out;
}

std::vector<Bytes> loadedBytes(const fs::path& file)
{
    auto loaded = EditJournal::load(file);
    EXPECT_TRUE(loaded.ok()) << loaded.error().message;
    return loaded.ok() ? bytesOf(loaded.value()) : std::vector<Bytes>{};
}

} // namespace

TEST(SingleWrite, TakesThreeBytesOfAKnownBankInsideTheTable)
{
    const auto point = session::singleWrite(First);
    ASSERT_TRUE(point.has_value());
    EXPECT_EQ(point->offset, 106);
    EXPECT_EQ(point->raw, 0x20);
    EXPECT_EQ(session::singleWrite(Third)->offset, 40);
    EXPECT_EQ(session::singleWrite(link::writePoint(0xCA, 87, 1))->offset, 480);

    EXPECT_FALSE(session::singleWrite(link::writePoint(0xCA, 88, 1))) << "offset 481 is the unit's trailer";
    EXPECT_FALSE(session::singleWrite(link::writePoint(0xCA, 200, 1))) << "beyond the table";
    EXPECT_FALSE(session::singleWrite(Bytes{0x12, 1, 2})) << "unknown bank";
    EXPECT_FALSE(session::singleWrite(Bytes{0xF2, 1}));
    EXPECT_FALSE(session::singleWrite(Bytes{0xF2, 1, 2, 3}));
    EXPECT_FALSE(session::singleWrite(link::readLive()));
    EXPECT_FALSE(session::singleWrite(Bytes{}));
}

// Each command reaches only its own places, as the editors send it: a bank
// base plus an index inside the table is not enough.
TEST(SingleWrite, TakesOnlyWhatItsCommandsEditorSends)
{
    for (const Bytes& ok : {Bytes{0xF2, 100, 5}, Bytes{0xE8, 0x83, 5}, Bytes{0xDE, 95, 5}, Bytes{0xD4, 63, 5},
                            Bytes{0xCA, 87, table::MaxRawSent}})
        EXPECT_TRUE(session::singleWrite(ok)) << link::hexOf(ok);
    for (const Bytes& bad : {Bytes{0xF2, 0xFF, 0x0C},  // offset 255: a map's, not the setup's
                             Bytes{0xF2, 0x65, 0x10},  // offset 101: the first timing point
                             Bytes{0xE8, 0x84, 0x01},  // offset 233: the fuel maps' bank
                             Bytes{0xDE, 96, 1}, Bytes{0xD4, 64, 1},
                             Bytes{0xF2, 7, 0xFF},     // a stored 0 ends the unit's table reply
                             Bytes{0xE8, 5, 0xFE}})    // reads back as absent
        EXPECT_FALSE(session::singleWrite(bad)) << link::hexOf(bad);
}

TEST(EditJournalInMemory, AppliesEditsInOrderInPlusOneForm)
{
    EditJournal journal;
    ASSERT_TRUE(journal.add(First));
    ASSERT_TRUE(journal.add(Second));
    ASSERT_TRUE(journal.add(link::writePoint(0xE8, 5, 0x30))); // the same place again
    ASSERT_TRUE(journal.add(link::writeByte(7, table::MaxRawSent)));
    EXPECT_EQ(journal.offsets(), (std::set<int>{7, 106, 332}));

    table::ImageBytes image{};
    image.fill(0x50);
    table::ImageBytes expected = image;
    expected[106] = 0x31; // the later edit wins
    expected[332] = 0x12;
    expected[7] = table::MaxRawSent + 1;
    EXPECT_EQ(journal.appliedTo(image), expected);

    auto refused = journal.add(Bytes{0x12, 1, 2});
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().kind, ErrorKind::BadArgument);
    EXPECT_EQ(journal.size(), 4u);
    EXPECT_TRUE(journal.file().empty());
}

class EditJournalFile : public ::testing::Test {
protected:
    sessiontest::TempFolder dir{"kyr-journal"};
    fs::path file = session::journalPath(dir.path(), "AB-012345-06");
};

TEST_F(EditJournalFile, EveryEditIsInTheFileWhenAddReturns)
{
    EditJournal journal;
    ASSERT_TRUE(journal.attach(file));
    EXPECT_FALSE(fs::exists(file)) << "nothing to keep yet";
    ASSERT_TRUE(journal.add(First));
    EXPECT_EQ(loadedBytes(file), std::vector<Bytes>{First});
    ASSERT_TRUE(journal.add(Second));
    ASSERT_TRUE(journal.add(Third));
    EXPECT_EQ(loadedBytes(file), (std::vector<Bytes>{First, Second, Third}));
    EXPECT_EQ(bytesOf(journal.entries()), loadedBytes(file));

    ASSERT_TRUE(journal.clear());
    EXPECT_FALSE(fs::exists(file));
    EXPECT_TRUE(journal.empty());
    EXPECT_TRUE(loadedBytes(file).empty()) << "a missing file is an empty journal";
}

// A crash left two edits in the file; the next run made one before it knew the unit.
TEST_F(EditJournalFile, AttachPutsTheFilesEditsFirstAndKeepsTheNewOnesThere)
{
    {
        EditJournal crashed;
        ASSERT_TRUE(crashed.attach(file));
        ASSERT_TRUE(crashed.add(First));
        ASSERT_TRUE(crashed.add(Second));
    }
    EditJournal journal;
    ASSERT_TRUE(journal.add(Third));
    ASSERT_TRUE(journal.attach(file));
    const std::vector<Bytes> expected{First, Second, Third};
    EXPECT_EQ(bytesOf(journal.entries()), expected);
    EXPECT_EQ(loadedBytes(file), expected);
}

TEST_F(EditJournalFile, TornLastLineIsLeftOutAndLaterEditsStillLoad)
{
    writeText(file, "# unsent edits\nE8 05 20\nD4 03 11");
    EXPECT_EQ(loadedBytes(file), std::vector<Bytes>{First}) << "its end never reached the disk";
    writeText(file, "# unsent edits\nE8 05 20\nD4 0");
    EXPECT_EQ(loadedBytes(file), std::vector<Bytes>{First});

    EditJournal journal;
    ASSERT_TRUE(journal.attach(file));
    EXPECT_EQ(bytesOf(journal.entries()), std::vector<Bytes>{First});
    ASSERT_TRUE(journal.add(Second));
    EXPECT_EQ(loadedBytes(file), (std::vector<Bytes>{First, Second}));
}

TEST_F(EditJournalFile, BadLineBeforeTheEndIsABadFileNamingTheLine)
{
    const auto expectBadLine = [&](const std::string& text, const std::string& line) {
        writeText(file, text);
        auto loaded = EditJournal::load(file);
        ASSERT_FALSE(loaded.ok());
        EXPECT_EQ(loaded.error().kind, ErrorKind::BadFile);
        EXPECT_NE(loaded.error().message.find(file.string() + " line " + line), std::string::npos)
            << loaded.error().message;
    };
    expectBadLine("# unsent edits\nE8 05 20\nE8 zz 20\nD4 03 11\n", "3");
    expectBadLine("E8 05 20\nCA 58 01\n", "2"); // the trailer
    expectBadLine("F2 01\nE8 05 20\n", "1");

    EditJournal journal;
    auto attached = journal.attach(file);
    ASSERT_FALSE(attached);
    EXPECT_EQ(attached.error().kind, ErrorKind::BadFile);
}

TEST_F(EditJournalFile, EditWhoseFlushFailsIsNotReportedAsKept)
{
    EditJournal journal([](int) {
        errno = EIO;
        return -1;
    });
    ASSERT_TRUE(journal.attach(file));
    auto added = journal.add(First);
    ASSERT_FALSE(added);
    EXPECT_EQ(added.error().kind, ErrorKind::OsError);
    EXPECT_EQ(added.error().message.rfind("cannot flush " + file.string() + " to the disk", 0), 0u)
        << added.error().message;
    EXPECT_EQ(bytesOf(journal.entries()), std::vector<Bytes>{First}) << "still sent when the link returns";
}

TEST_F(EditJournalFile, EntriesOutsideTheirCommandsRangeAreNeverReplayed)
{
    for (const char* line : {"F2 FF 0C", "F2 65 10", "E8 84 01", "F2 07 FF"}) {
        writeText(file, std::string("E8 05 20\n") + line + "\n");
        auto loaded = EditJournal::load(file);
        ASSERT_FALSE(loaded.ok()) << line;
        EXPECT_EQ(loaded.error().kind, ErrorKind::BadFile);
        EXPECT_NE(loaded.error().message.find(" line 2: not a single write (\"" + std::string(line) + "\")"),
                  std::string::npos)
            << loaded.error().message;
    }
}

// A line quoted in an error is cut short, and a terminal's escape never reaches it.
TEST_F(EditJournalFile, ABadLineIsQuotedShortAndEscaped)
{
    writeText(file, "\x1b]0;owned\x07" + std::string(5000, 'A') + "\n");
    auto loaded = EditJournal::load(file);
    ASSERT_FALSE(loaded.ok());
    const std::string& m = loaded.error().message;
    EXPECT_NE(m.find("(\"\\x1B]0;owned\\x07AAAA"), std::string::npos) << m;
    EXPECT_EQ(m.find('\x1b'), std::string::npos);
    EXPECT_LT(m.size(), file.string().size() + 120) << m;
    EXPECT_NE(m.find("...\")"), std::string::npos) << m;
}

TEST_F(EditJournalFile, ItsSizeIsCapped)
{
    const std::string comments(1 << 20, '#');
    writeText(file, comments + "\n");
    auto tooLarge = EditJournal::load(file);
    ASSERT_FALSE(tooLarge.ok());
    EXPECT_EQ(tooLarge.error().kind, ErrorKind::BadFile);
    EXPECT_NE(tooLarge.error().message.find("larger than a journal"), std::string::npos);

    // Nearly full: the edit is kept in memory, and the file stays loadable.
    writeText(file, std::string((1 << 20) - 4, '#') + "\n");
    EditJournal journal;
    ASSERT_TRUE(journal.attach(file));
    auto added = journal.add(First);
    ASSERT_FALSE(added);
    EXPECT_NE(added.error().message.find("the journal is full"), std::string::npos) << added.error().message;
    EXPECT_EQ(bytesOf(journal.entries()), std::vector<Bytes>{First});
    EXPECT_TRUE(EditJournal::load(file).ok());
}

TEST_F(EditJournalFile, FileThatCannotBeWrittenStillKeepsTheEdit)
{
    const auto expectKeptInMemory = [](const fs::path& where) {
        EditJournal journal;
        ASSERT_TRUE(journal.attach(where));
        auto added = journal.add(First);
        ASSERT_FALSE(added);
        EXPECT_EQ(added.error().kind, ErrorKind::OsError);
        EXPECT_NE(added.error().message.find(where.string()), std::string::npos) << added.error().message;
        EXPECT_EQ(bytesOf(journal.entries()), std::vector<Bytes>{First});
    };
    writeText(dir.path() / "plain-file", "");
    expectKeptInMemory(dir.path() / "plain-file" / "unsent-edits.journal");

    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only folders";
    fs::create_directories(file.parent_path());
    ::chmod(file.parent_path().c_str(), 0555);
    expectKeptInMemory(file);
    ::chmod(file.parent_path().c_str(), 0755);
}
