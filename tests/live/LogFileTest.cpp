// SPDX-License-Identifier: GPL-3.0-or-later
#include "live/LogFile.h"
#include "live/LogFormats.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "ProcessId.h"

using namespace kyr::live;
using kyr::ErrorKind;
using kyr::Status;

namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void spit(const fs::path& p, const std::string& bytes)
{
    std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
}

LiveValues record(int i)
{
    LiveValues v;
    v.set(LiveField::Rpm, 1000 + 50 * i);
    v.set(LiveField::Timing, -2.5 + i);
    v.set(LiveField::Vacuum, 40 + i);
    if (i % 3 != 1)
        v.set(LiveField::Lambda, 0.45);
    v.set(LiveField::InjectorDuty, 20);
    v.set(LiveField::Throttle, 128);
    return v;
}

const LogInfo kInfo{"KYR model 3, version 2.1, Fuel and Timing", "12345", "base.kyr", "0123456789abcdef",
                    "2026-12-08 14:03:12"};
const std::vector<LogColumn> kColumns{LogColumn::Rpm, LogColumn::Timing, LogColumn::Lambda, LogColumn::Volt,
                                      LogColumn::ThrottlePercent, LogColumn::InjectorMs};

class LogFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("kyr-logfile-" + std::to_string(kyr::test::processId()));
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    /// Writes six records with a marker after the third.
    fs::path writeLog(const std::string& name)
    {
        const fs::path p = dir / name;
        auto w = LogWriter::create(p.string(), kColumns, kInfo);
        EXPECT_TRUE(w.ok()) << (w.ok() ? "" : w.error().message);
        for (int i = 0; i < 6; ++i) {
            EXPECT_TRUE(w.value()->append(0.25 * i, record(i), ThrottleCal{28, 228}).ok());
            if (i == 2)
                EXPECT_TRUE(w.value()->mark(0.6, "Marker 1").ok());
        }
        EXPECT_EQ(w.value()->records(), 6);
        EXPECT_TRUE(w.value()->close().ok());
        return p;
    }

    fs::path dir;
};

std::string infoOf(const LogData& d, const std::string& key)
{
    for (const auto& [k, v] : d.info)
        if (k == key)
            return v;
    return "(none)";
}

} // namespace

TEST_F(LogFileTest, EveryFormatReadsBackItsValuesUnitsGapsMarkersAndInfo)
{
    for (const char* name : {"run.mlg", "run.msl", "run.csv"}) {
        SCOPED_TRACE(name);
        auto r = readLog(writeLog(name).string());
        ASSERT_TRUE(r.ok()) << r.error().message;
        const LogData& d = r.value();
        EXPECT_EQ(infoOf(d, "Unit"), kInfo.unit);
        EXPECT_EQ(infoOf(d, "Serial"), "12345");
        EXPECT_EQ(infoOf(d, "Tune file"), "base.kyr");
        EXPECT_EQ(infoOf(d, "Table hash"), "0123456789abcdef");
        EXPECT_EQ(infoOf(d, "Capture Date"), "2026-12-08 14:03:12");
        ASSERT_EQ(d.rows(), 6u);
        ASSERT_EQ(d.channels.size(), kColumns.size());
        for (std::size_t c = 0; c < kColumns.size(); ++c) {
            const LogColumnDef& def = logColumnDef(kColumns[c]);
            EXPECT_EQ(d.channels[c].name, def.caption);
            EXPECT_EQ(d.channels[c].unit, def.unit);
            ASSERT_EQ(d.channels[c].values.size(), 6u);
        }
        for (int i = 0; i < 6; ++i) {
            EXPECT_NEAR(d.times[i], 0.25 * i, 1e-6);
            EXPECT_FLOAT_EQ(d.channels[0].values[i], 1000 + 50 * i);
            EXPECT_FLOAT_EQ(d.channels[1].values[i], -2.5 + i);
            EXPECT_EQ(LogData::isMissing(d.channels[2].values[i]), i % 3 == 1);
            EXPECT_TRUE(LogData::isMissing(d.channels[3].values[i])) << "no battery reading was given";
            EXPECT_FLOAT_EQ(d.channels[4].values[i], 50.0f);
        }
        EXPECT_NEAR(d.channels[5].values[1], *injectorMs(20, 1050), 0.006);
        EXPECT_EQ(d.channels[1].digits, 1);
        ASSERT_EQ(d.markers.size(), 1u);
        EXPECT_EQ(d.markers[0].text, "Marker 1");
        EXPECT_NEAR(d.markers[0].seconds, 0.6, 1e-4);
    }
}

TEST_F(LogFileTest, ALogCutShortKeepsItsWholeRecords)
{
    const fs::path mlg = writeLog("cut.mlg");
    std::string bytes = slurp(mlg);
    spit(mlg, bytes.substr(0, bytes.size() - 7)); // the last block torn
    auto r = readLog(mlg.string());
    ASSERT_TRUE(r.ok()) << r.error().message;
    EXPECT_EQ(r.value().rows(), 5u);
    EXPECT_EQ(r.value().channels[0].values.size(), 5u);

    for (const char* name : {"cut.csv", "cut.msl"}) {
        const fs::path text = writeLog(name);
        std::ofstream(text, std::ios::app) << "1.500" << (text.extension() == ".csv" ? "," : "\t") << "13";
        auto t = readLog(text.string());
        ASSERT_TRUE(t.ok()) << t.error().message;
        EXPECT_EQ(t.value().rows(), 6u) << name;
    }
}

TEST_F(LogFileTest, DamagedLogsAreRefusedNamingWhatAndWhere)
{
    const std::string good = slurp(writeLog("good.mlg"));
    auto refused = [&](std::string bytes, const std::string& expected) {
        const fs::path p = dir / "bad.mlg";
        spit(p, bytes);
        auto r = readLog(p.string());
        ASSERT_FALSE(r.ok()) << expected;
        EXPECT_EQ(r.error().kind, ErrorKind::BadFile);
        EXPECT_NE(r.error().message.find(expected), std::string::npos) << r.error().message;
        EXPECT_NE(r.error().message.find("bad.mlg"), std::string::npos) << r.error().message;
    };
    refused(good.substr(0, 15), "ends inside its header");
    std::string absurd = good;
    absurd[20] = '\xff', absurd[21] = '\xff';
    refused(absurd, "65535 fields");
    std::string version = good;
    version[7] = 2;
    refused(version, "version 2");
    std::string block = good;
    const std::size_t dataBegin = (uint8_t(good[16]) << 8) | uint8_t(good[17]);
    block[dataBegin + 33] = 7; // the second block's type (blocks of 4 + 28 + 1 bytes)
    refused(block, "block type 7 is unknown (byte offset " + std::to_string(dataBegin + 33) + ")");
    std::string type = good;
    type[22 + 55] = 9; // the second field's type
    refused(type, "\"RPM\") has the unknown type 9");
    refused("MLVLX" + good.substr(5), "names no \"Time\" field");

    std::string text = slurp(writeLog("bad.csv"));
    text.insert(text.find("0.500,"), "0.400,1,2\n");
    spit(dir / "bad.csv", text);
    auto r = readLog((dir / "bad.csv").string());
    ASSERT_FALSE(r.ok());
    EXPECT_NE(r.error().message.find("line 10 has 3 fields"), std::string::npos) << r.error().message;
}

TEST_F(LogFileTest, OtherToolsLogsRead)
{
    spit(dir / "other.msl", "\"MS2Extra comms342h2\"\n\"Capture Date: Sat Jun 01 10:00:00 2024\"\n"
                            "Time\tSecL\tRPM\tMAP\tAFR\n"
                            "s\tsec\trpm\tkPa\tAFR\n"
                            "0.000\t0\t850\t35.1\t14.70\n"
                            "MARK 000 - Manual\n"
                            "0.051\t0\t900\t\t14.52\n");
    auto r = readLog((dir / "other.msl").string());
    ASSERT_TRUE(r.ok()) << r.error().message;
    const LogData& d = r.value();
    ASSERT_EQ(d.channels.size(), 4u);
    EXPECT_EQ(d.channels[1].name, "RPM");
    EXPECT_EQ(d.channels[3].unit, "AFR");
    EXPECT_EQ(d.channels[3].digits, 2);
    EXPECT_TRUE(LogData::isMissing(d.channels[2].values[1]));
    EXPECT_EQ(d.times, (std::vector<double>{0.0, 0.051}));
    ASSERT_EQ(d.markers.size(), 1u);
    EXPECT_EQ(d.markers[0].text, "Manual");
    EXPECT_EQ(infoOf(d, "Note"), "MS2Extra comms342h2");

    // An MLG with integer fields, a scale and a transform, and no Time field.
    std::string m = std::string("MLVLG") + '\0' + std::string("\x00\x01\x00\x00\x00\x00\x00\x00", 8);
    auto u16 = [](int v) { return std::string{char(v >> 8), char(v & 0xff)}; };
    m += u16(0) + u16(0) + u16(3) + u16(2); // no info, data begin filled below, 3 bytes, 2 fields
    auto field = [&](int type, std::string name, std::string unit, std::string scale, std::string transform,
                     int digits) {
        name.resize(34, '\0');
        unit.resize(10, '\0');
        return char(type) + name + unit + '\0' + scale + transform + char(digits);
    };
    m += field(0, "CLT", "C", std::string("\x3f\x80\x00\x00", 4), std::string("\xc2\x20\x00\x00", 4), 0); // 1, -40
    m += field(3, "Advance", "deg", std::string("\x3d\xcc\xcc\xcd", 4), std::string(4, '\0'), 1);          // 0.1
    const std::size_t begin = m.size();
    m[16] = char(begin >> 8), m[17] = char(begin & 0xff);
    m += std::string("\x00\x00\x00\x00", 4) + char(125) + u16(-55 & 0xffff) + char((125 + 0xff + 0xc9) & 0xff);
    m += std::string("\x00\x01\x03\xe8", 4) + char(130) + u16(123) + char(130 + 123); // 1000 x 10 us later
    spit(dir / "other.mlg", m);
    auto b = readLog((dir / "other.mlg").string());
    ASSERT_TRUE(b.ok()) << b.error().message;
    ASSERT_EQ(b.value().rows(), 2u);
    EXPECT_FLOAT_EQ(b.value().channels[0].values[0], 85.0f);
    EXPECT_NEAR(b.value().channels[1].values[0], -5.5f, 1e-5);
    EXPECT_NEAR(b.value().channels[1].values[1], 12.3f, 1e-5);
    EXPECT_NEAR(b.value().times[1], 0.01, 1e-9);
}

TEST_F(LogFileTest, ALogIsNeverWrittenOverATuneFile)
{
    const std::string tune = "#KYR Version 1.0\nMake=Test\n";
    spit(dir / "base.kyr", tune);
    spit(dir / "renamed.csv", tune);
    for (const char* name : {"base.kyr", "renamed.csv", "NEW.KYR"}) {
        SCOPED_TRACE(name);
        const fs::path p = dir / name;
        const Status s = checkLogTarget(p.string());
        ASSERT_FALSE(s.ok());
        EXPECT_EQ(s.error().kind, ErrorKind::BadArgument);
        EXPECT_EQ(s.error().message, std::string(name) + " is a tune file: a log is never written over it");
        auto w = LogWriter::create(p.string(), kColumns, kInfo);
        EXPECT_FALSE(w.ok());
    }
    EXPECT_EQ(slurp(dir / "base.kyr"), tune);
    EXPECT_EQ(slurp(dir / "renamed.csv"), tune);
    EXPECT_FALSE(fs::exists(dir / "NEW.KYR"));

    const Status other = checkLogTarget((dir / "run.txt").string());
    ASSERT_FALSE(other.ok());
    EXPECT_NE(other.error().message.find("Choose a log file ending in .mlg, .msl or .csv"), std::string::npos);
    spit(dir / "old.csv", "Time (s),RPM\n0.000,900\n");
    EXPECT_TRUE(checkLogTarget((dir / "old.csv").string()).ok()) << "an old log may be replaced";
    EXPECT_EQ(logFormatOf("A.MLG"), LogFormat::Mlg);
    EXPECT_FALSE(LogWriter::create((dir / "x.msl").string(), {}, kInfo).ok());
}

#ifndef _WIN32
TEST_F(LogFileTest, ALogIsNeverWrittenIntoAPipeOrADevice)
{
    ASSERT_EQ(::mkfifo((dir / "pipe.csv").c_str(), 0600), 0);
    fs::create_symlink(dir / "pipe.csv", dir / "link.mlg");
    for (const char* name : {"pipe.csv", "link.mlg"}) {
        SCOPED_TRACE(name);
        const Status s = checkLogTarget((dir / name).string());
        ASSERT_FALSE(s.ok());
        EXPECT_EQ(s.error().message, "Cannot create the data log \"" + (dir / name).string() +
                                         "\": it is not a regular file");
        EXPECT_FALSE(LogWriter::create((dir / name).string(), kColumns, kInfo).ok()); // and does not block
    }
    EXPECT_TRUE(fs::is_fifo(dir / "pipe.csv"));
}
#endif

TEST(LogFile, TableHashIsShortAndFollowsEveryByte)
{
    std::vector<uint8_t> image(481, 7);
    const std::string h = tableHash(image);
    EXPECT_EQ(h.size(), 16u);
    EXPECT_EQ(tableHash(image), h);
    image[480] = 8;
    EXPECT_NE(tableHash(image), h);
    EXPECT_EQ(tableHash({}), "cbf29ce484222325");
}

TEST_F(LogFileTest, AFullDiskIsReportedNamingTheLog)
{
    if (!fs::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    const fs::path full = dir / "full.mlg";
    fs::create_symlink("/dev/full", full);
    EXPECT_FALSE(LogWriter::create(full.string(), kColumns, kInfo).ok()) << "a device is never a log";
    // Below that check, the writer meets the device's full disk.
    auto sink = logfmt::LogSink::open(full.string());
    ASSERT_TRUE(sink.ok()) << sink.error().message;
    auto w = logfmt::createMlgWriter(std::move(sink).value(), kColumns, kInfo);
    ASSERT_FALSE(w.ok());
    EXPECT_EQ(w.error().kind, ErrorKind::OsError);
    EXPECT_NE(w.error().message.find(full.string()), std::string::npos) << w.error().message;
    EXPECT_NE(w.error().message.find("No space left"), std::string::npos) << w.error().message;
}

TEST_F(LogFileTest, MlgHeaderAndBlocksSitWhereViewersLookForThem)
{
    const std::string b = slurp(writeLog("layout.mlg"));
    auto u16 = [&](std::size_t at) { return (uint8_t(b[at]) << 8) | uint8_t(b[at + 1]); };
    auto u32 = [&](std::size_t at) { return uint32_t(u16(at)) << 16 | uint32_t(u16(at + 2)); };
    ASSERT_EQ(b.substr(0, 6), std::string("MLVLG\0", 6));
    EXPECT_EQ(u16(6), 1);
    const std::size_t fields = kColumns.size() + 1;
    EXPECT_EQ(u16(20), static_cast<int>(fields));
    EXPECT_EQ(u16(18), 4 + 4 * static_cast<int>(kColumns.size())) << "U32 time, then one F32 a value";
    const std::size_t infoStart = 22 + 55 * fields;
    EXPECT_EQ(u16(12), static_cast<int>(infoStart));
    const std::size_t dataBegin = u32(14);
    EXPECT_EQ(b[dataBegin - 1], '\0') << "the info text ends in a zero byte";
    EXPECT_EQ(b.substr(infoStart, 14), "KYR Tuner log\n");
    // The first field: U32 "Time" in s, scale 0.001, three places.
    EXPECT_EQ(b[22], 4);
    EXPECT_EQ(b.substr(23, 5), std::string("Time\0", 5));
    EXPECT_EQ(b.substr(22 + 35, 2), std::string("s\0", 2));
    EXPECT_EQ(u32(22 + 46), 0x3a83126fu);
    EXPECT_EQ(b[22 + 54], 3);
    // The second field: F32 "RPM", scale 1, transform 0.
    EXPECT_EQ(b[22 + 55], 7);
    EXPECT_EQ(u32(22 + 55 + 46), 0x3f800000u);
    EXPECT_EQ(u32(22 + 55 + 50), 0u);
    // The second record: type 0, counter 1, timestamp 0.25 s in 10 us units, time 250 ms, RPM 1050.
    const std::size_t block = dataBegin + 4 + u16(18) + 1;
    EXPECT_EQ(b[block], 0);
    EXPECT_EQ(b[block + 1], 1);
    EXPECT_EQ(u16(block + 2), 25000);
    EXPECT_EQ(u32(block + 4), 250u);
    EXPECT_EQ(u32(block + 8), 0x44834000u); // 1050.0f
    unsigned sum = 0;
    for (int i = 0; i < u16(18); ++i)
        sum += uint8_t(b[block + 4 + i]);
    EXPECT_EQ(uint8_t(b[block + 4 + u16(18)]), sum & 0xff);
    // The marker after the third record: type 1, then its text in 50 bytes.
    const std::size_t marker = dataBegin + 3 * (4 + u16(18) + 1);
    EXPECT_EQ(b[marker], 1);
    EXPECT_EQ(b.substr(marker + 4, 9), std::string("Marker 1\0", 9));
    EXPECT_EQ(b[marker + 4 + 50], 0) << "a record follows the marker";
}

TEST_F(LogFileTest, SemicolonTextWithQuotedNamesReads)
{
    spit(dir / "export.csv", "\"Time\";\"RPM\";\"MAP\"\n\"s\";\"rpm\";\"kPa\"\n0.1;900;35\n0.2;950;36.5\n");
    auto r = readLog((dir / "export.csv").string());
    ASSERT_TRUE(r.ok()) << r.error().message;
    ASSERT_EQ(r.value().channels.size(), 2u);
    EXPECT_EQ(r.value().channels[1].name, "MAP");
    EXPECT_EQ(r.value().channels[1].unit, "kPa");
    EXPECT_EQ(r.value().channels[1].digits, 1);
    EXPECT_EQ(r.value().times, (std::vector<double>{0.1, 0.2}));
}

TEST_F(LogFileTest, RowsWhoseTimeIsNotFiniteOrGoesBackAreLeftOutAndCounted)
{
    const std::string rows = "0.0,900\n0.1,910\nnan,920\n0.05,930\ninf,940\n0.2,950\n-inf,960\n0.2,970\n";
    spit(dir / "times.csv", "Time,RPM\n" + rows + "MARK 001 - late - nan\n");
    std::string tabbed = rows;
    std::replace(tabbed.begin(), tabbed.end(), ',', '\t');
    spit(dir / "times.msl", "Time\tRPM\n" + tabbed);
    for (const char* name : {"times.csv", "times.msl"}) {
        SCOPED_TRACE(name);
        auto r = readLog((dir / name).string());
        ASSERT_TRUE(r.ok()) << r.error().message;
        EXPECT_EQ(r.value().times, (std::vector<double>{0.0, 0.1, 0.2, 0.2}));
        EXPECT_EQ(r.value().channels[0].values, (std::vector<float>{900, 910, 950, 970}));
        EXPECT_EQ(infoOf(r.value(), "Note"), "4 rows left out (time not finite or earlier than the row before)");
    }
    auto marked = readLog((dir / "times.csv").string());
    EXPECT_TRUE(marked.value().markers.empty());
    EXPECT_EQ(marked.value().info.back().second, "1 marker left out (time not finite)");

    // A binary log whose clock went back keeps the rows before and after.
    const fs::path p = dir / "back.mlg";
    auto w = LogWriter::create(p.string(), kColumns, kInfo);
    ASSERT_TRUE(w.ok());
    for (double t : {0.0, 0.5, 0.25, 1.0})
        ASSERT_TRUE(w.value()->append(t, record(static_cast<int>(t * 4)), {}).ok());
    ASSERT_TRUE(w.value()->close().ok());
    auto m = readLog(p.string());
    ASSERT_TRUE(m.ok()) << m.error().message;
    ASSERT_EQ(m.value().rows(), 3u);
    EXPECT_NEAR(m.value().times[1], 0.5, 1e-6);
    EXPECT_NEAR(m.value().times[2], 1.0, 1e-6);
    EXPECT_FLOAT_EQ(m.value().channels[0].values[2], 1000 + 50 * 4);
    EXPECT_EQ(infoOf(m.value(), "Note"), "1 row left out (time not finite or earlier than the row before)");
}

TEST_F(LogFileTest, AnMlgRecordWhoseChecksumDoesNotMatchIsLeftOutAndCounted)
{
    std::string b = slurp(writeLog("flip.mlg"));
    const std::size_t dataBegin = (uint8_t(b[16]) << 8) | uint8_t(b[17]);
    const std::size_t rpm = dataBegin + 33 + 8; // the second record's RPM, after its block head and time
    ASSERT_EQ(b.substr(rpm, 2), "\x44\x83"); // 1050.0f
    b[rpm] ^= 0x02;                           // one bit: 1050 becomes 16800
    spit(dir / "flip.mlg", b);
    auto r = readLog((dir / "flip.mlg").string());
    ASSERT_TRUE(r.ok()) << r.error().message;
    const LogData& d = r.value();
    ASSERT_EQ(d.rows(), 5u);
    for (float v : d.channels[0].values)
        EXPECT_LE(v, 1250.0f) << "the damaged value is not shown";
    EXPECT_NEAR(d.times[1], 0.5, 1e-6);
    EXPECT_EQ(infoOf(d, "Note"), "1 record left out (checksum did not match)");
    EXPECT_EQ(d.markers.size(), 1u) << "the marker after it stays";
}

TEST_F(LogFileTest, ARecordOrMarkerWithoutAFiniteTimeIsRefusedAndTheLogGoesOn)
{
    for (const char* name : {"clock.mlg", "clock.csv", "clock.msl"}) {
        SCOPED_TRACE(name);
        const fs::path p = dir / name;
        auto w = LogWriter::create(p.string(), kColumns, kInfo);
        ASSERT_TRUE(w.ok());
        ASSERT_TRUE(w.value()->append(0.1, record(0), {}).ok());
        const std::size_t size = fs::file_size(p);
        for (double t : {std::nan(""), std::numeric_limits<double>::infinity()}) {
            const Status s = w.value()->append(t, record(1), {});
            ASSERT_FALSE(s.ok());
            EXPECT_EQ(s.error().kind, ErrorKind::BadArgument);
            EXPECT_NE(s.error().message.find("finite time"), std::string::npos) << s.error().message;
            EXPECT_FALSE(w.value()->mark(t, "Marker 1").ok());
        }
        EXPECT_EQ(fs::file_size(p), size) << "nothing of them was written";
        EXPECT_TRUE(w.value()->append(0.2, record(2), {}).ok()) << "the writer takes the next record";
        EXPECT_EQ(w.value()->records(), 2);
        ASSERT_TRUE(w.value()->close().ok());
        auto r = readLog(p.string());
        ASSERT_TRUE(r.ok()) << r.error().message;
        EXPECT_EQ(r.value().rows(), 2u);
        EXPECT_EQ(infoOf(r.value(), "Note"), "(none)");
    }
}
