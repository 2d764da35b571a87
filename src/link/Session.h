#pragma once
// The program's link state as one value: flags, the unit's identity, the image
// and the enabled state of the controls that the link sequences change.

#include "link/Protocol.h"
#include "table/Codec.h"
#include "table/Result.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kyr::link {

/// The link flags of the main window.
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

/// One port the search opened.
struct PortProbe {
    int port = 0;
    std::string devicePath;
    std::optional<UnitIdentity> unit; ///< set when the unit answered with its signature
};

/// The main window's link state. The sequences take it, talk to the unit and
/// leave it as the window must show it.
struct SessionState {
    LinkFlags flags;
    UnitInfo unit;
    table::ImageBytes image{};     ///< image buffer, plus-one form
    table::SetupCopy setup{};      ///< setup copy, plus-one form
    bool imageWhole = false;       ///< setup and maps came from a whole table: Write may send them
    std::optional<table::ImageBytes> fileImage; ///< the open file's image
    int fileTypeCode = 0;          ///< unit type of the open file's identity
    int unitTypeCode = 0;          ///< unit type of the connected unit (0 before Connect)
    std::vector<int> ports;        ///< the port chooser's items ("Com" + n)
    std::string comboText;         ///< the port chooser's text
    std::map<std::string, bool> enabled; ///< controls by object name
    std::map<std::string, bool> checked; ///< check boxes by object name
    std::string panel[3];          ///< status bar: messages, identity line, type name
    std::string edit18;            ///< the unit type name on the Setup page
    int dataInterval = -1;         ///< selected item of the DataInterval group
    bool pollRunning = false;      ///< the real-time poll (Timer1)

    /// A fresh start: Connect, Read and Write disabled, Refresh enabled.
    static SessionState initial();
    /// Single edits may go to the unit only while one is connected.
    bool sendsAllowed() const { return flags.UnitConnected; }
};

/// What a sequence did, for the window to apply.
struct Outcome {
    std::vector<std::string> statuses; ///< panel 0 texts in the order they appeared
    bool setupDecoded = false;         ///< the setup copy was filled: show it on the Setup page
    bool mapsDecoded = false;          ///< the image was decoded: redraw every map
    bool mapsRedrawn = false;          ///< the charts are drawn again from the arrays (after a write)
    std::optional<Error> error;        ///< what failed, if anything
    std::vector<PortProbe> probes;     ///< the port search: every port that opened
};

/// Receives status texts as they appear (the window shows them at once).
class SequenceObserver {
public:
    virtual ~SequenceObserver() = default;
    virtual void status(const std::string& text) = 0;
};

/// The port number of the chooser's text: the 4th character, or the 4th and
/// 5th when there is a 5th ("Com7" 7, "Com12" 12); 0 when not a number.
int portFromComboText(const std::string& text);

} // namespace kyr::link
