#pragma once
// The "Engine Monitor" page.

#include "app/Page.h"

namespace kyr::app {

class MonitorPage : public Page {
    Q_OBJECT
public:
    explicit MonitorPage(AppContext context, QWidget* parent = nullptr);
};

} // namespace kyr::app
