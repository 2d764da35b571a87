// SPDX-License-Identifier: GPL-3.0-or-later
// Texts as the 8-bit program kept them: vehicle texts and serial letters are
// single Windows-1252 bytes in map files and in the unit. kyr shows them as
// UTF-8, takes UTF-8 vehicle texts and stores them as those bytes, and every
// command that meets them finishes.

#include "RunKyr.h"

#include "table/Layout.h"

#include <gmock/gmock.h>

using namespace kyr;
using namespace kyr::test;
using ::testing::HasSubstr;

namespace {

constexpr uint8_t Degree = 0xB0; // the degree sign of Latin-1 and Windows-1252

/// The demo tune with "Citroën" (e-diaeresis EB) as its make, "120°" as its
/// engine and "°" as its first serial letter, as bytes.
files::MapFile eightBitTune()
{
    files::MapFile f = loadOrFail(demoTune());
    f.make = "Citro\xEBn";
    f.engine = "120" + std::string(1, static_cast<char>(Degree));
    f.image[table::setupOffset(table::SetupParam::SerialPrefix1)] = Degree + 1;
    return f;
}

} // namespace

TEST(CliEightBit, ShowAndDiffPrintTheTextsAsUtf8)
{
    TempFolder dir;
    ASSERT_TRUE(files::saveMapFile(dir / "degree.kyr", eightBitTune()));
    const std::string file = (dir / "degree.kyr").string();

    KyrRun text = runKyr(dir.path(), {"show", file});
    ASSERT_EQ(text.code, 0) << text.err;
    EXPECT_THAT(text.out, HasSubstr("make           Citro\xC3\xABn\n"));
    EXPECT_THAT(text.out, HasSubstr("engine         120\xC2\xB0\n"));
    KyrRun js = runKyr(dir.path(), {"show", "--json", file});
    ASSERT_EQ(js.code, 0) << js.err;
    const auto j = nlohmann::json::parse(js.out);
    EXPECT_EQ(j["vehicle"]["make"], "Citro\xC3\xABn");
    EXPECT_EQ(j["identity"]["serial_number"].get<std::string>().substr(0, 2), "\xC2\xB0");
    KyrRun diff = runKyr(dir.path(), {"diff", demoTune().string(), file});
    ASSERT_EQ(diff.code, 0) << diff.err;
    EXPECT_THAT(diff.out, HasSubstr("engine: A12 1171cc -> 120\xC2\xB0"));
}

TEST(CliEightBitPty, ReadStoresVehicleTextsAsOneByteEach)
{
    TempFolder dir;
    ASSERT_TRUE(files::saveMapFile(dir / "degree.kyr", eightBitTune()));
    SimProcess sim(dir.path(), {.port = 2, .tune = dir / "degree.kyr"});

    KyrRun info = runKyr(dir.path(), {"info", "--port", "COM2"});
    ASSERT_EQ(info.code, 0) << info.err;
    EXPECT_THAT(info.out, HasSubstr("serial number  \xC2\xB0"));

    // Eighteen characters, 35 bytes of UTF-8: an e-diaeresis is one byte in the file.
    std::string eighteen;
    for (int i = 0; i < 17; ++i)
        eighteen += "\xC3\xAB";
    eighteen += "x";
    const fs::path out = dir / "read.kyr";
    KyrRun read = runKyr(dir.path(), {"read", "--port", "COM2", "-o", out.string(), "--make", "Citro\xC3\xABn",
                                      "--model", eighteen, "--engine", "120\xC2\xB0"});
    ASSERT_EQ(read.code, 0) << read.err;
    EXPECT_THAT(readText(out), HasSubstr("\r\nCitro\xEBn~" + std::string(17, '\xEB') + "x~120\xB0~\r\n"));
    EXPECT_EQ(loadOrFail(out).image[table::setupOffset(table::SetupParam::SerialPrefix1)], Degree + 1);

    for (const std::string& bad : {std::string("\xC5\x81" "ada"), eighteen + "y", std::string("a\x1B[2J")}) {
        KyrRun r = runKyr(dir.path(), {"read", "--port", "COM2", "-o", out.string(), "--make", bad});
        EXPECT_EQ(r.code, 2) << bad;
        EXPECT_THAT(r.err, HasSubstr("--make")) << r.err;
    }
    EXPECT_EQ(sim.logWhere("cmd", "ReadIdentity").size(), 2u); // info and the one good read
}
