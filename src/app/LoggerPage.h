#pragma once
// The "Data Logger" page.

#include "app/Page.h"

namespace kyr::app {

class LoggerPage : public Page {
    Q_OBJECT
public:
    explicit LoggerPage(AppContext context, QWidget* parent = nullptr);
};

} // namespace kyr::app
