// SPDX-License-Identifier: GPL-3.0-or-later
// The file operations under every save, on every platform: exclusive
// creation, appends, byte-exact contents and replacing a file by rename.

#include "files/AtomicFile.h"
#include "files/DurableFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ProcessId.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

using namespace kyr;
using namespace kyr::files;
namespace fs = std::filesystem;

namespace {

// Line ends of both kinds and the byte that ends a text file on Windows: a
// text-mode stream would change or stop at each of them.
const std::string kBytes = std::string("#KYR Version\r\n1,2,3\n\x1A tail\r\n") + '\0' + "end";

std::string contentsOf(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> namesIn(const fs::path& dir)
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A disk that cannot take the data: the system's own failure of fsync or _commit.
int failingSync(int)
{
    errno = EIO;
    return -1;
}

// Puts a descriptor the system cannot flush in place of f's own, so that the
// production sync meets a real failure: fsync of a pipe is EINVAL; Windows
// refuses to flush a handle opened for reading only.
bool makeUnflushable(DurableFile& f, [[maybe_unused]] const fs::path& name)
{
#ifdef _WIN32
    const int readOnly = ::_wopen(name.c_str(), _O_RDONLY | _O_BINARY);
    const bool swapped = readOnly >= 0 && ::_dup2(readOnly, f.fd()) == 0;
    if (readOnly >= 0)
        ::_close(readOnly);
#else
    int ends[2];
    if (::pipe(ends) != 0)
        return false;
    const bool swapped = ::dup2(ends[1], f.fd()) == f.fd();
    ::close(ends[0]);
    ::close(ends[1]);
#endif
    return swapped;
}

struct DurableFiles : ::testing::Test {
    fs::path dir = fs::temp_directory_path() / ("kyr-durable-" + std::to_string(kyr::test::processId()));
    void SetUp() override
    {
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
};

TEST_F(DurableFiles, CreateNewRefusesAnExistingFileAndLeavesIt)
{
    DurableFile first = DurableFile::createNew(dir / "a.kyr");
    ASSERT_TRUE(first.isOpen()) << first.error();
    ASSERT_TRUE(first.writeAll(kBytes));
    ASSERT_TRUE(first.sync());
    ASSERT_TRUE(first.close());

    DurableFile second = DurableFile::createNew(dir / "a.kyr");
    EXPECT_FALSE(second.isOpen());
    EXPECT_TRUE(second.existed());
    EXPECT_FALSE(second.error().empty());
    EXPECT_EQ(contentsOf(dir / "a.kyr"), kBytes);

    DurableFile nowhere = DurableFile::createNew(dir / "missing" / "a.kyr");
    EXPECT_FALSE(nowhere.isOpen());
    EXPECT_FALSE(nowhere.existed());
}

TEST_F(DurableFiles, AppendsKeepEveryByteInOrder)
{
    for (int i = 0; i < 2; ++i) {
        DurableFile f = DurableFile::openAppend(dir / "j.journal");
        ASSERT_TRUE(f.isOpen()) << f.error();
        ASSERT_TRUE(f.writeAll(kBytes));
        ASSERT_TRUE(f.sync());
    }
    EXPECT_EQ(contentsOf(dir / "j.journal"), kBytes + kBytes);
}

TEST_F(DurableFiles, FailedSyncIsReportedAndNamesTheFile)
{
    const fs::path name = dir / "a.kyr";
    DurableFile injected = DurableFile::createNew(name, failingSync);
    ASSERT_TRUE(injected.isOpen()) << injected.error();
    ASSERT_TRUE(injected.writeAll(kBytes));
    EXPECT_FALSE(injected.sync());
    EXPECT_EQ(injected.error().rfind("cannot flush " + name.string() + " to the disk", 0), 0u) << injected.error();
    EXPECT_NE(injected.error().find(std::strerror(EIO)), std::string::npos) << injected.error();

    DurableFile real = DurableFile::openAppend(dir / "b.journal");
    ASSERT_TRUE(real.isOpen()) << real.error();
    ASSERT_TRUE(makeUnflushable(real, dir / "b.journal"));
    if (real.sync())
        GTEST_SKIP() << "this system flushes the stand-in descriptor";
    EXPECT_EQ(real.error().rfind("cannot flush " + (dir / "b.journal").string() + " to the disk", 0), 0u)
        << real.error();
}

TEST_F(DurableFiles, RenameReplacesTheTargetOrSaysWhyNot)
{
    std::ofstream(dir / "old.kyr", std::ios::binary) << "old";
    std::ofstream(dir / "new.kyr", std::ios::binary) << kBytes;
    EXPECT_EQ(renameOver(dir / "new.kyr", dir / "old.kyr"), "");
    EXPECT_EQ(contentsOf(dir / "old.kyr"), kBytes);
    EXPECT_EQ(namesIn(dir), (std::vector<std::string>{"old.kyr"}));

    EXPECT_NE(renameOver(dir / "gone.kyr", dir / "old.kyr"), "");
    EXPECT_EQ(contentsOf(dir / "old.kyr"), kBytes);
}

TEST_F(DurableFiles, ReplaceFileIsByteExactAndLeavesNoTemporaryFile)
{
    std::ofstream(dir / "tune.kyr", std::ios::binary) << "a longer previous text that must not survive";
    ASSERT_TRUE(replaceFile(dir / "tune.kyr", kBytes).ok());
    EXPECT_EQ(contentsOf(dir / "tune.kyr"), kBytes);
    ASSERT_TRUE(replaceFile(dir / "fresh.kyr", kBytes).ok());
    EXPECT_EQ(namesIn(dir), (std::vector<std::string>{"fresh.kyr", "tune.kyr"}));

    const Status refused = replaceFile(dir / "missing" / "tune.kyr", kBytes);
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error().kind, ErrorKind::OsError);
    EXPECT_EQ(refused.error().message.rfind("Cannot save " + (dir / "missing" / "tune.kyr").string() + ": ", 0), 0u)
        << refused.error().message;
}

TEST_F(DurableFiles, ReplaceFileWhoseSyncFailsLeavesTheOldTextAndNoTemporaryFile)
{
    const std::string old = "the tune before";
    std::ofstream(dir / "tune.kyr", std::ios::binary) << old;
    const Status failed = replaceFile(dir / "tune.kyr", kBytes, failingSync);
    ASSERT_FALSE(failed.ok());
    EXPECT_EQ(failed.error().kind, ErrorKind::OsError);
    EXPECT_EQ(failed.error().message.rfind("Cannot save " + (dir / "tune.kyr").string() + ": cannot flush ", 0), 0u)
        << failed.error().message;
    EXPECT_EQ(contentsOf(dir / "tune.kyr"), old);

    EXPECT_FALSE(replaceFile(dir / "fresh.kyr", kBytes, failingSync).ok());
    EXPECT_EQ(namesIn(dir), (std::vector<std::string>{"tune.kyr"}));
}

} // namespace
