// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/compare/TuneComparer.h"

#include "app/common/TuneModel.h"

namespace kyr::app::compare {

TuneComparer::TuneComparer(TuneModel& model, QObject* parent) : QObject(parent), m_model(model)
{
    connect(&m_model, &TuneModel::stateChanged, this, &TuneComparer::refresh);
    connect(&m_model, &TuneModel::mapsChanged, this, &TuneComparer::refresh);
}

void TuneComparer::compareWith(const table::ImageBytes& otherPlusOne, int otherTypeCode, const QString& name)
{
    m_other = otherPlusOne;
    m_otherType = otherTypeCode;
    m_name = name;
    m_otherMaps = table::decodeMaps(otherPlusOne);
    m_otherAxes = table::deriveAxes(table::setupOf(otherPlusOne));
    refresh();
}

void TuneComparer::stop()
{
    if (!m_other)
        return;
    m_other.reset();
    m_name.clear();
    m_comparison = {};
    emit changed();
}

// The shown tune as Write and Save From PC would encode it, so an edit not
// yet written counts.
void TuneComparer::refresh()
{
    if (!m_other)
        return;
    if (!m_model.mapsShown()) {
        stop(); // the tune compared is gone (Close all)
        return;
    }
    const table::EncodedImage shown = table::encode(m_model.state().setup, m_model.maps());
    m_comparison = tools::compareTunes(shown.plusOne, *m_other, m_model.state().unit.typeCode, m_otherType);
    emit changed();
}

std::vector<kyr::maps::CurvePoint> TuneComparer::otherCurve(table::MapId map) const
{
    if (!m_other)
        return {};
    return kyr::maps::curvePoints(map, m_otherMaps, m_otherAxes);
}

} // namespace kyr::app::compare
