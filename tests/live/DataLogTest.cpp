// SPDX-License-Identifier: GPL-3.0-or-later
#include "live/DataLog.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "ProcessId.h"

using namespace kyr::live;
using kyr::ErrorKind;

namespace {

LiveValues sample()
{
    LiveValues v;
    v.set(LiveField::Rpm, 3000);
    v.set(LiveField::Timing, 24.5);
    v.set(LiveField::Vacuum, 62);
    v.set(LiveField::Lambda, 0.45);
    v.set(LiveField::Battery, 13.8);
    v.set(LiveField::InjectorDuty, 25);
    v.set(LiveField::WaterTemp, 85);
    v.set(LiveField::AirTemp, 25);
    v.set(LiveField::Throttle, 125);
    v.set(LiveField::Pot, 50);
    return v;
}

std::string slurp(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class DataLogFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = std::filesystem::temp_directory_path() / ("kyr-datalog-" + std::to_string(kyr::test::processId()));
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::filesystem::path dir;
};

} // namespace

TEST(DataLog, ColumnsCarryTheLoggerCaptions)
{
    std::vector<std::string_view> captions;
    for (const auto& d : logColumnTable())
        captions.push_back(d.caption);
    EXPECT_EQ(captions, (std::vector<std::string_view>{"RPM", "Timing", "Vacuum", "Lambda", "Volt", "Injector %",
                                                       "Temperature", "Throttle %", "Air Temp", "POT %",
                                                       "Injector (ms)"}));
    EXPECT_EQ(logColumnNamed("Injector (ms)"), LogColumn::InjectorMs);
    EXPECT_FALSE(logColumnNamed("Boost"));
}

TEST(DataLog, DerivedValuesUseCalibrationAndRpm)
{
    const LiveValues v = sample();
    // Reading 125 between calibration points 20 and 230: half open.
    EXPECT_DOUBLE_EQ(*logValue(LogColumn::ThrottlePercent, v, {20, 230}), 50.0);
    EXPECT_DOUBLE_EQ(*logValue(LogColumn::ThrottlePercent, v, {0, 0}), 100.0) << "uncalibrated: reading as percent";
    EXPECT_FALSE(logValue(LogColumn::ThrottlePercent, v, {200, 100})) << "an unusable calibration";
    EXPECT_DOUBLE_EQ(*logValue(LogColumn::InjectorMs, v, {}), 5.0) << "25 % of 20 ms";
    LiveValues stopped = v;
    stopped.set(LiveField::Rpm, 0);
    EXPECT_FALSE(logValue(LogColumn::InjectorMs, stopped, {}));
}

TEST(DataLog, LinesHoldTheChosenColumnsInOrder)
{
    const std::vector<LogColumn> cols{LogColumn::Rpm, LogColumn::Lambda, LogColumn::InjectorMs, LogColumn::Volt};
    EXPECT_EQ(logHeader(cols), "Time (s),RPM,Lambda,Injector (ms),Volt");
    EXPECT_EQ(logLine(0.085, cols, sample(), {}), "0.085,3000,0.45,5.00,13.8");
    LiveValues partial;
    partial.set(LiveField::Rpm, 900);
    EXPECT_EQ(logLine(1.5, cols, partial, {}), "1.500,900,,,") << "missing readings are empty fields";
}

TEST_F(DataLogFile, WritesHeaderAndEveryLineAsItGoes)
{
    const auto path = (dir / "run.csv").string();
    auto w = DataLogWriter::create(path, {LogColumn::Rpm, LogColumn::Timing});
    ASSERT_TRUE(w.ok()) << w.error().message;
    EXPECT_EQ(slurp(path), "Time (s),RPM,Timing\n");
    ASSERT_TRUE(w.value().append(0.0, sample(), {}).ok());
    EXPECT_EQ(slurp(path), "Time (s),RPM,Timing\n0.000,3000,24.5\n") << "flushed before the next tick";
    ASSERT_TRUE(w.value().append(0.085, sample(), {}).ok());
    EXPECT_TRUE(w.value().close().ok());
    EXPECT_EQ(w.value().lines(), 2);
    EXPECT_EQ(slurp(path), "Time (s),RPM,Timing\n0.000,3000,24.5\n0.085,3000,24.5\n");
}

TEST_F(DataLogFile, ReplacesAnOldLog)
{
    const auto path = (dir / "old.csv").string();
    std::ofstream(path) << "an old and much longer log that must not survive\n";
    auto w = DataLogWriter::create(path, {LogColumn::Vacuum});
    ASSERT_TRUE(w.ok());
    ASSERT_TRUE(w.value().close().ok());
    EXPECT_EQ(slurp(path), "Time (s),Vacuum\n");
}

TEST_F(DataLogFile, UnwritablePlacesAreClearErrors)
{
    const auto missing = (dir / "no-such-folder" / "run.csv").string();
    auto w = DataLogWriter::create(missing, {LogColumn::Rpm});
    ASSERT_FALSE(w.ok());
    EXPECT_EQ(w.error().kind, ErrorKind::OsError);
    EXPECT_NE(w.error().message.find(missing), std::string::npos) << w.error().message;

    auto none = DataLogWriter::create((dir / "x.csv").string(), {});
    ASSERT_FALSE(none.ok());
    EXPECT_EQ(none.error().kind, ErrorKind::BadArgument);
}

TEST(DataLog, AFullDiskIsAClearError)
{
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full here";
    auto w = DataLogWriter::create("/dev/full", {LogColumn::Rpm});
    ASSERT_FALSE(w.ok()) << "the header could not be stored";
    EXPECT_EQ(w.error().kind, ErrorKind::OsError);
    EXPECT_NE(w.error().message.find("/dev/full"), std::string::npos) << w.error().message;
}

TEST(DataLog, CalibrationComesFromTheSetupCopy)
{
    std::vector<uint8_t> setup(101, 1);
    setup[38] = 21;  // plus-one form of 20
    setup[39] = 231; // of 230
    const ThrottleCal cal = throttleCalOf(setup);
    EXPECT_EQ(cal.lowRaw, 20);
    EXPECT_EQ(cal.highRaw, 230);
    setup[39] = 255; // the unit has no such field
    EXPECT_EQ(throttleCalOf(setup).highRaw, 0);
    EXPECT_EQ(throttleCalOf(std::span<const uint8_t>(setup.data(), 10)).lowRaw, 0) << "a short copy";
}
