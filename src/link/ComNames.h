// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// From "COMn" to a device path. A ports folder can name the device of any
// COMn with a symlink (this is how the simulator makes itself a port);
// otherwise COM1..COM20 map onto the usual Linux serial devices.

#include "table/Result.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kyr::link {

constexpr int FirstComPort = 1;
constexpr int LastComPort = 20;

/// Where port names are looked up: the environment and the device folder.
struct PortEnv {
    /// Value of an environment variable, or nullopt when unset.
    std::function<std::optional<std::string>(const std::string& name)> getenv;
    /// Folder of the fixed devices (ttyS0, ttyUSB0, ttyACM0).
    std::string devRoot = "/dev";

    /// The process environment and /dev.
    static PortEnv system();
    /// A fixed set of variables (for tests and tools).
    static PortEnv withVariables(std::vector<std::pair<std::string, std::string>> vars,
                                 std::string devRoot = "/dev");
};

/// "COM" + n in decimal.
std::string comName(int port);
/// The number of a "COMn" name (case-insensitive), or nullopt.
std::optional<int> comNumber(const std::string& name);

/// The ports folder: $KYR_PORT_DIR, else ${XDG_CONFIG_HOME:-$HOME/.config}/kyr/ports;
/// empty when none of these is set.
std::string portDir(const PortEnv& env);

/// The fixed device of a port: COM1..4 -> ttyS0..3, COM5..12 -> ttyUSB0..7,
/// COM13..20 -> ttyACM0..7; nullopt outside 1..20.
std::optional<std::string> fixedDevicePath(int port, const PortEnv& env);

/// Where the device path of a port came from.
enum class PortSource {
    PortDir, ///< the entry COMn of the ports folder
    Fixed,   ///< the fixed mapping onto ttyS, ttyUSB and ttyACM
};

/// A port's device path and where it came from.
struct ResolvedPort {
    std::string path;
    PortSource source;
};

/// The device path of a port: the target of the ports folder entry COMn if
/// there is one (relative targets are taken from the folder), else the fixed
/// device. PortUnavailable for a number with neither.
Result<ResolvedPort> resolvePort(int port, const PortEnv& env);
/// resolvePort's path alone.
Result<std::string> devicePathFor(int port, const PortEnv& env);
/// The device path through one source only: a port without an entry in the
/// ports folder (or without a fixed device) is PortUnavailable, never the
/// other source's device.
Result<std::string> devicePathFor(int port, const PortEnv& env, PortSource only);

/// A port whose device exists.
struct PortEntry {
    int port;
    std::string device;
    bool fromPortDir; ///< named by the ports folder
};

/// The ports whose device exists now: every COMn of the ports folder and the
/// fixed ports 1..20, in port order.
std::vector<PortEntry> listPorts(const PortEnv& env);

/// Makes COMn in the ports folder a symlink to device, replacing an old entry.
Status registerPort(int port, const std::string& device, const PortEnv& env);
/// Removes COMn from the ports folder if it is there.
Status unregisterPort(int port, const PortEnv& env);

} // namespace kyr::link
