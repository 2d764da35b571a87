// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What keeps a tuner from the serial port, and what to do about it: the group
// that owns each device, ModemManager probing the adapter, brltty taking a
// CH340, the adapters plugged in and the COM names with their devices.
//
// Everything is read below a root folder (normally "/") for one user, so that
// a whole system can be laid out in a folder and checked as it would be.

#include "link/ComNames.h"

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace kyr::tools {

/// The user whose access to the ports is checked.
struct UserIdentity {
    unsigned uid = 0;
    std::string name;             ///< login name; empty when unknown
    std::vector<unsigned> groups; ///< the process's groups: effective and supplementary

    /// This process: its uid, its login name and getgroups().
    static UserIdentity current();
};

/// The system the doctor looks at.
struct SystemView {
    /// Where "/" is: dev/, etc/group, proc/, sys/ and usr/ are read below it.
    std::filesystem::path root = "/";
    UserIdentity user = UserIdentity::current();
    /// Whether the user may open a file (a path below root) for reading and
    /// writing; access(2) for this process when empty.
    std::function<bool(const std::filesystem::path&)> canReadWrite;
};

enum class FindingLevel { Ok, Problem, Note };

/// "OK", "PROBLEM" or "NOTE".
const char* levelWord(FindingLevel level);

/// One thing the doctor found, and the steps that set it right.
struct DoctorFinding {
    FindingLevel level;
    std::string text;
    std::vector<std::string> steps; ///< commands or lines to type, in order
};

struct DoctorReport {
    std::vector<DoctorFinding> findings;
    bool usable = false; ///< some COM name names a device that opens for reading and writing
};

/// The findings, one line each with its level, the steps indented below it.
std::string reportText(const DoctorReport& report);

class PortDoctor {
public:
    /// The ports folder is where ports names it (a path of this system, not
    /// below the root); the device paths it and the fixed mapping give are
    /// looked up below the root.
    explicit PortDoctor(link::PortEnv ports = link::PortEnv::system(), SystemView system = {});

    /// Runs every check. On Windows: the COM ports the system has.
    DoctorReport run() const;

private:
    struct Device;

    std::filesystem::path host(const std::filesystem::path& systemPath) const;
    std::filesystem::path resolve(std::filesystem::path systemPath) const;
    bool exists(const std::filesystem::path& systemPath) const;
    bool canReadWrite(const std::filesystem::path& systemPath) const;
    std::string usbId(const std::string& ttyName) const;
    bool processRunning(const std::string& comm) const;
    bool usbDevicePresent(const std::string& vendor, const std::vector<std::string>& products) const;

    std::vector<Device> adapters() const;
    std::vector<Device> comPorts() const;
    void checkGroups(const std::vector<Device>& devices, DoctorReport& report) const;
    void checkModemManager(const std::vector<Device>& adapters, DoctorReport& report) const;
    void checkBrltty(DoctorReport& report) const;
    void listAdapters(const std::vector<Device>& adapters, const std::vector<Device>& ports,
                      DoctorReport& report) const;
    void listComPorts(const std::vector<Device>& ports, DoctorReport& report) const;

    link::PortEnv m_ports;
    SystemView m_system;
};

} // namespace kyr::tools
