// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/dialogs/TpsCalDialog.h"

#include "app/setup/TpsCalibrationPanel.h"
#include "app/common/TuneModel.h"

#include <QHBoxLayout>
#include <QHideEvent>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace kyr::app::dialogs {

TpsCalDialog::TpsCalDialog(AppContext context, QWidget* owner)
    : OwnedDialog(owner, QStringLiteral("TPSCal"), QStringLiteral("Throttle Position Sensor Calibration")),
      m_context(context), m_panel(new setup::TpsCalibrationPanel(context, context.model.setupEngine(), this))
{
    // The texts ask for OK when done and CANCEL to give up; Exit does as Cancel.
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("OKBtn"));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("CancelBtn"));
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* exit = new QPushButton(QStringLiteral("Exit"), this);
    exit->setObjectName(QStringLiteral("ExitBtn"));
    connect(exit, &QPushButton::clicked, this, &QDialog::close);
    // Enter must not close the dialog while F1 is what the user is asked for.
    for (QPushButton* b : {ok, cancel, exit})
        b->setAutoDefault(false);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    buttons->addWidget(exit);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_panel, 1);
    layout->addLayout(buttons);
    resize(460, 200);
}

// Only the program's own show and hide count, as for the owner's state.
void TpsCalDialog::showEvent(QShowEvent* event)
{
    OwnedDialog::showEvent(event);
    if (!event->spontaneous())
        m_panel->start();
}

void TpsCalDialog::hideEvent(QHideEvent* event)
{
    OwnedDialog::hideEvent(event);
    if (!event->spontaneous())
        m_panel->stop();
}

} // namespace kyr::app::dialogs
