#pragma once
// "Throttle Position Sensor Calibration": reached from the Setup page's
// CalBtn while a unit with a throttle sensor is connected.

#include "app/AppContext.h"
#include "app/OwnedDialog.h"

namespace kyr::app {

class TpsCalDialog : public OwnedDialog {
    Q_OBJECT
public:
    TpsCalDialog(AppContext context, QWidget* owner);

protected:
    const AppContext& context() const { return m_context; }

private:
    AppContext m_context;
};

} // namespace kyr::app
