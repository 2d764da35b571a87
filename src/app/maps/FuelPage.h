// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The "Fuel Maps" page on `Panel4`: `FuelVacChart` and `FuelRPMChart`, the
// main and idle jet trims, and the choice of the fuel-by-RPM map (`RadioLow`,
// `RadioCruise`, `RadioHigh`) and of the air temperature map (`RadioFuel`,
// `RadioTiming`) that the shared charts edit.

#include "app/maps/MapPage.h"
#include "maps/PointRules.h"
#include "setup/SetupEngine.h"

#include <memory>

class QPushButton;

namespace kyr::app {
class ChoiceGroup;
class FileChooser;
}
namespace kyr::app::setup {
class SetupBinder;
}

namespace kyr::app::maps {

class FuelSuggestPanel;
class JetControls;

class FuelPage : public MapPage {
    Q_OBJECT
public:
    /// files picks the logs of the fuel suggestions (the file dialogs when null).
    FuelPage(AppContext context, MapServices services, std::shared_ptr<FileChooser> files = nullptr,
             QWidget* parent = nullptr);
    ~FuelPage() override;

    JetControls* jets() const { return m_jets; }
    /// The setup binder of the jet edits.
    setup::SetupBinder& jetBinder() const { return *m_jetBinder; }
    ChoiceGroup* fuelRpmChoice() const { return m_fuelRpm; }
    ChoiceGroup* airTempChoice() const { return m_airTemp; }
    /// "Fuel Suggestions" beside the charts, hidden until its button opens it.
    FuelSuggestPanel* suggestions() const { return m_suggestions; }
    QPushButton* suggestionsButton() const { return m_suggestButton; }

    /// Moves a throttle vacuum marker of `FuelVacChart` to x bar.
    void showVacuumMarker(kyr::setup::VacuumMarkerId which, double x);

protected:
    /// The jet letters: Q A W S the main jet, D C F V the idle jet.
    bool pageKey(QKeyEvent* event) override;

private:
    QWidget* buildSide();
    void followUnit();
    void showJets();
    void showSelection();
    void showSuggested(table::MapId map, const std::vector<kyr::maps::CurvePoint>& points);

    JetControls* m_jets = nullptr;
    setup::SetupBinder* m_jetBinder = nullptr;
    ChoiceGroup* m_fuelRpm = nullptr;
    ChoiceGroup* m_airTemp = nullptr;
    FuelSuggestPanel* m_suggestions = nullptr;
    QPushButton* m_suggestButton = nullptr;
};

} // namespace kyr::app::maps
