// SPDX-License-Identifier: GPL-3.0-or-later
// kyr show and kyr diff on map files, through the built binary.

#include "RunKyr.h"

#include "table/Layout.h"

#include <gmock/gmock.h>

using namespace kyr;
using namespace kyr::test;
using ::testing::HasSubstr;
using nlohmann::json;

namespace {

const json* setupEntry(const json& j, const std::string& name)
{
    for (const auto& e : j["setup"])
        if (e["name"] == name)
            return &e;
    return nullptr;
}

const json* mapEntry(const json& j, const std::string& name)
{
    for (const auto& m : j["maps"])
        if (m["name"] == name)
            return &m;
    return nullptr;
}

} // namespace

TEST(CliShow, JsonOfTheDemoTune)
{
    TempFolder dir;
    KyrRun r = runKyr(dir.path(), {"show", "--json", demoTune().string()});
    ASSERT_EQ(r.code, 0) << r.err;
    const json j = json::parse(r.out);

    EXPECT_EQ(j["identity"]["model"], 4);
    EXPECT_EQ(j["identity"]["version"], "3.7");
    EXPECT_EQ(j["identity"]["type_code"], 3);
    EXPECT_EQ(j["identity"]["type_name"], "Fuel and Timing");
    EXPECT_THAT(j["identity"]["serial_number"].get<std::string>(), ::testing::MatchesRegex("..-[0-9]{6}-[0-9]{2}"));
    EXPECT_EQ(j["vehicle"]["make"], "Datsun");
    EXPECT_EQ(j["vehicle"]["model"], "1200 Coupe");
    EXPECT_EQ(j["vehicle"]["engine"], "A12 1171cc");
    EXPECT_EQ(j["axes"]["rpm_range"], 7000);
    EXPECT_EQ(j["axes"]["timing_points"], 70);

    EXPECT_EQ(j["setup"].size(), table::setupTable().size());
    const json* rpm = setupEntry(j, "rpm_range");
    ASSERT_TRUE(rpm);
    EXPECT_EQ((*rpm)["value"], 7000);
    EXPECT_EQ((*rpm)["offset"], 81);
    EXPECT_EQ((*rpm)["kind"], "number");
    ASSERT_TRUE(setupEntry(j, "coil_combination"));
    EXPECT_EQ((*setupEntry(j, "coil_combination"))["value"], "Wasted Spark");
    EXPECT_EQ((*setupEntry(j, "throttle_position_sensor_active"))["value"], "on");
    EXPECT_EQ((*setupEntry(j, "lambda_target_v"))["value"], 0.45);
    // Output 1 is driven by RPM, so its minimum is in RPM; output 2 by water temperature, as stored.
    EXPECT_EQ((*setupEntry(j, "output_1_source"))["value"], "RPM");
    EXPECT_EQ((*setupEntry(j, "output_1_minimum"))["value"], 3000);
    EXPECT_EQ((*setupEntry(j, "output_2_source"))["value"], "Water Temp");
    EXPECT_EQ((*setupEntry(j, "output_2_minimum"))["value"], 80);

    // A Fuel and Timing unit has every map; timing by RPM shows its first N points.
    EXPECT_EQ(j["maps"].size(), static_cast<size_t>(table::MapCount));
    const json* timing = mapEntry(j, "timing-rpm");
    ASSERT_TRUE(timing);
    EXPECT_EQ((*timing)["points"].size(), 70u);
    EXPECT_EQ((*timing)["unit"], "deg");
    EXPECT_EQ((*timing)["x_unit"], "RPM x 100");
    EXPECT_EQ((*timing)["points"][10]["index"], 11);
    EXPECT_EQ((*timing)["points"][10]["offset"], 111);
    EXPECT_EQ((*timing)["points"][10]["x"], 11);
    const json* vac = mapEntry(j, "fuel-vacuum");
    ASSERT_TRUE(vac);
    EXPECT_EQ((*vac)["points"].size(), 64u);
    EXPECT_EQ((*vac)["points"][63]["x"], 1); // M = 10: the last point at 1 bar
    const files::MapFile demo = loadOrFail(demoTune());
    EXPECT_EQ((*vac)["points"][0]["value"].get<int>(),
              demo.image[table::pointOffset(table::mapDef(table::MapId::FuelVac), 1)] - 1 - 100);
}

TEST(CliShow, TimingUnitShowsOnlyTheTimingMapsAndTextRuns)
{
    TempFolder dir;
    files::MapFile f = loadOrFail(demoTune());
    f.identity[1] = 1; // "Timing and Vacuum"
    ASSERT_TRUE(files::saveMapFile(dir / "timing.kyr", f));

    KyrRun r = runKyr(dir.path(), {"show", "--json", (dir / "timing.kyr").string()});
    ASSERT_EQ(r.code, 0) << r.err;
    const json j = json::parse(r.out);
    ASSERT_EQ(j["maps"].size(), 2u);
    EXPECT_EQ(j["maps"][0]["name"], "timing-rpm");
    EXPECT_EQ(j["maps"][1]["name"], "timing-vacuum");

    KyrRun text = runKyr(dir.path(), {"show", (dir / "timing.kyr").string()});
    ASSERT_EQ(text.code, 0) << text.err;
    EXPECT_THAT(text.out, HasSubstr("Timing by RPM [timing-rpm]"));
    EXPECT_THAT(text.out, HasSubstr("coil combination"));
    EXPECT_THAT(text.out, ::testing::Not(HasSubstr("fuel-vacuum")));
}

TEST(CliDiff, NamesAChangedParameterAndMapPoint)
{
    TempFolder dir;
    files::MapFile f = loadOrFail(demoTune());
    f.image[table::setupOffset(table::SetupParam::RpmLimiter)] += 2; // 6800 -> 7000 RPM
    f.image[table::pointOffset(table::mapDef(table::MapId::TimingRpm), 11)] += 2;
    ASSERT_TRUE(files::saveMapFile(dir / "b.kyr", f));

    KyrRun r = runKyr(dir.path(), {"diff", demoTune().string(), (dir / "b.kyr").string()});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_THAT(r.out, HasSubstr("RPM limiter: 6800 -> 7000"));
    EXPECT_THAT(r.out, HasSubstr("timing-rpm point 11 (x 11 RPM x 100)"));
    EXPECT_THAT(r.out, HasSubstr("2 differences"));

    KyrRun js = runKyr(dir.path(), {"diff", "--json", demoTune().string(), (dir / "b.kyr").string()});
    ASSERT_EQ(js.code, 0) << js.err;
    const json j = json::parse(js.out);
    EXPECT_FALSE(j["identical"]);
    ASSERT_EQ(j["setup"].size(), 1u);
    EXPECT_EQ(j["setup"][0]["name"], "rpm_limiter");
    EXPECT_EQ(j["setup"][0]["a"], 6800);
    EXPECT_EQ(j["setup"][0]["b"], 7000);
    ASSERT_EQ(j["points"].size(), 1u);
    EXPECT_EQ(j["points"][0]["map"], "timing-rpm");
    EXPECT_EQ(j["points"][0]["index"], 11);
    EXPECT_EQ(j["points"][0]["b"].get<int>() - j["points"][0]["a"].get<int>(), 2);

    KyrRun same = runKyr(dir.path(), {"diff", demoTune().string(), demoTune().string()});
    EXPECT_EQ(same.code, 0);
    EXPECT_EQ(same.out, "no differences\n");
}
