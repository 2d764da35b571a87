#pragma once
// The "Correction Maps" page.

#include "app/Page.h"

namespace kyr::app {

class CorrectionPage : public Page {
    Q_OBJECT
public:
    explicit CorrectionPage(AppContext context, QWidget* parent = nullptr);
};

} // namespace kyr::app
