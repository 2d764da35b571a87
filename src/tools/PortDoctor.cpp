// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/PortDoctor.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#ifndef _WIN32
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace kyr::tools {

namespace {

constexpr int MaxLinkHops = 16;
constexpr int MaxSysfsLevels = 4; // from a tty's device up to the USB device that holds its ids
constexpr const char* ByIdFolder = "/dev/serial/by-id";
constexpr const char* BrlttyRule = "85-brltty.rules";
constexpr const char* Ch34xVendor = "1a86";
constexpr const char* LevelPad = "         ";

std::string firstLine(const fs::path& file)
{
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
        line.pop_back();
    return line;
}

#ifndef _WIN32
/// One group of /etc/group.
struct GroupEntry {
    std::string name;
    std::vector<std::string> members;
};

std::map<unsigned, GroupEntry> readGroups(const fs::path& file)
{
    std::map<unsigned, GroupEntry> groups;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> fields;
        std::stringstream s(line);
        for (std::string f; std::getline(s, f, ':');)
            fields.push_back(f);
        if (fields.size() < 3 || fields[2].empty() ||
            !std::all_of(fields[2].begin(), fields[2].end(), [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        GroupEntry g{fields[0], {}};
        if (fields.size() > 3) {
            std::stringstream m(fields[3]);
            for (std::string name; std::getline(m, name, ',');)
                if (!name.empty())
                    g.members.push_back(name);
        }
        groups.emplace(static_cast<unsigned>(std::stoul(fields[2])), std::move(g));
    }
    return groups;
}

#endif

bool isUsbTty(const std::string& name)
{
    return name.rfind("ttyUSB", 0) == 0 || name.rfind("ttyACM", 0) == 0;
}

#ifndef _WIN32
std::string joined(const std::vector<std::string>& items)
{
    std::string out;
    for (const auto& i : items)
        out += (out.empty() ? "" : ", ") + i;
    return out;
}

/// What the user's membership of the group that owns some devices means; blocked
/// are the devices the user may not open (none: the user is in the group).
DoctorFinding groupFinding(const UserIdentity& user, const std::map<unsigned, GroupEntry>& groups, unsigned gid,
                     const std::vector<std::string>& blocked)
{
    const std::string userName = user.name.empty() ? "$USER" : user.name;
    auto g = groups.find(gid);
    const std::string group = g != groups.end() ? g->second.name : std::to_string(gid);
    if (blocked.empty())
        return {FindingLevel::Ok, "user " + userName + " is in group " + group + ", which owns the serial devices", {}};
    const auto& members = g != groups.end() ? g->second.members : std::vector<std::string>{};
    if (std::find(members.begin(), members.end(), user.name) != members.end())
        return {FindingLevel::Problem,
                "user " + userName + " was added to group " + group + " (owner of " + joined(blocked) +
                    "), but this login started before that",
                {"log out and in again (or restart) so that the login has the group"}};
    return {FindingLevel::Problem, "user " + userName + " is not in group " + group + ", which owns " + joined(blocked),
            {"sudo usermod -aG " + group + " " + userName, "then log out and in again"}};
}
#endif

} // namespace

/// A device as the checks see it: the name it was found under and where it leads.
struct PortDoctor::Device {
    std::string name; ///< "COM3", or the by-id path of an adapter
    fs::path named;   ///< the path the name gives
    fs::path target;  ///< named with every link followed (a path of the system, not below the root)
    bool present = false;
    bool fromFolder = false;
};

const char* levelWord(FindingLevel level)
{
    switch (level) {
    case FindingLevel::Ok: return "OK";
    case FindingLevel::Problem: return "PROBLEM";
    case FindingLevel::Note: return "NOTE";
    }
    return "";
}

std::string reportText(const DoctorReport& report)
{
    std::string out;
    for (const auto& f : report.findings) {
        std::string word = levelWord(f.level);
        word.resize(std::string(LevelPad).size(), ' ');
        out += word + f.text + "\n";
        for (const auto& step : f.steps)
            out += LevelPad + std::string("  ") + step + "\n";
    }
    return out;
}

UserIdentity UserIdentity::current()
{
    UserIdentity id;
#ifndef _WIN32
    id.uid = ::geteuid();
    if (const passwd* pw = ::getpwuid(id.uid))
        id.name = pw->pw_name;
    const int count = ::getgroups(0, nullptr);
    std::vector<gid_t> gids(count > 0 ? static_cast<std::size_t>(count) : 0);
    const int got = count > 0 ? ::getgroups(count, gids.data()) : 0;
    for (int i = 0; i < got; ++i)
        id.groups.push_back(gids[static_cast<std::size_t>(i)]);
    id.groups.push_back(::getegid());
#endif
    return id;
}

PortDoctor::PortDoctor(link::PortEnv ports, SystemView system)
    : m_ports(std::move(ports)), m_system(std::move(system))
{
}

fs::path PortDoctor::host(const fs::path& systemPath) const
{
    if (m_system.root == "/" || !systemPath.is_absolute())
        return systemPath;
    return m_system.root / systemPath.relative_path();
}

fs::path PortDoctor::resolve(fs::path systemPath) const
{
    for (int hop = 0; hop < MaxLinkHops; ++hop) {
        std::error_code ec;
        const fs::path h = host(systemPath);
        if (!fs::is_symlink(fs::symlink_status(h, ec)))
            break;
        const fs::path to = fs::read_symlink(h, ec);
        if (ec)
            break;
        systemPath = (to.is_absolute() ? to : systemPath.parent_path() / to).lexically_normal();
    }
    return systemPath;
}

bool PortDoctor::exists(const fs::path& systemPath) const
{
    std::error_code ec;
    return fs::exists(host(systemPath), ec);
}

bool PortDoctor::canReadWrite(const fs::path& systemPath) const
{
    if (m_system.canReadWrite)
        return m_system.canReadWrite(host(systemPath));
#ifdef _WIN32
    return exists(systemPath);
#else
    return ::access(host(systemPath).c_str(), R_OK | W_OK) == 0;
#endif
}

std::string PortDoctor::usbId(const std::string& ttyName) const
{
    std::error_code ec;
    fs::path dir = fs::canonical(host(fs::path("/sys/class/tty") / ttyName / "device"), ec);
    if (ec)
        return {};
    for (int level = 0; level < MaxSysfsLevels && dir.has_relative_path(); ++level, dir = dir.parent_path()) {
        if (fs::exists(dir / "idVendor", ec) && fs::exists(dir / "idProduct", ec))
            return firstLine(dir / "idVendor") + ":" + firstLine(dir / "idProduct");
    }
    return {};
}

bool PortDoctor::processRunning(const std::string& comm) const
{
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(host("/proc"), ec)) {
        const std::string pid = e.path().filename().string();
        if (!pid.empty() && std::all_of(pid.begin(), pid.end(), [](char c) { return c >= '0' && c <= '9'; }) &&
            firstLine(e.path() / "comm") == comm)
            return true;
    }
    return false;
}

bool PortDoctor::usbDevicePresent(const std::string& vendor, const std::vector<std::string>& products) const
{
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(host("/sys/bus/usb/devices"), ec)) {
        if (firstLine(e.path() / "idVendor") != vendor)
            continue;
        const std::string product = firstLine(e.path() / "idProduct");
        if (std::find(products.begin(), products.end(), product) != products.end())
            return true;
    }
    return false;
}

std::vector<PortDoctor::Device> PortDoctor::adapters() const
{
    std::vector<Device> out;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(host(ByIdFolder), ec)) {
        Device d;
        d.named = fs::path(ByIdFolder) / e.path().filename();
        d.name = d.named.string();
        d.target = resolve(d.named);
        d.present = exists(d.target);
        out.push_back(std::move(d));
    }
    std::sort(out.begin(), out.end(), [](const Device& a, const Device& b) { return a.name < b.name; });
    return out;
}

std::vector<PortDoctor::Device> PortDoctor::comPorts() const
{
    std::map<int, Device> found;
    const std::string dir = link::portDir(m_ports);
    std::error_code ec;
    if (!dir.empty())
        for (const auto& e : fs::directory_iterator(dir, ec)) {
            auto n = link::comNumber(e.path().filename().string());
            if (!n || found.count(*n))
                continue;
            auto path = link::devicePathFor(*n, m_ports, link::PortSource::PortDir);
            if (!path)
                continue;
            Device d{link::comName(*n), path.value(), resolve(path.value()), false, true};
            d.present = exists(d.target);
            found.emplace(*n, std::move(d));
        }
    for (int n = link::FirstComPort; n <= link::LastComPort; ++n) {
        auto path = link::fixedDevicePath(n, m_ports);
        if (!path || found.count(n) || !exists(*path))
            continue;
        found.emplace(n, Device{link::comName(n), *path, resolve(*path), true, false});
    }
    std::vector<Device> out;
    for (auto& [n, d] : found)
        out.push_back(std::move(d));
    return out;
}

void PortDoctor::checkGroups(const std::vector<Device>& devices, DoctorReport& report) const
{
#ifndef _WIN32
    const UserIdentity& user = m_system.user;
    if (user.uid == 0) {
        report.findings.push_back({FindingLevel::Note,
                                   "running as root, which opens every device: run kyr doctor as the tuner's own "
                                   "user to check the group that owns the ports", {}});
        return;
    }
    const auto groups = readGroups(host("/etc/group"));
    std::map<unsigned, std::vector<std::string>> byGroup; // gid -> devices it owns that the user may not open
    std::vector<std::string> ownerOnly;                   // devices no group of users may open
    std::set<std::string> seen;
    for (const auto& d : devices) {
        struct stat st {};
        if (!d.present || !seen.insert(d.target.string()).second || ::stat(host(d.target).c_str(), &st) != 0)
            continue;
        const bool member = std::find(user.groups.begin(), user.groups.end(), st.st_gid) != user.groups.end();
        const bool forAll = (st.st_mode & (S_IROTH | S_IWOTH)) == (S_IROTH | S_IWOTH);
        const bool forGroup = (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
        if (forAll || st.st_uid == user.uid)
            continue;
        if (forGroup && member)
            byGroup.try_emplace(st.st_gid);
        else if (forGroup && st.st_gid != 0) // joining root's group is no answer
            byGroup[st.st_gid].push_back(d.target.string());
        else
            ownerOnly.push_back(d.target.string());
    }
    for (const auto& [gid, blocked] : byGroup)
        report.findings.push_back(groupFinding(user, groups, gid, blocked));
    for (const auto& device : ownerOnly)
        report.findings.push_back(
            {FindingLevel::Problem,
             device + " is not given to a group of users: serial devices normally belong to group dialout with mode 660",
             {"sudo chgrp dialout " + device + " && sudo chmod 660 " + device + " (until the device is made again)",
              "to keep it, a line in /etc/udev/rules.d/99-kyr-serial.rules: KERNEL==\"" +
                  fs::path(device).filename().string() + "\", GROUP=\"dialout\", MODE=\"0660\""}});
#else
    (void)devices;
    (void)report;
#endif
}

void PortDoctor::checkModemManager(const std::vector<Device>& adapters, DoctorReport& report) const
{
    if (!processRunning("ModemManager"))
        return;
    std::vector<std::string> rules;
    std::set<std::string> ids;
    bool plugged = false;
    for (const auto& a : adapters) {
        const std::string tty = a.target.filename().string();
        if (!a.present || !isUsbTty(tty))
            continue;
        plugged = true;
        const std::string id = usbId(tty);
        if (id.empty() || !ids.insert(id).second)
            continue;
        const auto colon = id.find(':');
        rules.push_back("ATTRS{idVendor}==\"" + id.substr(0, colon) + "\", ATTRS{idProduct}==\"" +
                        id.substr(colon + 1) + "\", ENV{ID_MM_DEVICE_IGNORE}=\"1\"");
    }
    if (!plugged) {
        report.findings.push_back({FindingLevel::Note,
                                   "ModemManager is running: it probes a ttyACM adapter when it is plugged in; "
                                   "run kyr doctor again with the adapter plugged in for the rule that stops it", {}});
        return;
    }
    if (rules.empty())
        rules.push_back("KERNEL==\"ttyACM[0-9]*\", ENV{ID_MM_DEVICE_IGNORE}=\"1\"");
    DoctorFinding f{FindingLevel::Problem,
              "ModemManager is running: it probes serial adapters with modem commands and can hold the port",
              {"put this line in /etc/udev/rules.d/99-kyr-modemmanager.rules:"}};
    for (const auto& r : rules)
        f.steps.push_back("  " + r);
    f.steps.push_back("sudo udevadm control --reload-rules, then plug the adapter in again");
    f.steps.push_back("or stop it: sudo systemctl stop ModemManager (and disable it to keep it off)");
    report.findings.push_back(std::move(f));
}

void PortDoctor::checkBrltty(DoctorReport& report) const
{
    const std::string lib = "/lib/udev/rules.d/" + std::string(BrlttyRule);
    const bool present = exists("/usr/bin/brltty") || exists("/bin/brltty") || exists("/usr" + lib) || exists(lib);
    std::error_code ec;
    const bool ruleOff = fs::exists(fs::symlink_status(host("/etc/udev/rules.d/" + std::string(BrlttyRule)), ec));
    if (!present || ruleOff)
        return;
    const std::vector<std::string> steps = {
        "sudo apt remove brltty (unless a braille display is used)",
        "or disable its udev rule: sudo ln -s /dev/null /etc/udev/rules.d/" + std::string(BrlttyRule) +
            ", then sudo udevadm control --reload-rules and plug the adapter in again"};
    if (usbDevicePresent(Ch34xVendor, {"7523", "5523"}))
        report.findings.push_back({FindingLevel::Problem,
                                   "brltty is installed and a CH340/CH341 adapter (USB id 1a86:7523) is plugged in: "
                                   "brltty claims it as a braille display and its ttyUSB port goes away",
                                   steps});
    else
        report.findings.push_back({FindingLevel::Note,
                                   "brltty is installed: it claims CH340/CH341 adapters (USB id 1a86:7523), "
                                   "whose port then goes away", steps});
}

void PortDoctor::listAdapters(const std::vector<Device>& adapters, const std::vector<Device>& ports,
                              DoctorReport& report) const
{
    if (adapters.empty()) {
        report.findings.push_back({FindingLevel::Note,
                                   std::string("no USB serial adapter is plugged in (") + ByIdFolder + " is empty)", {}});
        return;
    }
    for (const auto& a : adapters) {
        const bool named = std::any_of(ports.begin(), ports.end(), [&](const Device& p) {
            return p.fromFolder && (p.named == a.named || p.target == a.target);
        });
        DoctorFinding f{a.present ? FindingLevel::Ok : FindingLevel::Problem,
                  "adapter " + a.name + " -> " + a.target.string() + (a.present ? "" : ", which does not exist"),
                  {}};
        if (a.present && !named)
            f.steps.push_back("give it a COM name that stays: kyr ports --link COMn " + a.name);
        report.findings.push_back(std::move(f));
    }
}

void PortDoctor::listComPorts(const std::vector<Device>& ports, DoctorReport& report) const
{
    for (const auto& p : ports) {
        std::string where = p.name + " -> " + p.named.string();
        if (p.target != p.named)
            where += " (" + p.target.string() + ")";
        where += p.fromFolder ? " from the ports folder" : " by the fixed mapping";
        if (!p.present) {
            report.findings.push_back({FindingLevel::Problem, where + ": the device does not exist",
                                       {"plug the adapter in, or name another: kyr ports --link " + p.name +
                                        " /dev/serial/by-id/..."}});
        } else if (canReadWrite(p.target)) {
            report.usable = true;
            report.findings.push_back({FindingLevel::Ok, where + ": opens for reading and writing", {}});
        } else {
            report.findings.push_back({FindingLevel::Problem,
                                       where + ": may not be opened for reading and writing (see the group above)",
                                       {}});
        }
    }
    if (ports.empty())
        report.findings.push_back({FindingLevel::Problem, "no COM name leads to a device that exists", {}});
}

DoctorReport PortDoctor::run() const
{
    DoctorReport report;
#ifdef _WIN32
    for (const auto& p : link::listPorts(m_ports)) {
        report.usable = true;
        report.findings.push_back({FindingLevel::Ok, link::comName(p.port) + " (" + p.device + ")", {}});
    }
    if (!report.usable)
        report.findings.push_back({FindingLevel::Problem, "no COM port: plug the adapter in and look in the Device "
                                                          "Manager under Ports (COM & LPT)", {}});
#else
    const auto ports = comPorts();
    const auto plugged = adapters();
    std::vector<Device> devices = ports;
    devices.insert(devices.end(), plugged.begin(), plugged.end());
    checkGroups(devices, report);
    checkModemManager(plugged, report);
    checkBrltty(report);
    listAdapters(plugged, ports, report);
    listComPorts(ports, report);
#endif
    return report;
}

} // namespace kyr::tools
