// SPDX-License-Identifier: GPL-3.0-or-later
// The serial component against kyr-sim when the unit's line drops and comes
// back on a new pseudo-terminal.

#ifdef KYR_SIM_PATH

#include "SimProcess.h"
#include "link/TQCCom32.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <pty.h>
#include <thread>
#include <unistd.h>

using namespace kyr;
using namespace kyr::link;
using namespace std::chrono_literals;

namespace {

// Waiting for the simulator (not a timing check): generous bounds.
constexpr auto WaitLimit = 5s;
constexpr auto PollStep = 5ms;

const Bytes kIdentity{3, 3, 2, 7, 1, 5, 6};

/// A pseudo-terminal standing in for an unrelated serial device at
/// <folder>/dev/ttyS2, the fixed device of COM3: opening it would succeed.
struct Decoy {
    int master = -1;
    int slave = -1;
    std::filesystem::path devRoot;
    std::string device;

    explicit Decoy(const std::filesystem::path& folder) : devRoot(folder / "dev")
    {
        char name[256] = {};
        if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
            throw std::runtime_error(std::string("openpty: ") + std::strerror(errno));
        device = name;
        std::filesystem::create_directories(devRoot);
        std::filesystem::create_symlink(device, devRoot / "ttyS2");
    }
    ~Decoy()
    {
        ::close(slave);
        ::close(master);
    }
};

/// Takes replies until count bytes have come or the wait is over. It polls
/// the port itself: the kernel hands kyr-sim's bytes to the client's queue a
/// moment after the reply is logged as sent.
Bytes collect(TQCCom32& com, std::size_t count)
{
    Bytes out;
    const auto deadline = std::chrono::steady_clock::now() + WaitLimit;
    while (out.size() < count && com.Opened() && std::chrono::steady_clock::now() < deadline) {
        const Bytes got = com.GetResponse();
        out.insert(out.end(), got.begin(), got.end());
        if (got.empty())
            std::this_thread::sleep_for(PollStep);
    }
    return out;
}

TEST(SimDrop, ADroppedPortFailsUntilTheSimulatorRegistersItAgain)
{
    test::TempFolder dir;
    test::SimProcess sim(dir.path(), {.port = 3, .args = {"--drop-after", "1", "--reconnect-ms", "300"}});
    Decoy decoy(dir.path());
    TQCCom32 com(posixDeviceFactory(), systemClock(),
                 PortEnv::withVariables({{"KYR_PORT_DIR", sim.portDir().string()}}, decoy.devRoot.string()));
    com.setShowErrors(false);
    com.setBaud(19200);
    com.setPort(3);
    ASSERT_TRUE(com.Open()) << com.lastError()->message;
    ASSERT_TRUE(com.Send({0xFF}));
    EXPECT_EQ(collect(com, kIdentity.size()), kIdentity);
    ASSERT_TRUE(sim.waitForLog("event", "drop"));

    // The line is gone: the handle is closed and counted, and COM3 is not
    // looked for at its fixed device.
    EXPECT_EQ(com.InCount(), 0);
    EXPECT_FALSE(com.Opened());
    EXPECT_EQ(com.disconnects(), 1);
    EXPECT_FALSE(com.Send({0xFF}));
    ASSERT_TRUE(com.lastError());
    EXPECT_EQ(com.lastError()->kind, ErrorKind::PortUnavailable);
    EXPECT_EQ(com.lastError()->message,
              "COM3 is no longer in the ports folder (" + sim.portDir().string() + ")");
    EXPECT_FALSE(com.Open());

    ASSERT_TRUE(sim.waitForLog("event", "open", 2, WaitLimit)) << "registered again";
    ASSERT_TRUE(com.Open()) << com.lastError()->message;
    EXPECT_NE(com.devicePath(), decoy.device);
    EXPECT_EQ(com.devicePath(), sim.devicePath());
    ASSERT_TRUE(com.Send({0xFF}));
    EXPECT_EQ(collect(com, kIdentity.size()), kIdentity);
    EXPECT_EQ(com.disconnects(), 1);
}

} // namespace

#endif // KYR_SIM_PATH
