// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/dialogs/SaveFromDialog.h"

#include "app/common/TuneModel.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace kyr::app::dialogs {

SaveFromDialog::SaveFromDialog(const TuneModel& model, QWidget* owner)
    : OwnedDialog(owner, QStringLiteral("TSaveFrm"), QStringLiteral("Save From?")), m_model(model)
{
    m_fromKyr = new QRadioButton(QStringLiteral("Save From KYR"), this);
    m_fromKyr->setObjectName(QStringLiteral("RadioButton1"));
    m_fromKyr->setChecked(true);
    m_fromPc = new QRadioButton(QStringLiteral("Save From PC"), this);
    m_fromPc->setObjectName(QStringLiteral("RadioButton2"));

    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setObjectName(QStringLiteral("Button1"));
    m_ok->setDefault(true);
    connect(m_ok, &QPushButton::clicked, this, &SaveFromDialog::okClick);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("Button2"));
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_fromKyr);
    layout->addWidget(m_fromPc);
    layout->addLayout(buttons);
}

// The unit is offered only while one is connected, the program's image only
// when it holds a whole table; with neither there is nothing to save.
void SaveFromDialog::showEvent(QShowEvent* event)
{
    OwnedDialog::showEvent(event);
    if (event->spontaneous())
        return;
    const session::TuneState& s = m_model.state();
    m_fromKyr->setEnabled(s.flags.UnitConnected);
    m_fromPc->setEnabled(s.imageWhole);
    if (!m_fromKyr->isEnabled() && m_fromPc->isEnabled())
        m_fromPc->setChecked(true);
    else if (!m_fromPc->isEnabled() && m_fromKyr->isEnabled())
        m_fromKyr->setChecked(true);
    m_ok->setEnabled(m_fromKyr->isEnabled() || m_fromPc->isEnabled());
}

void SaveFromDialog::okClick()
{
    const Source source = m_fromKyr->isChecked() ? Source::Kyr : Source::Pc;
    accept();
    emit saveChosen(source);
}

} // namespace kyr::app::dialogs
