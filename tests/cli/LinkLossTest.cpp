// SPDX-License-Identifier: GPL-3.0-or-later
// kyr read and write when the link goes away part-way: kyr-sim drops its
// line, and comes back on a new pseudo-terminal, or another unit takes its port.

#include "RunKyr.h"

#include "table/Layout.h"

#include <gmock/gmock.h>

#include <optional>
#include <thread>

using namespace kyr;
using namespace kyr::test;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

int at(table::SetupParam p) { return table::setupOffset(p); }

} // namespace

TEST(CliPtyLinkLoss, ReadWaitsForTheLinkAndSavesTheWholeTable)
{
    TempFolder dir;
    SimProcess sim(dir.path(), {.port = 3, .args = {"--drop-after", "1", "--reconnect-ms", "500"}});
    const fs::path out = dir / "read.kyr";

    KyrRun r = runKyr(dir.path(), {"read", "--port", "COM3", "--retry", "10", "-o", out.string()});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_THAT(r.err, HasSubstr("Link lost during the table read\nkyr: Retrying COM3 for up to 10 s..."));
    EXPECT_EQ(sim.logWhere("event", "drop").size(), 1u);
    const files::MapFile f = loadOrFail(out);
    const std::vector<uint8_t> memory = simMemory(sim);
    for (int off = 0; off < table::TrailerOffset; ++off)
        ASSERT_EQ(f.image[off], static_cast<uint8_t>(memory[off] + 1)) << "offset " << off;
}

TEST(CliPtyLinkLoss, ReadGivesUpOnALinkThatStaysAway)
{
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{}, "kyr: Link lost during the table read; nothing was saved\n"},
        {{"--retry", "1"}, "kyr: the link to COM3 did not come back within 1 s; nothing was saved\n"},
    };
    for (const auto& [retry, lastLine] : cases) {
        TempFolder dir;
        SimProcess sim(dir.path(), {.port = 3, .args = {"--drop-after", "1"}});
        std::vector<std::string> args = {"read", "--port", "COM3", "-o", (dir / "x.kyr").string()};
        args.insert(args.end(), retry.begin(), retry.end());
        KyrRun r = runKyr(dir.path(), args);
        EXPECT_EQ(r.code, 1);
        ASSERT_GE(r.err.size(), lastLine.size()) << r.err;
        EXPECT_EQ(r.err.substr(r.err.size() - lastLine.size()), lastLine);
        EXPECT_FALSE(fs::exists(dir / "x.kyr"));
    }
}

TEST(CliPtyLinkLoss, WriteCutOffMidImageSendsNothingMoreAndSaysToSwitchTheUnitOffAndOn)
{
    TempFolder dir;
    // The line comes back at once: a waiting unit would take any probe for image bytes.
    SimProcess sim(dir.path(), {.port = 2, .args = {"--drop-in-write", "100", "--reconnect-ms", "0"}});
    files::MapFile f = loadOrFail(demoTune());
    f.image[table::pointOffset(table::mapDef(table::MapId::TimingRpm), 11)] += 2;
    ASSERT_TRUE(files::saveMapFile(dir / "edited.kyr", f));

    KyrRun r = runKyr(dir.path(), {"write", "--retry", "10", "--port", "COM2", (dir / "edited.kyr").string()});
    EXPECT_EQ(r.code, 1);
    EXPECT_THAT(r.err, HasSubstr("Link lost during the table write: the KYR may be waiting for the rest of the "
                                 "table, and nothing more was sent to it. Switch it off and on, then run kyr write "
                                 "again"));
    EXPECT_THAT(r.err, Not(HasSubstr("Retrying")));
    ASSERT_TRUE(sim.waitForLog("event", "open", 2));
    // Nothing at all reached the line after the cut.
    bool afterDrop = false;
    for (const auto& e : sim.log()) {
        afterDrop = afterDrop || (e.contains("event") && e["event"] == "drop");
        EXPECT_FALSE(afterDrop && e.contains("cmd")) << e.dump();
    }
    const auto writes = sim.logWhere("cmd", "WriteTable");
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0]["length"], 100);
}

TEST(CliPtyLinkLoss, WriteLostBeforeItsCommandByteSaysTheUnitWasNotChanged)
{
    TempFolder dir;
    // The file joins the unit with FF; the line goes before the backup read.
    SimProcess sim(dir.path(), {.port = 2, .args = {"--drop-after", "1"}});
    KyrRun r = runKyr(dir.path(), {"write", "--port", "COM2", demoTune().string()});
    EXPECT_EQ(r.code, 1);
    EXPECT_THAT(r.err, HasSubstr("Link lost before the table write began: the unit's table was not changed"));
    EXPECT_THAT(r.err, Not(HasSubstr("partial table")));
    EXPECT_TRUE(sim.logWhere("cmd", "WriteTable").empty());
}

TEST(CliPtyLinkLoss, AnotherUnitOnThePortIsNotWritten)
{
    TempFolder dir;
    files::MapFile tune = loadOrFail(demoTune());
    tune.image[at(table::SetupParam::Serial3)] += 1;
    ASSERT_TRUE(files::saveMapFile(dir / "other.kyr", tune));
    // The line goes before the table write begins.
    SimProcess first(dir.path(), {.port = 2, .args = {"--drop-after", "1"}});
    KyrRun r;
    std::thread write(
        [&] { r = runKyr(dir.path(), {"write", "--retry", "10", "--port", "COM2", demoTune().string()}); });
    // Once the first unit's line has gone, a unit of the same model with another serial number takes COM2.
    // (Started from this thread: a simulator stops with the thread that started it.)
    std::optional<SimProcess> other;
    if (first.waitForLog("event", "drop", 1, 10s))
        other.emplace(dir.path(), SimOptions{.port = 2, .memory = dir / "other.mem", .tune = dir / "other.kyr",
                                             .log = dir / "other.log"});
    write.join();
    ASSERT_TRUE(other);
    EXPECT_EQ(r.code, 1);
    // The line went before the first unit's serial number was read: the one
    // that answers now cannot be shown to be the same.
    EXPECT_THAT(r.err, HasSubstr("another KYR answers on COM2 (serial KT-012346-06; the lost one's serial number was "
                                 "not read), so nothing was written to it"));
    EXPECT_EQ(other->logWhere("cmd", "ReadIdentity").size(), 1u);
    EXPECT_TRUE(other->logWhere("cmd", "WriteTable").empty());
}
