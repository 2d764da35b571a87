// The main window's file handlers (Open file, Save settings, Close all) and
// the buttons that only show a page or a dialog.

#include "app/EFICom.h"

#include "app/Page.h"
#include "files/MapFile.h"

#include <QTabWidget>

#include <filesystem>

namespace kyr::app {

namespace {

std::filesystem::path pathOf(const QString& name) { return std::filesystem::path(name.toStdString()); }

} // namespace

// Open file: a file that cannot be used changes nothing but the image buffer
// (filled with "0") and the file flag, and says why. A cancelled dialog
// changes nothing at all.
void EFICom::spOpenClick()
{
    const QString name = m_files->openFileName(QStringLiteral("Open file"), MapFileFilter);
    if (name.isEmpty())
        return;
    Result<files::MapFile> loaded = files::loadMapFile(pathOf(name));
    if (!loaded) {
        m_link->postSequence([](LinkContext& c, LinkReply& r) { c.sequences.openFileFailed(r.state); });
        m_messages->warning(QStringLiteral("Open file"), QString::fromStdString(loaded.error().message));
        return;
    }
    const files::MapFile file = std::move(loaded).value();
    const VehicleInfo vehicle{QString::fromStdString(file.make), QString::fromStdString(file.model),
                              QString::fromStdString(file.engine)};
    m_link->postSequence(
        [file](LinkContext& c, LinkReply& r) { r.outcome = c.sequences.openFile(r.state, file); },
        [this, vehicle](const LinkReply&) { m_model.setVehicle(vehicle); }, {.progress = true});
}

void EFICom::spSaveClick() { m_saveFrom->show(); }

// Save From KYR reads the unit's table on the link thread and refuses a short
// reply; Save From PC encodes what the program shows.
void EFICom::saveFrom(SaveFromDialog::Source source)
{
    if (source == SaveFromDialog::Source::Pc) {
        if (!m_model.state().imageWhole) {
            m_messages->warning(QStringLiteral("Save settings"),
                                QStringLiteral("Nothing to save: no table has been read from the KYR or opened."));
            return;
        }
        storeMapFile(table::encode(m_model.state().setup, m_model.maps()).plusOne);
        return;
    }
    m_link->postSequence([](LinkContext& c, LinkReply& r) { r.saved = c.sequences.readForSave(r.state); },
                         [this](const LinkReply& r) {
                             if (r.saved && r.saved->ok())
                                 storeMapFile(r.saved->value());
                             else
                                 m_messages->warning(QStringLiteral("Save settings"),
                                                     r.saved ? QString::fromStdString(r.saved->error().message)
                                                             : QStringLiteral("Nothing was read from the KYR."));
                         },
                         {.progress = true});
}

void EFICom::storeMapFile(const table::ImageBytes& image)
{
    const QString name = m_files->saveFileName(QStringLiteral("Save settings"), MapFileFilter);
    if (name.isEmpty())
        return;
    files::MapFile file;
    file.identity = m_model.state().unit.identity.bytes;
    file.make = m_model.vehicle().make.toStdString();
    file.model = m_model.vehicle().model.toStdString();
    file.engine = m_model.vehicle().engine.toStdString();
    file.image = image;
    if (Status saved = files::saveMapFile(pathOf(name), file); !saved)
        m_messages->warning(QStringLiteral("Save settings"), QString::fromStdString(saved.error().message));
}

void EFICom::spCloseClick()
{
    if (m_model.state().flags.ImageChanged)
        askSetupChanged(PendingAction::CloseAll);
    else
        closeAll();
}

// Close all forgets the file (the link sequence clears FileOpen and
// FileDecoded) and empties the vehicle fields. With a unit connected its
// setup and maps stay shown and writable, and Read from KYR brings the
// unit's own back; without one the file's identity (status panels 1 and 2,
// the unit type, the about box), the setup fields and the charts are
// cleared and Write stays disabled, so that nothing of the closed file can
// be written or saved afterwards.
void EFICom::closeAll()
{
    m_link->postSequence([](LinkContext& c, LinkReply& r) { r.outcome = c.sequences.closeAll(r.state); },
                         [this](const LinkReply& r) {
                             m_model.setVehicle({});
                             if (r.state.flags.UnitConnected)
                                 return;
                             link::SessionState& s = m_model.mutableState();
                             s.unit = link::UnitInfo{};
                             s.edit18.clear();
                             s.panel[1].clear();
                             s.panel[2].clear();
                             m_model.clearTune();
                         });
}

void EFICom::spPrintClick()
{
    if (auto* page = qobject_cast<Page*>(m_pageControl->currentWidget()))
        page->printPage();
}

void EFICom::spSetupClick() { m_pageControl->setCurrentIndex(0); }

void EFICom::sp3DClick() { m_timing->show(); }

void EFICom::spAboutClick() { m_about->show(); }

} // namespace kyr::app
