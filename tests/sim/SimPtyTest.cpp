// SPDX-License-Identifier: GPL-3.0-or-later
// kyr-sim over a real pseudo-terminal: commands, memory and pacing.

#include "SimTestSupport.h"

#include "live/LiveRecord.h"

#include <fstream>
#include <thread>

using namespace kyr::test;
namespace table = kyr::table;
namespace live = kyr::live;

using SimPty = SimFixture;

TEST_F(SimPty, IdentityIsTheConfiguredSevenBytes)
{
    auto& sim = start({.port = 3, .type = 5, .model = 4, .minor = 1});
    PtyClient c(sim.entryPath());
    EXPECT_EQ(c.ask({ReadIdentity}, 7), (Bytes{4, 5, 1, 7, 1, 5, 6}));
    const auto reply = sim.waitForLog("reply", "ReadIdentity");
    ASSERT_TRUE(reply);
    EXPECT_EQ((*reply)["length"], 7);
    EXPECT_EQ(c.queued(), 0) << "nothing after the seven bytes";
}

TEST_F(SimPty, ReadTableAnswersTheTuneInPlusOneForm)
{
    auto& sim = start();
    PtyClient c(sim.entryPath());
    const Bytes reply = readTable(c);
    EXPECT_EQ(reply, Bytes(image.begin(), image.end()));

    // The memory file was made from the tune and holds the raw form.
    std::ifstream in(sim.memoryPath(), std::ios::binary);
    const Bytes memory((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(memory.size(), image.size());
    for (size_t i = 0; i < memory.size(); ++i)
        EXPECT_EQ(static_cast<uint8_t>(memory[i] + 1), image[i]) << i;
}

TEST_F(SimPty, DefaultTuneIsTheDemo)
{
    const auto demo = kyr::files::loadMapFile(KYR_SOURCE_DIR "/examples/demo.kyr");
    ASSERT_TRUE(demo.ok()) << demo.error().message;
    SimProcess sim(dir.path(), {.port = 4});
    PtyClient c(sim.entryPath());
    EXPECT_EQ(readTable(c), Bytes(demo.value().image.begin(), demo.value().image.end()));
}

TEST_F(SimPty, WriteByteAndWritePointChangeTheTable)
{
    auto& sim = start();
    PtyClient c(sim.entryPath());
    c.send({WriteByte, 80, 12});
    c.send({0xE8, 102, 13}); // timing by vacuum, point 3
    c.send({0xDE, 5, 0});    // value 0 is sent as 0 and reads back as 1
    c.send({0xD4, 63, 150}); // last battery voltage point
    c.send({0xCA, 87, 201}); // last point before the trailer
    const Bytes reply = readTable(c);
    ASSERT_EQ(reply.size(), image.size());
    Bytes expected(image.begin(), image.end());
    expected[80] = 13;
    expected[203] = 14;
    expected[238] = 1;
    expected[392] = 151;
    expected[480] = 202;
    EXPECT_EQ(reply, expected);

    const auto w = sim.logWhere("cmd", "WriteByte");
    ASSERT_EQ(w.size(), 1u);
    EXPECT_EQ(w[0]["offset"], 80);
    EXPECT_EQ(w[0]["value"], 12);
    EXPECT_EQ(w[0]["bytes"], "F2 50 0C");
    const auto p = sim.logWhere("cmd", "WritePoint");
    ASSERT_EQ(p.size(), 4u);
    EXPECT_EQ(p[0]["bank"], "E8");
    EXPECT_EQ(p[0]["offset"], 203);
}

TEST_F(SimPty, WriteOutsideABankIsRefusedAndLogged)
{
    auto& sim = start();
    PtyClient c(sim.entryPath());
    c.send({WriteByte, 101, 9}); // 101 is a map byte, not a setup byte
    c.send({0xCA, 88, 9});       // would hit the trailer
    EXPECT_EQ(readTable(c), Bytes(image.begin(), image.end()));
    const auto refused = sim.log();
    int count = 0;
    for (const auto& e : refused)
        count += e.contains("refused") ? 1 : 0;
    EXPECT_EQ(count, 2);
}

TEST_F(SimPty, WriteTableArrivingInPiecesAfterAPauseIsTakenWhole)
{
    auto& sim = start();
    PtyClient c(sim.entryPath());
    Bytes payload(table::TableSize);
    for (size_t i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<uint8_t>(i % 7 == 0 ? 0 : 255 - i % 200); // zeros and command bytes as data
    payload[table::TrailerOffset] = table::TrailerRaw;

    // These pauses shape what is sent (the program's pause before the image,
    // a gap inside it); they wait for nothing from the unit.
    c.send({WriteTable});
    std::this_thread::sleep_for(std::chrono::milliseconds(120));
    c.send(Bytes(payload.begin(), payload.begin() + 300));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    c.send(Bytes(payload.begin() + 300, payload.end()));

    Bytes expected;
    for (uint8_t b : payload)
        expected.push_back(static_cast<uint8_t>(b + 1));
    EXPECT_EQ(readTable(c), expected);

    const auto w = sim.logWhere("cmd", "WriteTable");
    ASSERT_EQ(w.size(), 1u);
    EXPECT_EQ(w[0]["length"], table::TableSize);
    EXPECT_EQ(w[0]["trailer"], table::TrailerRaw);
    EXPECT_LT(w[0]["first_ms"].get<double>(), w[0]["payload_first_ms"].get<double>());
    EXPECT_LT(w[0]["payload_first_ms"].get<double>(), w[0]["last_ms"].get<double>());
}

TEST_F(SimPty, UnknownBytesAreSkippedAndLogged)
{
    auto& sim = start();
    PtyClient c(sim.entryPath());
    EXPECT_EQ(c.ask({0x00, 0x42, ReadIdentity}, 7), (Bytes{3, 3, 2, 7, 1, 5, 6}));
    const auto unknown = sim.logWhere("cmd", "Unknown");
    ASSERT_EQ(unknown.size(), 2u);
    EXPECT_EQ(unknown[0]["bytes"], "00");
    EXPECT_EQ(unknown[1]["bytes"], "42");
}

TEST_F(SimPty, TableReplyIsPacedAtTheLineRate)
{
    auto& sim = start();
    PtyClient c(sim.entryPath());
    ASSERT_EQ(readTable(c).size(), static_cast<size_t>(table::TableSize));
    const auto reply = sim.waitForLog("reply", "ReadTable");
    ASSERT_TRUE(reply);
    const double onLine = (*reply)["end_ms"].get<double>() - (*reply)["start_ms"].get<double>();
    const double total = (*reply)["end_ms"].get<double>() - (*reply)["queued_ms"].get<double>();
    // 482 bytes of 10 bits at 19200 bit/s take 251 ms; only the lower bound is firm.
    EXPECT_GE(onLine, 240.0);
    EXPECT_GE(total, 240.0);
    RecordProperty("table_reply_ms", std::to_string(total));
}

TEST_F(SimPty, WritesSurviveARestart)
{
    {
        auto& sim = start({.port = 2});
        PtyClient c(sim.entryPath());
        c.send({WriteByte, 81, 60});
        ASSERT_TRUE(sim.waitForLog("cmd", "WriteByte"));
        EXPECT_EQ(sim.stop(), 0);
        EXPECT_FALSE(std::filesystem::exists(sim.entryPath())) << "the entry goes with the simulator";
    }
    std::filesystem::remove(tune); // the memory alone must carry the table now
    auto& again = start({.port = 2});
    PtyClient c(again.entryPath());
    const Bytes reply = readTable(c);
    ASSERT_EQ(reply.size(), image.size());
    EXPECT_EQ(reply[81], 61);
    EXPECT_EQ(reply[80], image[80]);
}

TEST_F(SimPty, TwoUnitsShareOnePortsFolder)
{
    auto& com2 = start({.port = 2, .type = 1});
    auto& com5 = start({.port = 5, .type = 2});
    EXPECT_EQ(com2.portDir(), com5.portDir());
    PtyClient c2(com2.entryPath()), c5(com5.entryPath());
    EXPECT_EQ(c2.ask({ReadIdentity}, 7)[1], 1);
    EXPECT_EQ(c5.ask({ReadIdentity}, 7)[1], 2);
    com2.stop();
    EXPECT_FALSE(std::filesystem::exists(com2.entryPath()));
    EXPECT_TRUE(std::filesystem::exists(com5.entryPath()));
}

TEST_F(SimPty, InterruptEndsCleanlyAndRemovesTheEntry)
{
    auto& sim = start({.port = 7});
    ::kill(sim.pid(), SIGINT);
    EXPECT_TRUE(sim.waitForEntry(false));
    EXPECT_EQ(sim.stop(), 0);
    EXPECT_TRUE(sim.waitForLog("event", "stop"));
}

TEST_F(SimPty, AMemoryFileOfTheWrongSizeStopsTheStartAndIsKept)
{
    const auto memory = dir / "bad.mem";
    std::ofstream(memory) << "short";
    EXPECT_THROW(start({.port = 6, .memory = memory}), std::runtime_error);
    EXPECT_EQ(std::filesystem::file_size(memory), 5u);
    EXPECT_FALSE(std::filesystem::exists(SimProcess::portDirOf(dir.path()) / "COM6"));
}

TEST_F(SimPty, ReadLiveReportsTheThrottleThatIsHeld)
{
    auto& sim = start({.args = {"--throttle", "100"}});
    PtyClient c(sim.entryPath());
    const Bytes reply = c.ask({ReadLive}, live::LiveRecordSize);
    const auto values = live::decodeLive(reply);
    ASSERT_TRUE(values.ok()) << values.error().message;
    EXPECT_EQ(values.value().get(live::LiveField::Throttle), 230.0);
    ASSERT_TRUE(values.value().get(live::LiveField::Rpm));
    EXPECT_GT(*values.value().get(live::LiveField::Rpm), 5000.0);
}

TEST_F(SimPty, ThrottleFileMovesTheThrottleWhileRunning)
{
    const auto file = dir / "throttle";
    std::ofstream(file) << "0\n";
    auto& sim = start({.args = {"--throttle-file", file.string()}});
    PtyClient c(sim.entryPath());
    auto throttle = [&] {
        const auto v = live::decodeLive(c.ask({ReadLive}, live::LiveRecordSize));
        return v.ok() ? v.value().get(live::LiveField::Throttle).value_or(-1) : -2;
    };
    EXPECT_EQ(throttle(), 20.0);
    std::ofstream(file) << "100\n";
    EXPECT_EQ(throttle(), 230.0);
}

TEST_F(SimPty, EngineNeedFileSetsWhatTheLambdaSensorReads)
{
    const auto lean = dir / "lean.txt", rich = dir / "rich.txt";
    std::ofstream(lean) << "# needs 40 % more than an all-zero tune\nrpm 0 40\n";
    std::ofstream(rich) << "rpm 0 -40\n";
    auto lambda = [&](const std::filesystem::path& need, int port) {
        auto& sim = start({.port = port,
                           .tune = KYR_SOURCE_DIR "/examples/demo.kyr",
                           .args = {"--throttle", "40", "--engine-need", need.string()}});
        PtyClient c(sim.entryPath());
        const auto v = live::decodeLive(c.ask({ReadLive}, live::LiveRecordSize));
        return v.ok() ? v.value().get(live::LiveField::Lambda).value_or(-1) : -2;
    };
    EXPECT_LT(lambda(lean, 7), 0.2);
    EXPECT_GT(lambda(rich, 8), 0.7);
}

TEST_F(SimPty, AMalformedEngineNeedStopsTheStartAndNamesTheLine)
{
    const auto need = dir / "need.txt";
    std::ofstream(need) << "rpm 1000 5\nrpm 900 5\n";
    const auto memory = dir / "COM9.mem";
    try {
        start({.port = 9, .memory = memory, .args = {"--engine-need", need.string()}});
        ADD_FAILURE() << "kyr-sim started with a malformed engine need";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("line 2: rpm points must rise"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(std::filesystem::exists(memory)) << "nothing is stored from a start that failed";
    EXPECT_FALSE(std::filesystem::exists(SimProcess::portDirOf(dir.path()) / "COM9"));
}
