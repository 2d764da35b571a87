// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The table under a map chart: one row of the points' x values (RPM, bar,
// °C, V) and one of their values. A value typed into a cell is taken with
// the chart's rules and sent as any edit; a value outside the map's range is
// refused and put back. Its selection is the chart's, and Ctrl+C / Ctrl+V
// copy and paste the selected values as tab-separated text.

#include "maps/Charts.h"

#include <QTableWidget>

namespace kyr::app::maps {

class MapEditSession;

class MapTableView : public QTableWidget {
    Q_OBJECT
public:
    MapTableView(MapEditSession& session, kyr::maps::ChartId chart, QWidget* parent = nullptr);

    kyr::maps::ChartId chartId() const { return m_chart; }
    /// Shows the edited map's points as they are now.
    void refresh();
    /// Ctrl+C, Ctrl+V and Ctrl+A for the table; true when taken.
    bool previewKey(const QKeyEvent& event);

private:
    void cellEdited(QTableWidgetItem* item);
    void selectionEdited();
    void followSelection();

    MapEditSession& m_session;
    kyr::maps::ChartId m_chart;
    bool m_filling = false;
};

} // namespace kyr::app::maps
