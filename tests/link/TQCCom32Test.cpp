// SPDX-License-Identifier: GPL-3.0-or-later
// The serial component against the in-memory device and the fake clock.

#include "FakeClock.h"
#include "FakeSerialDevice.h"
#include "link/TQCCom32.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include "ProcessId.h"

using namespace kyr;
using namespace kyr::link;

namespace {

// No ports folder: COMn resolves through the fixed mapping only.
PortEnv noPortDir() { return PortEnv::withVariables({}); }

// The device a port opens without a ports folder: /dev/ttyS0 for COM1 on
// Linux, \\.\COM1 on Windows.
std::string fixedDevice(int port) { return fixedDevicePath(port, noPortDir()).value(); }

struct Link : ::testing::Test {
    FakeClock clock{1000};
    FakeSerialDevice fake{&clock};
    TQCCom32 efi{fake.factory(), clock, noPortDir()};
    std::vector<std::pair<std::string, bool>> boxes;
    std::vector<Choice> answers; // given in order; Abort once exhausted

    void presentBoxes()
    {
        efi.setMessageHandler([this](const std::string& text, bool abortRetry) {
            boxes.emplace_back(text, abortRetry);
            if (answers.empty())
                return Choice::Abort;
            Choice c = answers.front();
            answers.erase(answers.begin());
            return c;
        });
    }
};

TEST_F(Link, DefaultsOfTheComponent)
{
    EXPECT_FALSE(efi.AllowEvents());
    EXPECT_EQ(efi.Baud(), 9600);
    EXPECT_EQ(efi.EndOfResponse(), "");
    EXPECT_EQ(efi.Handshaking(), THandshake::hsNone);
    EXPECT_EQ(efi.InCount(), 0);
    EXPECT_FALSE(efi.InUse());
    EXPECT_EQ(efi.ResponseTime(), 1000);
    EXPECT_FALSE(efi.Opened());
    EXPECT_EQ(efi.Port(), 1);
    EXPECT_TRUE(efi.ShowErrors());
    EXPECT_FALSE(efi.TimedOut());
    efi.setVersion("9.9");
    EXPECT_EQ(efi.Version(), "1.4.0");
}

TEST_F(Link, OpenAppliesLineSettingsToTheMappedDevice)
{
    efi.setBaud(19200);
    ASSERT_TRUE(efi.Open());
    EXPECT_EQ(fake.openPath(), fixedDevice(1));
    EXPECT_EQ(efi.devicePath(), fixedDevice(1));
    ASSERT_EQ(fake.appliedSettings().size(), 1u);
    EXPECT_EQ(fake.appliedSettings()[0], (LineSettings{19200, THandshake::hsNone}));
    EXPECT_FALSE(efi.lastError());
}

TEST_F(Link, OpenClosesAnOpenHandleFirst)
{
    ASSERT_TRUE(efi.Open());
    ASSERT_TRUE(efi.Open());
    EXPECT_EQ(fake.closeCount(), 1);
    EXPECT_EQ(fake.openedPaths().size(), 2u);
}

TEST_F(Link, CloseInvalidatesTheHandleAndDestructionCloses)
{
    {
        TQCCom32 local(fake.factory(), clock, noPortDir());
        ASSERT_TRUE(local.Open());
        local.Close();
        EXPECT_FALSE(local.Opened());
        EXPECT_EQ(local.devicePath(), "");
        ASSERT_TRUE(local.Open());
    }
    EXPECT_FALSE(fake.isOpen());
    EXPECT_EQ(fake.closeCount(), 2);
}

TEST_F(Link, GetResponseWithNothingQueuedIsEmptyAtOnce)
{
    efi.setShowErrors(false);
    ASSERT_TRUE(efi.Open());
    EXPECT_TRUE(efi.GetResponse().empty());
    EXPECT_TRUE(clock.sleeps().empty());
    EXPECT_FALSE(efi.InUse());
}

TEST_F(Link, GetResponseReturnsExactlyWhatIsQueuedZeroBytesIncluded)
{
    ASSERT_TRUE(efi.Open());
    const Bytes reply{3, 0, 1, 0, 0, 5, 6};
    fake.feedReceived(reply);
    EXPECT_EQ(efi.GetResponse(), reply);
    EXPECT_EQ(fake.pending(), 0u);
    EXPECT_TRUE(efi.GetResponse().empty());
}

TEST_F(Link, GetResponseOpensAClosedPortAndIsEmptyWhenItCannot)
{
    efi.setShowErrors(false);
    fake.feedReceived({7, 8});
    EXPECT_EQ(efi.GetResponse(), (Bytes{7, 8}));
    EXPECT_TRUE(efi.Opened());

    efi.Close();
    fake.setOpenable(false);
    fake.feedReceived({9});
    EXPECT_TRUE(efi.GetResponse().empty());
    EXPECT_FALSE(efi.Opened());
}

TEST_F(Link, SettingTheSamePortDoesNotReopen)
{
    ASSERT_TRUE(efi.Open());
    efi.setPort(1);
    EXPECT_EQ(fake.openedPaths().size(), 1u);
    EXPECT_EQ(fake.closeCount(), 0);
}

TEST_F(Link, SettingANewPortOnAnOpenPortMovesToTheNewDevice)
{
    ASSERT_TRUE(efi.Open());
    efi.setPort(5);
    EXPECT_EQ(fake.closeCount(), 1);
    EXPECT_EQ(fake.openedPaths(), (std::vector<std::string>{fixedDevice(1), fixedDevice(5)}));
    EXPECT_EQ(efi.devicePath(), fixedDevice(5));
}

TEST_F(Link, SettingAPortOnAClosedPortOnlyStoresIt)
{
    efi.setPort(13);
    EXPECT_EQ(efi.Port(), 13);
    EXPECT_TRUE(fake.openAttempts().empty());
}

TEST_F(Link, BaudAndHandshakeChangesReopenOnlyWhenTheyChange)
{
    ASSERT_TRUE(efi.Open());
    efi.setBaud(9600);
    efi.setHandshaking(THandshake::hsNone);
    EXPECT_EQ(fake.openedPaths().size(), 1u);

    efi.setBaud(19200);
    efi.setHandshaking(THandshake::hsHardware);
    ASSERT_EQ(fake.appliedSettings().size(), 3u);
    EXPECT_EQ(fake.appliedSettings()[1], (LineSettings{19200, THandshake::hsNone}));
    EXPECT_EQ(fake.appliedSettings()[2], (LineSettings{19200, THandshake::hsHardware}));
    EXPECT_EQ(fake.closeCount(), 2);
}

#ifdef _WIN32
TEST_F(Link, DeviceNameIsComAndTheNumberAlsoAboveNine)
{
    efi.setPort(12);
    EXPECT_TRUE(efi.Open());
    EXPECT_EQ(fake.openPath(), "\\\\.\\COM12");
}
#else
TEST_F(Link, DeviceNameIsComAndTheNumberAlsoAboveNine)
{
    // A ports folder entry for COM12 proves the name "COM12" was looked up.
    const auto dir = std::filesystem::temp_directory_path() / ("kyr-link-com12-" + std::to_string(kyr::test::processId()));
    std::filesystem::create_directories(dir);
    std::filesystem::create_symlink("/dev/pts/77", dir / "COM12");
    TQCCom32 local(fake.factory(), clock, PortEnv::withVariables({{"KYR_PORT_DIR", dir.string()}}));
    local.setPort(12);
    EXPECT_TRUE(local.Open());
    EXPECT_EQ(fake.openPath(), "/dev/pts/77");
    local.Close();
    local.setPort(10);
    EXPECT_TRUE(local.Open());
    EXPECT_EQ(fake.openPath(), "/dev/ttyUSB5");
    std::filesystem::remove_all(dir);
}
#endif

TEST_F(Link, OpenFailureIsSilentWithoutShowErrorsAndKeepsTheReason)
{
    efi.setShowErrors(false);
    presentBoxes();
    fake.injectError(FakeOp::Open, makeError(ErrorKind::PermissionDenied,
                                             "permission denied on /dev/ttyS0: add your user to the dialout group"));
    EXPECT_FALSE(efi.Open());
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(fake.openAttempts().size(), 1u);
    ASSERT_TRUE(efi.lastError());
    EXPECT_EQ(efi.lastError()->kind, ErrorKind::PermissionDenied);
    fake.setOpenable(false);
    EXPECT_FALSE(efi.Send({0xFF}));
    EXPECT_TRUE(fake.writtenData().empty());
}

TEST_F(Link, OpenFailureAsksAbortOrRetryWithShowErrors)
{
    presentBoxes();
    efi.setPort(7);
    fake.setOpenable(false);
    answers = {Choice::Retry, Choice::Abort};
    EXPECT_FALSE(efi.Open());
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].first, "Error opening COM7: ");
    EXPECT_TRUE(boxes[0].second);
    EXPECT_EQ(fake.openAttempts().size(), 2u);
}

TEST_F(Link, RetryAfterTheDeviceAppearsOpensIt)
{
    presentBoxes();
    fake.injectError(FakeOp::Open, makeError(ErrorKind::PortUnavailable, "/dev/ttyS0 is in use by another program"));
    answers = {Choice::Retry};
    EXPECT_TRUE(efi.Open());
    EXPECT_EQ(boxes.size(), 1u);
    EXPECT_FALSE(efi.lastError());
}

TEST_F(Link, ShowErrorsWithoutAHandlerGivesUp)
{
    fake.setOpenable(false);
    EXPECT_FALSE(efi.Open());
    EXPECT_EQ(fake.openAttempts().size(), 1u);
}

TEST_F(Link, LineSettingsRefusedFailTheOpenAndReleaseTheDevice)
{
    efi.setShowErrors(false);
    fake.injectError(FakeOp::Settings, makeError(ErrorKind::BadArgument, "unsupported baud rate 12345"));
    EXPECT_FALSE(efi.Open());
    EXPECT_FALSE(fake.isOpen());
    EXPECT_EQ(efi.lastError()->kind, ErrorKind::BadArgument);
}

TEST_F(Link, PortOutsideTheKnownRangeDoesNotOpen)
{
    efi.setShowErrors(false);
    efi.setPort(LastComPort + 1000);
    EXPECT_FALSE(efi.Open());
    EXPECT_TRUE(fake.openAttempts().empty());
    EXPECT_EQ(efi.lastError()->kind, ErrorKind::PortUnavailable);
}

TEST_F(Link, SendOpensFirstAndWritesAllBytes)
{
    efi.setShowErrors(false);
    EXPECT_TRUE(efi.Send({0xF2, 0x50, 0x0C}));
    EXPECT_TRUE(efi.Opened());
    EXPECT_EQ(fake.writtenData(), (Bytes{0xF2, 0x50, 0x0C}));
}

TEST_F(Link, ShortOrFailedWriteIsFalse)
{
    ASSERT_TRUE(efi.Open());
    fake.limitNextWrite(1);
    EXPECT_FALSE(efi.Send({0xF2, 0x05, 0x02}));
    EXPECT_EQ(efi.lastError()->kind, ErrorKind::WriteFailed);
    fake.injectError(FakeOp::Write, makeError(ErrorKind::OsError, "cannot write"));
    EXPECT_FALSE(efi.Send({0xFF}));
    EXPECT_TRUE(efi.Opened());
}

TEST_F(Link, VanishedDeviceIsClosedAndReopenedByTheNextSend)
{
    efi.setShowErrors(false);
    ASSERT_TRUE(efi.Open());
    fake.injectError(FakeOp::Write, makeError(ErrorKind::PortUnavailable, "/dev/ttyS0 was disconnected"));
    EXPECT_FALSE(efi.Send({0xFF}));
    EXPECT_FALSE(efi.Opened());
    EXPECT_TRUE(efi.Send({0xFF}));
    EXPECT_EQ(fake.openedPaths().size(), 2u);
}

TEST_F(Link, DisconnectsCountsDevicesThatWentAway)
{
    efi.setShowErrors(false);
    EXPECT_EQ(efi.disconnects(), 0);
    ASSERT_TRUE(efi.Open());
    fake.injectError(FakeOp::Write, makeError(ErrorKind::PortUnavailable, "/dev/ttyS0 was disconnected"));
    EXPECT_FALSE(efi.Send({0xFF}));
    EXPECT_EQ(efi.disconnects(), 1);

    ASSERT_TRUE(efi.Open());
    fake.feedReceived({1});
    fake.injectError(FakeOp::Read, makeError(ErrorKind::PortUnavailable, "/dev/ttyS0 was disconnected"));
    EXPECT_TRUE(efi.GetResponse().empty());
    EXPECT_FALSE(efi.Opened());
    EXPECT_EQ(efi.disconnects(), 2);

    // Other failures leave the device open and are not a disconnect.
    ASSERT_TRUE(efi.Open());
    fake.injectError(FakeOp::Write, makeError(ErrorKind::OsError, "cannot write"));
    EXPECT_FALSE(efi.Send({0xFF}));
    fake.injectError(FakeOp::Open, makeError(ErrorKind::PortUnavailable, "/dev/ttyS0 does not exist"));
    EXPECT_FALSE(efi.Open());
    EXPECT_EQ(efi.disconnects(), 2);
}

#ifndef _WIN32
/// COM3 named by a ports folder entry, whose fixed device is /dev/ttyS2.
struct PortsFolderLink : Link {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("kyr-link-source-" + std::to_string(kyr::test::processId()));
    const std::filesystem::path entry = dir / "COM3";
    TQCCom32 com{fake.factory(), clock, PortEnv::withVariables({{"KYR_PORT_DIR", dir.string()}})};

    PortsFolderLink()
    {
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        com.setShowErrors(false);
        com.setPort(3);
    }
    ~PortsFolderLink() override { std::filesystem::remove_all(dir); }

    void pointAt(const std::string& device)
    {
        std::filesystem::remove(entry);
        std::filesystem::create_symlink(device, entry);
    }
    bool triedFixedDevice() const
    {
        const auto& tried = fake.openAttempts();
        return std::find(tried.begin(), tried.end(), "/dev/ttyS2") != tried.end();
    }
};

TEST_F(PortsFolderLink, AnEntryThatWentAwayNeverFallsBackToTheFixedDevice)
{
    pointAt("/dev/pts/7");
    ASSERT_TRUE(com.Open());
    EXPECT_EQ(com.portSource(), PortSource::PortDir);
    std::filesystem::remove(entry);

    EXPECT_FALSE(com.Open());
    ASSERT_TRUE(com.lastError());
    EXPECT_EQ(com.lastError()->kind, ErrorKind::PortUnavailable);
    EXPECT_EQ(com.lastError()->message, "COM3 is no longer in the ports folder (" + dir.string() + ")");
    EXPECT_FALSE(com.Send({0xFF})) << "nor does the open of a Send";
    EXPECT_TRUE(com.GetResponse().empty());
    EXPECT_FALSE(com.Opened());
    EXPECT_FALSE(triedFixedDevice());
    EXPECT_EQ(fake.openAttempts().size(), 1u);
}

TEST_F(PortsFolderLink, AnEntryThatNamesANewDeviceIsFollowed)
{
    pointAt("/dev/pts/7");
    ASSERT_TRUE(com.Open());
    pointAt("/dev/pts/8");
    ASSERT_TRUE(com.Open());
    EXPECT_EQ(com.devicePath(), "/dev/pts/8");
    com.Close();
    std::filesystem::remove(entry);
    EXPECT_FALSE(com.Send({0xFF}));
    pointAt("/dev/ttyUSB1");
    EXPECT_TRUE(com.Send({0xFF})) << "the entry came back";
    EXPECT_EQ(fake.openPath(), "/dev/ttyUSB1");
    EXPECT_FALSE(triedFixedDevice());
}

TEST_F(PortsFolderLink, AnotherPortOrADevicePathForgetsTheSource)
{
    pointAt("/dev/pts/7");
    ASSERT_TRUE(com.Open());
    std::filesystem::remove(entry);
    com.setPort(4);
    com.setPort(3);
    EXPECT_EQ(com.portSource(), PortSource::Fixed) << "reopened afresh";
    EXPECT_EQ(com.devicePath(), "/dev/ttyS2");

    pointAt("/dev/pts/7");
    com.setDevicePath("/dev/pts/9");
    com.setDevicePath("");
    EXPECT_EQ(com.devicePath(), "/dev/pts/7");
    EXPECT_EQ(com.portSource(), PortSource::PortDir);
}

TEST_F(PortsFolderLink, AFixedPortStaysOnItsDeviceWhenAnEntryAppears)
{
    ASSERT_TRUE(com.Open());
    EXPECT_EQ(com.devicePath(), "/dev/ttyS2");
    pointAt("/dev/pts/7");
    ASSERT_TRUE(com.Open());
    EXPECT_EQ(com.devicePath(), "/dev/ttyS2");
}

#endif

TEST_F(Link, InCountClearsTheLineErrorAndKeepsTheBytes)
{
    EXPECT_EQ(efi.InCount(), 0); // closed
    ASSERT_TRUE(efi.Open());
    fake.feedReceived({1, 2, 3});
    fake.injectLineError();
    EXPECT_EQ(efi.InCount(), 3);
    EXPECT_FALSE(fake.lineErrorPending());
    EXPECT_EQ(efi.GetResponse(), (Bytes{1, 2, 3}));
}

TEST_F(Link, PurgeDiscardsQueuedInputAndDoesNothingWhenClosed)
{
    efi.Purge();
    EXPECT_EQ(fake.purgeCount(), 0);
    ASSERT_TRUE(efi.Open());
    fake.feedReceived({0x42});
    efi.Purge();
    EXPECT_EQ(efi.InCount(), 0);
}

TEST_F(Link, FailedReadIsEmptyAndRecorded)
{
    ASSERT_TRUE(efi.Open());
    fake.feedReceived({1, 2});
    fake.injectError(FakeOp::Read, makeError(ErrorKind::OsError, "cannot read"));
    EXPECT_TRUE(efi.GetResponse().empty());
    EXPECT_EQ(efi.lastError()->kind, ErrorKind::OsError);
    EXPECT_FALSE(efi.InUse());
}

} // namespace
