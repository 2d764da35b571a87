// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Another tune beside the one the window shows: a map file or the unit's
// own table. The comparison follows the shown tune: every edit, read or file
// opened compares again, and the listeners (the list panel, the charts'
// faint curves) are told.

#include "maps/PointRules.h"
#include "table/Codec.h"
#include "tools/TuneCompare.h"

#include <QObject>
#include <QString>

#include <optional>
#include <vector>

namespace kyr::app {
class TuneModel;
}

namespace kyr::app::compare {

class TuneComparer : public QObject {
    Q_OBJECT
public:
    explicit TuneComparer(TuneModel& model, QObject* parent = nullptr);

    /// Compares the shown tune with another plus-one image; name is what the
    /// list calls it ("other.kyr", "the KYR").
    void compareWith(const table::ImageBytes& otherPlusOne, int otherTypeCode, const QString& name);
    /// Stop comparing: the list and the faint curves go.
    void stop();

    bool active() const { return m_other.has_value(); }
    const QString& otherName() const { return m_name; }
    /// The other tune's plus-one image (only while active).
    const table::ImageBytes& other() const { return *m_other; }
    /// What differs now (empty while not active).
    const tools::TuneComparison& comparison() const { return m_comparison; }
    /// The other tune's curve of a map, each point at the x of its own axes;
    /// empty while not active.
    std::vector<kyr::maps::CurvePoint> otherCurve(table::MapId map) const;

signals:
    /// A comparison started, stopped, or the shown tune changed under it.
    void changed();

private:
    void refresh();

    TuneModel& m_model;
    std::optional<table::ImageBytes> m_other;
    int m_otherType = 0;
    QString m_name;
    table::MapArrays m_otherMaps;
    table::Axes m_otherAxes;
    tools::TuneComparison m_comparison;
};

} // namespace kyr::app::compare
