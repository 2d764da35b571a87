// SPDX-License-Identifier: GPL-3.0-or-later
#include "CommandParser.h"

#include "table/Layout.h"

#include <gtest/gtest.h>

#include <numeric>

using kyr::sim::Command;
using kyr::sim::CommandKind;
using kyr::sim::CommandParser;
using Bytes = std::vector<uint8_t>;

namespace {

std::vector<Command> feed(CommandParser& p, const Bytes& b, double t = 0) { return p.feed(b, t); }

} // namespace

TEST(CommandParser, SingleByteCommandsCompleteAtOnce)
{
    CommandParser p;
    const auto cmds = feed(p, {0xFF, 0xFD, 0xFC});
    ASSERT_EQ(cmds.size(), 3u);
    EXPECT_EQ(cmds[0].kind, CommandKind::ReadIdentity);
    EXPECT_EQ(cmds[1].kind, CommandKind::ReadTable);
    EXPECT_EQ(cmds[2].kind, CommandKind::ReadLive);
    EXPECT_FALSE(p.pending());
}

TEST(CommandParser, WriteByteWaitsForOffsetAndValueAcrossChunks)
{
    CommandParser p;
    EXPECT_TRUE(feed(p, {0xF2}, 1.0).empty());
    EXPECT_TRUE(p.pending());
    EXPECT_TRUE(feed(p, {0x50}, 2.0).empty());
    const auto cmds = feed(p, {0x0C, 0xFF}, 3.0);
    ASSERT_EQ(cmds.size(), 2u);
    EXPECT_EQ(cmds[0].kind, CommandKind::WriteByte);
    EXPECT_EQ(cmds[0].index(), 0x50);
    EXPECT_EQ(cmds[0].value(), 0x0C);
    EXPECT_DOUBLE_EQ(cmds[0].firstMs, 1.0);
    EXPECT_DOUBLE_EQ(cmds[0].lastMs, 3.0);
    EXPECT_EQ(cmds[1].kind, CommandKind::ReadIdentity);
}

TEST(CommandParser, ArgumentBytesAreNeverTakenAsCommands)
{
    // The value FF after a bank byte is data, not a ReadIdentity.
    CommandParser p;
    const auto cmds = feed(p, {0xE8, 0xFD, 0xFF});
    ASSERT_EQ(cmds.size(), 1u);
    EXPECT_EQ(cmds[0].kind, CommandKind::WritePoint);
    EXPECT_EQ(cmds[0].bank(), 0xE8);
    EXPECT_EQ(cmds[0].index(), 0xFD);
    EXPECT_EQ(cmds[0].value(), 0xFF);
}

TEST(CommandParser, EveryMapBankIsAWritePoint)
{
    for (const auto& bank : kyr::table::bankTable()) {
        CommandParser p;
        const auto cmds = feed(p, {bank.command, 3, 4});
        ASSERT_EQ(cmds.size(), 1u) << int(bank.command);
        EXPECT_EQ(cmds[0].kind, bank.command == 0xF2 ? CommandKind::WriteByte : CommandKind::WritePoint);
    }
}

TEST(CommandParser, WriteTableWaitsForAll482BytesInPieces)
{
    CommandParser p;
    Bytes payload(kyr::table::TableSize);
    std::iota(payload.begin(), payload.end(), 0); // holds F3, FF, FD, F2 bytes as data
    EXPECT_TRUE(feed(p, {0xF3}, 10.0).empty());
    EXPECT_TRUE(feed(p, Bytes(payload.begin(), payload.begin() + 200), 120.0).empty());
    EXPECT_EQ(p.missing(), kyr::table::TableSize - 200);
    EXPECT_TRUE(feed(p, Bytes(payload.begin() + 200, payload.end() - 1), 130.0).empty());
    auto tail = Bytes{payload.back(), 0xFF};
    const auto cmds = feed(p, tail, 400.0);
    ASSERT_EQ(cmds.size(), 2u);
    const Command& w = cmds[0];
    EXPECT_EQ(w.kind, CommandKind::WriteTable);
    ASSERT_EQ(w.payload().size(), payload.size());
    EXPECT_TRUE(std::equal(payload.begin(), payload.end(), w.payload().begin()));
    EXPECT_DOUBLE_EQ(w.firstMs, 10.0);
    EXPECT_DOUBLE_EQ(w.secondMs, 120.0);
    EXPECT_DOUBLE_EQ(w.lastMs, 400.0);
    EXPECT_EQ(cmds[1].kind, CommandKind::ReadIdentity);
}

TEST(CommandParser, PendingCommandShowsATableImageSoFar)
{
    CommandParser p;
    EXPECT_EQ(p.pendingCommand(), nullptr);
    feed(p, {0xFF, 0xF3});
    const Command* w = p.pendingCommand();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->kind, CommandKind::WriteTable);
    EXPECT_TRUE(w->payload().empty());
    feed(p, {9, 8, 7});
    ASSERT_EQ(p.pendingCommand()->payload().size(), 3u);
    EXPECT_EQ(p.pendingCommand()->payload()[2], 7);
    feed(p, Bytes(kyr::table::TableSize - 3, 1));
    EXPECT_EQ(p.pendingCommand(), nullptr) << "a complete image is no longer pending";
}

TEST(CommandParser, UnknownBytesComeOutOneByOneAndParsingGoesOn)
{
    CommandParser p;
    const auto cmds = feed(p, {0x00, 0x42, 0xFF});
    ASSERT_EQ(cmds.size(), 3u);
    EXPECT_EQ(cmds[0].kind, CommandKind::Unknown);
    EXPECT_EQ(cmds[0].bytes, Bytes{0x00});
    EXPECT_EQ(cmds[1].kind, CommandKind::Unknown);
    EXPECT_EQ(cmds[1].bytes, Bytes{0x42});
    EXPECT_EQ(cmds[2].kind, CommandKind::ReadIdentity);
}

TEST(CommandParser, ResetDropsAHalfReceivedCommand)
{
    CommandParser p;
    feed(p, {0xF3, 1, 2, 3});
    p.reset();
    EXPECT_FALSE(p.pending());
    const auto cmds = feed(p, {0xFD});
    ASSERT_EQ(cmds.size(), 1u);
    EXPECT_EQ(cmds[0].kind, CommandKind::ReadTable);
}
