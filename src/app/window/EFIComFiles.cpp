// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's file handlers (Open file, Restore backup, Save settings,
// Close all) and the buttons that only show a page or a dialog.

#include "app/window/EFICom.h"
#include "app/window/RecentFiles.h"

#include "app/history/TuneHistory.h"

#include "app/maps/MapChartView.h"
#include "app/maps/TimingPage.h"
#include "app/common/Page.h"
#include "files/Cp1252.h"
#include "files/MapFile.h"
#include "session/Backups.h"
#include "tools/SerialNumber.h"

#include <QTabWidget>

#include <algorithm>
#include <filesystem>
#include <tuple>

namespace kyr::app::window {

namespace {

std::filesystem::path pathOf(const QString& name) { return std::filesystem::path(name.toStdString()); }

// The vehicle texts are one Windows-1252 byte a character in the file.
QString vehicleText(const std::string& bytes) { return QString::fromStdString(files::utf8FromCp1252(bytes)); }

Result<std::string> vehicleBytes(const QString& text, const char* caption)
{
    auto bytes = files::cp1252FromUtf8(text.toStdString());
    if (!bytes)
        return makeError(bytes.error().kind, std::string(caption) + ": " + bytes.error().message);
    return bytes;
}

} // namespace

// Open file: a file that cannot be used leaves no file open and nothing of
// it (or of an earlier file) for Connect to decode, and says why. A
// cancelled dialog changes nothing at all.
void EFICom::spOpenClick()
{
    const QString name = m_files->openFileName(QStringLiteral("Open file"), MapFileFilter);
    if (!name.isEmpty())
        openMapFile(pathOf(name));
}

void EFICom::openMapFile(const std::filesystem::path& path, std::function<void()> then)
{
    Result<files::MapFile> loaded = files::loadMapFile(path);
    if (!loaded) {
        m_link->openFileFailed();
        m_messages->warning(QStringLiteral("Open file"), QString::fromStdString(loaded.error().message));
        return;
    }
    const files::MapFile file = std::move(loaded).value();
    RecentFiles::add(QString::fromStdString(path.string()));
    m_model.setVehicle({vehicleText(file.make), vehicleText(file.model), vehicleText(file.engine)});
    const link::Ticket t = m_link->openFile(file, path);
    if (then)
        onAnswer(&link::LinkWorker::fileOpened, t, [then = std::move(then)](const session::SessionResult&) { then(); });
}

// The backups of the unit shown (or of every unit, when it has none), newest
// first; the one chosen opens as a file.
void EFICom::restoreBackupClick()
{
    if (m_backupRoot.empty()) {
        m_messages->warning(QStringLiteral("Restore backup"), QStringLiteral("No folder for backups is set."));
        return;
    }
    const session::BackupStore store(m_backupRoot);
    std::vector<session::BackupEntry> entries;
    if (m_model.setupShown())
        entries = store.list(session::serialFolder(tools::serialText(m_model.state().setup)));
    if (entries.empty()) {
        for (const std::string& serial : store.serials())
            for (auto& e : store.list(serial))
                entries.push_back(std::move(e));
        std::sort(entries.begin(), entries.end(),
                  [](const auto& a, const auto& b) { return a.taken > b.taken; });
    }
    if (entries.empty()) {
        m_messages->warning(QStringLiteral("Restore backup"),
                            QStringLiteral("There are no backups in %1 yet.")
                                .arg(QString::fromStdString(m_backupRoot.string())));
        return;
    }
    QStringList labels;
    for (const auto& e : entries)
        labels << QStringLiteral("%1   unit %2").arg(QString::fromStdString(e.taken), QString::fromStdString(e.serial));
    const int chosen = m_files->chooseBackup(QStringLiteral("Restore backup"), labels);
    if (chosen >= 0 && chosen < static_cast<int>(entries.size()))
        openMapFile(entries[chosen].path);
}

void EFICom::spSaveClick() { m_saveFrom->show(); }

// Save From KYR reads the unit's table on the link thread and refuses a short
// reply; Save From PC encodes what the program shows.
void EFICom::saveFrom(dialogs::SaveFromDialog::Source source)
{
    if (source == dialogs::SaveFromDialog::Source::Pc) {
        if (!m_model.state().imageWhole) {
            m_messages->warning(QStringLiteral("Save settings"),
                                QStringLiteral("Nothing to save: no table has been read from the KYR or opened."));
            return;
        }
        storeMapFile(table::encode(m_model.state().setup, m_model.maps()).plusOne, m_model.state().unit.identity.bytes);
        return;
    }
    onAnswer(&link::LinkWorker::readForSaveDone, m_link->readForSave(), [this](const Result<table::ImageBytes>& table) {
        // The unit's table goes with the unit's identity, whatever file is shown.
        if (table)
            storeMapFile(table.value(), m_model.state().unitIdentity.bytes);
        else
            m_messages->warning(QStringLiteral("Save settings"), QString::fromStdString(table.error().message));
    });
}

void EFICom::storeMapFile(const table::ImageBytes& image, const std::array<uint8_t, 7>& identity)
{
    files::MapFile file;
    const VehicleInfo& v = m_model.vehicle();
    for (auto [text, caption, bytes] : {std::tuple{&v.make, "Vehicle Make", &file.make},
                                        {&v.model, "Vehicle Model", &file.model},
                                        {&v.engine, "Engine Type", &file.engine}}) {
        auto b = vehicleBytes(*text, caption);
        if (!b) {
            m_messages->warning(QStringLiteral("Save settings"), QString::fromStdString(b.error().message));
            return;
        }
        *bytes = std::move(b).value();
    }
    const QString name = m_files->saveFileName(QStringLiteral("Save settings"), MapFileFilter);
    if (name.isEmpty())
        return;
    file.identity = identity;
    file.image = image;
    if (Status saved = files::saveMapFile(pathOf(name), file); !saved) {
        m_messages->warning(QStringLiteral("Save settings"), QString::fromStdString(saved.error().message));
        return;
    }
    RecentFiles::add(name);
    // A tune of a unit is kept in its history as saved.
    m_history->recordSaved(file, pathOf(name));
}

void EFICom::spCloseClick()
{
    if (m_model.state().flags.ImageChanged)
        askSetupChanged(PendingAction::CloseAll);
    else
        closeAll();
}

// Close all forgets the file (FileOpen and FileDecoded) and empties the
// vehicle fields. With a unit connected its setup and maps stay shown and
// writable, and Read from KYR brings the unit's own back; without one the
// file's identity (status panels 1 and 2, the unit type, the about box), the
// setup fields and the charts are cleared and Write stays disabled, so that
// nothing of the closed file can be written or saved afterwards.
void EFICom::closeAll()
{
    onAnswer(&link::LinkWorker::closedAll, m_link->closeAll(),
             [this](const session::SessionResult&) { m_model.setVehicle({}); });
}

// Print, from any page: the timing chart, then the charts of the page shown
// (the fuel or the correction maps), one to a sheet.
void EFICom::spPrintClick()
{
    std::vector<maps::MapChartView*> charts;
    for (Page* p : m_pages)
        if (auto* timing = qobject_cast<maps::TimingPage*>(p))
            charts.push_back(timing->timingChart());
    if (auto* page = qobject_cast<Page*>(m_pageControl->currentWidget()))
        for (maps::MapChartView* c : page->chartsToPrint())
            if (std::find(charts.begin(), charts.end(), c) == charts.end())
                charts.push_back(c);
    std::vector<PrintSheet> sheets;
    for (maps::MapChartView* c : charts)
        sheets.push_back(c->printSheet());
    m_print->print(sheets);
}

void EFICom::spSetupClick() { m_pageControl->setCurrentIndex(0); }

void EFICom::sp3DClick() { m_timing->show(); }

void EFICom::spAboutClick() { m_about->show(); }

} // namespace kyr::app::window
