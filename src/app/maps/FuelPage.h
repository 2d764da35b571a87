// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The "Fuel Maps" page on `Panel4`: `FuelVacChart` and `FuelRPMChart`, the
// main and idle jet trims, and the choice of the fuel-by-RPM map (`RadioLow`,
// `RadioCruise`, `RadioHigh`) and of the air temperature map (`RadioFuel`,
// `RadioTiming`) that the shared charts edit.

#include "app/maps/MapPage.h"
#include "setup/SetupEngine.h"

namespace kyr::app {
class ChoiceGroup;
}
namespace kyr::app::setup {
class SetupBinder;
}

namespace kyr::app::maps {

class JetControls;

class FuelPage : public MapPage {
    Q_OBJECT
public:
    FuelPage(AppContext context, MapServices services, QWidget* parent = nullptr);
    ~FuelPage() override;

    JetControls* jets() const { return m_jets; }
    /// The setup binder of the jet edits.
    setup::SetupBinder& jetBinder() const { return *m_jetBinder; }
    ChoiceGroup* fuelRpmChoice() const { return m_fuelRpm; }
    ChoiceGroup* airTempChoice() const { return m_airTemp; }

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

    JetControls* m_jets = nullptr;
    setup::SetupBinder* m_jetBinder = nullptr;
    ChoiceGroup* m_fuelRpm = nullptr;
    ChoiceGroup* m_airTemp = nullptr;
};

} // namespace kyr::app::maps
