// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The history of the unit whose tune the window shows (by the serial number
// in the tune), read from the backup folder on the window thread. It follows
// the model: a read, write or file opened reads the unit's history again, an
// edit only hashes the tune shown anew. The History panel and the status
// bar's hash both show it; notes and saved files go through it to the core.

#include "app/common/FileChooser.h"
#include "session/History.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace kyr::app {
class MessageSink;
class TuneModel;
}

namespace kyr::app::history {

class TuneHistory : public QObject {
    Q_OBJECT
public:
    /// Where logs are looked for when no folder is set: empty for nowhere.
    using DefaultLogFolder = std::function<QString()>;

    /// The history kept below root (the link's backup folder; none when
    /// empty). Logs are looked for in the Data Logger's folder unless set.
    TuneHistory(TuneModel& model, MessageSink& messages, std::filesystem::path root,
                DefaultLogFolder defaultLogFolder = dataLoggerFolder, QObject* parent = nullptr);

    /// A folder for backups is set.
    bool available() const { return !m_root.empty(); }
    /// The serial number of the tune shown, as typed in it; empty when no tune is shown.
    const std::string& serial() const { return m_serial; }
    /// Whether a tune is shown (and so has a serial number and a hash).
    bool tuneShown() const { return !m_hash.empty(); }
    /// The table hash of the tune shown; empty when none is shown.
    const std::string& shownHash() const { return m_hash; }
    /// The history holds the tune shown.
    bool shownInHistory() const;
    /// The unit's history as last read.
    const session::UnitHistory& unitHistory() const { return m_history; }

    /// While true, reading the history also looks for the logs recorded on
    /// it (the History panel is open); off, it skips the log folders.
    void setWantsLogs(bool on);
    /// Reads the unit's history again; what the core asks to tell the tuner
    /// (a damaged index rebuilt) is shown once.
    void reload();

    /// Sets (empty: removes) the note of a table; a note that cannot be kept
    /// is said in a message box and false returned.
    bool setNote(const std::string& hash, const QString& note);
    /// A map file the tuner saved (savedAs): kept in the history of the unit
    /// it holds a table of. A file of no unit is not kept; one that cannot be
    /// kept is said, the file itself stays saved.
    void recordSaved(const files::MapFile& file, const std::filesystem::path& savedAs);

    /// The folders looked in for logs: as set, else the default one.
    QStringList logFolders() const;
    /// Sets them (remembered); an empty list goes back to the default.
    void setLogFolders(const QStringList& folders);

signals:
    /// The unit's history was read again (whether it holds the tune shown too).
    void changed();
    /// The tune shown, or whether the history holds it, changed.
    void shownChanged();

private:
    void followTune();

    TuneModel& m_model;
    MessageSink& m_messages;
    session::History m_store;
    std::filesystem::path m_root;
    DefaultLogFolder m_defaultLogFolder;
    session::UnitHistory m_history;
    QSet<QString> m_hashes; // the tables of the unit's history, lower case
    QSet<QString> m_told;   // notices already shown
    std::string m_serial;
    std::string m_hash;
    bool m_wantsLogs = false;
};

} // namespace kyr::app::history
