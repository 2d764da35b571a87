// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the window works on, on the window thread: the link state (flags,
// identity, image, setup copy, control states), the map point arrays and
// axes, and the vehicle texts. The pages read it and are told when it changes.

#include "session/TuneEdits.h"
#include "session/TuneState.h"
#include "setup/SetupEngine.h"
#include "table/Codec.h"

#include <QObject>
#include <QString>

namespace kyr::app {

/// Make, model and engine as the map file keeps them.
struct VehicleInfo {
    QString make, model, engine;
    bool operator==(const VehicleInfo&) const = default;
};

class TuneModel : public QObject {
    Q_OBJECT
public:
    explicit TuneModel(QObject* parent = nullptr);

    /// The link state as the last sequence (and the editors since) left it.
    /// Only the session's use cases change it: the model takes their results.
    const session::TuneState& state() const { return m_state; }
    /// The map point arrays the charts show and Write encodes.
    const table::MapArrays& maps() const { return m_maps; }

    // The session's edits of the state; each emits stateChanged.
    void applySetupEntry(const session::SetupEntry& entry);
    void recordUnitByte(int offset, uint8_t raw);
    void showStatus(const std::string& text);
    void setAnalogSignals(bool on);
    void setRealtimeTracking(bool on);
    void setFastPoll(bool on);
    /// A send or live read found the link gone, or the journal count moved.
    void followLink(const std::optional<std::string>& lostAt, std::size_t journaled);
    /// A map point the editors set (index from 1); listeners of mapsChanged
    /// are not told (the editor that set it already shows it).
    void applyMapPoint(table::MapId map, int index, double value);
    /// R, N and M of the shown setup.
    const table::Axes& axes() const { return m_axes; }
    /// Whether the setup copy has been decoded (false at start and after a reset).
    bool setupShown() const { return m_setupShown; }
    /// Whether the map arrays hold a decoded image.
    bool mapsShown() const { return m_mapsShown; }

    /// Takes a sequence's resulting state; decodes the setup and the maps
    /// when the outcome says so. Emits the matching signals, stateApplied last.
    void apply(const session::TuneState& state, const session::SessionResult& outcome);

    const VehicleInfo& vehicle() const { return m_vehicle; }
    /// Texts longer than the file allows are cut.
    void setVehicle(VehicleInfo vehicle);

    /// A sequence is queued or running: the pages must not edit.
    bool busy() const { return m_busy; }
    void setBusy(bool busy);

    /// "Enable/Disable mouse tuning" is on.
    bool mouseTuning() const { return m_mouseTuning; }

    /// The one setup rule engine: the Setup page fields and the Fuel Maps
    /// jet edits both go through it. Decimals use the system's separator.
    kyr::setup::SetupEngine& setupEngine() { return m_setupEngine; }
    void setMouseTuning(bool on);

    /// The arrays were changed where the charts do not see it (a write's
    /// read-back): every chart redraws.
    void mapsEdited() { emit mapsChanged(); }

signals:
    /// Flags, identity, image or control states changed.
    void stateChanged();
    /// The setup copy was decoded (or cleared): the Setup page shows it again.
    void setupChanged();
    /// The map arrays and axes were decoded (or cleared): every chart redraws.
    void mapsChanged();
    /// A sequence's state was taken, after the signals above.
    void stateApplied(const kyr::session::SessionResult& outcome);
    void vehicleChanged();
    void busyChanged(bool busy);
    void mouseTuningChanged(bool on);
    /// "Low throttle vacuum " or "High throttle vacuum" was shown or took a
    /// value: that marker of FuelVacChart moves to x = bar (the charts are
    /// not redrawn for it).
    void vacuumMarkerMoved(kyr::setup::VacuumMarkerId which, double bar);

private:
    void clearTune();

    session::TuneState m_state;
    table::MapArrays m_maps;
    table::Axes m_axes;
    bool m_setupShown = false;
    bool m_mapsShown = false;
    VehicleInfo m_vehicle;
    bool m_busy = false;
    bool m_mouseTuning = false;
    kyr::setup::SetupEngine m_setupEngine;
};

} // namespace kyr::app
