// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Undo and redo of map edits. A command holds the points it changed, each
// with its old and new value; redo puts the new values, undo the old ones,
// through the session that also sends them to the unit. The edit itself has
// already been made when the command is pushed, so its first redo does
// nothing. The steps of one drag merge into one command.

#include "maps/MapEditor.h"

#include <QUndoCommand>

#include <functional>
#include <vector>

namespace kyr::app::maps {

/// Puts the old (false) or the new (true) values of the changes.
using PointRestorer = std::function<void(const std::vector<kyr::maps::PointChange>& changes, bool toNew)>;

class MapPointCommand : public QUndoCommand {
public:
    /// The command id shared by drag steps (they merge when of the same drag).
    static constexpr int DragId = 0x4b59;

    /// A step of the changes already made; drag is the serial of the drag it
    /// belongs to, or 0 for a key press (which never merges).
    MapPointCommand(std::vector<kyr::maps::PointChange> changes, PointRestorer restorer, const QString& text,
                    quint64 drag = 0);

    void undo() override;
    void redo() override;
    int id() const override;
    /// Takes a later step of the same drag: a point changed again keeps its first old value.
    bool mergeWith(const QUndoCommand* other) override;

    const std::vector<kyr::maps::PointChange>& changes() const { return m_changes; }

private:
    std::vector<kyr::maps::PointChange> m_changes;
    PointRestorer m_restorer;
    quint64 m_drag;
    bool m_done = true; // pushed after the edit was made
};

} // namespace kyr::app::maps
