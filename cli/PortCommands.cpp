// SPDX-License-Identifier: GPL-3.0-or-later
// The commands that set up the serial ports: `kyr ports --link` and `kyr doctor`.

#include "Commands.h"

#include "CommandSupport.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace kyr::cli {

namespace {

constexpr const char* ByIdFolder = "/dev/serial/by-id/";

} // namespace

int runLinkPort(const std::string& name, const std::string& device, Io& io, const link::PortEnv& env)
{
    const auto port = link::comNumber(name); // a name that --port and the port chooser can take
    if (!port || *port < link::FirstComPort || *port > MaxComNumber)
        return fail(io, ExitUsage, "\"" + name + "\" is not a port name: use COM1 to COM" +
                                       std::to_string(MaxComNumber));
    std::error_code ec;
    if (device.empty() || !fs::exists(device, ec))
        return fail(io, ExitUsage, "\"" + device + "\" does not exist: plug the adapter in and give its name in " +
                                       ByIdFolder);
    // The folder's links are read from the folder: a relative name would lead elsewhere.
    const std::string target = fs::absolute(device, ec).lexically_normal().string();
    const std::string comName = link::comName(*port);
    if (auto old = link::devicePathFor(*port, env, link::PortSource::PortDir); old && old.value() != target)
        io.out << "Replacing " << comName << ", which named " << old.value() << "\n";
    if (Status s = link::registerPort(*port, target, env); !s)
        return fail(io, ExitUsage, s.error().message);
    const std::string now = fs::canonical(target, ec).string();
    io.out << comName << " -> " << target << (ec || now == target ? "" : " (now " + now + ")") << " in "
           << link::portDir(env) << "\n";
    if (target.rfind(ByIdFolder, 0) != 0)
        io.out << "Note: " << target << " is not a name in " << ByIdFolder
               << ": a ttyUSB or ttyACM number may change with the plugging order\n";
    return ExitOk;
}

int runDoctor(Io& io, const tools::PortDoctor& doctor)
{
    const tools::DoctorReport report = doctor.run();
    io.out << tools::reportText(report);
    return report.usable ? ExitOk : ExitUnit;
}

} // namespace kyr::cli
