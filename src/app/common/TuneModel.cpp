// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/common/TuneModel.h"

#include <QLocale>

#include "files/MapFile.h"

namespace kyr::app {

TuneModel::TuneModel(QObject* parent)
    : QObject(parent), m_state(session::TuneState::initial()),
      m_setupEngine(QString(QLocale().decimalPoint()).toStdString())
{
    m_axes = table::deriveAxes(m_state.setup);
}

void TuneModel::apply(const session::TuneState& state, const session::SessionResult& outcome)
{
    m_state = state;
    emit stateChanged();
    if (outcome.setupDecoded) {
        m_axes = table::deriveAxes(m_state.setup);
        m_setupShown = true;
        emit setupChanged();
    }
    if (outcome.tuneCleared)
        clearTune();
    if (outcome.mapsDecoded) {
        m_maps = table::decodeMaps(m_state.image);
        m_axes = table::deriveAxes(m_state.setup);
        m_mapsShown = true;
        emit mapsChanged();
    }
    emit stateApplied(outcome);
}

// Close all without a unit: the session forgot the setup and the image; the
// arrays and axes go with them.
void TuneModel::clearTune()
{
    m_maps = table::MapArrays();
    m_axes = table::deriveAxes(m_state.setup);
    m_setupShown = false;
    m_mapsShown = false;
    emit setupChanged();
    emit mapsChanged();
}

void TuneModel::applySetupEntry(const session::SetupEntry& entry)
{
    session::applySetupEntry(m_state, entry);
    emit stateChanged();
}

void TuneModel::recordUnitByte(int offset, uint8_t raw)
{
    session::recordUnitByte(m_state, offset, raw);
    emit stateChanged();
}

void TuneModel::showStatus(const std::string& text)
{
    session::showStatus(m_state, text);
    emit stateChanged();
}

void TuneModel::setAnalogSignals(bool on)
{
    session::setAnalogSignals(m_state, on);
    emit stateChanged();
}

void TuneModel::setRealtimeTracking(bool on)
{
    session::setRealtimeTracking(m_state, on);
    emit stateChanged();
}

void TuneModel::setFastPoll(bool on)
{
    session::setFastPoll(m_state, on);
    emit stateChanged();
}

void TuneModel::followLink(const std::optional<std::string>& lostAt, std::size_t journaled)
{
    if (session::followLink(m_state, lostAt, journaled))
        emit stateChanged();
}

void TuneModel::applyMapPoint(table::MapId map, int index, double value)
{
    session::applyMapPoint(m_maps, map, index, value);
}

void TuneModel::setVehicle(VehicleInfo vehicle)
{
    vehicle.make.truncate(files::MaxVehicleText);
    vehicle.model.truncate(files::MaxVehicleText);
    vehicle.engine.truncate(files::MaxVehicleText);
    if (vehicle == m_vehicle)
        return;
    m_vehicle = std::move(vehicle);
    emit vehicleChanged();
}

void TuneModel::setBusy(bool busy)
{
    if (busy == m_busy)
        return;
    m_busy = busy;
    emit busyChanged(busy);
}

void TuneModel::setMouseTuning(bool on)
{
    if (on == m_mouseTuning)
        return;
    m_mouseTuning = on;
    emit mouseTuningChanged(on);
}

} // namespace kyr::app
