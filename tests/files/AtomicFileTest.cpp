// SPDX-License-Identifier: GPL-3.0-or-later
// The check before a save: it refuses what the save would fail on, and
// leaves nothing behind.

#include "files/AtomicFile.h"
#include "files/MapFile.h"

#ifndef _WIN32 // links, modes and the super-user are POSIX matters

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace kyr;
using namespace kyr::files;
namespace fs = std::filesystem;

namespace {

/// A folder where no file can be created. Root writes into any folder
/// whatever its mode, but not into /proc.
fs::path unwritableFolder(const fs::path& dir)
{
    if (::geteuid() == 0)
        return "/proc/self";
    fs::create_directories(dir / "read-only");
    fs::permissions(dir / "read-only", fs::perms(0555));
    return dir / "read-only";
}

std::size_t entriesIn(const fs::path& dir)
{
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& e : fs::recursive_directory_iterator(dir))
        ++n;
    return n;
}

} // namespace

TEST(SaveCheck, RefusesWhatASaveWouldFailOnAndLeavesNothing)
{
    const fs::path dir = fs::temp_directory_path() / ("kyr-savecheck-" + std::to_string(::getpid()));
    fs::create_directories(dir / "sub");
    std::ofstream(dir / "existing.kyr") << "x";
    fs::create_symlink("sub/new.kyr", dir / "link.kyr");
    fs::create_symlink("gone/new.kyr", dir / "broken.kyr");
    const std::size_t before = entriesIn(dir);

    EXPECT_TRUE(checkReplaceable(dir / "existing.kyr").ok());
    EXPECT_TRUE(checkReplaceable(dir / "new.kyr").ok());
    EXPECT_TRUE(checkReplaceable(dir / "link.kyr").ok());

    const struct {
        fs::path path;
        std::string says;
    } refused[] = {
        {dir / "sub", "it is a folder"},
        {dir / "missing" / "x.kyr", "the folder " + (dir / "missing").string() + " does not exist"},
        {dir / "existing.kyr" / "x.kyr", (dir / "existing.kyr").string() + " is not a folder"},
        {dir / "broken.kyr", "the folder " + (dir / "gone").string() + " does not exist"},
        {unwritableFolder(dir) / "x.kyr", ""},
    };
    for (const auto& r : refused) {
        const Status s = checkReplaceable(r.path);
        ASSERT_FALSE(s.ok()) << r.path;
        EXPECT_EQ(s.error().kind, ErrorKind::OsError);
        EXPECT_EQ(s.error().message.rfind("Cannot save " + r.path.string() + ": " + r.says, 0), 0u)
            << s.error().message;
    }
    EXPECT_EQ(entriesIn(dir), before + (::geteuid() == 0 ? 0 : 1)); // the read-only folder only
    fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add);
    if (fs::exists(dir / "read-only"))
        fs::permissions(dir / "read-only", fs::perms(0755));
    fs::remove_all(dir);
}

// "kyr read -o /dev/null" as root replaced the device with a map file.
TEST(SaveCheck, OnlyRegularFilesAndNewNamesAreWrittenAndAPipeIsNeverRead)
{
    const fs::path dir = fs::temp_directory_path() / ("kyr-notfile-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    ASSERT_EQ(::mkfifo((dir / "pipe.kyr").c_str(), 0600), 0);
    fs::create_symlink(dir / "pipe.kyr", dir / "link.kyr");
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string sockPath = (dir / "sock.kyr").string();
    ASSERT_LT(sockPath.size(), sizeof addr.sun_path);
    sockPath.copy(addr.sun_path, sockPath.size());
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);

    for (const char* name : {"pipe.kyr", "link.kyr", "sock.kyr"}) {
        SCOPED_TRACE(name);
        const std::string says = "Cannot save " + (dir / name).string() + ": it is not a regular file";
        const Status checked = checkReplaceable(dir / name);
        ASSERT_FALSE(checked.ok());
        EXPECT_EQ(checked.error().message, says);
        const Status saved = replaceFile(dir / name, "text");
        ASSERT_FALSE(saved.ok());
        EXPECT_EQ(saved.error().message, says);
        const auto loaded = loadMapFile(dir / name); // returns at once: nothing writes to the pipe
        ASSERT_FALSE(loaded.ok());
        EXPECT_EQ(loaded.error().message, "Cannot open " + (dir / name).string() + ": it is not a regular file");
    }
    EXPECT_TRUE(fs::is_fifo(dir / "pipe.kyr"));
    EXPECT_TRUE(fs::is_socket(dir / "sock.kyr"));
    EXPECT_TRUE(replaceFile(dir / "new.kyr", "text").ok());
    ::close(sock);
    fs::remove_all(dir);
}

#endif
