// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The "Setup" page: the vehicle texts kept in map files, the unit's identity
// fields, and the setup parameter fields and option switches, bound to the
// model's setup engine.

#include "app/common/Page.h"

class QGridLayout;
class QLineEdit;
class QPushButton;

namespace kyr::app::live {
class LivePoll;
class RealTimeFrames;
}

namespace kyr::app::setup {

class SetupBinder;

class SetupPage : public Page {
    Q_OBJECT
public:
    /// The page's real-time frame shows what poll reads and joins frames.
    SetupPage(AppContext context, live::LivePoll& poll, live::RealTimeFrames& frames, QWidget* parent = nullptr);
    ~SetupPage() override;

    /// The binding of the fields and switches to the setup engine.
    SetupBinder& binder() const { return *m_binder; }

signals:
    /// "Calibrate" beside "Throttle Position Sensor" (CalBtn) was clicked:
    /// the throttle calibration dialog is wanted.
    void throttleCalibrationRequested();

private:
    QWidget* buildIdentityRow();
    QLineEdit* addField(QGridLayout* grid, int row, int column, const QString& name, const QString& caption);
    void showVehicle();
    void showUnit();
    void showIdentity();
    void takeVehicle();

    QLineEdit* m_make;   // Edit9
    QLineEdit* m_model;  // Edit10
    QLineEdit* m_engine; // Edit11
    QLineEdit* m_type;   // Edit18
    QLineEdit* m_unitModel, * m_major, * m_minor; // Edit6, Edit7, Edit8
    SetupBinder* m_binder = nullptr;
};

} // namespace kyr::app::setup
