// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The tool's way to the unit: the port it was given (or the one the search
// finds), the serial component on it and the program's link sequences over
// them. Every exchange keeps the bytes and pauses of the program.

#include "files/MapFile.h"
#include "link/TQCCom32.h"
#include "session/Backups.h"
#include "session/LinkKeeper.h"
#include "session/TuneSession.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kyr::cli {

/// A --port value: a COM number or a device path.
using PortChoice = session::PortAddress;

#ifdef _WIN32
constexpr int MaxComNumber = 256; ///< Windows numbers COM ports up to COM256
#else
constexpr int MaxComNumber = 99; ///< the numbers a ports folder names
#endif

/// "COM3" (any case, 1..MaxComNumber) or a device path (anything holding a
/// "/"); BadArgument otherwise.
Result<PortChoice> parsePortChoice(const std::string& text);

/// What varies between the tool and its tests; the defaults are the real ones.
struct LinkEnv {
    link::DeviceFactory factory = link::systemDeviceFactory();
    link::Clock* clock = &link::systemClock();
    link::PortEnv ports = link::PortEnv::system();
    std::filesystem::path backupRoot = session::defaultBackupRoot(); ///< empty: no backups
    bool quickConnect = false; ///< Connect takes each reply once whole, not after the unit's pauses
};

/// The bytes a read-back differs in.
struct VerifyResult {
    std::vector<int> offsets; ///< table offsets that differ (empty: the unit holds the image)
};

/// One port the survey saw.
struct PortReport {
    int port = 0;
    std::string device;
    std::optional<link::UnitIdentity> unit; ///< the unit that answered with its signature
    std::string problem; ///< why it was not searched (it did not open, or lies outside COM1..COM20)
};

/// What `kyr ports` reports: every port the search opened, and every other
/// port whose device exists.
struct Survey {
    std::vector<PortReport> ports; ///< in port order
    int found = 0;                 ///< the port the search chose (the last unit found), 0 for none
};

/// What a probe of the port found once the link was lost.
struct ProbeResult {
    session::ProbeOutcome outcome = session::ProbeOutcome::NoAnswer;
    std::string other; ///< OtherUnit: "another KYR answers on COM3 (serial ...; the lost one was ...)"
};

class UnitLink {
public:
    /// Without a port the unit is searched for on COM1..COM20. The observer, if
    /// any, sees the status texts of the sequences as they appear.
    UnitLink(const LinkEnv& env, std::optional<PortChoice> port, session::SessionObserver* observer = nullptr);
    ~UnitLink();

    /// The port search, with a reason for each existing port it could not search.
    Survey survey();
    /// Opens the given port (it must open) or searches for a unit.
    Status choosePort();
    /// Connect: identity, setup area, then the whole table into the image.
    Status connect();
    /// Opens a map file (no traffic), then joins the unit on the chosen port.
    Status joinWithFile(const files::MapFile& file);
    /// Writes the image with WriteTable, reads the table back and compares offsets 0..480.
    Result<VerifyResult> writeAndVerify();
    // connect, joinWithFile and writeAndVerify fail with LinkLost when a unit
    // that had answered went away: its device was disconnected or stopped
    // opening, or a reply it owed did not come at all.

    /// After a lost link: opens the same port again (a COM name is resolved
    /// afresh) and asks who answers, by identity and by the serial number in
    /// the setup area. The port stays open only for the same unit.
    ProbeResult probe();
    /// The backup of the last table read from the unit, if one was written.
    const std::optional<std::filesystem::path>& lastBackup() const { return m_lastBackup; }
    /// Why the last backup was not written.
    const std::optional<Error>& backupError() const { return m_backupError; }

    /// The port in use: "COM3" or the device path.
    std::string where() const;
    /// The device path of the port in use ("" when none is open).
    std::string device() const;

    session::TuneState& state() { return m_state; }
    link::TQCCom32& efi() { return *m_efi; }
    link::Clock& clock() { return *m_env.clock; }

private:
    Error linkError(const Error& fallback) const;
    Error lostOr(const Error& e, const session::SessionResult& r, int disconnectsBefore) const;
    ProbeResult whoAnswers();
    void noteBackup(const session::SessionResult& r);

    LinkEnv m_env;
    std::optional<PortChoice> m_spec;
    std::unique_ptr<link::TQCCom32> m_efi;
    std::optional<session::BackupStore> m_backups;
    std::unique_ptr<session::TuneSession> m_session;
    session::TuneState m_state = session::TuneState::initial();
    std::optional<std::filesystem::path> m_lastBackup;
    std::optional<Error> m_backupError;
    std::optional<table::SetupCopy> m_unitSetup; ///< the unit's setup area as last read (plus-one)
    std::optional<table::SetupCopy> m_sentSetup; ///< a write's setup area, once its image may have gone out
    bool m_writing = false; ///< a table write was begun: a unit must prove its serial number to be written again
};

} // namespace kyr::cli
