// SPDX-License-Identifier: GPL-3.0-or-later
// Connect, the table read and opening files, against the in-memory unit:
// what goes on the wire, what the user reads, and what the tune holds after.

#include "SessionFixture.h"

using namespace kyr;
using namespace kyr::sessiontest;
using session::PortAddress;
using Texts = std::vector<std::string>;

namespace {

const Texts ConnectedTexts{"Searching ComPorts...", "KYR Connected", "Reading KYR Setup Data...", "Ready"};

} // namespace

// ---------------------------------------------------------------- Connect, no file

class ConnectUnit : public SessionFixture {};

TEST_F(ConnectUnit, ReadsIdentitySetupAndWholeTableOnTheChosenPort)
{
    auto r = session.connect(s);
    ASSERT_FALSE(r.error) << r.error->message;
    EXPECT_EQ(wire(), (Texts{"FF", "FD", "FD"}));
    // The fixed pauses, each followed by the quiet time that shows the reply is whole.
    const int quiet = session.timing().reply.quietMs;
    EXPECT_EQ(clock.sleeps(), (std::vector<int>{300, quiet, 500, quiet, 500, quiet}));
    ASSERT_FALSE(device.openedPaths().empty());
    EXPECT_EQ(device.openedPaths().front(), UnitPath);
    EXPECT_EQ(device.appliedSettings().front().baud, 19200);
    EXPECT_EQ(r.statuses, ConnectedTexts);
    EXPECT_EQ(s.status.message, "Ready");
    EXPECT_TRUE(r.identityChanged);
    EXPECT_TRUE(r.setupDecoded);
    EXPECT_TRUE(r.mapsDecoded);
}

TEST_F(ConnectUnit, LeavesTheUnitsTableAndSetupAndEnablesWrite)
{
    connectUnit();
    EXPECT_EQ(s.setup, table::setupOf(unit.table));
    EXPECT_EQ(kept(s.image), kept(unit.table));
    ASSERT_TRUE(s.unitImage.has_value());
    EXPECT_EQ(kept(*s.unitImage), kept(unit.table));
    EXPECT_TRUE(s.imageWhole);
    EXPECT_TRUE(s.flags.UnitConnected);
    EXPECT_TRUE(s.flags.EditsLive);
    EXPECT_FALSE(s.flags.FileOpen);
    EXPECT_FALSE(s.flags.FileDecoded);
    EXPECT_FALSE(s.flags.ImageChanged);
    EXPECT_TRUE(s.commands().writeTable);
    EXPECT_FALSE(s.commands().readTable);
    EXPECT_FALSE(s.commands().connect);
    EXPECT_FALSE(s.commands().choosePort);
    EXPECT_TRUE(s.commands().analogSignals);
    EXPECT_TRUE(s.pollRunning);
}

TEST_F(ConnectUnit, TakesTheUnitsIdentityForTheStatusLine)
{
    connectUnit();
    EXPECT_EQ(s.unit.identity.bytes, unit.identity);
    EXPECT_EQ(s.unit.modelText, "3");
    EXPECT_EQ(s.unit.versionText, "3.2");
    EXPECT_EQ(s.unitTypeCode, 3);
    EXPECT_EQ(s.unit.typeName, "Fuel and Timing");
    EXPECT_EQ(s.status.typeName, "Fuel and Timing");
    EXPECT_EQ(s.status.unitLine.rfind("KYR 3 v3.2 :: ", 0), 0u) << s.status.unitLine;
}

// The identity is copied by count: a zero minor version is not the end of the reply.
TEST_F(ConnectUnit, MinorVersionZeroIsStillAUnit)
{
    unit.identity = {3, 3, 0, 7, 1, 5, 6};
    connectUnit();
    EXPECT_EQ(s.unit.versionText, "3.0");
}

TEST_F(ConnectUnit, CalibrationFollowsTheFittedSensors)
{
    const auto on = [&](table::SetupParam p, bool fitted) {
        unit.table[table::setupOffset(p)] = fitted ? 3 : 2; // raw 2 on, 1 off
    };
    on(table::SetupParam::TpsActive, false);
    on(table::SetupParam::WaterActive, true);
    on(table::SetupParam::AirActive, false);
    on(table::SetupParam::MapActive, true);
    connectUnit();
    EXPECT_FALSE(s.commands().calibrateThrottle);
    EXPECT_TRUE(s.commands().calibrateWater);
    EXPECT_FALSE(s.commands().calibrateAir);
    EXPECT_TRUE(s.commands().calibrateMap);
}

TEST_F(ConnectUnit, ObserverSeesEveryTextInOrder)
{
    RecordingObserver seen;
    session.setObserver(&seen);
    auto r = session.connect(s);
    EXPECT_EQ(seen.texts, r.statuses);
    EXPECT_EQ(seen.texts, ConnectedTexts);
}

TEST_F(ConnectUnit, PortThatWillNotOpenSaysWhy)
{
    device.setOpenable(UnitPath, false);
    const auto before = s;
    auto r = session.connect(s);
    EXPECT_EQ(r.statuses, (Texts{"Searching ComPorts...", "KYR not connected"}));
    ASSERT_TRUE(r.error.has_value());
    EXPECT_EQ(r.error->kind, ErrorKind::PortUnavailable);
    EXPECT_NE(r.error->message.find(UnitPath), std::string::npos) << r.error->message;
    EXPECT_TRUE(device.writes().empty());
    EXPECT_TRUE(clock.sleeps().empty()); // no pause is waited out on a closed port
    EXPECT_EQ(s.setup, before.setup);
    EXPECT_FALSE(s.flags.UnitConnected);
}

TEST_F(ConnectUnit, TableReadAgainTakesTheUnitsNewTable)
{
    connectUnit();
    unit.table[200] = static_cast<uint8_t>(unit.table[200] + 1);
    device.clearWritten();
    auto r = session.tableRead(s);
    ASSERT_FALSE(r.error) << r.error->message;
    EXPECT_EQ(wire(), Texts{"FD"});
    EXPECT_TRUE(r.statuses.empty());
    EXPECT_TRUE(r.mapsDecoded);
    EXPECT_EQ(kept(s.image), kept(unit.table));
    EXPECT_EQ(kept(*s.unitImage), kept(unit.table));
}

// ---------------------------------------------------------------- files

class OpenFile : public SessionFixture {
protected:
    const std::filesystem::path path = "/tunes/demo.kyr";
};

TEST_F(OpenFile, SendsNothingAndShowsTheFile)
{
    auto r = session.openFile(s, file, path);
    EXPECT_TRUE(device.openAttempts().empty());
    EXPECT_TRUE(device.writes().empty());
    EXPECT_TRUE(clock.sleeps().empty());
    EXPECT_EQ(r.statuses, Texts{"KYR file opened successfully"});
    EXPECT_FALSE(r.error);
    EXPECT_TRUE(r.mapsDecoded);
    EXPECT_TRUE(s.flags.FileOpen);
    EXPECT_TRUE(s.flags.FileDecoded);
    EXPECT_TRUE(s.flags.ImageChanged);
    EXPECT_FALSE(s.flags.UnitConnected);
    EXPECT_EQ(s.image, file.image);
    EXPECT_EQ(s.setup, table::setupOf(file.image));
    EXPECT_EQ(s.filePath, path);
    EXPECT_EQ(s.fileTypeCode, 3);
    EXPECT_EQ(s.unit.typeName, "Fuel and Timing");
    EXPECT_FALSE(s.commands().writeTable); // there is no unit to write to yet
    EXPECT_FALSE(s.unitImage.has_value());
}

TEST_F(OpenFile, ConnectThenJoinsTheUnitWithoutReadingItsTable)
{
    file.image[110] = 30;
    session.openFile(s, file, path);
    auto r = session.connect(s);
    ASSERT_FALSE(r.error) << r.error->message;
    EXPECT_EQ(wire(), Texts{"FF"});
    EXPECT_EQ(clock.sleeps(), (std::vector<int>{300, session.timing().reply.quietMs}));
    EXPECT_EQ(r.statuses, (Texts{"Searching ComPorts...", "KYR Connected"}));
    EXPECT_TRUE(s.flags.UnitConnected);
    EXPECT_TRUE(s.flags.FileOpen);
    EXPECT_TRUE(s.flags.ImageChanged); // the file is not yet in the unit
    EXPECT_TRUE(s.commands().writeTable);
    EXPECT_FALSE(s.commands().connect);
    EXPECT_FALSE(s.commands().choosePort);
    EXPECT_EQ(s.image, file.image);
    EXPECT_EQ(s.setup, table::setupOf(file.image));
    EXPECT_EQ(s.unit.identity.bytes, unit.identity);
    EXPECT_EQ(s.unitTypeCode, 3);
    EXPECT_EQ(s.status.unitLine, "KYR 3 v3.2");
}

TEST_F(OpenFile, ConnectWithASilentUnitKeepsTheFile)
{
    session.openFile(s, file, path);
    unit.silent = true;
    auto r = session.connect(s);
    ASSERT_TRUE(r.error.has_value());
    EXPECT_EQ(r.error->kind, ErrorKind::NoUnit);
    EXPECT_EQ(r.statuses, (Texts{"Searching ComPorts...", "KYR not connected"}));
    EXPECT_FALSE(s.flags.UnitConnected);
    EXPECT_TRUE(s.flags.FileOpen);
    EXPECT_FALSE(s.commands().writeTable);
    EXPECT_EQ(s.image, file.image);
}

TEST_F(OpenFile, WithAUnitConnectedTheFileReplacesTheTuneWithoutTraffic)
{
    connectUnit();
    device.clearWritten();
    auto r = session.openFile(s, file, path);
    EXPECT_TRUE(device.writes().empty());
    EXPECT_EQ(r.statuses, (Texts{"KYR file opened successfully", "Ready"}));
    EXPECT_EQ(s.image, file.image);
    EXPECT_EQ(s.setup, table::setupOf(file.image));
    EXPECT_TRUE(s.flags.UnitConnected);
    EXPECT_TRUE(s.commands().writeTable);
    EXPECT_EQ(kept(*s.unitImage), kept(unit.table)); // what the unit holds is still known
}

TEST_F(OpenFile, TableReadShowsTheFileAgain)
{
    session.openFile(s, file, path);
    s.image[300] = 7; // an edit
    auto r = session.tableRead(s);
    EXPECT_FALSE(r.error);
    EXPECT_TRUE(device.writes().empty());
    EXPECT_EQ(s.image, file.image);
}

// ---------------------------------------------------------------- short and missing replies

class ShortReplies : public SessionFixture {};

TEST_F(ShortReplies, ShortSetupDecodesNothing)
{
    unit.cutRead[1] = 60;
    s.setup.fill(9);
    const auto before = s;
    auto r = session.connect(s);
    EXPECT_EQ(wire(), (Texts{"FF", "FD"}));
    EXPECT_EQ(r.statuses, (Texts{"Searching ComPorts...", "KYR Connected", "Reading KYR Setup Data...",
                                 "Incomplete read from KYR: 60 of 101 bytes"}));
    ASSERT_TRUE(r.error.has_value());
    EXPECT_EQ(r.error->kind, ErrorKind::ShortReply);
    EXPECT_FALSE(r.setupDecoded);
    EXPECT_FALSE(r.mapsDecoded);
    EXPECT_EQ(s.setup, before.setup);
    EXPECT_EQ(s.image, before.image);
    // Half a Connect takes no edits, and Connect may be tried again.
    EXPECT_FALSE(s.flags.EditsLive);
    EXPECT_TRUE(s.commands().connect);
    EXPECT_FALSE(s.imageWhole);
    EXPECT_FALSE(s.commands().writeTable);
}

TEST_F(ShortReplies, ShortTableKeepsTheMapsAndIsNeverWritable)
{
    unit.cutRead[2] = 312;
    const auto before = s.image;
    auto r = session.connect(s);
    EXPECT_EQ(wire(), (Texts{"FF", "FD", "FD"}));
    ASSERT_TRUE(r.error.has_value());
    EXPECT_EQ(r.error->kind, ErrorKind::ShortReply);
    ASSERT_FALSE(r.statuses.empty());
    EXPECT_EQ(r.statuses.back(), "Incomplete read from KYR: 312 of 481 bytes");
    EXPECT_TRUE(r.setupDecoded);
    EXPECT_FALSE(r.mapsDecoded);
    EXPECT_EQ(s.setup, table::setupOf(unit.table));
    EXPECT_TRUE(std::equal(before.begin() + table::SetupSize, before.end(), s.image.begin() + table::SetupSize));
    EXPECT_FALSE(s.unitImage.has_value());
    EXPECT_FALSE(s.imageWhole);
    EXPECT_FALSE(s.commands().writeTable);
    EXPECT_FALSE(s.flags.EditsLive) << "setup edits would reach a unit whose maps were never read";
    EXPECT_TRUE(s.commands().connect);

    device.clearWritten();
    auto w = session.tableWrite(s, shownImage());
    ASSERT_TRUE(w.error.has_value());
    EXPECT_EQ(w.error->kind, ErrorKind::BadArgument);
    EXPECT_TRUE(device.writes().empty());
}

TEST_F(ShortReplies, ShortTableReadLeavesTheLastTableAlone)
{
    connectUnit();
    const auto image = s.image;
    const auto unitImage = s.unitImage;
    unit.table[200] = static_cast<uint8_t>(unit.table[200] + 1);
    unit.tableCut = 400;
    auto r = session.tableRead(s);
    ASSERT_TRUE(r.error.has_value());
    EXPECT_EQ(r.error->kind, ErrorKind::ShortReply);
    EXPECT_EQ(r.statuses, Texts{"Incomplete read from KYR: 400 of 481 bytes"});
    EXPECT_FALSE(r.mapsDecoded);
    EXPECT_EQ(s.image, image);
    EXPECT_EQ(s.unitImage, unitImage);
}

// A unit that answered its identity owes Connect its setup and its table: one
// that does not come at all is told from one that comes short.
TEST_F(ShortReplies, ConnectTellsAMissingReplyFromAShortOne)
{
    unit.cutRead = {{1, 60}, {2, 0}, {4, 0}, {6, 312}}; // setup, setup; setup and table, twice
    for (const bool missing : {false, true, true, false})
        EXPECT_EQ(session.connect(s).replyMissing, missing) << "after " << unit.tableReads << " table reads";
    EXPECT_EQ(unit.tableReads, 6);
}

// Connect found no unit: only the identity was asked for, and neither the
// setup nor the flags changed.
static void expectNoUnit(const session::SessionResult& r, const session::TuneState& before, const Texts& wire,
                         const session::TuneState& s)
{
    EXPECT_EQ(wire, Texts{"FF"});
    EXPECT_EQ(r.statuses, (Texts{"Searching ComPorts...", "KYR not connected"}));
    ASSERT_TRUE(r.error.has_value());
    EXPECT_EQ(r.error->kind, ErrorKind::NoUnit);
    EXPECT_FALSE(r.setupDecoded);
    EXPECT_EQ(s.setup, before.setup);
    EXPECT_FALSE(s.flags.UnitConnected);
    EXPECT_FALSE(s.flags.EditsLive);
}

TEST_F(ShortReplies, SilenceIsNoUnitAndReadsNothing)
{
    unit.silent = true;
    s.setup.fill(9);
    const auto before = s;
    auto r = session.connect(s);
    expectNoUnit(r, before, wire(), s);
    EXPECT_FALSE(r.identityChanged);
    EXPECT_FALSE(r.mapsDecoded);
    EXPECT_EQ(s.image, before.image);
    EXPECT_FALSE(s.commands().writeTable);
}

// Only an open file carries the file signature 4 4: a port answering with it
// is not a unit, and no file is said to be open.
TEST_F(ShortReplies, ReplyWithTheFileSignatureIsNoUnit)
{
    unit.identity = {3, 3, 2, 7, 1, 4, 4};
    s.setup.fill(9);
    const auto before = s;
    const auto r = session.connect(s);
    expectNoUnit(r, before, wire(), s);
}

TEST_F(ShortReplies, ReadForSaveRefusesAShortTable)
{
    connectUnit();
    unit.tableCut = 312;
    auto saved = session.readForSave(s);
    ASSERT_FALSE(saved.ok());
    EXPECT_EQ(saved.error().message, "Incomplete read from KYR: 312 of 481 bytes; nothing was saved");
    unit.tableCut.reset();
    saved = session.readForSave(s);
    ASSERT_TRUE(saved.ok()) << saved.error().message;
    EXPECT_EQ(kept(saved.value()), kept(unit.table));
    EXPECT_EQ(saved.value()[table::TableSize - 1], 0);
}

// ---------------------------------------------------------------- a file that cannot be used

// Whatever was open before, a failed open leaves nothing for Connect to
// decode: the next Connect reads the unit's own setup, and a write sends it
// back as it was instead of a "0" fill.
class FailedOpen : public SessionFixture {
protected:
    void expectUnitsOwnSetupOnConnect()
    {
        device.clearWritten();
        RecordingObserver seen;
        session.setObserver(&seen);
        auto r = session.connect(s);
        session.setObserver(nullptr);
        ASSERT_FALSE(r.error) << r.error->message;
        EXPECT_EQ(wire(), (Texts{"FF", "FD", "FD"}));
        EXPECT_EQ(seen.texts, ConnectedTexts); // the setup read precedes its decode ("Ready")
        EXPECT_EQ(s.setup, table::setupOf(unit.table));
        EXPECT_NE(s.setup, filled());
        EXPECT_EQ(kept(s.image), kept(unit.table));
        EXPECT_FALSE(s.flags.FileOpen);
        EXPECT_FALSE(s.flags.FileDecoded);
    }

    void expectWriteSendsTheUnitsSetup()
    {
        const auto setupBefore = table::setupOf(unit.table);
        device.clearWritten();
        auto w = session.tableWrite(s, shownImage());
        ASSERT_FALSE(w.error) << w.error->message;
        const link::Bytes payload = lastPayload();
        ASSERT_EQ(payload.size(), static_cast<std::size_t>(table::TableSize));
        for (int i = 0; i < table::SetupSize; ++i)
            ASSERT_EQ(payload[i], setupBefore[i] - 1) << "offset " << i;
        EXPECT_EQ(table::setupOf(unit.table), setupBefore);
    }

    static table::SetupCopy filled()
    {
        table::SetupCopy f;
        f.fill('0');
        return f;
    }
};

TEST_F(FailedOpen, AfterAGoodFile)
{
    session.openFile(s, file);
    session.openFileFailed(s);
    EXPECT_FALSE(s.flags.FileOpen);
    EXPECT_FALSE(s.flags.FileDecoded);
    EXPECT_FALSE(s.fileImage.has_value());
    EXPECT_TRUE(s.filePath.empty());
    EXPECT_EQ(s.fileTypeCode, 0);
    EXPECT_TRUE(device.writes().empty());
    expectUnitsOwnSetupOnConnect();
    expectWriteSendsTheUnitsSetup();
}

TEST_F(FailedOpen, WithNoEarlierFile)
{
    session.openFileFailed(s);
    expectUnitsOwnSetupOnConnect();
    expectWriteSendsTheUnitsSetup();
}

TEST_F(FailedOpen, AfterAFileWasOpenedAndJoined)
{
    session.openFile(s, file);
    session.connect(s);
    ASSERT_TRUE(s.flags.UnitConnected);
    session.openFileFailed(s);
    expectUnitsOwnSetupOnConnect();
    expectWriteSendsTheUnitsSetup();
}

TEST_F(FailedOpen, ThenCloseAll)
{
    session.openFile(s, file);
    session.openFileFailed(s);
    session.closeAll(s);
    expectUnitsOwnSetupOnConnect();
    expectWriteSendsTheUnitsSetup();
}

// Close all without a failed open forgets the decoded file just the same.
TEST_F(FailedOpen, CloseAllAloneForgetsTheDecodedFile)
{
    session.openFile(s, file);
    session.closeAll(s);
    EXPECT_FALSE(s.imageWhole);
    EXPECT_FALSE(s.commands().writeTable);
    EXPECT_TRUE(s.commands().connect);
    expectUnitsOwnSetupOnConnect();
}

// ---------------------------------------------------------------- Disconnect

class Disconnect : public SessionFixture {};

TEST_F(Disconnect, ClosesThePortAndKeepsTheUnitsTuneInViewWithoutEdits)
{
    connectUnit();
    unit.table[110] = 40; // what the unit holds changes behind the program's back
    const table::ImageBytes shown = s.image;
    const int closes = device.closeCount();
    auto r = session.disconnect(s);
    EXPECT_FALSE(r.error);
    EXPECT_EQ(r.statuses, Texts{"Disconnected"});
    EXPECT_GT(device.closeCount(), closes);
    EXPECT_FALSE(device.isOpen());
    EXPECT_FALSE(s.flags.UnitConnected);
    EXPECT_FALSE(s.flags.EditsLive); // an edit would be lost to the next Connect's read
    EXPECT_FALSE(s.sendsAllowed());
    EXPECT_EQ(s.image, shown);
    EXPECT_TRUE(s.imageWhole);
    EXPECT_TRUE(s.commands().connect);
    EXPECT_TRUE(s.commands().choosePort);
    EXPECT_FALSE(s.commands().disconnect);
    EXPECT_FALSE(s.commands().writeTable);
    EXPECT_FALSE(s.commands().analogSignals);
    EXPECT_FALSE(s.pollRunning);

    // Connect again reads the unit afresh.
    connectUnit();
    EXPECT_TRUE(s.commands().disconnect);
    EXPECT_EQ(kept(s.image), kept(unit.table));
}

TEST_F(Disconnect, LeavesAnOpenFileEditableAndConnectJoinsAgain)
{
    file.image[110] = 30;
    session.openFile(s, file, "/tunes/demo.kyr");
    session.connect(s);
    ASSERT_TRUE(s.commands().disconnect);
    session.disconnect(s);
    EXPECT_TRUE(s.flags.FileOpen);
    EXPECT_TRUE(s.flags.EditsLive);
    EXPECT_FALSE(s.sendsAllowed());
    EXPECT_EQ(s.image, file.image);
    device.clearWritten();
    auto r = session.connect(s);
    ASSERT_FALSE(r.error) << r.error->message;
    EXPECT_EQ(wire(), Texts{"FF"}); // joins, the file's tune stays
    EXPECT_EQ(s.image, file.image);
    EXPECT_TRUE(s.flags.UnitConnected);
}
