#include "app/TpsCalDialog.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace kyr::app {

TpsCalDialog::TpsCalDialog(AppContext context, QWidget* owner)
    : OwnedDialog(owner, QStringLiteral("TPSCal"), QStringLiteral("Throttle Position Sensor Calibration")),
      m_context(context)
{
    auto* exit = new QPushButton(QStringLiteral("Exit"), this);
    exit->setObjectName(QStringLiteral("ExitBtn"));
    connect(exit, &QPushButton::clicked, this, &QDialog::close);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(exit);
    auto* layout = new QVBoxLayout(this);
    layout->addStretch(1);
    layout->addLayout(buttons);
}

} // namespace kyr::app
