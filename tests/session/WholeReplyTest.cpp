// SPDX-License-Identifier: GPL-3.0-or-later
// What the session takes from the unit only when its replies agree, what a
// write waits for before its read-back, and how a write that was cut off or
// whose read-back did not come leaves the link.

#include "SessionFixture.h"

#include "session/Backups.h"
#include "session/LinkKeeper.h"

#include <algorithm>

using namespace kyr;
using namespace kyr::sessiontest;
using kyr::link::Bytes;
using kyr::session::Activity;
using kyr::session::LinkKeeper;
using kyr::session::ProbeOutcome;
using kyr::session::SendOutcome;
using kyr::session::TuneState;
namespace fs = std::filesystem;

namespace {
const auto LostTime = std::chrono::system_clock::from_time_t(1'800'000'000);
} // namespace

// ---------------------------------------------------------------- the replies must agree

class AgreeingReplies : public SessionFixture {
protected:
    TempFolder folder{"kyr-agree"};
    session::BackupStore store{folder.path()};
    session::TuneSession backed{efi, clock, &store};
};

TEST_F(AgreeingReplies, SetupAndTableThatDifferInTheSerialAreRefusedUnsaved)
{
    // The serial number changes between the setup read and the table read:
    // one of the two is not the unit's table as it stands.
    device.setResponder([this](const Bytes& w) {
        Bytes reply = unit.answer(w);
        if (w == link::readTable())
            unit.table[96] = static_cast<uint8_t>(unit.table[96] + 1);
        return reply;
    });
    auto r = backed.connect(s);
    ASSERT_TRUE(r.error.has_value());
    EXPECT_EQ(r.error->kind, ErrorKind::GarbledReply);
    EXPECT_EQ(r.error->message, "Garbled reply from KYR: the table read and the setup read differ");
    EXPECT_FALSE(r.backup.has_value());
    EXPECT_TRUE(store.serials().empty());
    EXPECT_FALSE(s.imageWhole);
    EXPECT_FALSE(s.commands().writeTable);
}

// ---------------------------------------------------------------- the read-back

class ReadBack : public SessionFixture {
protected:
    table::EncodedImage edited()
    {
        auto image = shownImage();
        image.raw[200] = static_cast<uint8_t>(image.raw[200] + 1);
        image.plusOne[200] = static_cast<uint8_t>(image.plusOne[200] + 1);
        return image;
    }
    /// The unit answers no ReadTable for the next n after a table write.
    void busyFor(int n)
    {
        device.setResponder([this, n, after = -1](const Bytes& w) mutable {
            if (w.size() == static_cast<std::size_t>(table::TableSize))
                after = 0;
            else if (w == link::readTable() && after >= 0 && after < n) {
                ++after;
                return Bytes{};
            }
            return unit.answer(w);
        });
    }
};

TEST_F(ReadBack, WaitsTheSettlingTimeAndAsksAgainWhileTheUnitIsBusy)
{
    connectUnit();
    busyFor(2);
    device.clearWritten();
    const std::size_t mark = clock.sleeps().size();
    auto r = session.tableWrite(s, edited());
    ASSERT_FALSE(r.error) << r.error->message;
    EXPECT_EQ(wire(), (std::vector<std::string>{"FD", "F3", "482 bytes", "FD", "FD", "FD"}));
    const auto& t = session.timing();
    const int quiet = t.reply.quietMs, pause = link::pause::ReadTableMs;
    // The backup read; the image; the settling time; then a read-back, the
    // gap after each one that did not come, and the one that did.
    EXPECT_EQ(sleepsFrom(mark), (std::vector<int>{pause, quiet, link::pause::WriteTableGapMs, t.writeSettleMs, pause,
                                                  t.readBackGapMs, pause, t.readBackGapMs, pause, quiet}));
    EXPECT_EQ(r.statuses.back(), "Data table written to KYR");
}

TEST_F(ReadBack, NoReplyAtAllIsNotVerifiedYetAndTheLinkStays)
{
    connectUnit();
    busyFor(100);
    LinkKeeper keeper{efi, clock, session, {}, [] { return LostTime; }};
    const auto mine = edited();
    auto r = keeper.guarded(s, Activity::TableWrite, [&](TuneState& st) { return session.tableWrite(st, mine); });
    ASSERT_TRUE(r.error.has_value());
    EXPECT_NE(r.error->kind, ErrorKind::LinkLost);
    EXPECT_EQ(r.statuses.back(),
              "Write to KYR not verified: the KYR did not answer the read-back, so it is not verified yet");
    EXPECT_EQ(countOf(link::CmdReadTable), 3 + session.timing().readBackTries); // Connect's two, the backup's, the tries
    EXPECT_FALSE(keeper.lost());
    EXPECT_FALSE(s.link.lost);
    EXPECT_TRUE(efi.Opened());
}

TEST_F(ReadBack, ATrailerStoredWrongIsNotVerified)
{
    connectUnit();
    unit.corruptAt = {table::TrailerOffset};
    auto r = session.tableWrite(s, edited());
    ASSERT_TRUE(r.error.has_value());
    EXPECT_EQ(r.error->kind, ErrorKind::VerifyMismatch);
    EXPECT_EQ(r.mismatched, std::vector<int>{table::TrailerOffset});
}

// ---------------------------------------------------------------- a write cut off

class CutWrite : public SessionFixture {
protected:
    CutWrite() { connectUnit(); }
    session::SessionResult writeGuarded()
    {
        const auto mine = shownImage();
        return keeper.guarded(s, Activity::TableWrite, [&](TuneState& st) { return session.tableWrite(st, mine); });
    }
    LinkKeeper keeper{efi, clock, session, {}, [] { return LostTime; }};
};

TEST_F(CutWrite, AShortImageSendOnAPresentDeviceHoldsEverythingBack)
{
    // The F3 went out, the image only in part, yet the device is still there.
    device.setResponder([this](const Bytes& w) {
        if (w == Bytes{link::CmdWriteTable})
            device.limitNextWrite(100);
        return unit.answer(w);
    });
    auto r = writeGuarded();
    ASSERT_TRUE(r.error.has_value());
    EXPECT_EQ(r.error->kind, ErrorKind::LinkLost);
    EXPECT_EQ(r.error->message, session::CutWriteText);
    EXPECT_TRUE(r.imageCut);
    EXPECT_TRUE(keeper.lost());
    EXPECT_TRUE(s.link.powerCycle);
    EXPECT_FALSE(s.pollRunning);

    // Nothing goes out on its own: no probe, no live poll; edits are kept.
    device.clearWritten();
    EXPECT_EQ(keeper.probe(s), ProbeOutcome::PowerCycleNeeded);
    EXPECT_TRUE(keeper.readLive().empty());
    EXPECT_EQ(keeper.send(link::writeByte(40, 7)), SendOutcome::Journaled);
    EXPECT_TRUE(device.writtenData().empty());
    EXPECT_TRUE(s.commands().writeTable); // Write to KYR is how the user says the unit was switched off and on

    // On the user's word: who answers, then the whole write and its read-back.
    device.setResponder([this](const Bytes& w) { return unit.answer(w); });
    auto again = keeper.writeAfterPowerCycle(s, shownImage());
    ASSERT_FALSE(again.error) << again.error->message;
    EXPECT_EQ(wire(), (std::vector<std::string>{"FF", "FD", "F3", "482 bytes", "FD"}));
    EXPECT_FALSE(keeper.lost());
    EXPECT_FALSE(s.link.powerCycle);
    EXPECT_FALSE(s.link.writeCut);
    EXPECT_EQ(again.statuses.back(), "Data table written to KYR");
}

TEST_F(CutWrite, ADropBeforeTheCommandByteLeavesTheUnitUntouched)
{
    // The cable goes during the backup read, before the F3.
    device.injectError(link::FakeOp::Count, makeError(ErrorKind::PortUnavailable, UnitPath + " was disconnected"));
    device.setOpenable(UnitPath, false);
    device.clearWritten();
    auto r = writeGuarded();
    ASSERT_TRUE(r.error.has_value());
    EXPECT_EQ(r.error->message, "Link lost before the table write began: the KYR's table was not changed");
    EXPECT_EQ(std::count(device.writes().begin(), device.writes().end(), Bytes{link::CmdWriteTable}), 0);
    EXPECT_TRUE(keeper.lost());
    EXPECT_FALSE(s.link.writeCut);
    EXPECT_FALSE(s.link.powerCycle);
    device.setOpenable(UnitPath, true);
    EXPECT_EQ(keeper.probe(s), ProbeOutcome::SameUnit); // probing is harmless here
}
