// SPDX-License-Identifier: GPL-3.0-or-later
// kyr check on map files, through the built binary; against kyr-sim over a
// pseudo-terminal for the unit's setup values.

#include "RunKyr.h"

#include "table/Codec.h"
#include "table/Layout.h"

#include <gmock/gmock.h>

using namespace kyr;
using namespace kyr::test;
using ::testing::HasSubstr;
using nlohmann::json;

namespace {

/// The demo tune with timing point 35 set 20 degrees above the higher of its neighbours.
files::MapFile spikedDemo(int& spike)
{
    files::MapFile f = loadOrFail(demoTune());
    const table::MapDef& m = table::mapDef(table::MapId::TimingRpm);
    const table::MapArrays values = table::decodeMaps(f.image);
    spike = static_cast<int>(std::max(values.at(m.id, 34), values.at(m.id, 36))) + 20;
    f.image[table::pointOffset(m, 35)] = static_cast<uint8_t>(table::mapRawByte(m, spike) + 1);
    return f;
}

} // namespace

TEST(CliCheck, CatchesATimingPointTwentyDegreesAboveItsNeighbours)
{
    TempFolder dir;
    int spike = 0;
    ASSERT_TRUE(files::saveMapFile(dir / "spike.kyr", spikedDemo(spike)));

    KyrRun r = runKyr(dir.path(), {"check", "--timing-limit", "60", (dir / "spike.kyr").string()});
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_THAT(r.out, HasSubstr("Timing Map point 35 (3500 RPM) is " + std::to_string(spike) +
                                 "\u00b0 while its neighbours are"));
    EXPECT_THAT(r.out, HasSubstr("1 likely slip in"));

    // Under the default limit of 45 degrees the spike may also be above the limit.
    KyrRun js = runKyr(dir.path(), {"check", "--json", "--timing-limit", "30", (dir / "spike.kyr").string()});
    EXPECT_EQ(js.code, 1) << js.err;
    const json j = json::parse(js.out);
    EXPECT_EQ(j["timing_limit"], 30);
    EXPECT_FALSE(j["against_unit"]);
    ASSERT_GE(j["findings"].size(), 1u);
    const json& first = j["findings"][0];
    EXPECT_EQ(first["kind"], "spike");
    EXPECT_EQ(first["map"], "timing-rpm");
    EXPECT_EQ(first["index"], 35);
    EXPECT_EQ(first["x"], 35);
    EXPECT_EQ(first["value"], spike);
    EXPECT_EQ(first["neighbours"].size(), 2u);
    bool above = false;
    for (const auto& f : j["findings"])
        above = above || (f["kind"] == "timing-limit" && f["index"] == 35);
    EXPECT_EQ(above, spike > 30);
}

TEST(CliCheck, SmoothTuneBadFilesAndOptions)
{
    TempFolder dir;
    KyrRun demo = runKyr(dir.path(), {"check", demoTune().string()});
    EXPECT_EQ(demo.code, 0) << demo.err;
    EXPECT_EQ(demo.out, "No likely slips found.\n");

    std::ofstream(dir / "short.kyr") << "not a map file";
    KyrRun bad = runKyr(dir.path(), {"check", (dir / "short.kyr").string()});
    EXPECT_EQ(bad.code, 2);
    EXPECT_THAT(bad.err, HasSubstr("short.kyr"));
    EXPECT_TRUE(bad.out.empty());

    EXPECT_EQ(runKyr(dir.path(), {"check", (dir / "none.kyr").string()}).code, 2);
    EXPECT_EQ(runKyr(dir.path(), {"check", "--timing-limit", "many", demoTune().string()}).code, 2);
    KyrRun port = runKyr(dir.path(), {"check", "--port", "COM2", demoTune().string()});
    EXPECT_EQ(port.code, 2);
    EXPECT_THAT(port.err, HasSubstr("--against-unit"));
}

TEST(CliPtyCheck, SettingAtTheEdgeThatDiffersFromTheUnit)
{
    TempFolder dir;
    SimProcess sim(dir.path(), {.port = 2});
    files::MapFile f = loadOrFail(demoTune());
    f.image[table::setupOffset(table::SetupParam::CoilTime)] = 201; // 100 ms, the most the field takes
    ASSERT_TRUE(files::saveMapFile(dir / "coil.kyr", f));

    // Without the unit the value is the tuner's own.
    EXPECT_EQ(runKyr(dir.path(), {"check", (dir / "coil.kyr").string()}).code, 0);

    KyrRun r = runKyr(dir.path(), {"check", "--against-unit", "--port", "COM2", (dir / "coil.kyr").string()});
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_THAT(r.out, HasSubstr("Coil Time (ms) is 100 ms, the highest value it takes, while the unit has "));
    EXPECT_TRUE(sim.logWhere("cmd", "WriteTable").empty());

    KyrRun same = runKyr(dir.path(), {"check", "--against-unit", "--port", "COM2", demoTune().string()});
    EXPECT_EQ(same.code, 0) << same.err;

    KyrRun absent = runKyr(dir.path(), {"check", "--against-unit", "--port", "COM9", demoTune().string()});
    EXPECT_EQ(absent.code, 3);
    EXPECT_THAT(absent.err, HasSubstr("nothing was checked"));
}

// A stored 0 at timing point 12: kyr check names the byte, and kyr write
// refuses the file before the port is opened, --force or not.
TEST(CliPtyCheck, AStoredZeroIsNamedAndNeverWritten)
{
    TempFolder dir;
    SimProcess sim(dir.path(), {.port = 2});
    files::MapFile f = loadOrFail(demoTune());
    const int offset = table::pointOffset(table::mapDef(table::MapId::TimingRpm), 12);
    f.image[static_cast<std::size_t>(offset)] = 0;
    const fs::path file = dir / "zero.kyr";
    ASSERT_TRUE(files::saveMapFile(file, f));
    const std::string byte = "table offset " + std::to_string(offset) + " (Timing Map point 12)";

    KyrRun check = runKyr(dir.path(), {"check", "--json", file.string()});
    EXPECT_EQ(check.code, 1) << check.err;
    const json first = json::parse(check.out)["findings"][0];
    EXPECT_EQ(first["kind"], "stored-zero");
    EXPECT_EQ(first["offset"], offset);
    EXPECT_THAT(first["message"].get<std::string>(), HasSubstr(byte));

    for (const auto& args : std::vector<std::vector<std::string>>{{"write", "--port", "COM2", file.string()},
                                                                  {"write", "--force", "--port", "COM2", file.string()}}) {
        KyrRun w = runKyr(dir.path(), args);
        EXPECT_EQ(w.code, 2);
        EXPECT_THAT(w.err, HasSubstr(byte));
        EXPECT_THAT(w.err, HasSubstr("Nothing was written."));
    }
    for (const auto& e : sim.log())
        EXPECT_FALSE(e.contains("cmd")) << "the unit was asked: " << e.dump();
}
