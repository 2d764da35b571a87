// SPDX-License-Identifier: GPL-3.0-or-later
// The link keeper against the in-memory unit: when the link counts as lost,
// what is kept while it is, and how the unit is joined again.

#include "SessionFixture.h"

#include "session/LinkKeeper.h"
#include "tools/SerialNumber.h"

#include <algorithm>

using namespace kyr;
using namespace kyr::sessiontest;
using kyr::link::Bytes;
using kyr::link::FakeOp;
using kyr::session::Activity;
using kyr::session::Commands;
using kyr::session::EditJournal;
using kyr::session::LinkKeeper;
using kyr::session::ProbeOutcome;
using kyr::session::RejoinOutcome;
using kyr::session::SendOutcome;
using kyr::session::SessionResult;
using kyr::session::TuneState;
using Texts = std::vector<std::string>;
namespace fs = std::filesystem;

namespace {

const auto LostTime = std::chrono::system_clock::from_time_t(1'800'000'000);
const Bytes Record{10, 20, 30, 40, 50, 60, 70, 80};
const Bytes EditA = link::writePoint(0xE8, 5, 0x20);  // offset 106
const Bytes EditB = link::writePoint(0xD4, 3, 0x11);  // offset 332
const Bytes EditC = link::writeByte(40, 0x07);        // offset 40, the setup

Commands noCommands()
{
    Commands none;
    none.refreshPorts = false;
    none.choosePort = false;
    return none;
}

} // namespace

class Keeper : public SessionFixture {
protected:
    SessionResult connectGuarded(LinkKeeper& k)
    {
        auto r = k.guarded(s, Activity::Talks, [this](TuneState& st) { return session.connect(st); });
        EXPECT_FALSE(r.error) << r.error->message;
        EXPECT_TRUE(s.flags.UnitConnected);
        return r;
    }
    /// The cable is pulled: the next count fails (or the next write) and the port stays missing.
    void dropCable(FakeOp op = FakeOp::Count)
    {
        device.injectError(op, makeError(ErrorKind::PortUnavailable, UnitPath + " was disconnected"));
        device.setOpenable(UnitPath, false);
    }
    void plugBack() { device.setOpenable(UnitPath, true); }
    /// Connected, then the cable goes during a table read.
    void connectThenLose()
    {
        connectGuarded(keeper);
        before = s.commands();
        dropCable();
        auto r = keeper.guarded(s, Activity::TableRead, [this](TuneState& st) { return session.tableRead(st); });
        ASSERT_TRUE(keeper.lost());
        ASSERT_TRUE(r.error.has_value());
        EXPECT_EQ(r.error->message, "Link lost during the table read");
    }
    /// An edit as the editors make it: into the program's tune, then to the keeper.
    SendOutcome edit(LinkKeeper& k, const Bytes& bytes)
    {
        const auto e = session::singleWrite(bytes);
        EXPECT_TRUE(e.has_value());
        const auto value = static_cast<uint8_t>(e->raw + 1);
        s.image[static_cast<std::size_t>(e->offset)] = value;
        if (e->offset < table::SetupSize)
            s.setup[static_cast<std::size_t>(e->offset)] = value;
        return k.send(bytes);
    }
    /// Lost, edited twice, back on the port with the same unit answering.
    void loseEditAndProbe()
    {
        connectThenLose();
        EXPECT_EQ(edit(keeper, EditA), SendOutcome::Journaled);
        EXPECT_EQ(edit(keeper, EditB), SendOutcome::Journaled);
        plugBack();
        ASSERT_EQ(keeper.probe(s), ProbeOutcome::SameUnit);
        device.clearWritten();
    }

    LinkKeeper keeper{efi, clock, session, {}, [] { return LostTime; }};
    Commands before;
};

// ---------------------------------------------------------------- noticing the loss

TEST_F(Keeper, ThirdMissingLiveRecordInARowLosesTheLink)
{
    connectGuarded(keeper);
    keeper.readLive();
    keeper.readLive();
    unit.live = Record;
    EXPECT_EQ(keeper.readLive(), Record);
    unit.live.clear();
    keeper.readLive();
    keeper.readLive();
    EXPECT_FALSE(keeper.lost()) << "the reply in between starts the count again";
    EXPECT_TRUE(keeper.readLive().empty());
    EXPECT_TRUE(keeper.lost());
    EXPECT_FALSE(efi.Opened());
    EXPECT_EQ(keeper.lostAt(), session::clockText(LostTime));
}

TEST_F(Keeper, FastPaceMissesCountAndLoseTheLinkAsTheNormalOnes)
{
    connectGuarded(keeper);
    unit.live = Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    const uint32_t before = clock.tickMs();
    EXPECT_EQ(keeper.readLive(session::LivePace::Fast), unit.live);
    EXPECT_LT(clock.tickMs() - before, uint32_t(link::pause::ReadLiveMs)) << "a whole record is not waited out";
    unit.live.clear();
    keeper.readLive(session::LivePace::Fast);
    keeper.readLive(session::LivePace::Fast);
    EXPECT_FALSE(keeper.lost());
    EXPECT_TRUE(keeper.readLive(session::LivePace::Fast).empty());
    EXPECT_TRUE(keeper.lost());
}

// A port closed by Disconnect is not a lost link: a poll or an edit that
// was already queued finds no unit, and nothing is kept for later.
TEST_F(Keeper, DisconnectIsNotALostLink)
{
    connectGuarded(keeper);
    auto r = keeper.disconnect(s);
    ASSERT_FALSE(r.error);
    device.clearWritten();
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(keeper.readLive().empty());
    EXPECT_EQ(keeper.send(EditA), SendOutcome::Refused);
    EXPECT_FALSE(keeper.lost());
    EXPECT_FALSE(s.link.lost);
    EXPECT_TRUE(keeper.journal().empty());
    EXPECT_TRUE(device.writes().empty());

    connectGuarded(keeper);
    unit.live = Record;
    EXPECT_EQ(keeper.readLive(), Record);
    EXPECT_EQ(keeper.send(EditA), SendOutcome::Sent);
}

TEST_F(Keeper, DisconnectWaitsWhileTheLinkIsLost)
{
    connectThenLose();
    auto r = keeper.disconnect(s);
    ASSERT_TRUE(r.error.has_value());
    EXPECT_EQ(r.error->kind, ErrorKind::LinkLost);
    EXPECT_TRUE(s.link.lost);
}

TEST_F(Keeper, DeviceErrorLosesItAtOnceAndNothingGoesOutAfter)
{
    connectGuarded(keeper);
    unit.live = Record;
    dropCable();
    EXPECT_TRUE(keeper.readLive().empty());
    EXPECT_TRUE(keeper.lost());
    EXPECT_EQ(efi.disconnects(), 1);
    EXPECT_FALSE(efi.Opened());

    plugBack(); // even a port that would open is left alone
    device.clearWritten();
    const auto attempts = device.openAttempts().size();
    EXPECT_TRUE(keeper.readLive().empty());
    EXPECT_EQ(keeper.send(EditA), SendOutcome::Journaled);
    EXPECT_TRUE(device.writes().empty());
    EXPECT_EQ(device.openAttempts().size(), attempts);
    EXPECT_FALSE(efi.Opened());
}

TEST_F(Keeper, SendsWhileLostAreJournaledInOrder)
{
    connectGuarded(keeper);
    EXPECT_EQ(keeper.send(EditA), SendOutcome::Sent);
    dropCable(FakeOp::Write);
    EXPECT_EQ(keeper.send(EditB), SendOutcome::Journaled) << "the write that finds the device gone";
    EXPECT_TRUE(keeper.lost());
    EXPECT_EQ(keeper.send(EditC), SendOutcome::Journaled);
    EXPECT_EQ(keeper.send(link::readLive()), SendOutcome::Refused);
    std::vector<Bytes> journaled;
    for (const auto& e : keeper.journal().entries())
        journaled.push_back(e.bytes);
    EXPECT_EQ(journaled, (std::vector<Bytes>{EditB, EditC}));
}

TEST_F(Keeper, WhileLostOnlyQuietUseCasesRun)
{
    connectThenLose();
    EXPECT_TRUE(s.link.lost);
    EXPECT_EQ(s.commands(), noCommands());
    for (Activity a : {Activity::Talks, Activity::TableRead, Activity::TableWrite}) {
        bool ran = false;
        auto r = keeper.guarded(s, a, [&](TuneState&) { ran = true; return SessionResult{}; });
        EXPECT_FALSE(ran);
        ASSERT_TRUE(r.error.has_value());
        EXPECT_EQ(r.error->kind, ErrorKind::LinkLost);
    }
    bool ran = false;
    auto r = keeper.guarded(s, Activity::Quiet, [&](TuneState&) { ran = true; return SessionResult{}; });
    EXPECT_TRUE(ran);
    EXPECT_FALSE(r.error);
}

TEST_F(Keeper, TableWriteLostBeforeItsReadBackHoldsEverythingBack)
{
    connectGuarded(keeper);
    device.setResponder([this](const Bytes& w) {
        Bytes reply = unit.answer(w);
        // The image is in: the cable goes before the read-back.
        if (w.size() == static_cast<std::size_t>(table::TableSize))
            dropCable();
        return reply;
    });
    const auto mine = shownImage();
    auto r = keeper.guarded(s, Activity::TableWrite, [&](TuneState& st) { return session.tableWrite(st, mine); });
    ASSERT_TRUE(r.error.has_value());
    EXPECT_EQ(r.error->kind, ErrorKind::LinkLost);
    // How much of the image reached the unit is not known.
    const std::string text = session::CutWriteText;
    EXPECT_EQ(r.error->message, text);
    EXPECT_EQ(s.status.message, text);
    EXPECT_EQ(std::count(r.statuses.begin(), r.statuses.end(), "Data table written to KYR"), 0);
    EXPECT_TRUE(s.link.lost);
    EXPECT_TRUE(s.link.writeCut);
    EXPECT_TRUE(s.link.powerCycle);
    Commands onlyWrite = noCommands();
    onlyWrite.writeTable = true; // the user's word that the unit was switched off and on
    EXPECT_EQ(s.commands(), onlyWrite);
    EXPECT_FALSE(s.pollRunning);
}

// ---------------------------------------------------------------- probe

TEST_F(Keeper, ProbeTellsWhoAnswersOnTheLostPort)
{
    connectThenLose();
    device.clearWritten();
    EXPECT_EQ(keeper.probe(s), ProbeOutcome::NoAnswer);
    EXPECT_TRUE(device.writes().empty());

    plugBack();
    unit.identity[2] = 9; // another unit
    EXPECT_EQ(keeper.probe(s), ProbeOutcome::OtherUnit);
    EXPECT_EQ(wire(), Texts{"FF"});
    EXPECT_FALSE(efi.Opened());

    unit.identity[2] = 2;
    EXPECT_EQ(keeper.probe(s), ProbeOutcome::SameUnit);
    EXPECT_TRUE(efi.Opened());
    EXPECT_EQ(device.openPath(), UnitPath);
}

// ---------------------------------------------------------------- rejoin

TEST_F(Keeper, UnchangedUnitGetsTheJournalReplayed)
{
    loseEditAndProbe();
    const auto mine = shownImage();
    auto out = keeper.rejoin(s, mine);
    ASSERT_EQ(out.outcome, RejoinOutcome::Replayed) << (out.session.error ? out.session.error->message : "");
    EXPECT_EQ(out.sent, 2u);
    EXPECT_EQ(device.writes(), (std::vector<Bytes>{link::readTable(), EditA, EditB}));
    EXPECT_EQ(kept(unit.table), kept(mine.plusOne));
    ASSERT_TRUE(s.unitImage.has_value());
    EXPECT_EQ(kept(*s.unitImage), kept(unit.table));
    EXPECT_EQ(s.status.message, "Link restored: 2 edits sent to the KYR");
    EXPECT_FALSE(s.link.lost);
    EXPECT_FALSE(keeper.lost());
    EXPECT_EQ(s.commands(), before);
    EXPECT_TRUE(keeper.journal().empty());
}

TEST_F(Keeper, UnitThatAlreadyHoldsTheTuneIsRestored)
{
    loseEditAndProbe();
    const auto mine = shownImage();
    unit.table = mine.plusOne; // the edits reached it after all
    auto out = keeper.rejoin(s, mine);
    EXPECT_EQ(out.outcome, RejoinOutcome::Restored);
    EXPECT_EQ(device.writes(), std::vector<Bytes>{link::readTable()});
    EXPECT_TRUE(keeper.journal().empty());
    EXPECT_EQ(s.status.message, "Link restored");
    EXPECT_EQ(s.commands(), before);
}

TEST_F(Keeper, TableWithAnotherSerialNumberIsNotJoined)
{
    loseEditAndProbe();
    unit.table[94] = static_cast<uint8_t>(unit.table[94] + 1);
    auto out = keeper.rejoin(s, shownImage());
    EXPECT_EQ(out.outcome, RejoinOutcome::OtherUnit);
    ASSERT_TRUE(out.session.error.has_value());
    EXPECT_EQ(out.session.error->kind, ErrorKind::NoUnit);
    EXPECT_FALSE(efi.Opened());
    EXPECT_TRUE(keeper.lost());
    EXPECT_TRUE(s.link.lost);
    EXPECT_EQ(keeper.journal().size(), 2u);
}

class KeeperDiverged : public Keeper {
protected:
    /// The unit was changed elsewhere at offset 300, which no edit touched.
    void rejoinChangedUnit()
    {
        loseEditAndProbe();
        unit.table[300] = static_cast<uint8_t>(unit.table[300] + 1);
        changedUnit = unit.table;
        auto out = keeper.rejoin(s, shownImage());
        ASSERT_EQ(out.outcome, RejoinOutcome::Diverged);
        EXPECT_EQ(out.differences, (std::vector<int>{106, 300, 332}));
    }
    table::ImageBytes changedUnit{};
};

TEST_F(KeeperDiverged, NothingIsWrittenAndOnlyTheChoiceIsOffered)
{
    rejoinChangedUnit();
    EXPECT_EQ(device.writes(), std::vector<Bytes>{link::readTable()});
    EXPECT_EQ(unit.table, changedUnit);
    Commands choose = noCommands();
    choose.writeTable = true;
    choose.readTable = true;
    EXPECT_EQ(s.commands(), choose);
    EXPECT_TRUE(s.link.choosing);
    EXPECT_FALSE(s.link.lost);
    EXPECT_EQ(keeper.journal().size(), 2u);
}

// The journal would set offset 106 again, but over a value that is not the one it was made on.
TEST_F(KeeperDiverged, ChangeUnderAnEditIsNotOverwritten)
{
    loseEditAndProbe();
    unit.table[106] = static_cast<uint8_t>(unit.table[106] + 7);
    auto out = keeper.rejoin(s, shownImage());
    EXPECT_EQ(out.outcome, RejoinOutcome::Diverged);
    EXPECT_EQ(device.writes(), std::vector<Bytes>{link::readTable()});
    EXPECT_TRUE(s.link.choosing);
}

TEST_F(KeeperDiverged, KeepingTheUnitsTableShowsItAndDropsTheJournal)
{
    rejoinChangedUnit();
    auto r = keeper.keepUnitTable(s);
    ASSERT_FALSE(r.error) << r.error->message;
    EXPECT_TRUE(r.mapsDecoded);
    EXPECT_EQ(kept(s.image), kept(changedUnit));
    EXPECT_EQ(s.setup, table::setupOf(changedUnit));
    EXPECT_TRUE(keeper.journal().empty());
    EXPECT_FALSE(s.link.choosing);
    EXPECT_EQ(s.commands(), before);
}

TEST_F(KeeperDiverged, WritingTheProgramsTuneSettlesIt)
{
    rejoinChangedUnit();
    const auto mine = shownImage();
    auto r = keeper.guarded(s, Activity::TableWrite, [&](TuneState& st) { return session.tableWrite(st, mine); });
    ASSERT_FALSE(r.error) << r.error->message;
    EXPECT_EQ(kept(unit.table), kept(mine.plusOne));
    EXPECT_TRUE(keeper.journal().empty());
    EXPECT_FALSE(s.link.choosing);
    EXPECT_EQ(s.link.journaled, 0u);
    EXPECT_EQ(s.commands(), before);
}

// ---------------------------------------------------------------- an earlier run's edits

class KeeperLeftovers : public Keeper {
protected:
    /// The journal an earlier run left for the unit, holding EditA and EditC.
    void leaveJournal()
    {
        EditJournal earlier;
        ASSERT_TRUE(earlier.attach(file));
        ASSERT_TRUE(earlier.add(EditA));
        ASSERT_TRUE(earlier.add(EditC));
    }

    TempFolder root{"kyr-keeper"};
    fs::path file = session::journalPath(root.path(), tools::serialText(table::setupOf(unit.table)));
    LinkKeeper filed{efi, clock, session, root.path(), [] { return LostTime; }};
};

TEST_F(KeeperLeftovers, EditsMadeWhileLostAreFoundByTheNextRun)
{
    connectGuarded(filed);
    dropCable();
    filed.readLive();
    ASSERT_TRUE(filed.lost());
    EXPECT_EQ(edit(filed, EditA), SendOutcome::Journaled);
    EXPECT_EQ(edit(filed, EditC), SendOutcome::Journaled);
    EXPECT_FALSE(filed.journalError());

    plugBack();
    s = TuneState::initial();
    s.port = session::PortAddress::comPort(UnitCom);
    LinkKeeper next{efi, clock, session, root.path()};
    EXPECT_EQ(connectGuarded(next).unsentEdits, 2u);
}

TEST_F(KeeperLeftovers, SendingThemPutsThemIntoTheTune)
{
    leaveJournal();
    EXPECT_EQ(connectGuarded(filed).unsentEdits, 2u);
    device.clearWritten();
    auto r = filed.sendLeftovers(s);
    ASSERT_FALSE(r.error) << r.error->message;
    EXPECT_EQ(device.writes(), (std::vector<Bytes>{EditA, EditC}));
    EXPECT_EQ(s.image[106], 0x21);
    EXPECT_EQ(s.image[40], 0x08);
    EXPECT_EQ(s.setup[40], 0x08);
    EXPECT_EQ(unit.table[106], 0x21);
    ASSERT_TRUE(s.unitImage.has_value());
    EXPECT_EQ(kept(*s.unitImage), kept(unit.table));
    EXPECT_EQ(r.statuses, Texts{"2 edits from the last session sent to the KYR"});
    EXPECT_FALSE(fs::exists(file));
}

TEST_F(KeeperLeftovers, DroppingThemRemovesTheFile)
{
    leaveJournal();
    connectGuarded(filed);
    device.clearWritten();
    ASSERT_TRUE(filed.dropLeftovers(s));
    EXPECT_TRUE(filed.journal().empty());
    EXPECT_FALSE(fs::exists(file));
    EXPECT_TRUE(device.writes().empty());
}
