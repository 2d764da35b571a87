// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "Throttle Position Sensor Calibration": reached from the Setup page's
// CalBtn while a unit with a throttle sensor is connected. While it shows,
// Timer2 polls the throttle reading and F1 takes the released and the wide
// open point (TpsCalibrationPanel does the work).

#include "app/common/AppContext.h"
#include "app/dialogs/OwnedDialog.h"

namespace kyr::app::setup {
class TpsCalibrationPanel;
}

namespace kyr::app::dialogs {

class TpsCalDialog : public OwnedDialog {
    Q_OBJECT
public:
    TpsCalDialog(AppContext context, QWidget* owner);

    setup::TpsCalibrationPanel& panel() const { return *m_panel; }

protected:
    const AppContext& context() const { return m_context; }
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    AppContext m_context;
    setup::TpsCalibrationPanel* m_panel;
};

} // namespace kyr::app::dialogs
