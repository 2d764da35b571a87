// SPDX-License-Identifier: GPL-3.0-or-later
// The window's comparison of the tune shown with another: a map file or the
// unit's own table, listed in the panel beside the pages and drawn faintly
// on the charts.

#include "app/window/EFICom.h"

#include "app/compare/ComparePanel.h"
#include "app/compare/TuneComparer.h"
#include "app/maps/MapEditSession.h"
#include "app/maps/FuelPage.h"
#include "app/setup/SetupBinder.h"
#include "app/setup/SetupPage.h"
#include "files/MapFile.h"

#include <QMenu>

#include <algorithm>
#include <QToolBar>
#include <QToolButton>

namespace kyr::app::window {

namespace {

const QString CompareTitle = QStringLiteral("Compare");

} // namespace

void EFICom::buildCompare()
{
    // A setting goes in through the binder of the page that holds its field:
    // the Setup page, or the Fuel Maps page for the jets.
    std::vector<setup::SetupBinder*> binders;
    for (Page* page : m_pages) {
        if (auto* setup = qobject_cast<setup::SetupPage*>(page))
            binders.push_back(&setup->binder());
        else if (auto* fuel = qobject_cast<maps::FuelPage*>(page))
            binders.push_back(&fuel->jetBinder());
    }
    const AppContext context{m_model, *m_link, *m_messages};
    maps::MapEditSession* session = m_session;
    m_compare = new compare::ComparePanel(
        context, *m_comparer,
        [session](table::MapId map, int index, double value) { return session->setPointValue(map, index, value); },
        [binders](const table::SetupDef& def, const table::ImageBytes& other) {
            return std::any_of(binders.begin(), binders.end(),
                               [&](setup::SetupBinder* b) { return b->takeValue(def, other); });
        },
        this);
    addDockWidget(Qt::RightDockWidgetArea, m_compare);
    m_compare->hide();

    // The button compares with a file; its menu offers the unit's table and the end.
    auto* button = m_toolBar->findChild<QToolButton*>(QStringLiteral("spCompare"));
    auto* menu = new QMenu(button);
    menu->setObjectName(QStringLiteral("CompareMenu"));
    QAction* file = menu->addAction(QString::fromUtf8("Compare with a file\u2026"), this, &EFICom::spCompareClick);
    file->setObjectName(QStringLiteral("CompareFile"));
    QAction* unit = menu->addAction(QStringLiteral("Compare with the KYR's table"), this, &EFICom::compareWithUnit);
    unit->setObjectName(QStringLiteral("CompareUnit"));
    QAction* stop = menu->addAction(QStringLiteral("Stop comparing"), m_comparer, &compare::TuneComparer::stop);
    stop->setObjectName(QStringLiteral("StopComparing"));
    button->setMenu(menu);
    button->setPopupMode(QToolButton::MenuButtonPopup);
    connect(menu, &QMenu::aboutToShow, this, &EFICom::fillCompareMenu);
}

void EFICom::fillCompareMenu()
{
    auto* menu = findChild<QMenu*>(QStringLiteral("CompareMenu"));
    const bool connected = m_model.state().flags.UnitConnected && !m_model.busy();
    menu->findChild<QAction*>(QStringLiteral("CompareUnit"))->setEnabled(connected && m_model.mapsShown());
    menu->findChild<QAction*>(QStringLiteral("StopComparing"))->setEnabled(m_comparer->active());
}

// A comparison needs a tune shown to compare with.
bool EFICom::canCompare()
{
    if (m_model.mapsShown())
        return true;
    m_messages->warning(CompareTitle, QStringLiteral("There is no tune to compare with: open a file or read "
                                                     "the KYR first."));
    return false;
}

void EFICom::spCompareClick()
{
    if (!canCompare())
        return;
    const QString name = m_files->openFileName(QStringLiteral("Compare with"), MapFileFilter);
    if (!name.isEmpty())
        compareWithFile(std::filesystem::path(name.toStdString()));
}

void EFICom::compareWithFile(const std::filesystem::path& path, const QString& shownName)
{
    if (!canCompare())
        return;
    Result<files::MapFile> loaded = files::loadMapFile(path);
    const QString name = shownName.isEmpty() ? QString::fromStdString(path.filename().string()) : shownName;
    if (!loaded) {
        m_messages->warning(CompareTitle, QStringLiteral("%1 cannot be compared: %2")
                                              .arg(name, QString::fromStdString(loaded.error().message)));
        return;
    }
    const files::MapFile& file = loaded.value();
    m_comparer->compareWith(file.image, file.identity[1], name);
}

// The unit's table as it holds it now, read on the link thread.
void EFICom::compareWithUnit()
{
    if (!canCompare())
        return;
    if (!m_model.state().flags.UnitConnected) {
        m_messages->warning(CompareTitle, QStringLiteral("No KYR is connected."));
        return;
    }
    onAnswer(&link::LinkWorker::readForSaveDone, m_link->readForSave(), [this](const Result<table::ImageBytes>& read) {
        if (!read) {
            m_messages->warning(CompareTitle, QString::fromStdString(read.error().message));
            return;
        }
        // The unit's reply carries no trailer byte: that one is the shown tune's.
        table::ImageBytes unitTable = read.value();
        const table::EncodedImage shown = table::encode(m_model.state().setup, m_model.maps());
        unitTable[table::TrailerOffset] = shown.plusOne[table::TrailerOffset];
        m_comparer->compareWith(unitTable, m_model.state().unitIdentity.typeCode(), QStringLiteral("the KYR"));
    });
}

} // namespace kyr::app::window
