#pragma once
// The "Timing Map" page: `TimingChart` and `VacuumChart` on `Panel3`.

#include "app/maps/MapPage.h"

namespace kyr::app {

class TimingPage : public MapPage {
    Q_OBJECT
public:
    explicit TimingPage(AppContext context, QWidget* parent = nullptr);
};

} // namespace kyr::app
