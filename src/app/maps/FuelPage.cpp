// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/maps/FuelPage.h"

#include "app/common/ChoiceGroup.h"
#include "app/common/FileChooser.h"
#include "app/maps/FuelSuggestPanel.h"
#include "app/maps/JetControls.h"
#include "app/maps/MapChartView.h"
#include "app/maps/MapEditSession.h"
#include "app/setup/SetupBinder.h"
#include "app/common/TuneModel.h"
#include "maps/Jets.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPushButton>
#include <QVBoxLayout>

namespace kyr::app::maps {

FuelPage::FuelPage(AppContext context, MapServices services, std::shared_ptr<FileChooser> files, QWidget* parent)
    : MapPage(context, services, QStringLiteral("TabSheet3"), QStringLiteral("Fuel Maps"), QStringLiteral("Panel4"),
              QStringLiteral("RT3"), parent)
{
    auto* row = new QHBoxLayout(panel());
    auto* charts = new QVBoxLayout();
    charts->addWidget(addChart(kyr::maps::ChartId::FuelVac), 1);
    charts->addWidget(addChart(kyr::maps::ChartId::FuelRpm), 1);
    row->addLayout(charts, 1);
    if (!files)
        files = std::make_shared<QtFileChooser>(this);
    m_suggestions = new FuelSuggestPanel(context, session(), services.poll, std::move(files), panel());
    m_suggestions->setMaximumWidth(390);
    m_suggestions->hide();
    row->addWidget(m_suggestions);
    row->addWidget(buildSide());
    connect(m_suggestions, &FuelSuggestPanel::suggestionShown, this, &FuelPage::showSuggested);
    connect(m_suggestions, &FuelSuggestPanel::statusText, this, &Page::statusText);

    // Edit28 and Edit32 are setup fields: the setup engine judges, sends and stores them.
    m_jetBinder = new setup::SetupBinder(context, model().setupEngine(), m_jets, this);
    connect(m_jetBinder, &setup::SetupBinder::entryRefused, this, &Page::statusText);
    // The markers follow "Low throttle vacuum " and "High throttle vacuum" of the Setup page.
    connect(&model(), &TuneModel::vacuumMarkerMoved, this, &FuelPage::showVacuumMarker);
    connect(&session(), &MapEditSession::selectionChanged, this, &FuelPage::showSelection);
    connect(&model(), &TuneModel::stateChanged, this, &FuelPage::followUnit);
    connect(&model(), &TuneModel::setupChanged, this, &FuelPage::showJets);
    // Connect (and opening a file, which runs it) starts on the fuel air-temperature map.
    connect(&model(), &TuneModel::stateApplied, this, [this](const session::SessionResult& outcome) {
        if (outcome.setupDecoded)
            session().selectAirTemp(kyr::maps::AirTempMap::Fuel);
    });
    followUnit();
}

// The jets' binding goes before the jets: see ~SetupPage.
FuelPage::~FuelPage() { delete m_jetBinder; }

QWidget* FuelPage::buildSide()
{
    auto* side = new QWidget(panel());
    auto* column = new QVBoxLayout(side);
    m_jets = new JetControls(side);
    m_fuelRpm = new ChoiceGroup(QStringLiteral("RPM Map"),
                                {{QStringLiteral("RadioLow"), QStringLiteral("Low")},
                                 {QStringLiteral("RadioCruise"), QStringLiteral("Cruise")},
                                 {QStringLiteral("RadioHigh"), QStringLiteral("High")}},
                                static_cast<int>(kyr::maps::FuelRpmMap::Cruise), side);
    m_airTemp = new ChoiceGroup(QStringLiteral("Air Temp Map"),
                                {{QStringLiteral("RadioFuel"), QStringLiteral("Fuel")},
                                 {QStringLiteral("RadioTiming"), QStringLiteral("Timing")}},
                                static_cast<int>(kyr::maps::AirTempMap::Fuel), side);
    column->addWidget(m_jets, 1);
    column->addWidget(m_fuelRpm);
    column->addWidget(m_airTemp);
    m_suggestButton = new QPushButton(QStringLiteral("Fuel Suggestions…"), side);
    m_suggestButton->setObjectName(QStringLiteral("FuelSuggestButton"));
    m_suggestButton->setCheckable(true);
    column->addWidget(m_suggestButton);
    connect(m_suggestButton, &QPushButton::toggled, this, [this](bool on) {
        m_suggestions->setVisible(on);
        m_suggestions->refresh(); // draws its curve, or takes it away
    });

    connect(m_fuelRpm, &ChoiceGroup::choiceMade, this,
            [this](int i) { session().selectFuelRpm(static_cast<kyr::maps::FuelRpmMap>(i)); });
    connect(m_airTemp, &ChoiceGroup::choiceMade, this,
            [this](int i) { session().selectAirTemp(static_cast<kyr::maps::AirTempMap>(i)); });
    return side;
}

// The trims are there for a unit (or a file) with fuel maps once its setup is shown.
void FuelPage::followUnit() { m_jets->setEnabled(model().state().unit.fuel && model().setupShown()); }

// After a read the bars stand at 255 - value of their bytes (the binder has
// set the edits); a byte the unit lacks leaves its bar where it is.
void FuelPage::showJets()
{
    followUnit();
    if (!model().setupShown())
        return;
    for (kyr::maps::Jet jet : {kyr::maps::Jet::Main, kyr::maps::Jet::Idle}) {
        const uint8_t plusOne = model().state().setup[kyr::maps::jetOffset(jet)];
        if (plusOne != table::AbsentPlusOne)
            m_jets->setPosition(jet, kyr::setup::JetPositionBase - (plusOne - 1));
    }
}

void FuelPage::showSelection()
{
    m_fuelRpm->setChosen(static_cast<int>(session().editor().fuelRpm()));
    m_airTemp->setChosen(static_cast<int>(session().editor().airTemp()));
}

// The suggested curve stands on the chart of its map; the other chart shows none.
void FuelPage::showSuggested(table::MapId map, const std::vector<kyr::maps::CurvePoint>& points)
{
    for (auto id : {kyr::maps::ChartId::FuelVac, kyr::maps::ChartId::FuelRpm})
        if (table::mapDef(map).chart == id)
            chart(id)->setSuggestedCurve(m_suggestions->isHidden() ? std::vector<kyr::maps::CurvePoint>{} : points);
}

void FuelPage::showVacuumMarker(kyr::setup::VacuumMarkerId which, double x)
{
    chart(kyr::maps::ChartId::FuelVac)->showVacuumMarker(which == kyr::setup::VacuumMarkerId::High, x);
}

bool FuelPage::pageKey(QKeyEvent* event)
{
    if (!m_jets->isEnabled())
        return false;
    const auto move = session().jetKey(*event);
    if (!move)
        return false;
    m_jets->move(*move);
    return true;
}

} // namespace kyr::app::maps
