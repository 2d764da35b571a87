// SPDX-License-Identifier: GPL-3.0-or-later
// Write to KYR and its read-back, the backups of every table read, the write
// rules, and the port search and choice, against the in-memory unit.

#include "SessionFixture.h"

#include "session/Backups.h"
#include "session/WriteRules.h"
#include "tools/SerialNumber.h"

#include <fstream>
#include <unistd.h>

using namespace kyr;
using namespace kyr::sessiontest;
using session::PortAddress;
using Texts = std::vector<std::string>;
namespace fs = std::filesystem;

namespace {

bool startsWith(const std::string& text, const std::string& head) { return text.rfind(head, 0) == 0; }

bool contains(const Texts& texts, const std::string& text)
{
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

} // namespace

// ---------------------------------------------------------------- Write to KYR

class TableWrite : public SessionFixture {
protected:
    /// The shown tune with one map point changed, so that the write is not a no-op.
    table::EncodedImage editedImage()
    {
        auto maps = table::decodeMaps(s.image);
        maps.set(table::MapId::TimingRpm, 5, maps.at(table::MapId::TimingRpm, 5) + 1);
        return table::encode(s.setup, maps);
    }
};

TEST_F(TableWrite, RefusedWithoutAUnit)
{
    session.openFile(s, file);
    auto r = session.tableWrite(s, shownImage());
    ASSERT_TRUE(r.error.has_value());
    EXPECT_EQ(r.error->kind, ErrorKind::NoUnit);
    EXPECT_EQ(r.statuses, Texts{"KYR not connected"});
    EXPECT_TRUE(device.openAttempts().empty());
    EXPECT_TRUE(device.writes().empty());
}

TEST_F(TableWrite, BackupReadThenImageThenReadBackWithTheirPauses)
{
    connectUnit();
    device.clearWritten();
    const std::size_t mark = clock.sleeps().size();
    s.flags.ImageChanged = true;
    const auto image = editedImage();
    auto r = session.tableWrite(s, image);
    ASSERT_FALSE(r.error) << r.error->message;
    EXPECT_EQ(wire(), (Texts{"FD", "F3", "482 bytes", "FD"}));
    const session::LinkTiming& t = session.timing();
    const int quiet = t.reply.quietMs;
    EXPECT_EQ(sleepsFrom(mark), (std::vector<int>{500, quiet, 100, t.writeSettleMs, 500, quiet}));
    link::Bytes expected(image.raw.begin(), image.raw.end());
    expected[table::TrailerOffset] = table::TrailerRaw;
    EXPECT_EQ(lastPayload(), expected);
    EXPECT_EQ(r.statuses, Texts{"Data table written to KYR"});
    EXPECT_FALSE(s.flags.ImageChanged);
    EXPECT_TRUE(r.mapsRedrawn);
    EXPECT_FALSE(r.mapsDecoded);
    EXPECT_TRUE(r.mismatched.empty());
    EXPECT_EQ(kept(unit.table), kept(image.plusOne));
    EXPECT_EQ(kept(*s.unitImage), kept(image.plusOne));
}

TEST_F(TableWrite, JoinedFileGoesToTheUnit)
{
    file.image[110] = 30;
    session.openFile(s, file);
    session.connect(s);
    device.clearWritten();
    auto r = session.tableWrite(s, shownImage());
    ASSERT_FALSE(r.error) << r.error->message;
    const link::Bytes payload = lastPayload();
    ASSERT_EQ(payload.size(), static_cast<std::size_t>(table::TableSize));
    for (int i = 0; i < table::TrailerOffset; ++i)
        ASSERT_EQ(payload[i], file.image[i] - 1) << "offset " << i;
    EXPECT_EQ(unit.table[110], 30);
    EXPECT_EQ(unit.table[table::TrailerOffset], table::TrailerRaw + 1);
    EXPECT_FALSE(s.flags.ImageChanged);
}

TEST_F(TableWrite, AByteTheUnitStoresWrongIsNotVerified)
{
    connectUnit();
    unit.corruptAt = {200};
    s.flags.ImageChanged = true;
    auto r = session.tableWrite(s, editedImage());
    ASSERT_TRUE(r.error.has_value());
    EXPECT_EQ(r.error->kind, ErrorKind::VerifyMismatch);
    EXPECT_EQ(r.mismatched, std::vector<int>{200});
    ASSERT_FALSE(r.statuses.empty());
    EXPECT_TRUE(startsWith(r.statuses.back(), "Write to KYR not verified:")) << r.statuses.back();
    EXPECT_NE(r.statuses.back().find("offset 200"), std::string::npos) << r.statuses.back();
    EXPECT_FALSE(contains(r.statuses, "Data table written to KYR"));
    EXPECT_TRUE(s.flags.ImageChanged);
    EXPECT_EQ(kept(*s.unitImage), kept(unit.table)); // what the unit really holds
}

TEST_F(TableWrite, AShortReadBackIsAskedAgainThenNotSuccess)
{
    connectUnit();
    const int tries = session.timing().readBackTries;
    for (int i = 2; i <= tries + 1; ++i)
        unit.cutRead[unit.tableReads + i] = 200; // every read after the write
    s.flags.ImageChanged = true;
    device.clearWritten();
    auto r = session.tableWrite(s, editedImage());
    ASSERT_TRUE(r.error.has_value());
    EXPECT_EQ(r.error->kind, ErrorKind::ShortReply);
    EXPECT_EQ(r.statuses, Texts{"Write to KYR not verified: Incomplete read from KYR: 200 of 481 bytes"});
    EXPECT_EQ(countOf(link::CmdReadTable), 1 + tries);
    EXPECT_FALSE(r.replyMissing); // not a lost link
    EXPECT_TRUE(s.flags.ImageChanged);
}

// A unit whose table cannot be read whole is still written: that may be its repair.
TEST_F(TableWrite, AShortBackupReadStillWrites)
{
    connectUnit();
    unit.cutRead[unit.tableReads + 1] = 50;
    device.clearWritten();
    auto r = session.tableWrite(s, editedImage());
    ASSERT_FALSE(r.error) << r.error->message;
    EXPECT_EQ(wire(), (Texts{"FD", "F3", "482 bytes", "FD"}));
    ASSERT_TRUE(r.backupError.has_value());
    EXPECT_EQ(r.statuses, (Texts{"Backup not written: Incomplete read from KYR: 50 of 481 bytes",
                                 "Data table written to KYR"}));
}

// The image goes only after its command byte, and a cut image is a failed write.
TEST_F(TableWrite, ACutImageFailsWithoutAReadBack)
{
    connectUnit();
    device.clearWritten();
    device.setResponder([this](const link::Bytes& w) {
        if (w == link::Bytes{link::CmdWriteTable})
            device.limitNextWrite(100);
        return unit.answer(w);
    });
    auto r = session.tableWrite(s, editedImage());
    ASSERT_TRUE(r.error.has_value());
    EXPECT_EQ(r.error->kind, ErrorKind::WriteFailed);
    EXPECT_EQ(wire(), (Texts{"FD", "F3", "100 bytes"}));
    ASSERT_FALSE(r.statuses.empty());
    EXPECT_TRUE(startsWith(r.statuses.back(), "Write to KYR failed")) << r.statuses.back();
    EXPECT_FALSE(contains(r.statuses, "Data table written to KYR"));
}

// ---------------------------------------------------------------- backups

// A session that keeps its backups in a folder of the test's own.
class SessionBackups : public SessionFixture {
protected:
    SessionBackups() { fs::remove_all(root); }
    ~SessionBackups() override { fs::remove_all(root); }

    static fs::path uniqueRoot()
    {
        return fs::temp_directory_path() / ("kyr-session-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    }

    /// The unit's table as a backup must hold it.
    void expectUnitsTable(const std::optional<fs::path>& backup, const table::ImageBytes& expected)
    {
        ASSERT_TRUE(backup.has_value());
        auto loaded = files::loadMapFile(*backup);
        ASSERT_TRUE(loaded.ok()) << loaded.error().message;
        EXPECT_EQ(kept(loaded.value().image), kept(expected));
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(loaded.value().identity[i], unit.identity[i]) << "identity byte " << i;
    }

    fs::path root = uniqueRoot();
    session::BackupStore store{root};
    session::TuneSession backed{efi, clock, &store};
};

TEST_F(SessionBackups, ConnectReadAndWriteEachKeepTheUnitsTable)
{
    auto c = backed.connect(s);
    ASSERT_FALSE(c.error) << c.error->message;
    expectUnitsTable(c.backup, unit.table);

    unit.table[250] = static_cast<uint8_t>(unit.table[250] + 1);
    auto r = backed.tableRead(s);
    ASSERT_FALSE(r.error) << r.error->message;
    expectUnitsTable(r.backup, unit.table);
    EXPECT_NE(*r.backup, *c.backup);

    const table::ImageBytes before = unit.table;
    auto w = backed.tableWrite(s, shownImage());
    ASSERT_FALSE(w.error) << w.error->message;
    expectUnitsTable(w.backup, before);
    // The table read back after the write is kept too, as written.
    expectUnitsTable(w.written, unit.table);
    const auto kept = store.list(session::serialFolder(tools::serialText(s.setup)));
    ASSERT_EQ(kept.size(), 4u);
    EXPECT_EQ(kept.front().path, *w.written);
    EXPECT_EQ(kept.front().kind, session::HistoryKind::Written);
    EXPECT_EQ(kept[1].kind, session::HistoryKind::Read);
}

// A backup is of the unit: it carries the unit's identity, not that of the
// file about to overwrite it, or restoring it would ask about a type mismatch.
TEST_F(SessionBackups, FileJoinedToTheUnitBacksUpTheUnit)
{
    file.identity[1] = 2; // made for a Fuel unit
    backed.openFile(s, file);
    backed.connect(s);
    const table::ImageBytes before = unit.table;
    auto w = backed.tableWrite(s, shownImage());
    ASSERT_FALSE(w.error) << w.error->message;
    expectUnitsTable(w.backup, before);
}

TEST_F(SessionBackups, FileOpenedOnAConnectedUnitBacksUpTheUnit)
{
    backed.connect(s);
    file.identity[1] = 2;
    backed.openFile(s, file);
    const table::ImageBytes before = unit.table;
    auto w = backed.tableWrite(s, shownImage());
    ASSERT_FALSE(w.error) << w.error->message;
    expectUnitsTable(w.backup, before);
}

TEST_F(SessionBackups, AFolderThatCannotBeMadeDoesNotStopTheRead)
{
    std::ofstream(root) << "a file where the folder should be";
    auto r = backed.connect(s);
    ASSERT_FALSE(r.error) << r.error->message;
    ASSERT_TRUE(r.backupError.has_value());
    EXPECT_FALSE(r.backup.has_value());
    const std::string text = "Backup not written: " + r.backupError->message;
    EXPECT_TRUE(contains(r.statuses, text));
    EXPECT_EQ(r.statuses.back(), text);
    EXPECT_TRUE(r.mapsDecoded);
    EXPECT_EQ(kept(s.image), kept(unit.table));
    EXPECT_TRUE(s.commands().writeTable);
}

// The table written is verified all the same; only its record is missing, and said.
TEST_F(SessionBackups, AWriteThatCannotBeKeptInTheHistoryStillSucceeds)
{
    auto c = backed.connect(s);
    ASSERT_FALSE(c.error) << c.error->message;
    const fs::path unitFolder = c.backup->parent_path();
    fs::remove_all(unitFolder);
    std::ofstream(unitFolder) << "a file where the unit's folder should be";
    auto w = backed.tableWrite(s, shownImage());
    ASSERT_FALSE(w.error) << w.error->message;
    EXPECT_FALSE(w.written.has_value());
    ASSERT_GE(w.statuses.size(), 2u);
    EXPECT_TRUE(startsWith(w.statuses[w.statuses.size() - 2], "Write not kept in the history: "))
        << w.statuses[w.statuses.size() - 2];
    EXPECT_EQ(w.statuses.back(), "Data table written to KYR");
}

// ---------------------------------------------------------------- the write rules

TEST(WriteRules, TypeCheckAsksOnlyWhenAFileTypeDiffersFromTheUnits)
{
    EXPECT_FALSE(session::checkUnitType(0, 3)); // the image came from the unit itself
    EXPECT_FALSE(session::checkUnitType(3, 3));
    auto m = session::checkUnitType(2, 3);
    ASSERT_TRUE(m.has_value());
    EXPECT_EQ(m->text(), "This file was made for a Fuel unit (type 2), but the connected KYR is a "
                         "Fuel and Timing unit (type 3).");
    auto unknown = session::checkUnitType(9, 1);
    ASSERT_TRUE(unknown.has_value());
    EXPECT_EQ(unknown->text(), "This file was made for a unit (type 9), but the connected KYR is a "
                               "Timing and Vacuum unit (type 1).");
}

TEST(WriteRules, DifferingOffsetsIgnoreTheUnitsTrailer)
{
    table::ImageBytes written;
    written.fill(10);
    table::ImageBytes back = written;
    back[0] = 11;
    back[200] = 9;
    back[480] = 0;
    back[table::TrailerOffset] = 56;
    EXPECT_EQ(session::differingOffsets(written, back), (std::vector<int>{0, 200, 480}));
    EXPECT_TRUE(session::differingOffsets(written, written).empty());
}

TEST(WriteRules, OffsetListShowsTenThenCounts)
{
    EXPECT_EQ(session::offsetList({}), "");
    EXPECT_EQ(session::offsetList({12, 40, 300}), "12, 40, 300");
    std::vector<int> many;
    for (int i = 1; i <= 12; ++i)
        many.push_back(i);
    EXPECT_EQ(session::offsetList(many), "1, 2, 3, 4, 5, 6, 7, 8, 9, 10 and 2 more");
}

// ---------------------------------------------------------------- the port search and choice

// Units by device path, each with its own identity; a port without one opens
// but stays silent.
class Ports : public SessionFixture {
protected:
    Ports()
    {
        s = session::TuneState::initial();
        device.setResponder([this](const link::Bytes& w) -> link::Bytes {
            auto it = units.find(device.openPath());
            if (it == units.end())
                return {};
            if (w == link::Bytes{link::CmdReadIdentity})
                return link::Bytes(it->second.begin(), it->second.end());
            return unit.answer(w); // every unit holds the same table
        });
    }
    void unitOn(const std::string& path, std::array<uint8_t, 7> identity)
    {
        device.setOpenable(path, true);
        units[path] = identity;
    }

    std::map<std::string, std::array<uint8_t, 7>> units;
};

// COM1 and COM3 open but are silent; a Timing unit on COM2, a Fuel and Timing one on COM5.
class PortSearch : public Ports {
protected:
    PortSearch()
    {
        device.setOpenable(pathOf(1), true);
        unitOn(pathOf(2), {3, 1, 2, 0, 0, 5, 6});
        unitOn(pathOf(5), {4, 3, 7, 0, 0, 5, 6});
    }
};

TEST_F(PortSearch, AtStartUpTheLastUnitFoundWins)
{
    auto r = session.portSearch(s);
    EXPECT_FALSE(r.error);
    EXPECT_EQ(device.openAttempts().size(), 20u);
    EXPECT_EQ(s.ports, (std::vector<int>{1, 2, 3, 5}));
    EXPECT_EQ(s.port, PortAddress::comPort(5));
    EXPECT_EQ(r.statuses, (Texts{"No KYR present", "Timing Module found on Com2", "Fuel and Timing Module found on Com5"}));
    EXPECT_EQ(wire(), (Texts{"FF", "FF", "FF", "FF"}));
    EXPECT_EQ(clock.sleeps(), (std::vector<int>{100, 100, 100, 100}));
    ASSERT_EQ(r.probes.size(), 4u);
    EXPECT_EQ(r.probes[1].devicePath, pathOf(2));
    EXPECT_FALSE(r.probes[0].unit.has_value());
    EXPECT_TRUE(r.probes[1].unit.has_value());
    EXPECT_FALSE(r.probes[2].unit.has_value());
    EXPECT_TRUE(r.probes[3].unit.has_value());
    EXPECT_TRUE(s.commands().connect);
    EXPECT_FALSE(s.commands().refreshPorts);
    EXPECT_FALSE(efi.Opened());
}

TEST_F(PortSearch, RefreshTakesTheFirstUnitFound)
{
    auto r = session.refreshComPort(s);
    EXPECT_EQ(s.port, PortAddress::comPort(2));
    EXPECT_EQ(r.statuses, (Texts{"No KYR present", "EFI version 3.1.1 found on Com2"}));
    EXPECT_EQ(clock.sleeps(), (std::vector<int>{200, 200, 200, 200}));
    EXPECT_EQ(s.ports, (std::vector<int>{1, 2, 3, 5}));
}

TEST_F(Ports, NoUnitAnywhereIsSaid)
{
    auto r = session.portSearch(s);
    ASSERT_TRUE(r.error.has_value());
    EXPECT_EQ(r.error->kind, ErrorKind::NoUnit);
    EXPECT_EQ(s.ports, std::vector<int>{UnitCom});
    EXPECT_EQ(r.statuses, (Texts{"No KYR present", "No KYR present"}));
    EXPECT_TRUE(s.port.empty());
    EXPECT_FALSE(s.commands().connect);
}

TEST_F(Ports, AnEmptyChoiceIsRefused)
{
    s.port = PortAddress::comPort(UnitCom);
    auto r = session.selectPort(s, session::portFromChooserText("Comx"));
    ASSERT_TRUE(r.error.has_value());
    EXPECT_EQ(r.error->kind, ErrorKind::BadArgument);
    EXPECT_EQ(s.port, PortAddress::comPort(UnitCom));
    EXPECT_TRUE(device.openAttempts().empty());
}

TEST_F(Ports, ADevicePathOpensAsItStands)
{
    const std::string pty = "/dev/pts/7";
    unitOn(pty, unit.identity);
    auto r = session.selectPort(s, PortAddress::devicePath(pty));
    EXPECT_FALSE(r.error);
    EXPECT_EQ(device.openPath(), pty);
    EXPECT_EQ(s.port, PortAddress::devicePath(pty));
    auto c = session.connect(s);
    ASSERT_FALSE(c.error) << c.error->message;
    EXPECT_TRUE(s.flags.UnitConnected);
    for (const auto& p : device.openAttempts())
        EXPECT_EQ(p, pty);

    // A COM port chosen after it is resolved again, not the old path.
    unitOn(pathOf(2), unit.identity);
    r = session.selectPort(s, PortAddress::comPort(2));
    EXPECT_FALSE(r.error);
    EXPECT_EQ(device.openPath(), pathOf(2));
}

TEST_F(Ports, APortThatWillNotOpenSaysWhy)
{
    auto r = session.selectPort(s, PortAddress::comPort(7));
    ASSERT_TRUE(r.error.has_value());
    EXPECT_EQ(r.error->kind, ErrorKind::PortUnavailable);
    EXPECT_EQ(s.port, PortAddress::comPort(7));
    EXPECT_FALSE(efi.Opened());
}
