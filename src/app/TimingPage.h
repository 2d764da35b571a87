#pragma once
// The "Timing Map" page.

#include "app/Page.h"

namespace kyr::app {

class TimingPage : public Page {
    Q_OBJECT
public:
    explicit TimingPage(AppContext context, QWidget* parent = nullptr);
};

} // namespace kyr::app
