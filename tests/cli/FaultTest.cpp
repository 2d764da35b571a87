// SPDX-License-Identifier: GPL-3.0-or-later
// What kyr does with a unit that answers short or not at all, with a wrong
// command line and with a bad map file: one clear line on stderr, the exit
// code, and nothing written.

#include "RunKyr.h"

#include "table/Layout.h"

#include <gmock/gmock.h>

#include <sys/file.h>

using namespace kyr;
using namespace kyr::test;
using ::testing::HasSubstr;

namespace {

/// The whole of stderr is one line starting "kyr: ".
void expectOneErrorLine(const KyrRun& r)
{
    EXPECT_EQ(lineCount(r.err), 1) << r.err;
    EXPECT_EQ(r.err.rfind("kyr: ", 0), 0u) << r.err;
}

} // namespace

TEST(CliPtyFaults, ShortTableReplySavesNothing)
{
    TempFolder dir;
    SimProcess sim(dir.path(), {.port = 2, .args = {"--short", "312"}});
    const fs::path out = dir / "short.kyr";

    KyrRun r = runKyr(dir.path(), {"read", "--port", "COM2", "-o", out.string()});
    EXPECT_EQ(r.code, 1);
    expectOneErrorLine(r);
    EXPECT_THAT(r.err, HasSubstr("Incomplete read from KYR: 312 of 481 bytes; nothing was saved"));
    EXPECT_FALSE(fs::exists(out));
    EXPECT_TRUE(r.out.empty());
}

TEST(CliPtyFaults, ShortSetupReplyLeavesAnExistingFileAlone)
{
    TempFolder dir;
    SimProcess sim(dir.path(), {.port = 2, .args = {"--short", "50"}});
    const fs::path out = dir / "kept.kyr";
    fs::copy_file(demoTune(), out);

    KyrRun r = runKyr(dir.path(), {"read", "--port", "COM2", "-o", out.string()});
    EXPECT_EQ(r.code, 1);
    expectOneErrorLine(r);
    EXPECT_THAT(r.err, HasSubstr("Incomplete read from KYR: 50 of 101 bytes"));
    EXPECT_EQ(readText(out), readText(demoTune()));
    // No temporary file is left beside it either.
    int entries = 0;
    for (const auto& e : fs::directory_iterator(dir.path()))
        entries += e.path().extension() == ".kyr" || e.path().filename().string().rfind(".kept", 0) == 0;
    EXPECT_EQ(entries, 1);
}

TEST(CliPtyFaults, SilentUnitIsNoUnit)
{
    TempFolder dir;
    SimProcess sim(dir.path(), {.port = 3, .args = {"--silent"}});
    const fs::path out = dir / "silent.kyr";

    KyrRun r = runKyr(dir.path(), {"read", "--port", "COM3", "-o", out.string()});
    EXPECT_EQ(r.code, 1);
    expectOneErrorLine(r);
    EXPECT_THAT(r.err, HasSubstr("no KYR unit answered on COM3"));
    EXPECT_FALSE(fs::exists(out));

    KyrRun info = runKyr(dir.path(), {"info", "--port", "COM3"});
    EXPECT_EQ(info.code, 1);
    EXPECT_THAT(info.err, HasSubstr("no KYR unit answered on COM3"));
}

TEST(CliPtyFaults, WriteToASilentUnitSendsNoTable)
{
    TempFolder dir;
    SimProcess sim(dir.path(), {.port = 3, .args = {"--silent"}});
    const std::vector<uint8_t> before = simMemory(sim);

    KyrRun r = runKyr(dir.path(), {"write", "--port", "COM3", demoTune().string()});
    EXPECT_EQ(r.code, 1);
    expectOneErrorLine(r);
    EXPECT_THAT(r.err, HasSubstr("nothing was written"));
    EXPECT_TRUE(sim.logWhere("cmd", "WriteTable").empty());
    EXPECT_EQ(simMemory(sim), before);
}

TEST(CliPtyFaults, WriteWhoseReadBackIsShortFailsTheVerify)
{
    TempFolder dir;
    SimProcess sim(dir.path(), {.port = 2, .args = {"--short", "312"}});

    KyrRun r = runKyr(dir.path(), {"write", "--port", "COM2", demoTune().string()});
    EXPECT_EQ(r.code, 1);
    // The read before the write came short as well: no backup, and it says so.
    EXPECT_EQ(r.err, "kyr: warning: no backup of the unit's table: Incomplete read from KYR: 312 of 481 bytes\n"
                     "kyr: verify failed: Incomplete read from KYR: 312 of 481 bytes\n");
    // The table itself went out whole.
    const auto writes = sim.logWhere("cmd", "WriteTable");
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0]["length"], table::TableSize);
}

// The backups' folder cannot be made (a file is where it would go): kyr info
// says the unit's table was not kept, and so does a write that then fails.
TEST(CliPtyFaults, ABackupNotTakenIsReportedWhenTheWriteFailsAndByInfo)
{
    TempFolder dir;
    SimProcess sim(dir.path(), {.port = 2, .args = {"--corrupt-write", "100"}});
    fs::create_directories(dir / "data" / "kyr");
    std::ofstream(dir / "data" / "kyr" / "backups") << "in the way";
    const std::string warning = "kyr: warning: no backup of the unit's table: ";

    KyrRun write = runKyr(dir.path(), {"write", "--port", "COM2", demoTune().string()});
    EXPECT_EQ(write.code, 1);
    EXPECT_THAT(write.err, HasSubstr(warning));
    EXPECT_THAT(write.err, HasSubstr("verify failed: the unit's table differs"));

    KyrRun info = runKyr(dir.path(), {"info", "--port", "COM2"});
    EXPECT_EQ(info.code, 0) << info.err;
    EXPECT_THAT(info.err, HasSubstr(warning));
    EXPECT_EQ(info.out.find("backup"), std::string::npos) << info.out;
}

TEST(CliPtyFaults, PortThatDoesNotExist)
{
    TempFolder dir;
    fs::create_directories(SimProcess::portDirOf(dir.path()));
    fs::create_symlink(dir / "gone", SimProcess::portDirOf(dir.path()) / "COM9");

    KyrRun r = runKyr(dir.path(), {"info", "--port", "COM9"});
    EXPECT_EQ(r.code, 1);
    expectOneErrorLine(r);
    EXPECT_THAT(r.err, HasSubstr((dir / "gone").string() + " does not exist"));

    KyrRun path = runKyr(dir.path(), {"read", "--port", (dir / "nothing").string(), "-o", (dir / "x.kyr").string()});
    EXPECT_EQ(path.code, 1);
    EXPECT_THAT(path.err, HasSubstr((dir / "nothing").string() + " does not exist"));
    EXPECT_FALSE(fs::exists(dir / "x.kyr"));
}

// The unit's port held by another program (its lock taken, as a second tuner
// would): the search says which port it could not ask.
TEST(CliPtyFaults, ABusyPortIsNamed)
{
    TempFolder dir;
    SimProcess sim(dir.path(), {.port = 3});
    const int holder = ::open(sim.devicePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(holder, 0) << std::strerror(errno);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0) << std::strerror(errno);
    const std::string busy = sim.devicePath() + " is in use by another program";

    KyrRun search = runKyr(dir.path(), {"info"});
    EXPECT_EQ(search.code, 1);
    expectOneErrorLine(search);
    EXPECT_THAT(search.err, HasSubstr("COM3: " + busy));
    KyrRun chosen = runKyr(dir.path(), {"read", "--port", "COM3", "-o", (dir / "x.kyr").string()});
    EXPECT_EQ(chosen.code, 1);
    EXPECT_THAT(chosen.err, HasSubstr(busy));
    EXPECT_FALSE(fs::exists(dir / "x.kyr"));
    EXPECT_TRUE(sim.logWhere("cmd", "ReadIdentity").empty());
    ::close(holder);

    EXPECT_EQ(runKyr(dir.path(), {"info"}).code, 0);
}

// An output that cannot be written is refused before the unit is asked for anything.
TEST(CliPtyFaults, AnOutputThatCannotBeWrittenSendsNothing)
{
    TempFolder dir;
    SimProcess sim(dir.path(), {.port = 2});
    fs::create_directories(dir / "folder.kyr");
    // Root writes into any folder whatever its mode, but not into /proc.
    fs::path locked = "/proc/self";
    if (::geteuid() != 0) {
        locked = dir / "locked";
        fs::create_directories(locked);
        fs::permissions(locked, fs::perms(0555));
    }
    for (const fs::path& out : {dir / "folder.kyr", locked / "x.kyr", dir / "missing" / "x.kyr"}) {
        KyrRun r = runKyr(dir.path(), {"read", "--port", "COM2", "-o", out.string()});
        EXPECT_EQ(r.code, 2) << out;
        expectOneErrorLine(r);
        EXPECT_THAT(r.err, HasSubstr("Cannot save " + out.string())) << out;
    }
    for (const auto& e : sim.log())
        EXPECT_FALSE(e.contains("cmd")) << "the unit was asked: " << e.dump();
    EXPECT_TRUE(fs::is_empty(dir / "folder.kyr"));
    if (::geteuid() != 0) {
        EXPECT_TRUE(fs::is_empty(locked));
    }
}

TEST(CliUsage, WrongCommandLinesExitTwo)
{
    TempFolder dir;
    const std::string out = (dir / "x.kyr").string();
    const std::vector<std::vector<std::string>> lines = {
        {},
        {"frobnicate"},
        {"read"},
        {"read", "-o", out, "--port", "COMX"},
        {"read", "-o", out, "--port", "COM100"},
        {"read", "-o", out, "--make", "a make far longer than eighteen"},
        {"read", "-o", out, "--engine", "A~B"},
        {"read", "-o", (dir / "no-such-folder" / "x.kyr").string()},
        {"read", "-o", out, "--retry", "3601"},
        {"write", "--retry", "-1", "tune.kyr"},
        {"show"},
        {"show", "a.kyr", "b.kyr"},
        {"diff", "a.kyr"},
        {"write"},
        {"info", "--bogus"},
    };
    for (const auto& args : lines) {
        KyrRun r = runKyr(dir.path(), args);
        std::string shown;
        for (const auto& a : args)
            shown += a + " ";
        EXPECT_EQ(r.code, 2) << "kyr " << shown << "\n" << r.err;
        expectOneErrorLine(r);
    }
    EXPECT_FALSE(fs::exists(out));
}

TEST(CliUsage, EverySubcommandHasHelp)
{
    TempFolder dir;
    for (std::string sub : {"", "ports", "info", "read", "write", "show", "diff"}) {
        std::vector<std::string> args;
        if (!sub.empty())
            args.push_back(sub);
        args.push_back("--help");
        KyrRun r = runKyr(dir.path(), args);
        EXPECT_EQ(r.code, 0) << sub << ": " << r.err;
        EXPECT_THAT(r.out, HasSubstr("Usage")) << sub;
        if (!sub.empty()) {
            EXPECT_THAT(r.out, HasSubstr(sub)) << sub;
        }
    }
    EXPECT_THAT(runKyr(dir.path(), {"read", "--help"}).out, HasSubstr("--output"));
}

TEST(CliUsage, BadFileExitsTwoWithTheFilesMessage)
{
    TempFolder dir;
    std::string text = readText(demoTune());
    text.replace(text.find("#Table\r\n") + 8, 2, "1x");
    std::ofstream(dir / "letter.kyr", std::ios::binary) << text;
    std::ofstream(dir / "empty.kyr");

    for (const auto& args : std::vector<std::vector<std::string>>{
             {"show", (dir / "letter.kyr").string()},
             {"show", "--json", (dir / "letter.kyr").string()},
             {"diff", demoTune().string(), (dir / "letter.kyr").string()},
             {"write", "--port", "COM1", (dir / "letter.kyr").string()}}) {
        KyrRun r = runKyr(dir.path(), args);
        EXPECT_EQ(r.code, 2) << args[0];
        expectOneErrorLine(r);
        EXPECT_THAT(r.err, HasSubstr("letter.kyr: Incorrect .KYR file version")) << args[0];
        EXPECT_TRUE(r.out.empty()) << args[0];
    }
    KyrRun empty = runKyr(dir.path(), {"show", (dir / "empty.kyr").string()});
    EXPECT_EQ(empty.code, 2);
    EXPECT_THAT(empty.err, HasSubstr("the file is empty"));
    KyrRun missing = runKyr(dir.path(), {"show", (dir / "missing.kyr").string()});
    EXPECT_EQ(missing.code, 2);
    EXPECT_THAT(missing.err, HasSubstr("missing.kyr"));
}
