// SPDX-License-Identifier: GPL-3.0-or-later
// The tool's pieces run in-process: the report model, the port names, and a
// write whose read-back differs, on a fake device with a fake clock.

#include "Commands.h"
#include "Output.h"
#include "TuneView.h"
#include "UnitLink.h"

#include "RunKyr.h"

#include "FakeClock.h"
#include "FakeSerialDevice.h"
#include "SimResponder.h"
#include "link/Protocol.h"

#include <gmock/gmock.h>

#include <set>
#include <sstream>

using namespace kyr;
using namespace kyr::cli;
using ::testing::HasSubstr;

TEST(CliView, ParameterNamesAreUniqueSnakeCase)
{
    std::set<std::string> names;
    for (const auto& v : setupValues(test::loadOrFail(test::demoTune()).image)) {
        EXPECT_THAT(v.name, ::testing::MatchesRegex("[a-z0-9]+(_[a-z0-9]+)*")) << v.def->parameter;
        EXPECT_TRUE(names.insert(v.name).second) << v.name;
    }
    EXPECT_EQ(snakeName("map sensor (kPa x10)"), "map_sensor_kpa_x10");
    EXPECT_EQ(snakeName("accelerator pump, map: enrichment (%)"), "accelerator_pump_map_enrichment");
}

TEST(CliView, EveryParameterAndMapNameIsDocumented)
{
    // The JSON names are a promise to scripts: a renamed layout row must show here.
    const std::string doc = test::readText(std::filesystem::path(KYR_SOURCE_DIR) / "docs" / "cli.md");
    for (const auto& v : setupValues(test::loadOrFail(test::demoTune()).image))
        EXPECT_THAT(doc, HasSubstr("| " + std::to_string(v.def->offset) + " | `" + v.name + "` |")) << v.name;
    for (const auto& m : table::mapTable())
        EXPECT_THAT(doc, HasSubstr("| `" + std::string(m.name) + "` |")) << m.name;
}

TEST(CliView, AbsentAndInvalidValuesAreNotShownAsNumbers)
{
    files::MapFile f = test::loadOrFail(test::demoTune());
    f.image[table::setupOffset(table::SetupParam::Cylinders)] = table::AbsentPlusOne;
    f.image[table::setupOffset(table::SetupParam::CoilCombination)] = 10; // raw 9: no such choice
    f.image[table::setupOffset(table::SetupParam::TwoStroke)] = 6;        // raw 5: neither on nor off
    f.image[table::setupOffset(table::SetupParam::SerialPrefix1)] = 1;    // raw 0: not a letter
    const auto values = setupValues(f.image);
    auto find = [&](table::SetupParam p) {
        for (const auto& v : values)
            if (v.def->param == p)
                return v;
        return SetupValue{};
    };
    EXPECT_TRUE(find(table::SetupParam::Cylinders).absent);
    EXPECT_EQ(find(table::SetupParam::Cylinders).text, "absent");
    EXPECT_FALSE(find(table::SetupParam::CoilCombination).known);
    EXPECT_FALSE(find(table::SetupParam::TwoStroke).known);
    EXPECT_FALSE(find(table::SetupParam::SerialPrefix1).known);
    EXPECT_EQ(setupValueJson(find(table::SetupParam::Cylinders))["value"], nullptr);
    EXPECT_EQ(setupValueJson(find(table::SetupParam::CoilCombination))["value"], nullptr);
    // The JSON of the whole file still renders (the serial text holds a control byte).
    std::ostringstream out;
    printJson(out, tuneJson(tuneView(f), "x.kyr"));
    EXPECT_TRUE(nlohmann::json::accept(out.str()));
}

TEST(CliView, DiffListsBytesNoParameterOrShownPointCovers)
{
    files::MapFile a = test::loadOrFail(test::demoTune());
    files::MapFile b = a;
    b.image[60] += 1;                  // between the setup fields
    b.image[table::TrailerOffset] = 0; // a file saved "From KYR"
    // Timing by RPM point 90 lies beyond N = 70: not a shown point, still a difference.
    b.image[table::pointOffset(table::mapDef(table::MapId::TimingRpm), 90)] += 1;
    const tools::TuneComparison d = diffFiles(a, b).tune;
    EXPECT_TRUE(d.setup.empty());
    EXPECT_TRUE(d.points.empty());
    ASSERT_EQ(d.bytes.size(), 3u);
    EXPECT_EQ(d.bytes[0].offset, 60);
    EXPECT_EQ(d.bytes[1].offset, table::pointOffset(table::mapDef(table::MapId::TimingRpm), 90));
    EXPECT_EQ(d.bytes[2].offset, table::TrailerOffset);
    EXPECT_EQ(d.bytes[2].other, 0);
    EXPECT_TRUE(diffFiles(a, a).empty());
}

// Every byte ends: a lone byte 0x80..0xFF (a Latin-1 "120\xB0") is one "?",
// well-formed characters stay, control characters never reach the terminal.
TEST(CliView, PrintableTextTakesEveryByteOnce)
{
    for (int b = 0x80; b <= 0xFF; ++b) {
        const std::string lone = "a" + std::string(1, static_cast<char>(b)) + "b";
        EXPECT_EQ(printable(lone), "a?b") << b;
    }
    EXPECT_EQ(printable("120\xB0"), "120?");
    EXPECT_EQ(printable("Citro\xC3\xABn \xE2\x82\xAC \xF0\x9F\x94\xA7"), "Citro\xC3\xABn \xE2\x82\xAC \xF0\x9F\x94\xA7");
    EXPECT_EQ(printable("\x1B[2J\x07\x7F"), "?[2J??");
    EXPECT_EQ(printable("\xC2\x9B" "1m \xC2\x9D" "0;x"), "?1m ?0;x");                  // CSI and OSC as C1
    EXPECT_EQ(printable("\xE2\x82 \xC0\xAF \xED\xA0\x80 \xF4\x90\x80\x80"), "?? ?? ??? ????"); // cut, overlong, surrogate, above U+10FFFF
    EXPECT_EQ(printable(std::string(1, '\xE2')), "?");
}

TEST(CliView, NumberText)
{
    EXPECT_EQ(numberText(7000), "7000");
    EXPECT_EQ(numberText(0.45), "0.45");
    EXPECT_EQ(numberText(2.5), "2.5");
    EXPECT_EQ(numberText(-0.00001), "0");
    EXPECT_EQ(numberText(0.03125), "0.0312"); // halves to even
    EXPECT_EQ(numberText(2.1875, 2), "2.19");
}

TEST(CliPort, ComNamesAndDevicePaths)
{
    auto com = parsePortChoice("com12");
    ASSERT_TRUE(com);
    EXPECT_EQ(com.value().com, 12);
    EXPECT_EQ(com.value().label(), "COM12");
    auto path = parsePortChoice("/dev/ttyUSB0");
    ASSERT_TRUE(path);
    EXPECT_EQ(path.value().device, "/dev/ttyUSB0");
    EXPECT_EQ(path.value().label(), "/dev/ttyUSB0");
    auto relative = parsePortChoice("./pty");
    ASSERT_TRUE(relative);
    EXPECT_TRUE(std::filesystem::path(relative.value().device).is_absolute());
    for (const char* bad : {"COM0", "COM100", "ttyUSB0", "COM", ""})
        EXPECT_FALSE(parsePortChoice(bad)) << bad;
}

namespace {

/// The simulated unit on the fake device, holding a table of zeros.
struct UnitOnDevice {
    link::FakeSerialDevice device;
    link::FakeClock clock;
    test::SimResponder unit;

    UnitOnDevice()
    {
        unit.table.fill(1);
        device.setResponder([this](const link::Bytes& w) { return unit.answer(w); });
    }
    LinkEnv env() { return LinkEnv{device.factory(), &clock, link::PortEnv::withVariables({}), {}}; }
};

} // namespace

TEST(CliWrite, ReadBackThatDiffersNamesTheOffsets)
{
    UnitOnDevice unit;
    unit.unit.corruptAt = {12, 300}; // the unit stores these two wrong
    std::ostringstream out, err;
    Io io{out, err};
    const int code = runWrite({"COM2", test::demoTune().string()}, io, unit.env());
    EXPECT_EQ(code, ExitUnit);
    EXPECT_THAT(err.str(), HasSubstr("verify failed"));
    EXPECT_THAT(err.str(), HasSubstr("at 2 offsets: 12, 300"));
    EXPECT_TRUE(out.str().empty());

    // On the wire: FF, FD for the backup of what the unit held, then F3 alone,
    // then the 482-byte image in raw form with 55 at the end, then the read-back.
    const auto& writes = unit.device.writes();
    ASSERT_GE(writes.size(), 5u);
    EXPECT_EQ(writes[0], link::Bytes{link::CmdReadIdentity});
    EXPECT_EQ(writes[1], link::Bytes{link::CmdReadTable});
    EXPECT_EQ(writes[2], link::Bytes{link::CmdWriteTable});
    ASSERT_EQ(writes[3].size(), static_cast<std::size_t>(table::TableSize));
    const files::MapFile demo = test::loadOrFail(test::demoTune());
    for (int off = 0; off < table::TrailerOffset; ++off)
        ASSERT_EQ(writes[3][off], static_cast<uint8_t>(demo.image[off] - 1)) << off;
    EXPECT_EQ(writes[3][table::TrailerOffset], table::TrailerRaw);
    EXPECT_EQ(writes[4], link::Bytes{link::CmdReadTable});
    // The 100 ms between F3 and the image, the unit's settling time, then
    // the read-back's pause and the quiet time after its reply.
    const session::LinkTiming timing;
    const auto& sleeps = unit.clock.sleeps();
    ASSERT_GE(sleeps.size(), 4u);
    EXPECT_EQ(std::vector<int>(sleeps.end() - 4, sleeps.end()),
              (std::vector<int>{link::pause::WriteTableGapMs, timing.writeSettleMs, link::pause::ReadTableMs,
                                timing.reply.quietMs}));
}

TEST(CliWrite, MatchingReadBackPassesAndADevicePathIsOpenedAsGiven)
{
    UnitOnDevice unit;
    std::ostringstream out, err;
    Io io{out, err};
    const int code = runWrite({"/dev/ttyKYR", test::demoTune().string()}, io, unit.env());
    EXPECT_EQ(code, ExitOk) << err.str();
    EXPECT_THAT(out.str(), HasSubstr("to /dev/ttyKYR"));
    ASSERT_FALSE(unit.device.openedPaths().empty());
    for (const auto& p : unit.device.openedPaths())
        EXPECT_EQ(p, "/dev/ttyKYR");
}

TEST(CliColumns, KeysAndCaptionsNameTheLiveValues)
{
    using kyr::live::LogColumn;
    EXPECT_EQ(kyr::cli::columnKey(LogColumn::InjectorMs), "injector-ms");
    EXPECT_EQ(kyr::cli::columnKey(LogColumn::AirTemp), "air-temp");
    EXPECT_EQ(kyr::cli::columnKey(LogColumn::ThrottlePercent), "throttle");
    auto some = kyr::cli::parseColumns("RPM,injector-ms,Air Temp,rpm");
    ASSERT_TRUE(some.ok()) << some.error().message;
    EXPECT_EQ(some.value(), (std::vector<LogColumn>{LogColumn::Rpm, LogColumn::InjectorMs, LogColumn::AirTemp}));
    auto all = kyr::cli::parseColumns("");
    ASSERT_TRUE(all.ok());
    EXPECT_EQ(all.value().size(), static_cast<std::size_t>(kyr::live::LogColumnCount));
    for (const char* bad : {"boost", "rpm,", "rpm,,timing"}) {
        auto r = kyr::cli::parseColumns(bad);
        ASSERT_FALSE(r.ok()) << bad;
        EXPECT_NE(r.error().message.find("is no live value: use rpm, timing"), std::string::npos);
    }
}
