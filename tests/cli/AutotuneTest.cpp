// SPDX-License-Identifier: GPL-3.0-or-later
// kyr autotune on a log that reads lean at one operating point, through the
// built binary: the suggested tune, the table, and the files it never writes over.

#include "RunKyr.h"

#include "files/MapFile.h"
#include "table/Codec.h"

#include <gmock/gmock.h>

#include <fstream>

using namespace kyr;
using namespace kyr::test;
using ::testing::HasSubstr;
using nlohmann::json;

namespace {

// Ten seconds, warm and steady at 3063 RPM (Cruise point 14 of 32 under
// R 7000), the sensor wavering well lean.
std::filesystem::path leanLog(const std::filesystem::path& dir)
{
    const auto path = dir / "lean.csv";
    std::ofstream out(path);
    out << "# KYR Tuner log\nTime (s),RPM (RPM),Vacuum (kPa),Lambda (V),Injector % (%),Temperature (C),Throttle % (%)\n";
    for (int i = 0; i < 1000; ++i)
        out << i * 0.01 << ",3063,60," << 0.10 + 0.01 * (i % 3) << ",30,85,20\n";
    return path;
}

} // namespace

TEST(CliAutotune, ALeanPointGetsMoreFuelInANewFile)
{
    TempFolder dir;
    const auto log = leanLog(dir.path());
    const auto out = dir.path() / "tuned.kyr";
    KyrRun r = runKyr(dir.path(), {"autotune", "--tune", demoTune().string(), "--map", "cruise", "--authority", "4",
                                   "-o", out.string(), "--json", log.string()});
    ASSERT_EQ(r.code, 0) << r.err;
    const json j = json::parse(r.out);
    const json& p14 = j["points"][13];
    EXPECT_EQ(p14["change"], 4);
    EXPECT_EQ(j["points"][3]["change"], nullptr) << "no samples there";
    EXPECT_FALSE(j["warning"].is_null()) << "the demo tune has lambda control on";

    auto base = files::loadMapFile(demoTune());
    auto tuned = files::loadMapFile(out);
    ASSERT_TRUE(base && tuned);
    const auto before = table::decodeMaps(base.value().image)[table::MapId::FuelCruise];
    const auto after = table::decodeMaps(tuned.value().image)[table::MapId::FuelCruise];
    EXPECT_EQ(after[13], p14["after"].get<double>());
    EXPECT_GT(after[13], before[13]);
    EXPECT_EQ(after[3], before[3]);
    EXPECT_EQ(tuned.value().identity, base.value().identity);
}

TEST(CliAutotune, NeverWritesOverALogOrTheBaseTune)
{
    TempFolder dir;
    const auto log = leanLog(dir.path());
    const auto copy = dir.path() / "base.kyr";
    std::filesystem::copy_file(demoTune(), copy);
    KyrRun overLog = runKyr(dir.path(), {"autotune", "--tune", copy.string(), "-o", log.string(), log.string()});
    EXPECT_EQ(overLog.code, 2);
    EXPECT_THAT(overLog.err, HasSubstr("is a log"));
    KyrRun overBase = runKyr(dir.path(), {"autotune", "--tune", copy.string(), "-o", copy.string(), log.string()});
    EXPECT_EQ(overBase.code, 2);
    EXPECT_THAT(overBase.err, HasSubstr("--force"));
    const auto unchanged = files::loadMapFile(copy);
    ASSERT_TRUE(unchanged);
    EXPECT_EQ(unchanged.value().image, files::loadMapFile(demoTune()).value().image);
    KyrRun forced = runKyr(dir.path(), {"autotune", "--tune", copy.string(), "-o", copy.string(), "--force",
                                        log.string()});
    EXPECT_EQ(forced.code, 0) << forced.err;
}
