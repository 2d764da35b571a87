// SPDX-License-Identifier: GPL-3.0-or-later
// kyr-sim's fault modes, one test each, over a real pseudo-terminal.

#include "SimTestSupport.h"

using namespace kyr::test;
namespace table = kyr::table;

using SimPtyFaults = SimFixture;

namespace {

const Bytes kIdentity{3, 3, 2, 7, 1, 5, 6};

} // namespace

TEST_F(SimPtyFaults, SilentAnswersNothingButTakesWrites)
{
    auto& sim = start({.args = {"--silent"}});
    PtyClient c(sim.entryPath());
    c.send({WriteByte, 80, 4});
    c.send({ReadIdentity});
    const auto reply = sim.waitForLog("reply", "ReadIdentity");
    ASSERT_TRUE(reply);
    EXPECT_EQ((*reply)["suppressed"], "silent");
    EXPECT_EQ(c.queued(), 0);
    ASSERT_EQ(sim.stop(), 0);

    // The write reached the memory all the same.
    std::ifstream in(sim.memoryPath(), std::ios::binary);
    const Bytes memory((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(memory.size(), static_cast<size_t>(table::TableSize));
    EXPECT_EQ(memory[80], 4);
}

TEST_F(SimPtyFaults, ShortCutsEveryReplyToItsFirstBytes)
{
    auto& sim = start({.args = {"--short", "100"}});
    PtyClient c(sim.entryPath());
    EXPECT_EQ(c.ask({ReadIdentity}, 7), kIdentity) << "a reply shorter than the cut stays whole";
    const Bytes part = c.ask({ReadTable}, table::TableSize);
    const auto reply = sim.waitForLog("reply", "ReadTable");
    ASSERT_TRUE(reply);
    EXPECT_EQ((*reply)["length"], 100);
    EXPECT_EQ(c.queued(), 0);
    EXPECT_EQ(part, Bytes(image.begin(), image.begin() + 100));
}

TEST_F(SimPtyFaults, ShortCutsTheIdentityToo)
{
    auto& sim = start({.args = {"--short", "3"}});
    PtyClient c(sim.entryPath());
    c.send({ReadIdentity});
    ASSERT_TRUE(sim.waitForLog("reply", "ReadIdentity"));
    // Logged as sent is not yet in this end's queue: read the three bytes, then look for more.
    EXPECT_EQ(c.read(3), Bytes(kIdentity.begin(), kIdentity.begin() + 3));
    EXPECT_EQ(c.queued(), 0);
}

TEST_F(SimPtyFaults, GarbageAnswersRandomBytesOfTheRightLength)
{
    auto& sim = start({.args = {"--garbage"}});
    PtyClient c(sim.entryPath());
    const Bytes id = c.ask({ReadIdentity}, 7);
    ASSERT_EQ(id.size(), 7u);
    EXPECT_NE(id, kIdentity);
    const Bytes tableReply = c.ask({ReadTable}, table::TableSize);
    ASSERT_EQ(tableReply.size(), static_cast<size_t>(table::TableSize));
    EXPECT_NE(tableReply, Bytes(image.begin(), image.end()));
    const auto logged = sim.waitForLog("reply", "ReadTable");
    ASSERT_TRUE(logged);
    EXPECT_EQ((*logged)["garbage"], true);
}

TEST_F(SimPtyFaults, SlowDelaysEveryReply)
{
    auto& sim = start({.args = {"--slow", "300"}});
    PtyClient c(sim.entryPath());
    EXPECT_EQ(c.ask({ReadIdentity}, 7), kIdentity);
    const auto reply = sim.waitForLog("reply", "ReadIdentity");
    ASSERT_TRUE(reply);
    EXPECT_GE((*reply)["start_ms"].get<double>() - (*reply)["queued_ms"].get<double>(), 300.0);
    EXPECT_GE((*reply)["first_ms"].get<double>() - (*reply)["queued_ms"].get<double>(), 300.0);
}

TEST_F(SimPtyFaults, DropClosesTheLineAndReconnectRegistersANewOne)
{
    auto& sim = start({.port = 4, .args = {"--drop-after", "2", "--reconnect-ms", "300"}});
    PtyClient c(sim.entryPath());
    EXPECT_EQ(c.ask({ReadIdentity}, 7), kIdentity);
    EXPECT_EQ(c.ask({ReadIdentity}, 7), kIdentity) << "the second command is still answered";
    ASSERT_TRUE(sim.waitForLog("event", "drop"));

    // The client's end hangs up: a read ends with an error or end of file, no data.
    EXPECT_TRUE(c.read(1, std::chrono::seconds(1)).empty());
    EXPECT_TRUE(c.lastError() == EIO || c.lastError() == 0);

    ASSERT_TRUE(sim.waitForLog("event", "open", 2)) << "opened again";
    ASSERT_TRUE(sim.waitForEntry(true));
    PtyClient again(sim.entryPath());
    EXPECT_EQ(again.ask({ReadIdentity}, 7), kIdentity) << "the drop happens once";
    EXPECT_FALSE(sim.devicePath().empty());
}

TEST_F(SimPtyFaults, DropWithoutReconnectLeavesThePortAway)
{
    auto& sim = start({.port = 8, .args = {"--drop-after", "1"}});
    PtyClient c(sim.entryPath());
    EXPECT_EQ(c.ask({ReadIdentity}, 7), kIdentity);
    EXPECT_TRUE(sim.waitForEntry(false));
    ASSERT_TRUE(sim.waitForLog("event", "drop"));
    EXPECT_TRUE(sim.running());
    EXPECT_EQ(sim.logWhere("event", "open").size(), 1u);
    EXPECT_EQ(sim.stop(), 0);
}

TEST_F(SimPtyFaults, CorruptWriteReadsBackWithOneByteChanged)
{
    constexpr uint8_t kOffset = 80; // within WriteByte's bank, which starts at 0
    auto& sim = start({.args = {"--corrupt-write", std::to_string(kOffset)}});
    PtyClient c(sim.entryPath());
    Bytes payload(table::TableSize);
    for (size_t i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<uint8_t>(image[i] + 3); // unlike what the unit holds
    payload[table::TrailerOffset] = table::TrailerRaw;
    Bytes cmd{WriteTable};
    cmd.insert(cmd.end(), payload.begin(), payload.end());
    c.send(cmd);

    const Bytes back = readTable(c);
    ASSERT_EQ(back.size(), payload.size());
    std::vector<int> differ;
    for (int i = 0; i < table::TableSize; ++i)
        if (back[i] != static_cast<uint8_t>(payload[i] + 1))
            differ.push_back(i);
    EXPECT_EQ(differ, std::vector<int>{kOffset});
    EXPECT_EQ(back[kOffset], static_cast<uint8_t>((payload[kOffset] ^ 0x01) + 1));

    const auto w = sim.logWhere("cmd", "WriteTable");
    ASSERT_EQ(w.size(), 1u);
    EXPECT_EQ(w[0]["corrupted"], kOffset);

    // A single-byte write puts the byte right.
    c.send({WriteByte, kOffset, payload[kOffset]});
    EXPECT_EQ(readTable(c)[kOffset], static_cast<uint8_t>(payload[kOffset] + 1));
}

TEST_F(SimPtyFaults, ChangeWhileDownAltersOneByteBeforeTheLineComesBack)
{
    constexpr int kOffset = 130;
    auto& sim = start({.port = 6,
                       .args = {"--drop-after", "1", "--reconnect-ms", "300", "--change-while-down",
                                std::to_string(kOffset)}});
    {
        PtyClient c(sim.entryPath());
        EXPECT_EQ(readTable(c), Bytes(image.begin(), image.end())) << "unchanged before the drop";
    }
    ASSERT_TRUE(sim.waitForLog("event", "open", 2)) << "opened again";
    const auto changed = sim.logWhere("event", "changed");
    ASSERT_EQ(changed.size(), 1u);
    EXPECT_EQ(changed[0]["offset"], kOffset);

    Bytes expected(image.begin(), image.end());
    expected[kOffset] = static_cast<uint8_t>(((image[kOffset] - 1) ^ 0x01) + 1);
    PtyClient again(sim.entryPath());
    EXPECT_EQ(readTable(again), expected);
    ASSERT_EQ(sim.stop(), 0);

    std::ifstream in(sim.memoryPath(), std::ios::binary);
    const Bytes memory((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(memory.size(), expected.size());
    EXPECT_EQ(static_cast<uint8_t>(memory[kOffset] + 1), expected[kOffset]);
}

TEST_F(SimPtyFaults, DropInWriteKeepsTheImageBytesThatCame)
{
    constexpr size_t kCut = 100;
    auto& sim = start({.port = 7, .args = {"--drop-in-write", std::to_string(kCut), "--reconnect-ms", "300"}});
    Bytes payload(table::TableSize);
    for (size_t i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<uint8_t>(image[i] + 3); // unlike what the unit holds
    {
        PtyClient c(sim.entryPath());
        Bytes cmd{WriteTable};
        cmd.insert(cmd.end(), payload.begin(), payload.end());
        cmd.push_back(ReadIdentity); // after the cut: lost with the rest of the image
        c.send(cmd);
        ASSERT_TRUE(sim.waitForLog("event", "drop"));
        EXPECT_TRUE(c.read(1, std::chrono::seconds(1)).empty()) << "the line hung up";
    }
    const auto w = sim.logWhere("cmd", "WriteTable");
    ASSERT_EQ(w.size(), 1u);
    EXPECT_EQ(w[0]["length"], kCut);
    EXPECT_EQ(w[0]["partial"], true);
    EXPECT_TRUE(sim.logWhere("cmd", "ReadIdentity").empty());

    ASSERT_TRUE(sim.waitForLog("event", "open", 2)) << "opened again";
    Bytes expected(image.begin(), image.end());
    for (size_t i = 0; i < kCut; ++i)
        expected[i] = static_cast<uint8_t>(payload[i] + 1);
    PtyClient again(sim.entryPath());
    EXPECT_EQ(readTable(again), expected);
    EXPECT_EQ(again.ask({ReadIdentity}, 7), kIdentity) << "the cut happens once";
    ASSERT_EQ(sim.stop(), 0);

    std::ifstream in(sim.memoryPath(), std::ios::binary);
    const Bytes memory((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(memory.size(), expected.size());
    for (size_t i = 0; i < memory.size(); ++i)
        ASSERT_EQ(static_cast<uint8_t>(memory[i] + 1), expected[i]) << i;
}

TEST_F(SimPtyFaults, DropAfterCountsCommandsThatCameInOneRead)
{
    auto& sim = start({.port = 6, .args = {"--drop-after", "3"}});
    PtyClient c(sim.entryPath());
    c.send({ReadIdentity, ReadIdentity, ReadIdentity, ReadIdentity});
    ASSERT_TRUE(sim.waitForLog("event", "drop"));
    EXPECT_EQ(sim.logWhere("cmd", "ReadIdentity").size(), 3u);
    EXPECT_EQ(sim.logWhere("reply", "ReadIdentity").size(), 3u);
    const auto lost = sim.logWhere("event", "lost");
    ASSERT_EQ(lost.size(), 1u);
    EXPECT_EQ(lost[0]["bytes"], "FF");
}

TEST_F(SimPtyFaults, BusyAfterWriteIgnoresCommandsUntilTheTableIsStored)
{
    auto& sim = start({.args = {"--busy-after-write", "300"}});
    PtyClient c(sim.entryPath());
    Bytes cmd{WriteTable};
    cmd.insert(cmd.end(), image.begin(), image.end());
    cmd.push_back(ReadTable); // at once: the unit is still storing
    c.send(cmd);
    const auto ignored = sim.waitForLog("cmd", "ReadTable");
    ASSERT_TRUE(ignored);
    EXPECT_EQ((*ignored)["ignored"], "busy");
    const double stored = sim.logWhere("cmd", "WriteTable").at(0)["last_ms"];
    // Asked again until it answers: only a command that begins after the busy time is.
    bool answered = false;
    for (size_t n = 2; n < 2000 && !answered; ++n) {
        c.send({ReadTable});
        const auto e = sim.waitForLog("cmd", "ReadTable", n);
        ASSERT_TRUE(e);
        answered = !e->contains("ignored");
    }
    ASSERT_TRUE(answered);
    for (const auto& e : sim.logWhere("cmd", "ReadTable"))
        EXPECT_EQ(e.contains("ignored"), e["t_ms"].get<double>() < stored + 300) << e.dump();
    EXPECT_TRUE(sim.waitForLog("reply", "ReadTable"));
}
