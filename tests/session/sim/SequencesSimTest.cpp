// SPDX-License-Identifier: GPL-3.0-or-later
#include "SimFixture.h"

#include "files/MapFile.h"
#include "table/Codec.h"

using namespace kyr;
using namespace kyr::test;
using session::TuneState;
using session::PortAddress;

namespace {

std::vector<std::string> without(const std::vector<std::string>& v, const std::string& drop)
{
    std::vector<std::string> out;
    for (const auto& s : v)
        if (s != drop)
            out.push_back(s);
    return out;
}

double num(const nlohmann::json& j, const char* key) { return j[key].get<double>(); }

} // namespace

using PortSearch = SimFixture;

// Two units: the start-up search keeps the last one found, Refresh the first.
TEST_F(PortSearch, LastUnitWinsAtStartUpFirstOnRefresh)
{
    startSim({.port = 2, .type = 1});
    startSim({.port = 5, .type = 3});
    TuneState s = TuneState::initial();
    auto o = seq().portSearch(s);
    EXPECT_EQ(s.ports, (std::vector<int>{2, 5}));
    EXPECT_EQ(s.port.com, 5);
    EXPECT_EQ(without(o.statuses, "No KYR present"),
              (std::vector<std::string>{"Timing Module found on Com2", "Fuel and Timing Module found on Com5"}));
    EXPECT_EQ(s.status.message, "Fuel and Timing Module found on Com5");
    EXPECT_TRUE(s.commands().connect);
    EXPECT_FALSE(s.commands().refreshPorts);
    EXPECT_FALSE(efi().Opened());

    auto r = seq().refreshComPort(s);
    EXPECT_EQ(s.port.com, 2);
    ASSERT_FALSE(r.statuses.empty());
    EXPECT_EQ(r.statuses.front(), "EFI version 3.1.1 found on Com2");
    EXPECT_EQ(r.statuses.size(), 1u); // later units do not overwrite the first
}

TEST_F(PortSearch, SilentPortIsListedButNotTaken)
{
    startSim({.port = 3, .args = {"--silent"}});
    TuneState s = TuneState::initial();
    auto o = seq().portSearch(s);
    EXPECT_EQ(s.ports, std::vector<int>{3});
    EXPECT_TRUE(s.port.empty());
    EXPECT_FALSE(s.commands().connect);
    EXPECT_EQ(s.status.message, "No KYR present");
    ASSERT_EQ(o.probes.size(), 1u);
    EXPECT_FALSE(o.probes[0].unit.has_value());
}

using Connect = SimFixture;

TEST_F(Connect, UnitPathReadsSetupAndTableAndEnablesWrite)
{
    auto& sim = startSim({.port = 4, .type = 3, .model = 4, .minor = 0});
    TuneState s = TuneState::initial();
    s.port = PortAddress::comPort(4);
    auto o = seq().connect(s);
    ASSERT_FALSE(o.error) << o.error->message;
    EXPECT_EQ(o.statuses, (std::vector<std::string>{"Searching ComPorts...", "KYR Connected",
                                                    "Reading KYR Setup Data...", "Ready"}));
    EXPECT_TRUE(s.flags.UnitConnected);
    EXPECT_TRUE(s.flags.EditsLive);
    EXPECT_TRUE(o.setupDecoded);
    EXPECT_TRUE(o.mapsDecoded);
    EXPECT_TRUE(s.commands().writeTable);
    EXPECT_FALSE(s.commands().connect);
    EXPECT_FALSE(s.commands().choosePort);
    EXPECT_FALSE(s.commands().readTable);
    EXPECT_TRUE(s.pollRunning);
    // A minor version of 0 is still a unit: the identity is copied by count.
    EXPECT_EQ(s.unit.versionText, "3.0");
    EXPECT_EQ(s.status.unitLine, "KYR 4 v3.0 :: KT-012345-06");
    EXPECT_EQ(s.status.typeName, "Fuel and Timing");
    EXPECT_EQ(s.unitTypeText, "Fuel and Timing");
    auto expected = simTable(sim);
    for (int i = 0; i < 481; ++i)
        ASSERT_EQ(s.image[i], expected[i]) << i;
    EXPECT_TRUE(s.commands().calibrateThrottle); // the demo tune has the throttle sensor on
}

// The wire timeline: each command waits its pause before the next one goes.
TEST_F(Connect, PausesSeparateTheCommandsOnTheWire)
{
    auto& sim = startSim({.port = 4});
    TuneState s = TuneState::initial();
    s.port = PortAddress::comPort(4);
    seq().connect(s);
    std::vector<double> at;
    for (const auto& line : sim.log())
        if (line.contains("cmd"))
            at.push_back(num(line, "t_ms"));
    ASSERT_EQ(commands(sim), (std::vector<std::string>{"ReadIdentity", "ReadTable", "ReadTable"}));
    EXPECT_GE(at[1] - at[0], 300 - 5);
    EXPECT_GE(at[2] - at[1], 500 - 5);
}

TEST_F(Connect, SilentUnitLeavesTheSetupAsItWas)
{
    auto& sim = startSim({.port = 4, .args = {"--silent"}});
    TuneState s = TuneState::initial();
    s.port = PortAddress::comPort(4);
    s.setup.fill(9);
    auto before = s;
    auto o = seq().connect(s);
    ASSERT_TRUE(o.error.has_value());
    EXPECT_EQ(o.error->kind, ErrorKind::NoUnit);
    EXPECT_EQ(o.statuses, (std::vector<std::string>{"Searching ComPorts...", "KYR not connected"}));
    EXPECT_FALSE(o.setupDecoded);
    EXPECT_EQ(s.setup, before.setup);
    EXPECT_EQ(s.image, before.image);
    EXPECT_FALSE(s.flags.UnitConnected);
    EXPECT_FALSE(s.flags.EditsLive);
    EXPECT_EQ(commands(sim), std::vector<std::string>{"ReadIdentity"});
}

TEST_F(Connect, ShortTableReplyIsReportedAndNeverWritable)
{
    startSim({.port = 4, .args = {"--short", "312"}});
    TuneState s = TuneState::initial();
    s.port = PortAddress::comPort(4);
    auto before = s.image;
    auto o = seq().connect(s);
    ASSERT_TRUE(o.error.has_value());
    EXPECT_EQ(o.error->kind, ErrorKind::ShortReply);
    EXPECT_EQ(s.status.message, "Incomplete read from KYR: 312 of 481 bytes");
    EXPECT_FALSE(o.mapsDecoded);
    EXPECT_FALSE(s.imageWhole);
    EXPECT_FALSE(s.commands().writeTable);
    EXPECT_EQ(std::vector<uint8_t>(s.image.begin() + 101, s.image.end()),
              std::vector<uint8_t>(before.begin() + 101, before.end()));
    auto w = seq().tableWrite(s, table::encode(s.setup, table::decodeMaps(s.image)));
    ASSERT_TRUE(w.error.has_value());
    auto save = seq().readForSave(s);
    ASSERT_FALSE(save.ok());
    EXPECT_EQ(save.error().message, "Incomplete read from KYR: 312 of 481 bytes; nothing was saved");
}

// A file opens with no traffic; Connect afterwards joins the unit and makes
// the file writable to it.
TEST_F(Connect, FileThenUnit)
{
    auto& sim = startSim({.port = 6});
    auto file = files::loadMapFile(std::string(KYR_SOURCE_DIR) + "/examples/demo.kyr");
    ASSERT_TRUE(file.ok());
    file.value().image[110] = 30;
    TuneState s = TuneState::initial();
    s.port = PortAddress::comPort(6);
    auto o = seq().openFile(s, file.value());
    EXPECT_EQ(o.statuses, std::vector<std::string>{"KYR file opened successfully"});
    EXPECT_TRUE(s.flags.FileOpen);
    EXPECT_TRUE(s.flags.FileDecoded);
    EXPECT_TRUE(s.flags.ImageChanged);
    EXPECT_FALSE(s.flags.UnitConnected);
    EXPECT_TRUE(o.mapsDecoded);
    EXPECT_EQ(s.image, file.value().image);
    EXPECT_TRUE(commands(sim).empty());

    auto c = seq().connect(s);
    EXPECT_EQ(c.statuses, (std::vector<std::string>{"Searching ComPorts...", "KYR Connected"}));
    EXPECT_TRUE(s.flags.UnitConnected);
    EXPECT_TRUE(s.commands().writeTable);
    EXPECT_EQ(s.image, file.value().image);
    EXPECT_EQ(commands(sim), std::vector<std::string>{"ReadIdentity"});

    auto w = seq().tableWrite(s, table::encode(s.setup, table::decodeMaps(s.image)));
    ASSERT_FALSE(w.error) << w.error->message;
    EXPECT_EQ(s.status.message, "Data table written to KYR");
    EXPECT_FALSE(s.flags.ImageChanged);
    ASSERT_TRUE(sim.waitForLog("cmd", "WriteTable"));
    auto table = simTable(sim);
    EXPECT_EQ(table[110], 30);
    EXPECT_EQ(table[481], 56);
}

TEST_F(Connect, CloseAllForgetsTheDecodedFile)
{
    auto& sim = startSim({.port = 6});
    auto file = files::loadMapFile(std::string(KYR_SOURCE_DIR) + "/examples/demo.kyr");
    TuneState s = TuneState::initial();
    s.port = PortAddress::comPort(6);
    seq().openFile(s, file.value());
    seq().closeAll(s);
    EXPECT_FALSE(s.flags.FileOpen);
    EXPECT_FALSE(s.flags.FileDecoded);
    // The next Connect reads the unit's own setup instead of keeping the file's.
    auto c = seq().connect(s);
    EXPECT_TRUE(s.flags.UnitConnected);
    EXPECT_EQ(commands(sim), (std::vector<std::string>{"ReadIdentity", "ReadTable", "ReadTable"}));
    EXPECT_EQ(s.setup, table::setupOf(simTable(sim)));
}

using Transfer = SimFixture;

TEST_F(Transfer, WriteSendsTheWholeImageAfterItsPause)
{
    auto& sim = startSim({.port = 7});
    TuneState s = TuneState::initial();
    s.port = PortAddress::comPort(7);
    seq().connect(s);
    auto maps = table::decodeMaps(s.image);
    maps.set(table::MapId::TimingRpm, 5, 21);
    auto o = seq().tableWrite(s, table::encode(s.setup, maps));
    ASSERT_FALSE(o.error);
    auto w = sim.waitForLog("cmd", "WriteTable");
    ASSERT_TRUE(w);
    EXPECT_EQ((*w)["length"].get<int>(), 482);
    EXPECT_EQ((*w)["trailer"].get<int>(), 55);
    EXPECT_GE(num(*w, "payload_first_ms") - num(*w, "first_ms"), 100 - 5);
    EXPECT_EQ(simTable(sim)[105], 22);
}

TEST_F(Transfer, ReadForSaveGivesTheTableWithAZeroTerminator)
{
    auto& sim = startSim({.port = 7});
    TuneState s = TuneState::initial();
    s.port = PortAddress::comPort(7);
    seq().connect(s);
    auto img = seq().readForSave(s);
    ASSERT_TRUE(img.ok()) << img.error().message;
    auto expected = simTable(sim);
    for (int i = 0; i < 481; ++i)
        ASSERT_EQ(img.value()[i], expected[i]);
    EXPECT_EQ(img.value()[481], 0);
}
