// SPDX-License-Identifier: GPL-3.0-or-later
// The termios device on a real pseudo-terminal pair.

#include "link/PosixSerialDevice.h"
#include "link/TQCCom32.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

using namespace kyr;
using namespace kyr::link;

namespace {

// Waiting for bytes to cross the pty (not a timing check): generous bound.
constexpr int WaitLimitMs = 5000;

struct PtyPair : ::testing::Test {
    int master = -1;
    int slave = -1;
    std::string slavePath;

    void SetUp() override
    {
        char name[256] = {};
        ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0) << std::strerror(errno);
        slavePath = name;
        // Keep the master's side raw so that bytes pass unchanged.
        termios t{};
        ::tcgetattr(master, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(master, TCSANOW, &t);
    }
    void TearDown() override
    {
        if (slave >= 0)
            ::close(slave);
        if (master >= 0)
            ::close(master);
    }

    Bytes readMaster(std::size_t n)
    {
        Bytes out;
        while (out.size() < n) {
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, WaitLimitMs) <= 0)
                break;
            uint8_t buf[512];
            const ssize_t r = ::read(master, buf, sizeof buf);
            if (r <= 0)
                break;
            out.insert(out.end(), buf, buf + r);
        }
        return out;
    }

    void writeMaster(const Bytes& b) { ASSERT_EQ(::write(master, b.data(), b.size()), ssize_t(b.size())); }
};

Bytes readDevice(PosixSerialDevice& dev, std::size_t n)
{
    Bytes out;
    while (out.size() < n) {
        pollfd p{dev.nativeHandle(), POLLIN, 0};
        if (::poll(&p, 1, WaitLimitMs) <= 0)
            break;
        auto count = dev.queuedCount();
        if (!count || count.value() == 0)
            continue;
        auto got = dev.read(count.value());
        if (!got)
            break;
        out.insert(out.end(), got.value().begin(), got.value().end());
    }
    return out;
}

TEST_F(PtyPair, OpensExclusivelyAndPassesBytesBothWays)
{
    PosixSerialDevice dev;
    ASSERT_TRUE(dev.open(slavePath)) << dev.open(slavePath).error().message;
    EXPECT_TRUE(dev.isPty());
    ASSERT_TRUE(dev.applySettings({19200, THandshake::hsNone}));

    PosixSerialDevice second;
    auto s = second.open(slavePath);
    ASSERT_FALSE(s);
    EXPECT_EQ(s.error().kind, ErrorKind::PortInUse);
    EXPECT_EQ(s.error().message, slavePath + " is in use by another program");

    const Bytes command{0xF2, 0x00, 0x0C, 0xFF};
    auto w = dev.write(command);
    ASSERT_TRUE(w);
    EXPECT_EQ(w.value(), command.size());
    EXPECT_EQ(readMaster(command.size()), command);

    const Bytes reply{3, 0, 1, 0x0D, 0x0A, 5, 6, 0x11, 0x13};
    writeMaster(reply);
    EXPECT_EQ(readDevice(dev, reply.size()), reply);
    EXPECT_EQ(dev.queuedCount().value(), 0u);
    EXPECT_TRUE(dev.read(4).value().empty()); // nothing queued: no waiting

    dev.close();
    PosixSerialDevice third;
    EXPECT_TRUE(third.open(slavePath)) << "the exclusive hold must end with close";
}

TEST_F(PtyPair, PurgeDropsWhatWasQueued)
{
    PosixSerialDevice dev;
    ASSERT_TRUE(dev.open(slavePath));
    ASSERT_TRUE(dev.applySettings({19200, THandshake::hsNone}));
    writeMaster({1, 2, 3});
    pollfd p{dev.nativeHandle(), POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, WaitLimitMs), 1);
    ASSERT_TRUE(dev.purge());
    EXPECT_EQ(dev.queuedCount().value(), 0u);
}

TEST_F(PtyPair, AHungUpLineIsDisconnectedNotQuiet)
{
    PosixSerialDevice dev;
    ASSERT_TRUE(dev.open(slavePath));
    ASSERT_TRUE(dev.applySettings({19200, THandshake::hsNone}));
    writeMaster({1, 2, 3});
    ::close(master);
    master = -1;

    auto read = dev.read(3);
    ASSERT_FALSE(read) << "end of file, not an empty read";
    EXPECT_EQ(read.error().kind, ErrorKind::PortUnavailable);
    EXPECT_EQ(read.error().message, slavePath + " was disconnected");
    auto count = dev.queuedCount();
    ASSERT_FALSE(count);
    EXPECT_EQ(count.error().kind, ErrorKind::PortUnavailable);
    auto written = dev.write({0xFF});
    ASSERT_FALSE(written);
    EXPECT_EQ(written.error().kind, ErrorKind::PortUnavailable);
}

TEST_F(PtyPair, HardwareHandshakeAndUnsupportedBaud)
{
    PosixSerialDevice dev;
    ASSERT_TRUE(dev.open(slavePath));
    EXPECT_TRUE(dev.applySettings({9600, THandshake::hsHardware}));
    auto bad = dev.applySettings({12345, THandshake::hsNone});
    ASSERT_FALSE(bad);
    EXPECT_EQ(bad.error().kind, ErrorKind::BadArgument);
}

TEST(PosixOpen, MissingDeviceAndNonTerminal)
{
    PosixSerialDevice dev;
    auto missing = dev.open("/dev/ttyKYRmissing0");
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().kind, ErrorKind::PortUnavailable);
    EXPECT_EQ(missing.error().message, "/dev/ttyKYRmissing0 does not exist");
    auto notTty = dev.open("/dev/null");
    ASSERT_FALSE(notTty);
    EXPECT_EQ(notTty.error().kind, ErrorKind::PortUnavailable);
    EXPECT_FALSE(dev.isOpen());
}

TEST(PosixOpen, PermissionDeniedNamesTheDialoutGroup)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root opens any device";
    const auto path = std::filesystem::temp_directory_path() / ("kyr-noperm-" + std::to_string(::getpid()));
    { FILE* f = std::fopen(path.c_str(), "w"); ASSERT_TRUE(f); std::fclose(f); }
    std::filesystem::permissions(path, std::filesystem::perms::none);
    PosixSerialDevice dev;
    auto s = dev.open(path.string());
    std::filesystem::remove(path);
    ASSERT_FALSE(s);
    EXPECT_EQ(s.error().kind, ErrorKind::PermissionDenied);
    EXPECT_EQ(s.error().message, "permission denied on " + path.string() + ": add your user to the dialout group");
}

TEST_F(PtyPair, ComponentTalksThroughAPortsFolderEntry)
{
    const auto dir = std::filesystem::temp_directory_path() / ("kyr-pty-ports-" + std::to_string(::getpid()));
    const PortEnv env = PortEnv::withVariables({{"KYR_PORT_DIR", dir.string()}});
    ASSERT_TRUE(registerPort(14, slavePath, env));
    {
        TQCCom32 efi(posixDeviceFactory(), systemClock(), env);
        efi.setShowErrors(false);
        efi.setBaud(19200);
        efi.setPort(14);
        ASSERT_TRUE(efi.Open()) << efi.lastError()->message;
        EXPECT_EQ(efi.devicePath(), slavePath);

        TQCCom32 other(posixDeviceFactory(), systemClock(), env);
        other.setShowErrors(false);
        other.setPort(14);
        EXPECT_FALSE(other.Open());
        EXPECT_EQ(other.lastError()->kind, ErrorKind::PortInUse);

        ASSERT_TRUE(efi.Send({0xFF}));
        EXPECT_EQ(readMaster(1), Bytes{0xFF});
        writeMaster({3, 2, 1, 0, 0, 5, 6, 13});
        // Terminator mode waits for the reply to cross the pty.
        efi.setEndOfResponse("#13");
        efi.setResponseTime(WaitLimitMs);
        EXPECT_EQ(efi.GetResponse(), (Bytes{3, 2, 1, 0, 0, 5, 6, 13}));
        EXPECT_FALSE(efi.TimedOut());
    }
    std::filesystem::remove_all(dir);
}

} // namespace
