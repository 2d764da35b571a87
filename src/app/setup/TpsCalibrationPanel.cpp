// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/setup/TpsCalibrationPanel.h"

#include "app/link/LinkWorker.h"
#include "app/setup/SetupCommit.h"
#include "app/common/TuneModel.h"
#include "live/LiveRecord.h"
#include "table/Rounding.h"

#include <QLabel>
#include <QPointer>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>

namespace kyr::app::setup {

TpsCalibrationPanel::TpsCalibrationPanel(AppContext context, kyr::setup::SetupEngine& engine, QWidget* parent)
    : QWidget(parent), m_context(context), m_engine(engine), m_timer(new QTimer(this)),
      m_prompt(new QLabel(this)), m_reading(new QLabel(this))
{
    setObjectName(QStringLiteral("TpsCalibrationPanel"));
    m_timer->setObjectName(QStringLiteral("Timer2"));
    m_timer->setInterval(PollMs);
    connect(m_timer, &QTimer::timeout, this, &TpsCalibrationPanel::poll);

    m_prompt->setObjectName(QStringLiteral("Label1"));
    m_prompt->setAlignment(Qt::AlignCenter);
    m_prompt->setWordWrap(true);
    QFont big = m_prompt->font();
    big.setPointSizeF(big.pointSizeF() * 1.3);
    big.setBold(true);
    m_prompt->setFont(big);
    m_reading->setObjectName(QStringLiteral("Label2"));
    m_reading->setAlignment(Qt::AlignCenter);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_prompt);
    layout->addWidget(m_reading);

    // F1 anywhere in the dialog, whichever of its controls has the focus.
    auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), this);
    f1->setContext(Qt::WindowShortcut);
    connect(f1, &QShortcut::activated, this, &TpsCalibrationPanel::pressF1);

    connect(&m_context.link, &link::LinkWorker::liveRead, this, [this](Ticket t, const kyr::link::Bytes& reply) {
        if (m_polling && t == m_liveTicket)
            takeReply(reply);
    });
    connect(&m_context.link, &link::LinkWorker::sent, this, [this](Ticket t, bool) {
        if (t != m_sendTicket)
            return;
        m_sendTicket = 0;
        if (!m_writes.empty())
            QTimer::singleShot(kyr::setup::TpsCalibration::WritePauseMs, this, &TpsCalibrationPanel::sendNextWrite);
    });
}

void TpsCalibrationPanel::start()
{
    m_calibration.start();
    m_reading->clear();
    showStep();
    m_timer->start();
}

void TpsCalibrationPanel::stop() { m_timer->stop(); }

// One reading at a time: a tick while the last ReadLive waits in the queue
// (behind a table write, say) adds nothing to it.
void TpsCalibrationPanel::poll()
{
    if (m_polling)
        return;
    if (!m_context.model.state().sendsAllowed()) {
        m_calibration.reading(std::nullopt);
        m_reading->clear();
        return;
    }
    m_polling = true;
    m_liveTicket = m_context.link.readLive();
}

void TpsCalibrationPanel::takeReply(const kyr::link::Bytes& reply)
{
    m_polling = false;
    std::optional<int> counts;
    if (auto record = kyr::live::decodeLive(reply); record.ok())
        if (auto v = record.value().get(kyr::live::LiveField::Throttle))
            counts = roundInt(*v);
    m_calibration.reading(counts);
    m_reading->setText(counts ? QString::number(*counts) : QString());
}

void TpsCalibrationPanel::pressF1()
{
    const std::vector<kyr::setup::ByteWrite> writes = m_calibration.pressF1();
    showStep();
    if (writes.empty())
        return;
    m_timer->stop();
    sendWrites(writes);
    emit calibrated();
}

// The unit takes the high point only after a pause behind the low one. The
// pause runs on a timer from the moment the first has gone out, so the
// window goes on working and nothing queued before it can shorten it.
void TpsCalibrationPanel::sendWrites(const std::vector<kyr::setup::ByteWrite>& writes)
{
    m_writes.insert(m_writes.end(), writes.begin(), writes.end());
    sendNextWrite();
}

void TpsCalibrationPanel::sendNextWrite()
{
    if (m_writes.empty())
        return;
    const kyr::setup::ByteWrite write = m_writes.front();
    m_writes.pop_front();
    m_sendTicket = sendSetupByte(m_context.model, m_context.link, m_engine, write);
}

void TpsCalibrationPanel::showStep()
{
    const std::string_view text = m_calibration.prompt();
    m_prompt->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

} // namespace kyr::app::setup
