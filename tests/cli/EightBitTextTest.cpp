// Texts from the original 8-bit program: vehicle texts and serial letters are
// single bytes above 127 in map files and in the unit. kyr shows them, and
// every command that meets them finishes.

#include "RunKyr.h"

#include "table/Layout.h"

#include <gmock/gmock.h>

using namespace kyr;
using namespace kyr::test;
using ::testing::HasSubstr;

namespace {

constexpr uint8_t Degree = 0xB0; // the degree sign of Latin-1 and Windows-1252

/// The demo tune with "120°" as its engine and "°" as its first serial letter, as bytes.
files::MapFile degreeTune()
{
    files::MapFile f = loadOrFail(demoTune());
    f.engine = "120" + std::string(1, static_cast<char>(Degree));
    f.image[table::setupOffset(table::SetupParam::SerialPrefix1)] = Degree + 1;
    return f;
}

} // namespace

TEST(CliEightBit, ShowAndDiffFinishOnBytesAbove127)
{
    TempFolder dir;
    ASSERT_TRUE(files::saveMapFile(dir / "degree.kyr", degreeTune()));
    const std::string file = (dir / "degree.kyr").string();

    KyrRun text = runKyr(dir.path(), {"show", file});
    ASSERT_EQ(text.code, 0) << text.err;
    EXPECT_THAT(text.out, HasSubstr("engine         120"));
    KyrRun js = runKyr(dir.path(), {"show", "--json", file});
    ASSERT_EQ(js.code, 0) << js.err;
    EXPECT_TRUE(nlohmann::json::accept(js.out)) << js.out;
    KyrRun diff = runKyr(dir.path(), {"diff", "--json", demoTune().string(), file});
    ASSERT_EQ(diff.code, 0) << diff.err;
    EXPECT_TRUE(nlohmann::json::accept(diff.out)) << diff.out;
}

TEST(CliEightBitPty, InfoAndReadFinishOnASerialLetterAbove127)
{
    TempFolder dir;
    ASSERT_TRUE(files::saveMapFile(dir / "degree.kyr", degreeTune()));
    SimProcess sim(dir.path(), {.port = 2, .tune = dir / "degree.kyr"});

    KyrRun info = runKyr(dir.path(), {"info", "--port", "COM2", "--json"});
    ASSERT_EQ(info.code, 0) << info.err;
    EXPECT_TRUE(nlohmann::json::accept(info.out)) << info.out;

    const fs::path out = dir / "read.kyr";
    KyrRun read = runKyr(dir.path(), {"read", "--port", "COM2", "-o", out.string()});
    ASSERT_EQ(read.code, 0) << read.err;
    EXPECT_THAT(read.out, HasSubstr("Saved " + out.string()));
    EXPECT_EQ(loadOrFail(out).image[table::setupOffset(table::SetupParam::SerialPrefix1)], Degree + 1);
}
