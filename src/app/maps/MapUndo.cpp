// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/maps/MapUndo.h"

#include <algorithm>

namespace kyr::app::maps {

MapPointCommand::MapPointCommand(std::vector<kyr::maps::PointChange> changes, PointRestorer restorer,
                                 const QString& text, quint64 drag)
    : QUndoCommand(text), m_changes(std::move(changes)), m_restorer(std::move(restorer)), m_drag(drag)
{
}

void MapPointCommand::undo()
{
    m_restorer(m_changes, false);
    m_done = false;
}

void MapPointCommand::redo()
{
    if (m_done)
        return;
    m_restorer(m_changes, true);
    m_done = true;
}

int MapPointCommand::id() const { return m_drag != 0 ? DragId : -1; }

bool MapPointCommand::mergeWith(const QUndoCommand* other)
{
    const auto* next = static_cast<const MapPointCommand*>(other);
    if (next->m_drag != m_drag)
        return false;
    for (const auto& c : next->m_changes) {
        auto same = std::find_if(m_changes.begin(), m_changes.end(),
                                 [&](const kyr::maps::PointChange& p) { return p.map == c.map && p.index == c.index; });
        if (same == m_changes.end())
            m_changes.push_back(c);
        else
            same->newValue = c.newValue;
    }
    // A drag that ended where it began leaves nothing to undo.
    const bool unchanged = std::all_of(m_changes.begin(), m_changes.end(),
                                       [](const kyr::maps::PointChange& p) { return p.oldValue == p.newValue; });
    setObsolete(unchanged);
    return true;
}

} // namespace kyr::app::maps
