// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The use cases between the link and its users: the port search, Refresh,
// the port choice, Connect, the table read and write, opening a file, Close
// all, Save From KYR and Exit. Each keeps the order of bytes, pauses and
// status texts, leaves the TuneState as the user must see it, and says what
// it did in a SessionResult.

#include "files/MapFile.h"
#include "link/TQCCom32.h"
#include "session/TuneState.h"

namespace kyr::session {

class BackupStore;

/// The waits of the exchanges with the unit beyond its fixed pauses. The
/// defaults are documented in docs/protocol.md.
/// How Connect waits for the unit's replies.
enum class ConnectPace {
    UnitPauses, ///< the unit's fixed pauses, which a unit may rely on (the default)
    Quick,      ///< each reply taken as soon as it is whole, the next command at once
};

struct LinkTiming {
    link::ReplyTiming reply;  ///< how a reply still arriving is waited for
    int writeSettleMs = 250;  ///< after the last image byte, before the read-back: the unit stores the table
    int readBackTries = 4;    ///< read-backs asked for before a write is "not verified yet"
    int readBackGapMs = 500;  ///< between two read-backs
};

class TuneSession {
public:
    /// Runs on the given serial component and pauses on the clock. Whole
    /// tables read from a unit are kept in the backup store, if there is one.
    explicit TuneSession(link::TQCCom32& efi, link::Clock& clock = link::systemClock(),
                         BackupStore* backups = nullptr, LinkTiming timing = {});

    const LinkTiming& timing() const { return m_timing; }

    /// Status texts go to this observer as well as into the result.
    void setObserver(SessionObserver* observer) { m_observer = observer; }

    /// The search when the window is first shown: ports 1..20, 100 ms each;
    /// the last unit found wins.
    SessionResult portSearch(TuneState& s);
    /// Refresh Com Port: the same with 200 ms; the first unit found wins.
    SessionResult refreshComPort(TuneState& s);
    /// Another port was chosen: close, take the new port, open.
    SessionResult selectPort(TuneState& s, const PortAddress& port);
    /// Connect, for each path: no file, a file open, a file already decoded.
    /// Ends with the table read when a unit is connected.
    SessionResult connect(TuneState& s, ConnectPace pace = ConnectPace::UnitPauses);
    /// Read from KYR: the whole table (or, with a file open, the file's image).
    /// A short reply changes nothing and is reported.
    SessionResult tableRead(TuneState& s);
    /// Write to KYR: keeps a backup of what the unit held, sends the encoded
    /// image and, after the unit's settling time, reads it back (asking again
    /// while no reply comes). Success only when the unit holds every byte, the
    /// trailer included. An image that did not go out whole sets imageCut.
    /// The table read back is kept in the unit's history as written.
    SessionResult tableWrite(TuneState& s, const table::EncodedImage& image);
    /// Opens a parsed map file: no traffic on the port; runs Connect and the table read.
    SessionResult openFile(TuneState& s, const files::MapFile& file, const std::filesystem::path& path = {});
    /// A map file could not be used: no file is open, and nothing of it or of
    /// an earlier file is left for Connect to decode.
    void openFileFailed(TuneState& s);
    /// Close all: forgets the file (FileOpen and FileDecoded).
    SessionResult closeAll(TuneState& s);
    /// Save From KYR: the unit's table as a map file image (plus-one, byte 481 is 0).
    /// A short reply is refused.
    Result<table::ImageBytes> readForSave(TuneState& s);
    /// The unit's whole table, straight from the unit whatever file is open;
    /// backed up like every read. The state is not changed. A reply that is
    /// not exactly one whole table is refused (ShortReply, GarbledReply), and
    /// so is one whose setup area differs from expectSetup.
    Result<table::ImageBytes> readUnitTable(TuneState& s, SessionResult& r,
                                            const table::SetupCopy* expectSetup = nullptr);
    /// Who answers on the open port: the identity, refused unless it is whole.
    Result<UnitIdentity> askIdentityWhole(int pauseMs);
    /// Disconnect: closes the port and leaves the tune shown. A tune read
    /// from the unit stays in view but takes no edits until the next Connect,
    /// which reads the unit again; an open file stays editable.
    SessionResult disconnect(TuneState& s);
    /// Exit: closes the port.
    void exit(TuneState& s);

    /// Shows a status text: in the result, the state and to the observer.
    void say(SessionResult& r, TuneState& s, const std::string& text);
    /// Points the serial component at a port (not opened).
    void usePort(const PortAddress& port);

private:
    SessionResult connectUnit(TuneState& s);
    SessionResult search(TuneState& s, int pauseMs, bool lastWins);
    UnitIdentity askIdentity(int pauseMs);
    void decodeIdentity(TuneState& s, const UnitIdentity& id, bool withTypeName);
    bool identifyAndReadSetup(TuneState& s, SessionResult& r);
    void dropUnit(TuneState& s);
    void takeNoEdits(TuneState& s);
    void readyUnit(TuneState& s, SessionResult& r);
    bool readSetup(TuneState& s, SessionResult& r);
    void decodeSetup(TuneState& s, SessionResult& r);
    void joinUnit(TuneState& s, SessionResult& r);
    void tableShown(TuneState& s, SessionResult& r);
    void backUp(TuneState& s, const table::ImageBytes& image, SessionResult& r);
    void recordWritten(TuneState& s, SessionResult& r);
    void backupFailed(TuneState& s, SessionResult& r, const Error& why);
    bool verifyWrite(TuneState& s, const table::EncodedImage& image, SessionResult& r);
    link::Reply readBack();

    link::TQCCom32& m_efi;
    link::Clock& m_clock;
    BackupStore* m_backups;
    LinkTiming m_timing;
    SessionObserver* m_observer = nullptr;
    std::optional<table::SetupCopy> m_setupRead; ///< Connect's setup read, for the table read to agree with
};

/// "Incomplete read from KYR: 312 of 481 bytes".
std::string incompleteReadText(std::size_t got, std::size_t expected);
/// A whole table reply as the image buffer keeps it: "0" fill, then the
/// bytes of offsets 0 to 480. Nothing when a zero byte ends the data early.
std::optional<table::ImageBytes> keptTableOf(const link::Bytes& reply, std::size_t& got);
/// The text for a table reply that is not whole: incomplete or garbled.
std::string tableReplyText(const link::Reply& reply, std::size_t expected);
/// A table read from the unit as a map file keeps it, wherever it is saved
/// (Save From KYR, kyr read, a backup): byte 481 is the copy's terminating 0.
table::ImageBytes savedFromUnit(table::ImageBytes unitTable);

} // namespace kyr::session
