// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Keeps the link to a connected unit. It notices when the link is lost (the
// device reports an error or end of file, three live records in a row do not
// come, or a table reply does not come), closes the port and keeps every
// single write made meanwhile in the journal. It then tries the same COM name
// again, and when the same unit answers it compares the unit's table with the
// program's: edits the journal explains are sent again in order; anything
// else is left for the user to decide, and nothing is overwritten meanwhile.
// Everything here runs on the thread that owns the serial component.

#include "session/EditJournal.h"
#include "session/TuneSession.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kyr::session {

/// What the use case guarded by the keeper does on the line.
enum class Activity {
    Quiet,      ///< no exchange with a connected unit (Close all, Exit, opening a file)
    Talks,      ///< exchanges with the unit (search, Connect, Save From KYR)
    TableRead,  ///< reads the whole table into the program
    TableWrite, ///< writes the whole table
};

/// How a single write went.
enum class SendOutcome {
    Sent,      ///< every byte went out
    Journaled, ///< the link is down: kept in the journal, sent when it returns
    Refused,   ///< not a single write, and the link is down: nothing was sent or kept
};

/// What a probe of the lost unit's port found.
enum class ProbeOutcome {
    NoAnswer,  ///< the port did not open, or nothing answered
    OtherUnit, ///< a unit answers that is not the one that was connected
    SameUnit,  ///< the same unit answers: rejoin it
    PowerCycleNeeded, ///< a write was cut off mid-image: nothing is sent until the unit was switched off and on
};

/// Said when a table write is cut off part-way through the image.
inline constexpr char CutWriteText[] =
    "Link lost during the table write: the KYR may be waiting for the rest of the table. Switch it off and on; "
    "nothing is sent to it until then";

/// What rejoining the unit found.
enum class RejoinOutcome {
    StillLost, ///< it stopped answering again
    OtherUnit, ///< its table carries another serial number
    Restored,  ///< the unit holds the program's tune: live again
    Replayed,  ///< the journal was sent: live again
    Diverged,  ///< its table differs beyond the journal: the user chooses which to keep
};

struct RejoinResult {
    RejoinOutcome outcome = RejoinOutcome::StillLost;
    SessionResult session;           ///< statuses, backup, error
    std::size_t sent = 0;            ///< Replayed: edits sent
    std::vector<int> differences;    ///< Diverged: offsets where the unit and the program differ
};

/// The state of a lost link: edits are journaled, the poll and every command
/// that needs the unit stop, "Link lost" is shown. Idempotent.
void markLinkLost(TuneState& s, const std::string& at);
/// The link is back: the commands return and the poll may run again.
void markLinkBack(TuneState& s);
/// "14:03:12" in local time.
std::string clockText(std::chrono::system_clock::time_point t);

/// How the live poll waits for a record.
enum class LivePace {
    Normal, ///< the fixed 20 ms pause, then what has come
    Fast,   ///< until the whole record is in, at most ReadLiveFastLimitMs
};

class LinkKeeper {
public:
    using Now = std::function<std::chrono::system_clock::time_point()>;
    static constexpr int LiveMissesAllowed = 2; ///< the third missing record in a row loses the link

    /// Journals are kept below backupRoot, beside the backups (empty: memory only).
    LinkKeeper(link::TQCCom32& efi, link::Clock& clock, TuneSession& session,
               std::filesystem::path backupRoot = {}, Now now = std::chrono::system_clock::now);

    /// Runs a use case; afterwards notices a lost link (marking the state and
    /// saying what was cut off) and follows the unit's table. While the link
    /// is lost a use case that talks to the unit is refused with LinkLost.
    SessionResult guarded(TuneState& s, Activity activity, const std::function<SessionResult(TuneState&)>& useCase);

    /// Disconnect: the port is closed on purpose. Until the next use case
    /// leaves a unit connected, a live read or a single write finds no unit
    /// (nothing sent, nothing journaled) instead of a lost link.
    SessionResult disconnect(TuneState& s);

    /// A single write: sent, or journaled while the link is down or when the
    /// send finds the device gone.
    SendOutcome send(const link::Bytes& bytes);
    /// ReadLive with its pause; no traffic while the link is down. The fast
    /// pace takes the record as soon as it is whole instead of after the
    /// fixed pause, with a limit for a record that does not come.
    link::Bytes readLive(LivePace pace = LivePace::Normal);

    /// Opens the lost unit's port, resolving its name afresh, and asks who
    /// answers. Closes the port again unless the same unit answers.
    ProbeOutcome probe(TuneState& s);
    /// After a SameUnit probe: reads the unit's table and compares it with
    /// the program's tune (mine, encoded at this moment).
    RejoinResult rejoin(TuneState& s, const table::EncodedImage& mine);
    /// The user has switched the unit off and on after a write cut off
    /// mid-image: the same unit must answer its identity, then the whole
    /// table is written and read back. Until this is asked for, nothing at
    /// all is sent (probe() answers PowerCycleNeeded).
    SessionResult writeAfterPowerCycle(TuneState& s, const table::EncodedImage& mine);
    bool awaitingPowerCycle() const { return m_powerCycle; }
    /// The user chose the unit's table: it is read and shown; the journal is
    /// dropped. (Choosing the program's tune is a table write, guarded: the
    /// journal goes once the unit holds the tune.)
    SessionResult keepUnitTable(TuneState& s);
    /// Sends the edits an earlier run could not send and puts them into the
    /// program's tune; false-y result with the journal kept when the link fails.
    SessionResult sendLeftovers(TuneState& s);
    /// Drops the edits an earlier run could not send.
    Status dropLeftovers(TuneState& s);

    bool lost() const { return m_lost; }
    const std::string& lostAt() const { return m_lostAt; }
    const EditJournal& journal() const { return m_journal; }
    /// Why the journal's file could not be written, if it could not.
    const std::optional<Error>& journalError() const { return m_journalError; }

private:
    void lose(TuneState* s);
    bool deviceGone(int disconnectsBefore) const;
    void followUnitTable(TuneState& s, SessionResult& r);
    void journalStatus(const Status& st);
    bool replay(TuneState& s, RejoinResult& out);

    link::TQCCom32& m_efi;
    link::Clock& m_clock;
    TuneSession& m_session;
    std::filesystem::path m_backupRoot;
    Now m_now;

    bool m_lost = false;
    bool m_disconnected = false; ///< closed by Disconnect, not lost
    bool m_powerCycle = false;   ///< a write cut off mid-image: nothing is sent until the user says so
    std::string m_lostAt;
    int m_liveMisses = 0;
    EditJournal m_journal;
    std::optional<Error> m_journalError;
    std::string m_serial;                        ///< the connected unit's serial text
    std::optional<table::ImageBytes> m_unitHolds;///< the unit's table as far as the program knows (plus-one)
};

} // namespace kyr::session
