// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/ComNames.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <map>
#ifdef _WIN32
#include "link/Win32Errors.h"
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace kyr::link {

namespace {

/// A run of fixed devices: ports first..first+count-1 -> devRoot/stem0...
struct FixedRange {
    int first;
    int count;
    const char* stem;
};

constexpr FixedRange kFixed[] = {
    {1, 4, "ttyS"},
    {5, 8, "ttyUSB"},
    {13, 8, "ttyACM"},
};

constexpr int MaxPortDigits = 6;

#ifdef _WIN32
constexpr int LastWindowsComPort = 256; // the system numbers COM ports up to here

/// Whether the system knows the device now: a COM port the system has named,
/// or a file that exists.
bool deviceExists(const std::string& path)
{
    const std::string name = win32PortName(path);
    if (comNumber(name)) {
        char target[1024];
        return ::QueryDosDeviceA(name.c_str(), target, sizeof target) != 0;
    }
    std::error_code ec;
    return fs::exists(path, ec);
}
#else
bool deviceExists(const std::string& path)
{
    std::error_code ec;
    return fs::exists(path, ec);
}
#endif

bool entryPresent(const fs::path& p)
{
    std::error_code ec;
    return fs::exists(fs::symlink_status(p, ec));
}

Error fsError(const std::string& what, const std::error_code& ec)
{
    return makeError(ErrorKind::OsError, what + ": " + ec.message());
}

} // namespace

PortEnv PortEnv::system()
{
    PortEnv env;
    env.getenv = [](const std::string& name) -> std::optional<std::string> {
        if (const char* v = std::getenv(name.c_str()))
            return std::string(v);
        return std::nullopt;
    };
    return env;
}

PortEnv PortEnv::withVariables(std::vector<std::pair<std::string, std::string>> vars, std::string devRoot)
{
    PortEnv env;
    env.devRoot = std::move(devRoot);
    env.getenv = [vars = std::move(vars)](const std::string& name) -> std::optional<std::string> {
        for (const auto& [k, v] : vars)
            if (k == name)
                return v;
        return std::nullopt;
    };
    return env;
}

std::string comName(int port) { return "COM" + std::to_string(port); }

std::optional<int> comNumber(const std::string& name)
{
    if (name.size() < 4 || name.size() > 3 + MaxPortDigits)
        return std::nullopt;
    for (int i = 0; i < 3; ++i)
        if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i])
            return std::nullopt;
    int n = 0;
    for (std::size_t i = 3; i < name.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i])))
            return std::nullopt;
        n = n * 10 + (name[i] - '0');
    }
    return n;
}

std::string portDir(const PortEnv& env)
{
#ifdef _WIN32
    // COM ports are the system's own names on Windows: there is no folder of them.
    (void)env;
    return {};
#endif
    auto get = [&](const char* name) -> std::optional<std::string> {
        if (!env.getenv)
            return std::nullopt;
        auto v = env.getenv(name);
        if (v && v->empty())
            return std::nullopt; // an empty variable counts as unset
        return v;
    };
    if (auto dir = get("KYR_PORT_DIR"))
        return *dir;
    if (auto config = get("XDG_CONFIG_HOME"))
        return (fs::path(*config) / "kyr" / "ports").string();
    if (auto home = get("HOME"))
        return (fs::path(*home) / ".config" / "kyr" / "ports").string();
    return {};
}

std::optional<std::string> fixedDevicePath(int port, const PortEnv& env)
{
#ifdef _WIN32
    (void)env;
    if (port >= FirstComPort && port <= LastWindowsComPort)
        return win32DevicePath(comName(port));
    return std::nullopt;
#endif
    for (const auto& r : kFixed)
        if (port >= r.first && port < r.first + r.count)
            return (fs::path(env.devRoot) / (r.stem + std::to_string(port - r.first))).string();
    return std::nullopt;
}

Result<std::string> devicePathFor(int port, const PortEnv& env, PortSource only)
{
    if (only == PortSource::Fixed) {
        if (auto fixed = fixedDevicePath(port, env))
            return *fixed;
        return makeError(ErrorKind::PortUnavailable, comName(port) + " is not a known port");
    }
    const std::string dir = portDir(env);
    if (dir.empty())
        return makeError(ErrorKind::PortUnavailable, comName(port) + ": no ports folder is set");
    const fs::path entry = fs::path(dir) / comName(port);
    std::error_code ec;
    const auto st = fs::symlink_status(entry, ec);
    if (fs::is_symlink(st)) {
        fs::path target = fs::read_symlink(entry, ec);
        if (ec)
            return fsError("cannot read " + entry.string(), ec);
        if (target.is_relative())
            target = fs::path(dir) / target;
        return target.lexically_normal().string();
    }
    if (fs::exists(st))
        return entry.string();
    return makeError(ErrorKind::PortUnavailable, comName(port) + " is not in the ports folder (" + dir + ")");
}

Result<ResolvedPort> resolvePort(int port, const PortEnv& env)
{
    auto fromDir = devicePathFor(port, env, PortSource::PortDir);
    if (fromDir)
        return ResolvedPort{fromDir.value(), PortSource::PortDir};
    // An entry that is there but cannot be read is not a reason to take
    // another device.
    if (fromDir.error().kind != ErrorKind::PortUnavailable)
        return fromDir.error();
    auto fixed = devicePathFor(port, env, PortSource::Fixed);
    if (!fixed)
        return fixed.error();
    return ResolvedPort{fixed.value(), PortSource::Fixed};
}

Result<std::string> devicePathFor(int port, const PortEnv& env)
{
    auto resolved = resolvePort(port, env);
    if (!resolved)
        return resolved.error();
    return resolved.value().path;
}

std::vector<PortEntry> listPorts(const PortEnv& env)
{
    std::map<int, PortEntry> found;
    auto consider = [&](int port) {
        if (found.count(port))
            return;
        auto resolved = resolvePort(port, env);
        if (resolved && deviceExists(resolved.value().path))
            found.emplace(port, PortEntry{port, resolved.value().path,
                                          resolved.value().source == PortSource::PortDir});
    };
    const std::string dir = portDir(env);
    std::error_code ec;
    if (!dir.empty() && fs::is_directory(dir, ec)) {
        for (const auto& e : fs::directory_iterator(dir, ec))
            if (auto n = comNumber(e.path().filename().string()))
                consider(*n);
    }
#ifdef _WIN32
    // Adapters are often given numbers above the search's range: list them all.
    for (int port = FirstComPort; port <= LastWindowsComPort; ++port)
        consider(port);
#else
    for (int port = FirstComPort; port <= LastComPort; ++port)
        consider(port);
#endif
    std::vector<PortEntry> out;
    for (auto& [n, e] : found)
        out.push_back(std::move(e));
    return out;
}

Status registerPort(int port, const std::string& device, const PortEnv& env)
{
    const std::string dir = portDir(env);
#ifdef _WIN32
    if (dir.empty())
        return makeError(ErrorKind::BadArgument, "no ports folder on Windows: COM ports are named by the system");
    const std::string pid = std::to_string(::GetCurrentProcessId());
#else
    if (dir.empty())
        return makeError(ErrorKind::BadArgument, "no ports folder: set KYR_PORT_DIR or HOME");
    const std::string pid = std::to_string(::getpid());
#endif
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec)
        return fsError("cannot create " + dir, ec);
    const fs::path entry = fs::path(dir) / comName(port);
    // Build the link beside the entry and rename it over: a reader never sees
    // the port missing while it is being replaced.
    const fs::path temp = fs::path(dir) / ("." + comName(port) + "." + pid);
    fs::remove(temp, ec);
    fs::create_symlink(device, temp, ec);
    if (ec)
        return fsError("cannot create " + temp.string(), ec);
    fs::rename(temp, entry, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(temp, ignored);
        return fsError("cannot create " + entry.string(), ec);
    }
    return okStatus();
}

Status unregisterPort(int port, const PortEnv& env)
{
    const std::string dir = portDir(env);
    if (dir.empty())
        return okStatus();
    const fs::path entry = fs::path(dir) / comName(port);
    if (!entryPresent(entry))
        return okStatus();
    std::error_code ec;
    fs::remove(entry, ec);
    if (ec)
        return fsError("cannot remove " + entry.string(), ec);
    return okStatus();
}

} // namespace kyr::link
