// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The "Timing Map" page: `TimingChart` and `VacuumChart` on `Panel3`.

#include "app/maps/MapPage.h"

namespace kyr::app::maps {

class TimingPage : public MapPage {
    Q_OBJECT
public:
    TimingPage(AppContext context, MapServices services, QWidget* parent = nullptr);

    /// The timing chart, which "Print" puts on paper from every page.
    MapChartView* timingChart() const { return chart(kyr::maps::ChartId::Timing); }
    /// Nothing beside the timing chart.
    std::vector<MapChartView*> chartsToPrint() const override { return {}; }
};

} // namespace kyr::app::maps
