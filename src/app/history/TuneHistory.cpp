// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/history/TuneHistory.h"

#include "app/common/MessageSink.h"
#include "app/common/TuneModel.h"
#include "table/Codec.h"
#include "tools/SerialNumber.h"

#include <QSettings>

namespace kyr::app::history {

namespace {

const QString Title = QStringLiteral("History");
const QString LogFoldersKey = QStringLiteral("History/logFolders");

QString qs(const std::string& s) { return QString::fromStdString(s); }

} // namespace

TuneHistory::TuneHistory(TuneModel& model, MessageSink& messages, std::filesystem::path root,
                         DefaultLogFolder defaultLogFolder, QObject* parent)
    : QObject(parent), m_model(model), m_messages(messages), m_store(root), m_root(std::move(root)),
      m_defaultLogFolder(std::move(defaultLogFolder))
{
    // A sequence may have kept a table (a read, a write) or shown another
    // unit's tune: the history is read again. An edit changes the hash only.
    connect(&m_model, &TuneModel::stateApplied, this, [this] {
        followTune();
        reload();
    });
    connect(&m_model, &TuneModel::stateChanged, this, &TuneHistory::followTune);
    connect(&m_model, &TuneModel::mapsChanged, this, &TuneHistory::followTune);
    connect(&m_model, &TuneModel::setupChanged, this, &TuneHistory::followTune);
    followTune();
}

bool TuneHistory::shownInHistory() const { return !m_hash.empty() && m_hashes.contains(qs(m_hash)); }

// The tune shown is the setup copy and the map arrays as the charts hold
// them, edits included: the same bytes a Write or a Save would keep.
void TuneHistory::followTune()
{
    std::string serial, hash;
    if (m_model.setupShown() && m_model.mapsShown()) {
        serial = tools::serialText(m_model.state().setup);
        hash = session::tuneHash(table::encode(m_model.state().setup, m_model.maps()).plusOne);
    }
    if (serial != m_serial) {
        m_serial = std::move(serial);
        m_hash = std::move(hash);
        reload();
        return;
    }
    if (hash != m_hash) {
        m_hash = std::move(hash);
        emit shownChanged();
    }
}

void TuneHistory::setWantsLogs(bool on)
{
    if (on == m_wantsLogs)
        return;
    m_wantsLogs = on;
    if (on)
        reload();
}

void TuneHistory::reload()
{
    m_history = session::UnitHistory{};
    m_history.serial = session::serialFolder(m_serial);
    m_hashes.clear();
    if (available() && tuneShown()) {
        std::vector<std::filesystem::path> folders;
        if (m_wantsLogs)
            for (const QString& f : logFolders())
                folders.emplace_back(f.toStdString());
        Result<session::UnitHistory> read = m_store.load(m_serial, folders);
        if (read) {
            m_history = std::move(read).value();
        } else if (!m_told.contains(qs(read.error().message))) {
            m_told.insert(qs(read.error().message));
            m_messages.warning(Title, qs(read.error().message));
        }
    }
    for (const session::HistoryEntry& e : m_history.entries)
        m_hashes.insert(qs(e.hash).toLower());
    for (const std::string& notice : m_history.notices)
        if (!m_told.contains(qs(notice))) {
            m_told.insert(qs(notice));
            m_messages.information(Title, qs(notice));
        }
    emit changed();
}

bool TuneHistory::setNote(const std::string& hash, const QString& note)
{
    const Status set = m_store.setNote(m_serial, hash, note.trimmed().toStdString());
    if (!set) {
        m_messages.warning(Title, QStringLiteral("The note was not kept: %1").arg(qs(set.error().message)));
        return false;
    }
    reload();
    return true;
}

void TuneHistory::recordSaved(const files::MapFile& file, const std::filesystem::path& savedAs)
{
    const std::string serial = tools::serialText(table::setupOf(file.image));
    if (!available() || serial.empty())
        return;
    auto kept = m_store.recordSaved(file, serial, savedAs);
    if (!kept)
        m_messages.warning(QStringLiteral("Save settings"),
                           QStringLiteral("%1 was saved, but not kept in the unit's history: %2")
                               .arg(qs(savedAs.filename().string()), qs(kept.error().message)));
    reload();
}

QStringList TuneHistory::logFolders() const
{
    const QStringList set = QSettings().value(LogFoldersKey).toStringList();
    if (!set.isEmpty())
        return set;
    const QString folder = m_defaultLogFolder ? m_defaultLogFolder() : QString();
    return folder.isEmpty() ? QStringList{} : QStringList{folder};
}

void TuneHistory::setLogFolders(const QStringList& folders)
{
    QStringList kept;
    for (const QString& f : folders)
        if (!f.trimmed().isEmpty())
            kept << f.trimmed();
    QSettings settings;
    if (kept.isEmpty())
        settings.remove(LogFoldersKey);
    else
        settings.setValue(LogFoldersKey, kept);
    reload();
}

} // namespace kyr::app::history
