// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The "Correction Maps" page: `TempChart`, `AirTmpChart` and `VoltageChart`
// on `Panel26`. Which air temperature map `AirTmpChart` edits is chosen on
// the "Fuel Maps" page.

#include "app/maps/MapPage.h"

namespace kyr::app::maps {

class CorrectionPage : public MapPage {
    Q_OBJECT
public:
    CorrectionPage(AppContext context, MapServices services, QWidget* parent = nullptr);
};

} // namespace kyr::app::maps
