#pragma once
// The link sequences: the port search, Refresh Com Port, Connect, the table
// read and write, opening a file, Close all and Save From KYR. Each keeps the
// order of bytes, pauses and status texts and leaves the SessionState as the
// window must show it.

#include "files/MapFile.h"
#include "link/Session.h"
#include "link/TQCCom32.h"

namespace kyr::link {

class LinkSequences {
public:
    /// Runs on the given serial component; pauses on the clock.
    explicit LinkSequences(TQCCom32& efi, Clock& clock = systemClock());

    /// Status texts go to this observer as well as into the outcome.
    void setObserver(SequenceObserver* observer) { m_observer = observer; }

    /// The search when the window is first shown: ports 1..20, 100 ms each;
    /// the last unit found wins.
    Outcome portSearch(SessionState& s);
    /// Refresh Com Port: the same with 200 ms; the first unit found wins.
    Outcome refreshComPort(SessionState& s);
    /// The port chooser changed: close, take the new number, open.
    Outcome selectPort(SessionState& s, const std::string& comboText);
    /// Connect, for each path: no file, a file open, a file already decoded.
    /// Ends with the table read when a unit is connected.
    Outcome connect(SessionState& s);
    /// Read from KYR: the whole table (or, with a file open, the file's image).
    /// A short reply changes nothing and is reported.
    Outcome tableRead(SessionState& s);
    /// Write to KYR: sends the encoded image; only a whole image is sent.
    Outcome tableWrite(SessionState& s, const table::EncodedImage& image);
    /// Opens a parsed map file: no traffic on the port; runs Connect and the table read.
    Outcome openFile(SessionState& s, const files::MapFile& file);
    /// A map file could not be used: the image buffer holds "0" and no file is open.
    void openFileFailed(SessionState& s);
    /// Close all: forgets the file (FileOpen and FileDecoded).
    Outcome closeAll(SessionState& s);
    /// Save From KYR: the unit's table as a map file image (plus-one, byte 481 is 0).
    /// A short reply is refused.
    Result<table::ImageBytes> readForSave(SessionState& s);
    /// Exit: closes the port.
    void exit(SessionState& s);

private:
    void say(Outcome& o, SessionState& s, const std::string& text);
    Outcome search(SessionState& s, int pauseMs, bool lastWins);
    UnitIdentity askIdentity(int pauseMs);
    void decodeIdentity(SessionState& s, const UnitIdentity& id, bool withTypeName);
    bool identifyAndReadSetup(SessionState& s, Outcome& o);
    void readyUnit(SessionState& s, Outcome& o);
    bool readSetup(SessionState& s, Outcome& o);
    void decodeSetup(SessionState& s, Outcome& o);
    void joinUnit(SessionState& s, Outcome& o);

    TQCCom32& m_efi;
    Clock& m_clock;
    SequenceObserver* m_observer = nullptr;
};

/// "Incomplete read from KYR: 312 of 481 bytes".
std::string incompleteReadText(std::size_t got, std::size_t expected);

} // namespace kyr::link
