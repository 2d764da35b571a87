// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/dialogs/SetupChangedDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace kyr::app::dialogs {

SetupChangedDialog::SetupChangedDialog(QWidget* owner)
    : OwnedDialog(owner, QStringLiteral("savesetup"), QStringLiteral("KYR Setup"))
{
    auto* line1 = m_line1 = new QLabel(QStringLiteral("You have changed the KYR setup."), this);
    line1->setObjectName(QStringLiteral("Label1"));
    auto* line2 = new QLabel(QStringLiteral("Would you like to save the new setup information to the KYR?"), this);
    line2->setObjectName(QStringLiteral("Label2"));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    const std::pair<const char*, int> choices[] = {{"Yes", Yes}, {"No", No}, {"Cancel", Cancel}};
    int n = 1;
    for (const auto& [caption, result] : choices) {
        auto* b = new QPushButton(QString::fromLatin1(caption), this);
        b->setObjectName(QStringLiteral("Button%1").arg(n++));
        connect(b, &QPushButton::clicked, this, [this, result = result] { done(result); });
        buttons->addWidget(b);
    }

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(line1);
    layout->addWidget(line2);
    layout->addLayout(buttons);
    connect(this, &QDialog::finished, this, [this](int result) { emit answered(static_cast<Choice>(result)); });
}

void SetupChangedDialog::setMapsOnly(bool mapsOnly)
{
    m_line1->setText(mapsOnly ? QStringLiteral("You have tuned the KYR maps; the KYR forgets them when it is switched off.")
                              : QStringLiteral("You have changed the KYR setup."));
}

} // namespace kyr::app::dialogs
