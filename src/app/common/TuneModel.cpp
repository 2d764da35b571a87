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
    if (outcome.mapsDecoded) {
        m_maps = table::decodeMaps(m_state.image);
        m_axes = table::deriveAxes(m_state.setup);
        m_mapsShown = true;
        emit mapsChanged();
    }
    emit stateApplied(outcome);
}

void TuneModel::clearTune()
{
    m_state.image.fill('0');
    m_state.setup.fill('0');
    m_maps = table::MapArrays();
    m_axes = table::deriveAxes(m_state.setup);
    m_setupShown = false;
    m_mapsShown = false;
    emit stateChanged();
    emit setupChanged();
    emit mapsChanged();
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
