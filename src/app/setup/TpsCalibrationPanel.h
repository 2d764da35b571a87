// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The working part of the "Throttle Position Sensor Calibration" dialog: it
// polls ReadLive on Timer2 through the link queue (the window thread never
// waits), feeds the throttle reading and each F1 press to the calibration
// steps, shows their texts, and sends the two calibration bytes 200 ms
// apart, keeping them in the setup copy.

#include "app/common/AppContext.h"
#include "link/Bytes.h"
#include "setup/SetupEngine.h"
#include "setup/TpsCalibration.h"

#include <QWidget>

#include <deque>

class QLabel;
class QTimer;

namespace kyr::app::setup {

class TpsCalibrationPanel : public QWidget {
    Q_OBJECT
public:
    /// How often Timer2 asks for a reading.
    static constexpr int PollMs = 100;

    /// The engine keeps the setup copy the calibration bytes go into.
    TpsCalibrationPanel(AppContext context, kyr::setup::SetupEngine& engine, QWidget* parent = nullptr);

    /// The dialog is shown: asks for the released throttle and starts Timer2.
    void start();
    /// The dialog is hidden: Timer2 stops. A pair of writes under way is finished.
    void stop();
    /// F1 (the dialog's key): takes the present reading as the next point.
    void pressF1();

    const kyr::setup::TpsCalibration& calibration() const { return m_calibration; }
    QTimer* timer() const { return m_timer; }

signals:
    /// Both points were taken and their writes handed to the link.
    void calibrated();

private:
    void poll();
    void takeReply(const kyr::link::Bytes& reply);
    void sendWrites(const std::vector<kyr::setup::ByteWrite>& writes);
    void sendNextWrite();
    void showStep();

    AppContext m_context;
    kyr::setup::SetupEngine& m_engine;
    kyr::setup::TpsCalibration m_calibration;
    QTimer* m_timer;   // Timer2
    QLabel* m_prompt;  // Label1
    QLabel* m_reading; // Label2
    bool m_polling = false; // a ReadLive of Timer2 is queued or running
    quint64 m_liveTicket = 0; // that ReadLive
    quint64 m_sendTicket = 0; // the calibration byte the link has yet to take
    std::deque<kyr::setup::ByteWrite> m_writes; // calibration bytes still to send
};

} // namespace kyr::app::setup
