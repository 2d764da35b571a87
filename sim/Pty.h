// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The simulated unit's end of the line: a pseudo-terminal, and its entry
// "COMn" in the ports folder that the program resolves port numbers through.

#include "table/Result.h"

#include <filesystem>
#include <optional>
#include <string>

namespace kyr::sim {

/// A pseudo-terminal pair. The slave is set raw before anyone can open it, and
/// stays open here as well: without that, the master reads EIO as soon as a
/// client closes its end.
class Pty {
public:
    /// Opens a new pair; the master is non-blocking.
    static Result<Pty> open();

    Pty() = default;
    Pty(Pty&& other) noexcept;
    Pty& operator=(Pty&& other) noexcept;
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;
    ~Pty();

    bool isOpen() const { return m_master >= 0; }
    int master() const { return m_master; }
    const std::string& slavePath() const { return m_slavePath; }
    /// Bytes written to the master that the client has not read yet.
    int unread() const;
    /// Closes both ends; a client then sees the line hang up, and bytes it
    /// has not read are lost.
    void close();

private:
    int m_master = -1;
    int m_slave = -1;
    std::string m_slavePath;
};

/// The ports folder: $KYR_PORT_DIR if set, else ${XDG_CONFIG_HOME:-$HOME/.config}/kyr/ports.
std::filesystem::path defaultPortDir();

/// "COMn" in the ports folder as a symbolic link to a device. Removed again on
/// destruction, unless someone else has put their own link there meanwhile.
class PortEntry {
public:
    /// Creates the folder if needed and the link; an entry left behind by a
    /// simulator that did not end cleanly is replaced.
    static Result<PortEntry> create(const std::filesystem::path& dir, int port, const std::string& device);

    PortEntry() = default;
    PortEntry(PortEntry&& other) noexcept;
    PortEntry& operator=(PortEntry&& other) noexcept;
    PortEntry(const PortEntry&) = delete;
    PortEntry& operator=(const PortEntry&) = delete;
    ~PortEntry();

    const std::filesystem::path& path() const { return m_path; }
    /// Removes the link if it still points at this entry's device.
    void remove();

private:
    std::filesystem::path m_path;
    std::string m_device;
};

/// The entry name of a port number: "COM" + n.
std::string portName(int port);

} // namespace kyr::sim
