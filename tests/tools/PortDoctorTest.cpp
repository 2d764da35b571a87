// SPDX-License-Identifier: GPL-3.0-or-later
// The port doctor on systems laid out in a folder: a user, its groups, the
// devices, ModemManager, brltty and the ports folder.

#ifndef _WIN32

#include "tools/PortDoctor.h"

#include <gmock/gmock.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "ProcessId.h"

using namespace kyr;
using namespace kyr::tools;
using ::testing::HasSubstr;
using ::testing::Not;
namespace fs = std::filesystem;

namespace {

constexpr unsigned TunerUid = 4242; // no file of the test is owned by it
constexpr unsigned OtherGid = 4343;
constexpr gid_t DeviceGid = 4444; // the device group of a test run as root

/// A system root in a temporary folder with a user "tuner" and a ports folder.
class FakeSystem {
public:
    explicit FakeSystem(const std::string& tag)
        : m_dir(fs::temp_directory_path() / ("kyr-doctor-" + tag + "-" + std::to_string(test::processId())))
    {
        fs::remove_all(m_dir);
        fs::create_directories(root() / "dev");
        fs::create_directories(portDir());
    }
    ~FakeSystem() { fs::remove_all(m_dir); }

    fs::path root() const { return m_dir / "root"; }
    fs::path portDir() const { return m_dir / "ports"; }

    void write(const fs::path& systemPath, const std::string& text) const
    {
        fs::create_directories(at(systemPath).parent_path());
        std::ofstream(at(systemPath)) << text;
    }
    void link(const fs::path& systemPath, const fs::path& to) const
    {
        fs::create_directories(at(systemPath).parent_path());
        fs::create_symlink(to, at(systemPath));
    }
    /// A device file that its owner and its group may read and write; returns its gid.
    unsigned device(const std::string& name) const
    {
        write("/dev/" + name, "");
        fs::permissions(at("/dev/" + name), fs::perms::owner_read | fs::perms::owner_write |
                                                 fs::perms::group_read | fs::perms::group_write);
        struct stat st {};
        ::stat(at("/dev/" + name).c_str(), &st);
        if (st.st_gid == 0) { // root's group is never the answer: give it another, as udev would
            EXPECT_EQ(::chown(at("/dev/" + name).c_str(), static_cast<uid_t>(-1), DeviceGid), 0);
            return DeviceGid;
        }
        return st.st_gid;
    }
    /// A USB adapter: its tty under /dev, its by-id name and its ids in sysfs.
    unsigned adapter(const std::string& tty, const std::string& byId, const std::string& vendor,
                     const std::string& product) const
    {
        const unsigned gid = device(tty);
        link("/dev/serial/by-id/" + byId, "../../" + tty);
        const fs::path usb = "/sys/devices/pci0000:00/usb1/1-1";
        write(usb / "idVendor", vendor + "\n");
        write(usb / "idProduct", product + "\n");
        fs::create_directories(at(usb / "1-1:1.0" / tty));
        link("/sys/class/tty/" + tty + "/device", "../../../devices/pci0000:00/usb1/1-1/1-1:1.0/" + tty);
        link("/sys/bus/usb/devices/1-1", "../../../devices/pci0000:00/usb1/1-1");
        return gid;
    }
    void groups(const std::string& text) const { write("/etc/group", text); }
    void process(int pid, const std::string& comm) const { write("/proc/" + std::to_string(pid) + "/comm", comm + "\n"); }
    void name(int port, const std::string& device) const
    {
        fs::create_symlink(device, portDir() / ("COM" + std::to_string(port)));
    }

    /// The report for the user "tuner" whose login has the given groups.
    DoctorReport run(std::vector<unsigned> loginGroups) const
    {
        SystemView view{root(), UserIdentity{TunerUid, "tuner", loginGroups}, {}};
        view.canReadWrite = [loginGroups](const fs::path& file) {
            struct stat st {};
            if (::stat(file.c_str(), &st) != 0)
                return false;
            const bool member = std::find(loginGroups.begin(), loginGroups.end(), st.st_gid) != loginGroups.end();
            const mode_t need = member ? (S_IRGRP | S_IWGRP) : (S_IROTH | S_IWOTH);
            return (st.st_mode & need) == need;
        };
        PortDoctor doctor(link::PortEnv::withVariables({{"KYR_PORT_DIR", portDir().string()}}), view);
        return doctor.run();
    }

private:
    fs::path at(const fs::path& systemPath) const { return root() / systemPath.relative_path(); }
    fs::path m_dir;
};

std::string text(const DoctorReport& r) { return reportText(r); }

TEST(PortDoctor, UserOutsideTheDeviceGroupGetsTheUsermodLine)
{
    FakeSystem sys("outside");
    const unsigned gid = sys.adapter("ttyUSB0", "usb-FTDI_FT232R_USB_UART_A1-if00-port0", "0403", "6001");
    sys.groups("dialout:x:" + std::to_string(gid) + ":alice\ntuner:x:" + std::to_string(OtherGid) + ":\n");
    const DoctorReport r = sys.run({OtherGid});
    EXPECT_THAT(text(r), HasSubstr("PROBLEM  user tuner is not in group dialout, which owns /dev/ttyUSB0\n"
                                   "           sudo usermod -aG dialout tuner\n"
                                   "           then log out and in again\n"));
    EXPECT_THAT(text(r), HasSubstr("PROBLEM  COM5 -> /dev/ttyUSB0 by the fixed mapping: may not be opened"));
    EXPECT_FALSE(r.usable);
}

TEST(PortDoctor, GroupGivenBeforeTheLoginAndAfterIt)
{
    FakeSystem sys("login");
    const unsigned gid = sys.device("ttyS0");
    sys.groups("dialout:x:" + std::to_string(gid) + ":alice,tuner\n");
    // In /etc/group but not in this login's groups: only a new login helps.
    const DoctorReport before = sys.run({OtherGid});
    EXPECT_THAT(text(before), HasSubstr("PROBLEM  user tuner was added to group dialout (owner of /dev/ttyS0), "
                                        "but this login started before that\n"
                                        "           log out and in again"));
    EXPECT_THAT(text(before), Not(HasSubstr("usermod")));
    EXPECT_FALSE(before.usable);

    const DoctorReport after = sys.run({OtherGid, gid});
    EXPECT_THAT(text(after), HasSubstr("OK       user tuner is in group dialout"));
    EXPECT_THAT(text(after), HasSubstr("OK       COM1 -> /dev/ttyS0 by the fixed mapping: opens for reading and writing"));
    EXPECT_THAT(text(after), Not(HasSubstr("PROBLEM")));
    EXPECT_TRUE(after.usable);
}

TEST(PortDoctor, ADeviceOnlyItsOwnerMayOpenIsNotAnsweredWithAGroup)
{
    FakeSystem sys("owneronly");
    const unsigned gid = sys.device("ttyS0");
    fs::permissions(sys.root() / "dev" / "ttyS0", fs::perms::owner_read | fs::perms::owner_write);
    sys.groups("wheel:x:" + std::to_string(gid) + ":\n");
    const std::string t = text(sys.run({OtherGid}));
    EXPECT_THAT(t, HasSubstr("PROBLEM  /dev/ttyS0 is not given to a group of users"));
    EXPECT_THAT(t, HasSubstr("sudo chgrp dialout /dev/ttyS0 && sudo chmod 660 /dev/ttyS0"));
    EXPECT_THAT(t, HasSubstr("KERNEL==\"ttyS0\", GROUP=\"dialout\", MODE=\"0660\""));
    EXPECT_THAT(t, Not(HasSubstr("usermod")));
}

TEST(PortDoctor, ModemManagerGetsAUdevRuleWithTheAdaptersIds)
{
    FakeSystem sys("mm");
    const unsigned gid = sys.adapter("ttyACM0", "usb-Arduino_Uno_75833-if00", "2341", "0043");
    sys.process(1, "systemd");
    sys.process(731, "ModemManager");
    sys.write("/proc/self/comm", "kyr\n"); // not a process number: not looked at
    const DoctorReport r = sys.run({gid});
    EXPECT_THAT(text(r), HasSubstr("PROBLEM  ModemManager is running"));
    EXPECT_THAT(text(r), HasSubstr("/etc/udev/rules.d/"));
    EXPECT_THAT(text(r), HasSubstr("ATTRS{idVendor}==\"2341\", ATTRS{idProduct}==\"0043\", "
                                   "ENV{ID_MM_DEVICE_IGNORE}=\"1\""));
    EXPECT_THAT(text(r), HasSubstr("sudo systemctl stop ModemManager"));
    EXPECT_TRUE(r.usable); // it disturbs the port, it does not close it

    FakeSystem quiet("nomm");
    quiet.process(1, "systemd");
    quiet.process(2, "ModemManagerX");
    EXPECT_THAT(text(quiet.run({})), Not(HasSubstr("ModemManager")));
}

TEST(PortDoctor, BrlttyWithACh340PluggedInGetsTheRemoveAdvice)
{
    FakeSystem sys("brltty");
    sys.write("/usr/lib/udev/rules.d/85-brltty.rules", "# braille\n");
    // brltty took the adapter: its USB device is there, its ttyUSB is not.
    sys.write("/sys/devices/usb1/1-2/idVendor", "1a86\n");
    sys.write("/sys/devices/usb1/1-2/idProduct", "7523\n");
    sys.link("/sys/bus/usb/devices/1-2", "../../../devices/usb1/1-2");
    const DoctorReport r = sys.run({});
    EXPECT_THAT(text(r), HasSubstr("PROBLEM  brltty is installed and a CH340/CH341 adapter (USB id 1a86:7523) "
                                   "is plugged in"));
    EXPECT_THAT(text(r), HasSubstr("sudo apt remove brltty"));
    EXPECT_THAT(text(r), HasSubstr("sudo ln -s /dev/null /etc/udev/rules.d/85-brltty.rules"));
    EXPECT_THAT(text(r), HasSubstr("PROBLEM  no COM name leads to a device that exists"));
    EXPECT_FALSE(r.usable);

    // Its rule masked in /etc: brltty no longer takes adapters.
    sys.link("/etc/udev/rules.d/85-brltty.rules", "/dev/null");
    EXPECT_THAT(text(sys.run({})), Not(HasSubstr("brltty")));

    // Installed without a CH340 plugged in: a note only.
    FakeSystem bin("brlttybin");
    bin.write("/usr/bin/brltty", "");
    EXPECT_THAT(text(bin.run({})), HasSubstr("NOTE     brltty is installed"));
}

TEST(PortDoctor, AdaptersAndComNamesWithTheirDevices)
{
    FakeSystem sys("names");
    const std::string byId = "usb-1a86_USB_Serial-if00-port0";
    const unsigned gid = sys.adapter("ttyUSB1", byId, "1a86", "7523");
    sys.name(3, "/dev/serial/by-id/" + byId);
    sys.name(7, "/dev/serial/by-id/usb-FTDI_gone-if00-port0");
    const DoctorReport r = sys.run({gid});
    const std::string t = text(r);
    EXPECT_THAT(t, HasSubstr("OK       adapter /dev/serial/by-id/" + byId + " -> /dev/ttyUSB1\n"));
    EXPECT_THAT(t, HasSubstr("OK       COM3 -> /dev/serial/by-id/" + byId +
                             " (/dev/ttyUSB1) from the ports folder: opens for reading and writing"));
    EXPECT_THAT(t, HasSubstr("PROBLEM  COM7 -> /dev/serial/by-id/usb-FTDI_gone-if00-port0 from the ports folder: "
                             "the device does not exist"));
    EXPECT_THAT(t, HasSubstr("kyr ports --link COM7"));
    EXPECT_THAT(t, HasSubstr("OK       COM6 -> /dev/ttyUSB1 by the fixed mapping"));
    EXPECT_THAT(t, Not(HasSubstr("give it a COM name"))); // COM3 names it already
    EXPECT_TRUE(r.usable);
}

TEST(PortDoctor, NothingPluggedInIsNotUsable)
{
    FakeSystem sys("empty");
    const DoctorReport r = sys.run({});
    EXPECT_THAT(text(r), HasSubstr("NOTE     no USB serial adapter is plugged in (/dev/serial/by-id is empty)"));
    EXPECT_FALSE(r.usable);
    // A missing device behind a COM name does not make a port either.
    sys.name(2, "/dev/ttyUSB9");
    EXPECT_FALSE(sys.run({}).usable);
}

TEST(PortDoctor, RootIsToldToCheckAsTheTuner)
{
    FakeSystem sys("root");
    sys.device("ttyS0");
    SystemView view{sys.root(), UserIdentity{0, "root", {0}}, [](const fs::path&) { return true; }};
    const DoctorReport r = PortDoctor(link::PortEnv::withVariables({}), view).run();
    EXPECT_THAT(reportText(r), HasSubstr("NOTE     running as root"));
    EXPECT_TRUE(r.usable);
}

} // namespace

#endif
