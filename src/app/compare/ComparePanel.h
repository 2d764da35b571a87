// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The list beside the window while another tune is compared: each setup
// value and map point that differs, in the units the pages show, with a
// summary line. "Use this value" takes the selected one from the other tune
// through the page's own editing, so it is sent to a connected unit and a
// map point can be undone; "Stop comparing" ends the comparison.

#include "app/common/AppContext.h"
#include "table/Layout.h"

#include <QDockWidget>

#include <functional>

class QLabel;
class QListWidget;
class QPushButton;

namespace kyr::app::compare {

class TuneComparer;

class ComparePanel : public QDockWidget {
    Q_OBJECT
public:
    /// Takes a setup value of the other tune through the Setup page; false
    /// when the page has no control for it that takes edits now.
    using SettingTaker = std::function<bool(const table::SetupDef& def, const table::ImageBytes& otherPlusOne)>;

    /// Sets a map point to the other tune's value (through the map edit
    /// session, so that it can be undone); false when the point takes no edit.
    using PointSetter = std::function<bool(table::MapId map, int index, double value)>;

    /// Lists what comparer finds.
    ComparePanel(AppContext context, TuneComparer& comparer, PointSetter setPoint, SettingTaker takeSetting,
                 QWidget* parent = nullptr);

    QListWidget* list() const { return m_list; }
    QLabel* summary() const { return m_summary; }
    QPushButton* useButton() const { return m_use; }
    /// Takes the selected row's value from the other tune; false when nothing was taken.
    bool useSelected();

private:
    /// Takes the selected row; one that cannot be taken says why in the status line.
    void useClicked();
    /// What a row of the list stands for.
    enum RowKind { SettingRow, PointRow, ByteRow };

    void rebuild();
    void selectionMoved();
    QString summaryText() const;

    AppContext m_context;
    SettingTaker m_takeSetting;
    PointSetter m_setPoint;
    TuneComparer& m_comparer;
    QLabel* m_summary;
    QListWidget* m_list;
    QPushButton* m_use;
    QPushButton* m_stop;
};

} // namespace kyr::app::compare
