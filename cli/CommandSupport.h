// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the commands that talk to the unit share: the status printer for
// --verbose, the one-line error, and the port a command was given.

#include "Commands.h"

namespace kyr::cli {

/// Prints the status texts of the link sequences as they appear.
class StatusPrinter final : public session::SessionObserver {
public:
    explicit StatusPrinter(std::ostream& err) : m_err(err) {}
    void status(const std::string& text) override { m_err << "  " << text << "\n"; }

private:
    std::ostream& m_err;
};

#ifdef _WIN32
inline constexpr char NoBackupFolderHint[] = "set LOCALAPPDATA or APPDATA";
#else
inline constexpr char NoBackupFolderHint[] = "set XDG_DATA_HOME or HOME";
#endif

inline int fail(Io& io, int code, const std::string& message)
{
    io.err << "kyr: " << message << "\n";
    return code;
}

/// A link for a command: the parsed port, and the status printer when verbose.
struct LinkSetup {
    StatusPrinter printer;
    std::optional<PortChoice> chosen;
    std::optional<Error> error;

    LinkSetup(Io& io, const std::string& port) : printer(io.err)
    {
        if (port.empty())
            return;
        auto p = parsePortChoice(port);
        if (p)
            chosen = p.value();
        else
            error = p.error();
    }
    session::SessionObserver* observer(const Io& io) { return io.verbose ? &printer : nullptr; }
};

} // namespace kyr::cli
