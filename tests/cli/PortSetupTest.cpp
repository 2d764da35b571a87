// SPDX-License-Identifier: GPL-3.0-or-later
// `kyr ports --link` and `kyr doctor` in-process, on a ports folder and a
// system root in a temporary folder.

#include "Commands.h"

#include "ProcessId.h"

#include <gmock/gmock.h>

#include <filesystem>
#include <fstream>
#include <sstream>

using namespace kyr;
using namespace kyr::cli;
using ::testing::HasSubstr;
namespace fs = std::filesystem;

namespace {

class PortSetup : public ::testing::Test {
protected:
    PortSetup()
        : m_dir(fs::temp_directory_path() / ("kyr-portsetup-" + std::to_string(test::processId())))
    {
        fs::remove_all(m_dir);
        fs::create_directories(m_dir / "root" / "dev" / "serial" / "by-id");
    }
    ~PortSetup() override { fs::remove_all(m_dir); }

    fs::path portDir() const { return m_dir / "ports"; }
    link::PortEnv env() const { return link::PortEnv::withVariables({{"KYR_PORT_DIR", portDir().string()}}); }
    /// A device file below the root, as an adapter would be.
    fs::path device(const std::string& name) const
    {
        const fs::path p = m_dir / "root" / "dev" / name;
        std::ofstream{p};
        return p;
    }
    int link(const std::string& name, const std::string& device)
    {
        m_out.str({});
        m_err.str({});
        return runLinkPort(name, device, m_io, env());
    }
    int doctor()
    {
        m_out.str({});
        tools::SystemView view{m_dir / "root", tools::UserIdentity{0, "root", {0}},
                               [](const fs::path& p) { return fs::exists(p); }};
        return runDoctor(m_io, tools::PortDoctor(env(), view));
    }
    fs::path entry(int port) const { return portDir() / ("COM" + std::to_string(port)); }

    fs::path m_dir;
    std::ostringstream m_out, m_err;
    Io m_io{m_out, m_err};
};

TEST_F(PortSetup, LinkMakesAndReplacesTheEntry)
{
    const fs::path first = device("ttyUSB0");
    ASSERT_EQ(link("com4", first.string()), ExitOk);
    EXPECT_EQ(fs::read_symlink(entry(4)), first);
    EXPECT_THAT(m_out.str(), HasSubstr("COM4 -> " + first.string() + " in " + portDir().string()));
    EXPECT_EQ(link::devicePathFor(4, env()).value(), first.string());

    const fs::path second = device("ttyUSB1");
    ASSERT_EQ(link("COM4", second.string()), ExitOk);
    EXPECT_THAT(m_out.str(), HasSubstr("Replacing COM4, which named " + first.string()));
    EXPECT_EQ(fs::read_symlink(entry(4)), second);
}

TEST_F(PortSetup, LinkRefusesAMissingDeviceAndABadName)
{
    const fs::path there = device("ttyUSB0");
    ASSERT_EQ(link("COM4", there.string()), ExitOk);

    EXPECT_EQ(link("COM4", (m_dir / "root" / "dev" / "ttyUSB7").string()), ExitUsage);
    EXPECT_THAT(m_err.str(), HasSubstr("ttyUSB7\" does not exist"));
    for (const char* bad : {"COM0", "COM100", "LPT1", "COM", "4"}) {
        EXPECT_EQ(link(bad, there.string()), ExitUsage) << bad;
        EXPECT_THAT(m_err.str(), HasSubstr("is not a port name: use COM1 to COM99")) << bad;
    }
    // The entry made first is untouched, and nothing else was made.
    EXPECT_EQ(fs::read_symlink(entry(4)), there);
    EXPECT_EQ(std::distance(fs::directory_iterator(portDir()), fs::directory_iterator()), 1);
}

TEST_F(PortSetup, DoctorExitsOneUntilSomePortOpens)
{
    EXPECT_EQ(doctor(), ExitUnit);
    EXPECT_THAT(m_out.str(), HasSubstr("PROBLEM  no COM name leads to a device that exists"));
    device("ttyACM0");
    EXPECT_EQ(doctor(), ExitOk);
    EXPECT_THAT(m_out.str(), HasSubstr("OK       COM13 -> /dev/ttyACM0 by the fixed mapping"));
}

} // namespace
