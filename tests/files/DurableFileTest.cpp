// The file operations under every save, on every platform: exclusive
// creation, appends, byte-exact contents and replacing a file by rename.

#include "files/AtomicFile.h"
#include "files/DurableFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ProcessId.h"

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

} // namespace
