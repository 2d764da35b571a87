// SPDX-License-Identifier: GPL-3.0-or-later
// kyr read, write, info and ports against kyr-sim over pseudo-terminals.

#include "RunKyr.h"

#include "table/Layout.h"

#include <gmock/gmock.h>

using namespace kyr;
using namespace kyr::test;
using ::testing::HasSubstr;

namespace {

/// The demo tune with a setup parameter and two map points changed.
files::MapFile editedDemo()
{
    files::MapFile f = loadOrFail(demoTune());
    f.image[table::setupOffset(table::SetupParam::GearTeeth)] += 2;
    f.image[table::pointOffset(table::mapDef(table::MapId::TimingRpm), 11)] += 2;
    f.image[table::pointOffset(table::mapDef(table::MapId::FuelVac), 5)] -= 3;
    f.make = "Edited";
    return f;
}

} // namespace

TEST(CliPtyRead, SavesTheSimulatorsWholeTableAndIdentity)
{
    TempFolder dir;
    SimProcess sim(dir.path(), {.port = 2, .model = 5, .minor = 4});
    const fs::path out = dir / "read.kyr";

    KyrRun r = runKyr(dir.path(), {"read", "--port", "COM2", "-o", out.string(), "--make", "Datsun", "--model",
                                   "1200 Coupe", "--engine", "A12"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_THAT(r.out, HasSubstr("COM2"));

    const files::MapFile f = loadOrFail(out);
    const std::vector<uint8_t> memory = simMemory(sim);
    ASSERT_EQ(memory.size(), static_cast<size_t>(table::TableSize));
    for (int off = 0; off < table::TrailerOffset; ++off)
        ASSERT_EQ(f.image[off], static_cast<uint8_t>(memory[off] + 1)) << "offset " << off;
    EXPECT_EQ(f.image[table::TrailerOffset], 0); // the end of the copy, as Save From KYR stores it
    EXPECT_EQ(f.identity[0], 5);
    EXPECT_EQ(f.identity[1], 3);
    EXPECT_EQ(f.identity[2], 4);
    EXPECT_EQ(f.make, "Datsun");
    EXPECT_EQ(f.model, "1200 Coupe");
    EXPECT_EQ(f.engine, "A12");
    // Identity, the setup read of Connect and the table read; nothing written.
    EXPECT_EQ(sim.logWhere("cmd", "ReadIdentity").size(), 1u);
    EXPECT_EQ(sim.logWhere("cmd", "ReadTable").size(), 2u);
    EXPECT_TRUE(sim.logWhere("cmd", "WriteTable").empty());
}

// --quick: the same whole table, each command sent once the reply before it
// is in rather than after the unit's pause (300 ms after the identity).
TEST(CliPtyRead, QuickConnectReadsTheSameTableWithoutThePauses)
{
    TempFolder dir;
    SimProcess sim(dir.path(), {.port = 2});
    const fs::path out = dir / "quick.kyr";
    KyrRun r = runKyr(dir.path(), {"--quick", "read", "--port", "COM2", "-o", out.string()});
    ASSERT_EQ(r.code, 0) << r.err;
    const files::MapFile f = loadOrFail(out);
    const std::vector<uint8_t> memory = simMemory(sim);
    for (int off = 0; off < table::TrailerOffset; ++off)
        ASSERT_EQ(f.image[off], static_cast<uint8_t>(memory[off] + 1)) << "offset " << off;
    const auto identity = sim.logWhere("cmd", "ReadIdentity");
    const auto reads = sim.logWhere("cmd", "ReadTable");
    ASSERT_EQ(identity.size(), 1u);
    ASSERT_EQ(reads.size(), 2u);
    EXPECT_LT(reads[0]["t_ms"].get<double>() - identity[0]["t_ms"].get<double>(), 250.0)
        << "the setup read followed the identity, not its 300 ms pause";
}

TEST(CliPtyRead, FindsTheUnitWithoutAPortAndListsIt)
{
    TempFolder dir;
    SimProcess sim(dir.path(), {.port = 7});

    KyrRun r = runKyr(dir.path(), {"read", "-o", (dir / "found.kyr").string()});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_THAT(r.out, HasSubstr("read on COM7"));
    EXPECT_TRUE(fs::exists(dir / "found.kyr"));

    KyrRun ports = runKyr(dir.path(), {"ports", "--json"});
    ASSERT_EQ(ports.code, 0) << ports.err;
    const auto j = nlohmann::json::parse(ports.out);
    EXPECT_EQ(j["found"], "COM7");
    bool listed = false;
    for (const auto& p : j["ports"])
        if (p["port"] == "COM7") {
            listed = true;
            EXPECT_EQ(p["device"], sim.devicePath());
            EXPECT_EQ(p["unit"]["type_name"], "Fuel and Timing");
            EXPECT_EQ(p["unit"]["version"], "3.2");
        }
    EXPECT_TRUE(listed) << ports.out;

    KyrRun text = runKyr(dir.path(), {"ports"});
    EXPECT_THAT(text.out, HasSubstr("Unit found on COM7"));
}

TEST(CliPtyInfo, ReportsIdentityAndSerialNumber)
{
    TempFolder dir;
    SimProcess sim(dir.path(), {.port = 3, .type = 1});

    KyrRun r = runKyr(dir.path(), {"info", "--port", "com3", "--json"});
    ASSERT_EQ(r.code, 0) << r.err;
    const auto j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["port"], "COM3");
    EXPECT_EQ(j["device"], sim.devicePath());
    EXPECT_EQ(j["model"], 3);
    EXPECT_EQ(j["version"], "1.2");
    EXPECT_EQ(j["type_name"], "Timing and Vacuum");
    // The demo tune's serial number bytes.
    EXPECT_THAT(j["serial_number"].get<std::string>(), ::testing::MatchesRegex("[A-Z][A-Z]-[0-9]{6}-[0-9]{2}"));

    KyrRun text = runKyr(dir.path(), {"info", "--port", "COM3"});
    EXPECT_THAT(text.out, HasSubstr("serial number  " + j["serial_number"].get<std::string>()));
}

TEST(CliPtyWrite, EditedFileChangesTheTableByteExactAndVerifies)
{
    TempFolder dir;
    SimProcess sim(dir.path(), {.port = 2});
    const files::MapFile edited = editedDemo();
    ASSERT_TRUE(files::saveMapFile(dir / "edited.kyr", edited));

    KyrRun r = runKyr(dir.path(), {"write", "--port", "COM2", (dir / "edited.kyr").string()});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_THAT(r.out, HasSubstr("read-back matches"));

    const std::vector<uint8_t> memory = simMemory(sim);
    ASSERT_EQ(memory.size(), static_cast<size_t>(table::TableSize));
    for (int off = 0; off < table::TrailerOffset; ++off)
        ASSERT_EQ(memory[off], static_cast<uint8_t>(edited.image[off] - 1)) << "offset " << off;
    EXPECT_EQ(memory[table::TrailerOffset], table::TrailerRaw);

    // F3, a pause of at least 100 ms, then 482 bytes ending in 55.
    const auto writes = sim.logWhere("cmd", "WriteTable");
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0]["length"], table::TableSize);
    EXPECT_EQ(writes[0]["trailer"], table::TrailerRaw);
    // The simulator stamps bytes when it reads them: allow it a few ms of lateness on the first.
    EXPECT_GE(writes[0]["payload_first_ms"].get<double>() - writes[0]["first_ms"].get<double>(), 95.0);
    // The unit's table was kept before the write, and read back after it.
    const auto log = sim.log();
    std::vector<std::string> cmds;
    for (const auto& e : log)
        if (e.contains("cmd"))
            cmds.push_back(e["cmd"]);
    EXPECT_EQ(cmds, (std::vector<std::string>{"ReadIdentity", "ReadTable", "WriteTable", "ReadTable"}));
}

TEST(CliPtyWrite, ReachesTheUnitByDevicePath)
{
    TempFolder dir;
    SimProcess sim(dir.path(), {.port = 4});
    const files::MapFile edited = editedDemo();
    ASSERT_TRUE(files::saveMapFile(dir / "edited.kyr", edited));

    KyrRun r = runKyr(dir.path(), {"write", "--port", sim.devicePath(), (dir / "edited.kyr").string()});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_THAT(r.out, HasSubstr(sim.devicePath()));
    EXPECT_EQ(simMemory(sim)[table::setupOffset(table::SetupParam::GearTeeth)],
              edited.image[table::setupOffset(table::SetupParam::GearTeeth)] - 1);

    // The port entry in the ports folder names the same device.
    KyrRun info = runKyr(dir.path(), {"info", "--port", sim.entryPath().string()});
    EXPECT_EQ(info.code, 0) << info.err;
}

// A file made for another unit type is not written unless asked for.
TEST(CliPtyWrite, AFileForAnotherUnitTypeNeedsForce)
{
    TempFolder dir;
    SimProcess sim(dir.path(), {.port = 2, .type = 1});
    const files::MapFile edited = editedDemo(); // made for type 3
    ASSERT_TRUE(files::saveMapFile(dir / "edited.kyr", edited));

    KyrRun r = runKyr(dir.path(), {"write", "--port", "COM2", (dir / "edited.kyr").string()});
    EXPECT_EQ(r.code, 1);
    EXPECT_THAT(r.err, HasSubstr("was made for unit type 3, the unit on COM2 is type 1; nothing was written"));
    EXPECT_TRUE(sim.logWhere("cmd", "WriteTable").empty());

    KyrRun forced = runKyr(dir.path(), {"write", "--force", "--port", "COM2", (dir / "edited.kyr").string()});
    ASSERT_EQ(forced.code, 0) << forced.err;
    EXPECT_EQ(sim.logWhere("cmd", "WriteTable").size(), 1u);
}

// kyr read keeps the unit's table as a backup per serial number; kyr show
// opens it and kyr backups lists it.
TEST(CliPtyRead, LeavesABackupThatShowOpensAndBackupsLists)
{
    TempFolder dir;
    SimProcess sim(dir.path(), {.port = 2});
    KyrRun r = runKyr(dir.path(), {"read", "--port", "COM2", "-o", (dir / "read.kyr").string()});
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string marker = "Backup of the unit's table: ";
    const auto at = r.out.find(marker);
    ASSERT_NE(at, std::string::npos) << r.out;
    const fs::path backup = r.out.substr(at + marker.size(), r.out.find('\n', at) - at - marker.size());
    EXPECT_EQ(backup.parent_path().parent_path(), dir / "data" / "kyr" / "backups");

    // The file and the backup of the same read hold the same table, trailer included.
    const files::MapFile kept = loadOrFail(backup);
    const files::MapFile read = loadOrFail(dir / "read.kyr");
    EXPECT_EQ(kept.image, read.image);

    KyrRun show = runKyr(dir.path(), {"show", backup.string()});
    EXPECT_EQ(show.code, 0) << show.err;
    KyrRun list = runKyr(dir.path(), {"backups"});
    ASSERT_EQ(list.code, 0) << list.err;
    EXPECT_THAT(list.out, HasSubstr(backup.string()));
    EXPECT_THAT(list.out, HasSubstr("Unit " + backup.parent_path().filename().string()));
    KyrRun none = runKyr(dir.path(), {"backups", "--serial", "ZZ 99"});
    EXPECT_EQ(none.code, 0);
    EXPECT_THAT(none.out, HasSubstr("No backups of unit ZZ 99"));
}
