// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/dialogs/SerialDialog.h"

#include "app/common/MessageSink.h"
#include "app/common/ControlNames.h"
#include "app/setup/SetupCommit.h"
#include "app/common/TuneModel.h"
#include "tools/SerialNumber.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include <algorithm>

namespace kyr::app::dialogs {

namespace {

constexpr int LetterWidth = 1;
constexpr int NumberWidth = 2;

} // namespace

SerialDialog::SerialDialog(AppContext context, QWidget* owner)
    : OwnedDialog(owner, QStringLiteral("TSerialFrm"), QStringLiteral("Serial Number")), m_context(context)
{
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);

    auto* grid = new QGridLayout;
    const auto fields = tools::serialFields();
    for (int i = 0; i < tools::SerialFieldCount; ++i) {
        const tools::SerialFieldDef& f = fields[i];
        auto* label = new QLabel(QString::fromUtf8(table::setupDef(f.param).caption), this);
        label->setAlignment(Qt::AlignCenter);
        auto* edit = new QLineEdit(this);
        edit->setObjectName(controlName(f.field));
        edit->setMaxLength(f.letter ? LetterWidth : NumberWidth);
        edit->setAlignment(Qt::AlignCenter);
        edit->setFixedWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("WWW")) + 12);
        connect(edit, &QLineEdit::textEdited, this, [this, i](const QString& text) { fieldEdited(i, text); });
        grid->addWidget(label, 0, i);
        grid->addWidget(edit, 1, i);
        m_fields[i] = edit;
    }

    m_update = new QPushButton(QStringLiteral("Update"), this);
    m_update->setObjectName(QStringLiteral("Button1"));
    m_update->setEnabled(false);
    connect(m_update, &QPushButton::clicked, this, &SerialDialog::button1Click);
    auto* exit = new QPushButton(QStringLiteral("Exit"), this);
    exit->setObjectName(QStringLiteral("Button2"));
    connect(exit, &QPushButton::clicked, this, &QDialog::close);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_update);
    buttons->addStretch(1);
    buttons->addWidget(exit);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
}

void SerialDialog::showEvent(QShowEvent* event)
{
    OwnedDialog::showEvent(event);
    if (event->spontaneous())
        return;
    fillFields();
    m_update->setEnabled(false);
    centreOnMainWindow();
}

void SerialDialog::fillFields()
{
    const tools::SerialTexts texts = tools::serialFieldTexts(m_context.model.state().setup);
    const auto fields = tools::serialFields();
    for (int i = 0; i < tools::SerialFieldCount; ++i) {
        const QString text = QString::fromStdString(texts[i]);
        // A number past two digits is shown whole, for Update to refuse, not cut to two.
        if (!fields[i].letter)
            m_fields[i]->setMaxLength(std::max<int>(NumberWidth, text.size()));
        m_fields[i]->setText(text);
    }
}

// Any edit enables Update; the letters are forced to upper case as typed.
void SerialDialog::fieldEdited(int field, const QString& text)
{
    if (tools::serialFields()[field].letter) {
        const QString upper = QString::fromStdString(tools::upperLetter(text.toStdString()));
        if (upper != text) {
            const int cursor = m_fields[field]->cursorPosition();
            m_fields[field]->setText(upper);
            m_fields[field]->setCursorPosition(cursor);
        }
    }
    m_update->setEnabled(true);
}

void SerialDialog::button1Click()
{
    tools::SerialTexts texts;
    for (int i = 0; i < tools::SerialFieldCount; ++i)
        texts[i] = m_fields[i]->text().toStdString();
    const auto plan = tools::planSerialUpdate(texts);
    if (!plan) {
        const auto fields = tools::serialFields();
        for (int i = 0; i < tools::SerialFieldCount; ++i)
            if (!tools::serialFieldByte(fields[i], texts[i])) {
                m_fields[i]->setFocus();
                m_fields[i]->selectAll();
                break;
            }
        m_context.messages.warning(windowTitle(), QString::fromStdString(plan.error().message));
        return;
    }

    // Each byte goes out at once, with no pause and no reply, and is kept in
    // the setup copy and the image. The serial bytes are not Setup page
    // values, so Read and Write keep their state, and Exit has no setup
    // change to offer for them.
    TuneModel& model = m_context.model;
    for (const tools::SerialWrite& w : plan.value().writes) {
        const kyr::setup::ByteWrite write{w.offset, w.value};
        model.setupEngine().recordSent(write);
        setup::sendUnitRecord(model, m_context.link, write);
    }
    for (int i = 0; i < tools::SerialFieldCount; ++i)
        m_fields[i]->setText(QString::fromStdString(plan.value().texts[i]));

    emit serialUpdated(QString::fromStdString(tools::serialText(model.state().setup)));
}

// Over the middle of the main window: the about box's own owner.
void SerialDialog::centreOnMainWindow()
{
    QWidget* main = owner() && owner()->parentWidget() ? owner()->parentWidget()->window() : owner();
    if (!main)
        return;
    adjustSize();
    move(main->frameGeometry().center() - QPoint(width() / 2, height() / 2));
}

} // namespace kyr::app::dialogs
