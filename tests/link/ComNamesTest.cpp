// SPDX-License-Identifier: GPL-3.0-or-later
// COMn to device path: ports folder first, then the fixed mapping.

#include "link/ComNames.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <tuple>

#include "ProcessId.h"

using namespace kyr;
using namespace kyr::link;
namespace fs = std::filesystem;

namespace {

struct TempDir {
    fs::path path;
    explicit TempDir(const std::string& tag)
        : path(fs::temp_directory_path() / ("kyr-comnames-" + tag + "-" + std::to_string(kyr::test::processId())))
    {
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~TempDir() { fs::remove_all(path); }
};

TEST(ComNames, NamesAndNumbers)
{
    EXPECT_EQ(comName(1), "COM1");
    EXPECT_EQ(comName(12), "COM12");
    EXPECT_EQ(comNumber("COM7"), 7);
    EXPECT_EQ(comNumber("com12"), 12);
    EXPECT_EQ(comNumber("COM"), std::nullopt);
    EXPECT_EQ(comNumber("COM1x"), std::nullopt);
    EXPECT_EQ(comNumber("LPT1"), std::nullopt);
    EXPECT_EQ(comNumber("COM99999999999"), std::nullopt);
}

#ifdef _WIN32
// COM ports are the system's names on Windows: no folder, no fixed devices.
TEST(ComNames, WindowsNamesArePortsOfTheSystem)
{
    const PortEnv env = PortEnv::withVariables({{"KYR_PORT_DIR", "C:\\ports"}, {"HOME", "C:\\u"}});
    EXPECT_EQ(portDir(env), "");
    const std::pair<int, const char*> cases[] = {{1, "\\\\.\\COM1"}, {12, "\\\\.\\COM12"}, {256, "\\\\.\\COM256"}};
    for (const auto& [port, path] : cases) {
        auto p = resolvePort(port, env);
        ASSERT_TRUE(p) << port;
        EXPECT_EQ(p.value().path, path);
        EXPECT_EQ(p.value().source, PortSource::Fixed);
    }
    for (int port : {0, 257}) {
        auto p = devicePathFor(port, env);
        ASSERT_FALSE(p) << port;
        EXPECT_EQ(p.error().kind, ErrorKind::PortUnavailable);
    }
    const Status refused = registerPort(3, "\\\\.\\COM3", env);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().kind, ErrorKind::BadArgument);
}
#else
TEST(ComNames, PortDirFromTheEnvironment)
{
    EXPECT_EQ(portDir(PortEnv::withVariables({{"KYR_PORT_DIR", "/run/kyr"}, {"HOME", "/home/u"}})), "/run/kyr");
    EXPECT_EQ(portDir(PortEnv::withVariables({{"XDG_CONFIG_HOME", "/cfg"}, {"HOME", "/home/u"}})),
              "/cfg/kyr/ports");
    EXPECT_EQ(portDir(PortEnv::withVariables({{"HOME", "/home/u"}})), "/home/u/.config/kyr/ports");
    EXPECT_EQ(portDir(PortEnv::withVariables({{"KYR_PORT_DIR", ""}, {"HOME", "/h"}})), "/h/.config/kyr/ports");
    EXPECT_EQ(portDir(PortEnv::withVariables({})), "");
}

TEST(ComNames, FixedMapping)
{
    const PortEnv env = PortEnv::withVariables({});
    const std::pair<int, const char*> cases[] = {
        {1, "/dev/ttyS0"},    {4, "/dev/ttyS3"},    {5, "/dev/ttyUSB0"}, {12, "/dev/ttyUSB7"},
        {13, "/dev/ttyACM0"}, {20, "/dev/ttyACM7"},
    };
    for (const auto& [port, path] : cases) {
        auto p = devicePathFor(port, env);
        ASSERT_TRUE(p) << port;
        EXPECT_EQ(p.value(), path) << port;
    }
}

TEST(ComNames, OutOfRangeIsUnavailable)
{
    const PortEnv env = PortEnv::withVariables({});
    for (int port : {0, -1, 21, 300}) {
        auto p = devicePathFor(port, env);
        ASSERT_FALSE(p) << port;
        EXPECT_EQ(p.error().kind, ErrorKind::PortUnavailable);
        EXPECT_NE(p.error().message.find(comName(port)), std::string::npos);
    }
}

TEST(ComNames, PortDirEntryComesFirstAndReachesBeyondTwenty)
{
    TempDir dir("first");
    fs::create_symlink("/dev/pts/9", dir.path / "COM3");
    fs::create_symlink("../pts/4", dir.path / "COM42"); // relative to the folder
    const PortEnv env = PortEnv::withVariables({{"KYR_PORT_DIR", dir.path.string()}});
    EXPECT_EQ(devicePathFor(3, env).value(), "/dev/pts/9");
    EXPECT_EQ(devicePathFor(42, env).value(), (dir.path.parent_path() / "pts/4").string());
    EXPECT_EQ(devicePathFor(4, env).value(), "/dev/ttyS3");
}

TEST(ComNames, DanglingEntryIsNotReplacedByTheFixedDevice)
{
    // A simulator that went away must not silently become a real serial port.
    TempDir dir("dangling");
    fs::create_symlink((dir.path / "gone").string(), dir.path / "COM5");
    const PortEnv env = PortEnv::withVariables({{"KYR_PORT_DIR", dir.path.string()}});
    EXPECT_EQ(devicePathFor(5, env).value(), (dir.path / "gone").string());
}

TEST(ComNames, ResolveSaysWhereThePathCameFrom)
{
    TempDir dir("source");
    fs::create_symlink("/dev/pts/9", dir.path / "COM3");
    fs::create_symlink("/dev/ttyUSB0", dir.path / "COM5"); // the fixed device, named by the folder
    const PortEnv env = PortEnv::withVariables({{"KYR_PORT_DIR", dir.path.string()}});
    const std::tuple<int, const char*, PortSource> cases[] = {
        {3, "/dev/pts/9", PortSource::PortDir},
        {4, "/dev/ttyS3", PortSource::Fixed},
        {5, "/dev/ttyUSB0", PortSource::PortDir},
    };
    for (const auto& [port, path, source] : cases) {
        auto r = resolvePort(port, env);
        ASSERT_TRUE(r) << port;
        EXPECT_EQ(r.value().path, path) << port;
        EXPECT_EQ(r.value().source, source) << port;
    }
    EXPECT_FALSE(resolvePort(21, env));
}

TEST(ComNames, OneSourceOnlyNeverAnswersWithTheOther)
{
    TempDir dir("only");
    fs::create_symlink("/dev/pts/9", dir.path / "COM3");
    const PortEnv env = PortEnv::withVariables({{"KYR_PORT_DIR", dir.path.string()}});
    EXPECT_EQ(devicePathFor(3, env, PortSource::PortDir).value(), "/dev/pts/9");
    EXPECT_EQ(devicePathFor(3, env, PortSource::Fixed).value(), "/dev/ttyS2");

    auto missing = devicePathFor(4, env, PortSource::PortDir);
    ASSERT_FALSE(missing) << "COM4 has a fixed device, but not in the folder";
    EXPECT_EQ(missing.error().kind, ErrorKind::PortUnavailable);
    EXPECT_NE(missing.error().message.find(dir.path.string()), std::string::npos) << missing.error().message;

    auto noFolder = devicePathFor(3, PortEnv::withVariables({}), PortSource::PortDir);
    ASSERT_FALSE(noFolder);
    EXPECT_EQ(noFolder.error().kind, ErrorKind::PortUnavailable);
    auto noFixed = devicePathFor(42, env, PortSource::Fixed);
    ASSERT_FALSE(noFixed);
    EXPECT_EQ(noFixed.error().kind, ErrorKind::PortUnavailable);
}

TEST(ComNames, ListsPortsWhoseDeviceExists)
{
    TempDir dir("list");
    const fs::path devs = dir.path / "dev";
    const fs::path ports = dir.path / "ports";
    fs::create_directories(devs);
    fs::create_directories(ports);
    for (const char* name : {"ttyS1", "ttyUSB2", "ttyACM0", "pts7"})
        std::ofstream(devs / name).put('x');
    fs::create_symlink(devs / "pts7", ports / "COM25");
    fs::create_symlink(devs / "missing", ports / "COM2"); // shadows ttyS1 but does not exist
    std::ofstream(ports / "README").put('x');
    const PortEnv env = PortEnv::withVariables({{"KYR_PORT_DIR", ports.string()}}, devs.string());

    const auto list = listPorts(env);
    std::vector<int> numbers;
    for (const auto& e : list)
        numbers.push_back(e.port);
    EXPECT_EQ(numbers, (std::vector<int>{7, 13, 25}));
    EXPECT_EQ(list[0].device, (devs / "ttyUSB2").string());
    EXPECT_FALSE(list[0].fromPortDir);
    EXPECT_TRUE(list[2].fromPortDir);
}

TEST(ComNames, RegisterAndUnregister)
{
    TempDir dir("register");
    const fs::path ports = dir.path / "nested" / "ports";
    const PortEnv env = PortEnv::withVariables({{"KYR_PORT_DIR", ports.string()}});
    ASSERT_TRUE(registerPort(15, "/dev/pts/3", env));
    EXPECT_EQ(devicePathFor(15, env).value(), "/dev/pts/3");
    ASSERT_TRUE(registerPort(15, "/dev/pts/4", env)); // replaces
    EXPECT_EQ(devicePathFor(15, env).value(), "/dev/pts/4");
    ASSERT_TRUE(unregisterPort(15, env));
    EXPECT_EQ(devicePathFor(15, env).value(), "/dev/ttyACM2");
    EXPECT_TRUE(unregisterPort(15, env));
    EXPECT_FALSE(registerPort(1, "/dev/x", PortEnv::withVariables({})));
}

#endif

} // namespace
