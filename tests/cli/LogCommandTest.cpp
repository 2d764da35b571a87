// SPDX-License-Identifier: GPL-3.0-or-later
// kyr log and kyr monitor against kyr-sim over pseudo-terminals.

#include "RunKyr.h"

#include "live/LogFile.h"

#include <gmock/gmock.h>

using namespace kyr;
using namespace kyr::test;
using ::testing::HasSubstr;

TEST(CliPtyLog, WritesAReadableLogOfTheUnitsLiveValues)
{
    TempFolder dir;
    SimProcess sim(dir.path(), {.port = 3});
    for (const char* name : {"run.mlg", "run.csv"}) {
        SCOPED_TRACE(name);
        const fs::path out = dir / name;
        KyrRun r = runKyr(dir.path(), {"log", "--port", "COM3", "--duration", "1", "--columns", "rpm,air-temp,Injector %",
                                       "--fast", "-o", out.string()});
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_THAT(r.out, HasSubstr("records a second) to " + out.string()));

        auto log = live::readLog(out.string());
        ASSERT_TRUE(log.ok()) << log.error().message;
        const live::LogData& d = log.value();
        EXPECT_GT(d.rows(), 0u);
        ASSERT_EQ(d.channels.size(), 3u);
        EXPECT_EQ(d.channels[0].name, "RPM");
        EXPECT_EQ(d.channels[1].name, "Air Temp");
        EXPECT_EQ(d.channels[2].unit, "%");
        EXPECT_THAT(r.out, HasSubstr("wrote " + std::to_string(d.rows()) + " records"));
        bool serial = false, hash = false;
        for (const auto& [k, v] : d.info) {
            serial = serial || (k == "Serial" && !v.empty());
            hash = hash || (k == "Table hash" && v.size() == 16);
        }
        EXPECT_TRUE(serial && hash);
    }
    EXPECT_FALSE(sim.logWhere("cmd", "ReadLive").empty());
    EXPECT_TRUE(sim.logWhere("cmd", "WriteTable").empty());
}

TEST(CliPtyLog, RefusesATuneFileBeforeTalkingToTheUnit)
{
    TempFolder dir;
    SimProcess sim(dir.path(), {.port = 4});
    const std::string tune = readText(demoTune());
    fs::copy_file(demoTune(), dir / "tune.kyr");
    fs::copy_file(demoTune(), dir / "tune.csv");
    for (const char* name : {"tune.kyr", "tune.csv"}) {
        KyrRun r = runKyr(dir.path(), {"log", "--port", "COM4", "--duration", "1", "-o", (dir / name).string()});
        EXPECT_EQ(r.code, 2) << r.out;
        EXPECT_THAT(r.err, HasSubstr(std::string(name) + " is a tune file: a log is never written over it"));
        EXPECT_EQ(readText(dir / name), tune);
    }
    KyrRun bad = runKyr(dir.path(), {"log", "--port", "COM4", "--duration", "1", "--columns", "rpm,boost", "-o",
                                     (dir / "x.mlg").string()});
    EXPECT_EQ(bad.code, 2);
    EXPECT_THAT(bad.err, HasSubstr("\"boost\" is no live value"));
    EXPECT_TRUE(sim.logWhere("cmd", "ReadIdentity").empty()) << "nothing is sent for a refused target";
}

TEST(CliPtyMonitor, PrintsOneLinePerRecordWithUnits)
{
    TempFolder dir;
    SimProcess sim(dir.path(), {.port = 5});
    KyrRun r = runKyr(dir.path(), {"monitor", "--port", "COM5", "--count", "3"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(lineCount(r.out), 3);
    EXPECT_THAT(r.out, HasSubstr(" RPM  Timing "));
    EXPECT_THAT(r.out, HasSubstr(" deg  "));
}
