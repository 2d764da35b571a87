// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/MapFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>

#include "ProcessId.h"

using namespace kyr;
using namespace kyr::files;
namespace fs = std::filesystem;

namespace {

MapFile sampleFile()
{
    MapFile f;
    f.identity = {4, 3, 17, 1, 2, 5, 6};
    f.make = "Datsun";
    f.model = "1200 Coupe";
    f.engine = "A12";
    std::mt19937 rng(7);
    for (auto& b : f.image)
        b = static_cast<uint8_t>(rng() % 256);
    return f;
}

std::string tableLine(int count, const std::string& value = "1")
{
    std::string s;
    for (int i = 0; i < count; ++i)
        s += value + ",";
    return s + ";";
}

std::string fileWith(const std::string& version, const std::string& table)
{
    return "#KYR Version\r\n" + version + "\r\n#VehicleInfo\r\na~b~c~\r\n#Table\r\n" + table + "\r\n#EOF\r\n";
}

fs::path tempDir()
{
    auto dir = fs::temp_directory_path() / ("kyr-files-" + std::to_string(kyr::test::processId()));
    fs::create_directories(dir);
    return dir;
}

} // namespace

TEST(MapFileWriter, SevenCrLfLinesEndingTheTableWithCommaSemicolon)
{
    auto text = formatMapFile(sampleFile());
    std::size_t lines = 0;
    for (std::size_t p = text.find("\r\n"); p != std::string::npos; p = text.find("\r\n", p + 2))
        ++lines;
    EXPECT_EQ(lines, 7u);
    EXPECT_EQ(text.rfind("#EOF\r\n"), text.size() - 6);
    EXPECT_NE(text.find(",;\r\n#EOF"), std::string::npos);
    EXPECT_EQ(text.substr(0, 23), "#KYR Version\r\n43171244\r");
    EXPECT_NE(text.find("\r\nDatsun~1200 Coupe~A12~\r\n"), std::string::npos);
}

TEST(MapFileReader, RoundTripIsByteExact)
{
    MapFile f = sampleFile();
    auto parsed = parseMapFile(formatMapFile(f));
    ASSERT_TRUE(parsed.ok()) << parsed.error().message;
    EXPECT_EQ(parsed.value().image, f.image);
    EXPECT_EQ(parsed.value().make, "Datsun");
    EXPECT_EQ(parsed.value().engine, "A12");
    EXPECT_EQ(formatMapFile(parsed.value()), formatMapFile({{4, 3, 17, 1, 2, 4, 4}, "Datsun", "1200 Coupe", "A12", f.image}));
}

// Every identity the writer can carry reopens with the same model, type and
// minor, and the file signature 4 4 - also a one-digit minor (seven-digit line).
TEST(MapFileReader, EveryVersionLineSurvivesARoundTrip)
{
    for (int model = 1; model <= 9; ++model)
        for (int type = 1; type <= 6; ++type)
            for (int minor = 0; minor <= 99; ++minor)
                for (int b3 = 0; b3 <= 9; ++b3)
                    for (int b4 = 0; b4 <= 9; ++b4) {
                        std::array<uint8_t, 7> id = {uint8_t(model), uint8_t(type), uint8_t(minor), uint8_t(b3), uint8_t(b4), 5, 6};
                        auto back = parseVersionLine(versionLine(id));
                        ASSERT_TRUE(back.ok()) << versionLine(id);
                        const auto& r = back.value();
                        ASSERT_EQ(r[0], model);
                        ASSERT_EQ(r[1], type);
                        ASSERT_EQ(r[2], minor);
                        ASSERT_EQ(r[5], 4);
                        ASSERT_EQ(r[6], 4);
                    }
    auto old = parseVersionLine("4371144");
    ASSERT_TRUE(old.ok());
    EXPECT_EQ(old.value(), (std::array<uint8_t, 7>{4, 3, 7, 1, 1, 4, 4}));
}

// A longer version line counts by its first eight characters, as files whose
// identity bytes were written in full (two digits each) always opened.
TEST(MapFileReader, ALongerVersionLineCountsByItsFirstEight)
{
    const auto cut = parseVersionLine("431712444");
    ASSERT_TRUE(cut.ok()) << cut.error().message;
    EXPECT_EQ(cut.value(), (std::array<uint8_t, 7>{4, 3, 17, 1, 2, 4, 4}));
    // Model 12, type 3, minor 17, bytes 1 and 1, each in full, then "44".
    const auto full = parseVersionLine("12" "3" "17" "1" "1" "44");
    ASSERT_TRUE(full.ok()) << full.error().message;
    EXPECT_EQ(full.value(), (std::array<uint8_t, 7>{1, 2, 31, 7, 1, 4, 4})) << "a file's signature";
    const auto back = parseVersionLine(versionLine(full.value()));
    ASSERT_TRUE(back.ok()) << "what it writes back reopens: " << back.error().message;
    EXPECT_EQ(back.value(), full.value());
    auto file = parseMapFile(fileWith("4317124499999", tableLine(482)));
    ASSERT_TRUE(file.ok()) << file.error().message;
    EXPECT_EQ(file.value().identity[2], 17);
    EXPECT_FALSE(parseVersionLine("4371144x").ok()); // a seven-digit line with more after it
}

TEST(MapFileWriter, ValuesTooWideForTheVersionLineKeepTheirLastDigits)
{
    EXPECT_EQ(versionLine({12, 3, 7, 15, 1, 5, 6}), "2375144");
    EXPECT_EQ(versionLine({4, 3, 123, 1, 1, 5, 6}), "43231144");
}

struct BadCase {
    const char* name;
    std::string text;
    std::string message; // expected start of the message
};

TEST(MapFileReader, MalformedFilesAreRefusedWithAClearMessage)
{
    const std::string good = tableLine(482);
    std::string reordered = "#VehicleInfo\r\na~b~c~\r\n#KYR Version\r\n4371144\r\n#Table\r\n" + good + "\r\n#EOF\r\n";
    std::string binary = fileWith("4371144", good);
    binary[30] = '\0';
    const BadCase cases[] = {
        {"letter", fileWith("4371144", "x1," + tableLine(481)), "Incorrect .KYR file version"},
        {"negative", fileWith("4371144", "-1," + tableLine(481)), "Incorrect .KYR file version"},
        {"empty field", fileWith("4371144", ",," + tableLine(480)), "Incorrect .KYR file version"},
        {"too few", fileWith("4371144", tableLine(481)), "Incorrect .KYR file: line 6: the table holds 481 numbers"},
        {"too many", fileWith("4371144", tableLine(483)), "Incorrect .KYR file: line 6: the table holds 483 numbers"},
        {"above 255", fileWith("4371144", "256," + tableLine(481)), "Incorrect .KYR file: line 6: number 1 is 256"},
        {"no semicolon", fileWith("4371144", tableLine(482).substr(0, 963)), "Incorrect .KYR file: line 6: the table does not end"},
        {"version letters", fileWith("43x1144", good), "Incorrect .KYR file: line 2: Incorrect .KYR file version"},
        {"version 8th not 4", fileWith("43171255", good), "Incorrect .KYR file version"},
        {"short version 6th not 4", fileWith("1717414", good), "Incorrect .KYR file version"},
        {"long version 8th not 4", fileWith("431712554", good), "Incorrect .KYR file version"},
        {"reordered", reordered, "Incorrect .KYR file: line 1: expected \"#KYR Version\""},
        {"cut after the table's last comma", fileWith("4371144", good).substr(0, fileWith("4371144", good).size() - 9),
         "Incorrect .KYR file: line 6: the table does not end"},
        {"cut inside the table", fileWith("4371144", good).substr(0, 600), "Incorrect .KYR file: line 6: the table does not end"},
        {"text between the table and #EOF", fileWith("4371144", good + "\r\nmore"), "Incorrect .KYR file: line 7: expected \"#EOF\""},
        {"blank line after a header", "#KYR Version\r\n\r\n4371144\r\n#VehicleInfo\r\na~b~c~\r\n#Table\r\n" + good + "\r\n#EOF\r\n",
         "Incorrect .KYR file: line 3: expected \"#VehicleInfo\""},
        {"empty", "", "Incorrect .KYR file: the file is empty"},
        {"binary", binary, "Incorrect .KYR file: this is not a text file"},
        {"table missing", "#KYR Version\r\n4371144\r\n#VehicleInfo\r\na~b~c~\r\n#EOF\r\n", "Incorrect .KYR file: line 5"},
    };
    for (const auto& c : cases) {
        auto r = parseMapFile(c.text);
        ASSERT_FALSE(r.ok()) << c.name;
        EXPECT_EQ(r.error().kind, ErrorKind::BadFile) << c.name;
        EXPECT_EQ(r.error().message.rfind(c.message, 0), 0u) << c.name << ": " << r.error().message;
    }
    EXPECT_TRUE(parseMapFile(fileWith("4371144", good)).ok());
}

// Files another program wrote line by line: blank lines between sections, no
// "#EOF" after a whole table, notes after it, spaces after the version. Each
// opens as the tune it holds.
TEST(MapFileReader, TakesWhatAPlainLineReaderTakesWhenTheTableIsWhole)
{
    const std::string good = tableLine(482);
    const std::string plain = fileWith("4371144", good);
    const auto expected = parseMapFile(plain);
    ASSERT_TRUE(expected.ok());
    const std::string cases[] = {
        "\r\n#KYR Version\r\n4371144\r\n\r\n#VehicleInfo\r\na~b~c~\r\n \r\n#Table\r\n" + good + "\r\n\r\n#EOF\r\n",
        plain.substr(0, plain.size() - 6),
        plain.substr(0, plain.size() - 8),
        plain + "saved by hand\r\n\x1A",
        fileWith("4371144 ", good),
        fileWith("4371144\t \t", good),
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        auto f = parseMapFile(cases[i]);
        ASSERT_TRUE(f.ok()) << "case " << i << ": " << f.error().message;
        EXPECT_EQ(f.value().image, expected.value().image);
        EXPECT_EQ(f.value().identity, expected.value().identity);
        EXPECT_EQ(formatMapFile(f.value()), plain) << "written back as this program writes";
    }
}

// An eight-character version line and a longer one with the same first eight
// open alike: both, when the eighth is the signature's 4; neither otherwise.
TEST(MapFileReader, AVersionLineOpensAsItsFirstEightDo)
{
    for (const char* first : {"43171234", "12317114", "43171244"}) {
        const auto eight = parseVersionLine(first);
        const auto nine = parseVersionLine(std::string(first) + "4");
        ASSERT_TRUE(eight.ok()) << first << ": " << eight.error().message;
        ASSERT_TRUE(nine.ok()) << first;
        EXPECT_EQ(eight.value(), nine.value()) << first;
        EXPECT_EQ(parseVersionLine(versionLine(eight.value())).value(), eight.value()) << "it reopens";
    }
    for (const char* first : {"43171243", "43171255"}) {
        EXPECT_FALSE(parseVersionLine(first).ok()) << first;
        EXPECT_FALSE(parseVersionLine(std::string(first) + "4").ok()) << first;
    }
}

// A refused line is quoted by its start only, escaped: neither a huge line nor
// a terminal's control sequence reaches the message whole.
TEST(MapFileReader, ARefusedLineIsQuotedShortAndEscaped)
{
    const std::string escape = "\x1B]0;title\x07\x1B[2J";
    auto huge = parseMapFile(fileWith(escape + std::string(900000, 'x'), tableLine(482)));
    ASSERT_FALSE(huge.ok());
    const std::string& message = huge.error().message;
    EXPECT_LT(message.size(), 120u) << message.substr(0, 200);
    EXPECT_NE(message.find("(\"\\x1B]0;title\\x07\\x1B[2Jxxxx"), std::string::npos) << message;
    EXPECT_EQ(message.substr(message.size() - 7), "xx...\")") << message;
    for (char c : message)
        EXPECT_TRUE(c >= 0x20 && c < 0x7F) << static_cast<int>(static_cast<unsigned char>(c));

    auto shortLine = parseMapFile(fileWith("43\\1\xE9" "44", tableLine(482)));
    ASSERT_FALSE(shortLine.ok());
    EXPECT_NE(shortLine.error().message.find("(\"43\\\\1\\xE944\")"), std::string::npos) << shortLine.error().message;
}

TEST(MapFileReader, AcceptsPlainLineFeedsAndLongVehicleTexts)
{
    std::string text = "#KYR Version\n43171244\n#VehicleInfo\nA very long make name indeed~m~e~\n#Table\n" + tableLine(482) + "\n#EOF\n";
    auto r = parseMapFile(text);
    ASSERT_TRUE(r.ok()) << r.error().message;
    EXPECT_EQ(r.value().make, std::string("A very long make name indeed").substr(0, 18));
    EXPECT_EQ(r.value().identity[2], 17);
}

TEST(MapFileReader, NeverReadsPastTheInput)
{
    std::mt19937 rng(3);
    std::string base = formatMapFile(sampleFile());
    for (int n = 0; n < 2000; ++n) {
        std::string s = base.substr(0, rng() % base.size());
        if (!s.empty() && rng() % 2)
            s[rng() % s.size()] = static_cast<char>(rng() % 256);
        (void)parseMapFile(s); // must not crash; ASan builds catch overruns
    }
}

TEST(MapFileStorage, SaveIsAtomicAndLoadReadsItBack)
{
    auto dir = tempDir();
    auto path = dir / "tune.kyr";
    MapFile f = sampleFile();
    ASSERT_TRUE(saveMapFile(path, f).ok());
    auto back = loadMapFile(path);
    ASSERT_TRUE(back.ok()) << back.error().message;
    EXPECT_EQ(back.value().image, f.image);
    // No temporary file is left beside it.
    int entries = 0;
    for ([[maybe_unused]] auto& e : fs::directory_iterator(dir))
        ++entries;
    EXPECT_EQ(entries, 1);
    fs::remove_all(dir);
}

TEST(MapFileStorage, AFailedSaveLeavesThePreviousFile)
{
    auto dir = tempDir();
    auto path = dir / "tune.kyr";
    ASSERT_TRUE(saveMapFile(path, sampleFile()).ok());
    auto before = loadMapFile(path).value().image;
    auto bad = saveMapFile(dir / "missing-folder" / "tune.kyr", sampleFile());
    ASSERT_FALSE(bad.ok());
    EXPECT_EQ(bad.error().kind, ErrorKind::OsError);
    EXPECT_NE(bad.error().message.find("missing-folder"), std::string::npos);
    EXPECT_EQ(loadMapFile(path).value().image, before);
    auto missing = loadMapFile(dir / "nope.kyr");
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error().kind, ErrorKind::OsError);
    fs::remove_all(dir);
}

#ifndef _WIN32 // modes and symbolic links are POSIX matters
// Replacing a file keeps what the user set on it: its mode, and a link that
// pointed at it (the file behind the link is replaced, in its own folder).
TEST(MapFileStorage, ASaveKeepsTheModeAndWritesThroughLinks)
{
    auto dir = tempDir();
    fs::create_directories(dir / "tunes" / "kept");
    const fs::path real = dir / "tunes" / "kept" / "real.kyr";
    ASSERT_TRUE(saveMapFile(real, sampleFile()).ok());
    EXPECT_EQ(fs::status(real).permissions(), fs::perms(0644)); // a new file
    fs::permissions(real, fs::perms(0640));
    fs::create_symlink("tunes/kept/real.kyr", dir / "link.kyr");
    fs::create_symlink("link.kyr", dir / "chain.kyr");
    fs::create_symlink("tunes/kept/new.kyr", dir / "dangling.kyr");

    MapFile changed = sampleFile();
    changed.make = "Changed";
    ASSERT_TRUE(saveMapFile(dir / "chain.kyr", changed).ok());
    EXPECT_TRUE(fs::is_symlink(dir / "chain.kyr"));
    EXPECT_EQ(fs::read_symlink(dir / "link.kyr"), "tunes/kept/real.kyr");
    EXPECT_EQ(loadMapFile(real).value().make, "Changed");
    EXPECT_EQ(fs::status(real).permissions(), fs::perms(0640));

    ASSERT_TRUE(saveMapFile(dir / "dangling.kyr", changed).ok());
    EXPECT_TRUE(fs::is_symlink(dir / "dangling.kyr"));
    EXPECT_EQ(loadMapFile(dir / "tunes" / "kept" / "new.kyr").value().make, "Changed");
    // Nothing else was left in either folder.
    std::vector<std::string> left;
    for (auto& e : fs::recursive_directory_iterator(dir))
        left.push_back(e.path().lexically_relative(dir).string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"chain.kyr", "dangling.kyr", "link.kyr", "tunes", "tunes/kept",
                                               "tunes/kept/new.kyr", "tunes/kept/real.kyr"}));

    fs::create_symlink("loop.kyr", dir / "loop.kyr");
    auto loop = saveMapFile(dir / "loop.kyr", changed);
    ASSERT_FALSE(loop.ok());
    EXPECT_EQ(loop.error().kind, ErrorKind::OsError);
    fs::remove_all(dir);
}

#endif

TEST(MapFileReader, TheDemoTuneOpens)
{
    auto r = loadMapFile(std::string(KYR_SOURCE_DIR) + "/examples/demo.kyr");
    ASSERT_TRUE(r.ok()) << r.error().message;
    EXPECT_EQ(r.value().identity[0], 4);
    EXPECT_EQ(r.value().identity[1], 3);
    EXPECT_EQ(r.value().identity[2], 7);
    EXPECT_EQ(r.value().image[481], 56);
}
