// SPDX-License-Identifier: GPL-3.0-or-later
// Edits an earlier run of the program could not send (it ended while the link
// was down): offered when that unit is next connected, and sent, dropped or
// kept as the user answers.

#include "window/AppFixture.h"

#include "app/link/LinkRecovery.h"
#include "session/EditJournal.h"
#include "tools/SerialNumber.h"

#include <filesystem>
#include <fstream>

using namespace kyr;
using namespace kyr::apptest;
using table::MapId;

namespace {

constexpr int Point = 30;
constexpr uint8_t Raw = 32; // the value the earlier run could not send

class LeftoverEditsTest : public WindowTest {
protected:
    void SetUp() override
    {
        unit->backupRoot = std::filesystem::path(tempFile("data").toStdString()) / "backups";
        const std::string serial = tools::serialText(table::setupOf(unit->table));
        m_journal = session::journalPath(unit->backupRoot, serial);
        std::filesystem::create_directories(m_journal.parent_path());
        std::ofstream(m_journal) << "# left by a run that ended while the link was down\n" << hex(edit()) << "\n";
    }

    static link::Bytes edit() { return link::writeMapPoint(table::mapDef(MapId::TimingRpm), Point, Raw); }
    static std::string hex(const link::Bytes& b)
    {
        char buf[16];
        std::snprintf(buf, sizeof buf, "%02X %02X %02X", b[0], b[1], b[2]);
        return buf;
    }
    int timingPoint() const { return window->model().maps().at(MapId::TimingRpm, Point); }

    void connectAnswering(int choice)
    {
        sink->choice = choice;
        makeWindow(unit->setup());
        connectedWindow();
        waitIdle();
    }

    std::filesystem::path m_journal;
};

} // namespace

TEST_F(LeftoverEditsTest, AreOfferedAfterConnectAndSentIntoTheUnitAndTheTune)
{
    connectAnswering(0);
    ASSERT_EQ(sink->texts("choice").size(), 1u);
    EXPECT_TRUE(sink->texts("choice")[0].startsWith("1 edit(s)")) << sink->texts("choice")[0].toStdString();
    const auto sent = unit->writesStartingWith(edit()[0]);
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.back(), edit());
    EXPECT_EQ(timingPoint(), Raw - table::mapDef(MapId::TimingRpm).bias) << "the tune shows the edit";
    EXPECT_EQ(panel(0), "1 edit from the last session sent to the KYR");
    EXPECT_FALSE(std::filesystem::exists(m_journal));
}

TEST_F(LeftoverEditsTest, DroppedOnesAreNeitherSentNorKept)
{
    connectAnswering(1);
    EXPECT_TRUE(unit->writesStartingWith(edit()[0]).empty());
    EXPECT_NE(timingPoint(), Raw - table::mapDef(MapId::TimingRpm).bias);
    EXPECT_FALSE(std::filesystem::exists(m_journal));
}

TEST_F(LeftoverEditsTest, ABoxClosedWithoutAnAnswerKeepsThemForLater)
{
    connectAnswering(-1);
    EXPECT_TRUE(unit->writesStartingWith(edit()[0]).empty());
    EXPECT_TRUE(std::filesystem::exists(m_journal));
    EXPECT_TRUE(window->model().state().flags.UnitConnected);
}

// A journal this program did not write (a hand-edited file, a torn disk) is
// not sent: Connect still works and says the journal could not be read.
TEST_F(LeftoverEditsTest, AJournalThatIsNotOneIsNotSent)
{
    std::ofstream(m_journal) << "not a write\n" << hex(edit()) << "\n";
    connectAnswering(0);
    EXPECT_TRUE(sink->texts("choice").empty());
    EXPECT_TRUE(unit->writesStartingWith(edit()[0]).empty());
    EXPECT_TRUE(window->model().state().flags.UnitConnected);
    EXPECT_TRUE(std::filesystem::exists(m_journal.string() + ".unreadable")) << "kept for a look";
    EXPECT_TRUE(panel(0).startsWith("Unsent edits not read: ")) << panel(0).toStdString();
}
