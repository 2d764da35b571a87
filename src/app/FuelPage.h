#pragma once
// The "Fuel Maps" page.

#include "app/Page.h"

namespace kyr::app {

class FuelPage : public Page {
    Q_OBJECT
public:
    explicit FuelPage(AppContext context, QWidget* parent = nullptr);
};

} // namespace kyr::app
