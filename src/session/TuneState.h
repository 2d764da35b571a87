// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The tune the program works on, and what the link knows of the unit: the
// flags, the identity, the image and setup copy, the chosen port, and which
// commands are possible now. Plain values: the window shows them, the tool
// prints them, and neither has to know how the other names its controls.

#include "link/Protocol.h"
#include "table/Codec.h"
#include "table/Result.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace kyr::session {

using link::UnitIdentity;

/// The link flags.
struct LinkFlags {
    bool UnitConnected = false; ///< the unit passed the identity check on Connect
    bool FileOpen = false;      ///< a *.kyr file is the source of the image
    bool FileDecoded = false;   ///< a file image has been decoded by the table read
    bool EditsLive = false;     ///< editors send commands and change the image
    bool ImageChanged = false;  ///< the image differs from the unit
    bool operator==(const LinkFlags&) const = default;
};

/// What the program knows of the unit (or of the file) it works with.
struct UnitInfo {
    UnitIdentity identity = UnitIdentity::filled();
    std::string modelText;   ///< byte 0 in decimal
    std::string versionText; ///< byte 1 "." byte 2
    int typeCode = 0;
    std::string typeName;
    bool timing = false;     ///< has the timing and vacuum timing maps
    bool fuel = false;       ///< has the fuel and correction maps
};

/// A port by value: a COM number, or a device path that is opened as it stands.
struct PortAddress {
    int com = 0;        ///< COMn; 0 with a device path or none
    std::string device; ///< absolute device path; empty for COMn

    static PortAddress comPort(int n) { return PortAddress{n, {}}; }
    static PortAddress devicePath(std::string path) { return PortAddress{0, std::move(path)}; }
    bool empty() const { return com <= 0 && device.empty(); }
    /// "Com3" as the port chooser lists it, or the device path.
    std::string chooserText() const;
    /// "COM3", or the device path.
    std::string label() const;
    bool operator==(const PortAddress&) const = default;
};

/// The port chooser's text as a port: the 4th character, or the 4th and 5th
/// when there is a 5th ("Com7" 7, "Com12" 12), and a 6th when it is a digit
/// ("Com123" 123, as Windows numbers ports up to COM256); an empty address
/// when not a number.
PortAddress portFromChooserText(const std::string& text);

/// One port the search opened.
struct PortProbe {
    int port = 0;
    std::string devicePath;
    std::optional<UnitIdentity> unit; ///< set when the unit answered with its signature
};

/// A port the search could not ask because another program holds it.
struct BusyPort {
    int port = 0;
    Error error; ///< "/dev/ttyUSB0 is in use by another program"
};

/// Which commands the user may give now. Never stored: TuneState::commands()
/// derives them from the state, so each rule is written once.
struct Commands {
    bool connect = false;
    bool readTable = false;
    bool writeTable = false;
    bool refreshPorts = true;
    bool choosePort = true;
    bool disconnect = false;        ///< a unit is connected and its link is up
    bool calibrateThrottle = false; ///< the throttle position sensor is fitted
    bool calibrateWater = false;    ///< the water temperature sensor is fitted
    bool calibrateAir = false;      ///< the air temperature sensor is fitted
    bool calibrateMap = false;      ///< the map sensor is fitted
    bool analogSignals = false;     ///< the real-time poll may be switched
    bool realtimeTracking = false;  ///< chart tracking may be switched
    bool operator==(const Commands&) const = default;
};

/// The live switches' on/off state.
struct LiveSwitches {
    bool analogSignals = false;    ///< the real-time poll is wanted
    bool realtimeTracking = false; ///< the charts follow the engine
    bool fastPoll = false;         ///< the poll asks again as soon as a record is in
    bool operator==(const LiveSwitches&) const = default;
};

/// The link to a connected unit: lost, coming back, or waiting for the
/// user's choice of table.
struct LinkState {
    bool lost = false;          ///< the connected unit's link is down: edits go to the journal
    std::string lostAt;         ///< when it went down, "14:03:12" local time
    bool writeCut = false;      ///< a table write was cut off: the unit may hold a partial table
    bool powerCycle = false;    ///< cut off mid-image: nothing is sent until the user has switched the unit off and on
    bool choosing = false;      ///< back, but the unit's table differs from the program's: the user chooses
    std::size_t journaled = 0;  ///< edits waiting to be sent
    bool operator==(const LinkState&) const = default;
};

/// The three texts of the status line.
struct StatusLines {
    std::string message;  ///< the last status message
    std::string unitLine; ///< "KYR 3 v5.7 :: AB 12 34 56"
    std::string typeName; ///< the unit type
};

/// The program's tune and link state. The session's use cases take it, talk
/// to the unit and leave it as the user must see it.
struct TuneState {
    LinkFlags flags;
    LinkState link;
    UnitInfo unit;
    table::ImageBytes image{};     ///< image buffer, plus-one form
    table::SetupCopy setup{};      ///< setup copy, plus-one form
    bool imageWhole = false;       ///< setup and maps came from a whole table: Write may send them
    std::optional<table::ImageBytes> fileImage; ///< the open file's image
    std::filesystem::path filePath;///< the open file (empty when none)
    int fileTypeCode = 0;          ///< unit type of the open file's identity
    int unitTypeCode = 0;          ///< unit type of the connected unit (0 before Connect)
    UnitIdentity unitIdentity = UnitIdentity::filled(); ///< the connected unit's own (an open file shows its own)
    std::optional<table::ImageBytes> unitImage; ///< the unit's table as last read or written (plus-one)
    std::vector<int> ports;        ///< ports that opened in the last search
    PortAddress port;              ///< the chosen port
    bool unitFoundBySearch = false;///< the last search found a unit: Refresh rests until it is let go
    bool readOffered = false;      ///< Close all left a connected unit's table to read back over the tune shown
    LiveSwitches live;
    StatusLines status;
    std::string unitTypeText;      ///< the unit type as the Setup page shows it
    int dataInterval = -1;         ///< selected sampling interval item
    bool pollRunning = false;      ///< the real-time poll runs

    /// A fresh start: Connect, Read and Write disabled, Refresh enabled.
    static TuneState initial();
    /// Single edits may go to the unit only while one is connected.
    bool sendsAllowed() const { return flags.UnitConnected; }
    /// A unit is connected, its link is up and its tune takes edits.
    bool unitLive() const { return flags.UnitConnected && flags.EditsLive && !link.lost && !link.choosing; }
    /// What the user may do now: the one place the enable rules live.
    Commands commands() const;
};

/// What a use case did.
struct SessionResult {
    std::vector<std::string> statuses; ///< status texts in the order they appeared
    bool identityChanged = false;      ///< the unit's identity was taken
    bool setupDecoded = false;         ///< the setup copy was filled: show it on the Setup page
    bool mapsDecoded = false;          ///< the image was decoded: redraw every map
    bool mapsRedrawn = false;          ///< the charts are drawn again from the arrays (after a write)
    bool tuneCleared = false;          ///< Close all without a unit: the setup and maps shown are forgotten
    std::optional<Error> error;        ///< what failed, if anything
    std::vector<PortProbe> probes;     ///< the port search: every port that opened
    std::vector<BusyPort> busyPorts;   ///< the port search: ports another program holds
    std::vector<int> mismatched;       ///< a verified write: offsets the unit holds differently
    std::optional<std::filesystem::path> backup; ///< the backup of a table read from the unit
    std::optional<Error> backupError;  ///< why that backup was not written
    std::optional<std::filesystem::path> written; ///< a verified write: the table as kept in the unit's history
    bool replyMissing = false;         ///< a table reply the unit owed did not come at all
    bool imageCut = false;             ///< a table write's F3 went out but not its whole image
    bool tableFromUnit = false;        ///< unitImage was read from the unit by this use case
    std::optional<table::ImageBytes> unitTable; ///< the whole table read from the unit (a write: what it held before)
    std::size_t unsentEdits = 0;       ///< edits an earlier run of the program could not send
};

/// Receives status texts as they appear (the window shows them at once).
class SessionObserver {
public:
    virtual ~SessionObserver() = default;
    virtual void status(const std::string& text) = 0;
};

} // namespace kyr::session
