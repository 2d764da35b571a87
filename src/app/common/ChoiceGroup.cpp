// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/common/ChoiceGroup.h"

#include <QButtonGroup>
#include <QRadioButton>
#include <QVBoxLayout>

namespace kyr::app {

ChoiceGroup::ChoiceGroup(const QString& title, const std::vector<Choice>& choices, int checked, QWidget* parent)
    : QGroupBox(title, parent), m_group(new QButtonGroup(this))
{
    auto* column = new QVBoxLayout(this);
    for (const Choice& c : choices) {
        auto* b = new QRadioButton(c.caption, this);
        b->setObjectName(c.object);
        m_group->addButton(b, static_cast<int>(m_buttons.size()));
        m_buttons.push_back(b);
        column->addWidget(b);
    }
    column->addStretch(1);
    setChosen(checked);
    connect(m_group, &QButtonGroup::idClicked, this, [this](int index) {
        showBold();
        emit choiceMade(index);
    });
}

void ChoiceGroup::setChosen(int index)
{
    if (QRadioButton* b = button(index))
        b->setChecked(true);
    showBold();
}

int ChoiceGroup::chosen() const { return m_group->checkedId(); }

QRadioButton* ChoiceGroup::button(int index) const
{
    return index >= 0 && index < static_cast<int>(m_buttons.size()) ? m_buttons[index] : nullptr;
}

void ChoiceGroup::showBold()
{
    for (QRadioButton* b : m_buttons) {
        QFont f = b->font();
        f.setBold(b->isChecked());
        b->setFont(f);
    }
}

} // namespace kyr::app
