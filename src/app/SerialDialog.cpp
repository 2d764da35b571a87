#include "app/SerialDialog.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace kyr::app {

SerialDialog::SerialDialog(AppContext context, QWidget* owner)
    : OwnedDialog(owner, QStringLiteral("TSerialFrm"), QStringLiteral("Serial Number")), m_context(context)
{
    auto* exit = new QPushButton(QStringLiteral("Exit"), this);
    exit->setObjectName(QStringLiteral("Button2"));
    connect(exit, &QPushButton::clicked, this, &QDialog::close);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(exit);
    auto* layout = new QVBoxLayout(this);
    layout->addStretch(1);
    layout->addLayout(buttons);
}

} // namespace kyr::app
