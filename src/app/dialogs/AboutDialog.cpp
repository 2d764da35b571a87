// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/dialogs/AboutDialog.h"

#include "app/dialogs/SerialDialog.h"
#include "app/common/TuneModel.h"
#include "tools/ProgramInfo.h"
#include "tools/SerialNumber.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace kyr::app::dialogs {

namespace {

// Opens the serial-number dialog for service staff; compared case-sensitively.
const QString AccessCode = QStringLiteral("VolPlanet836&");
constexpr int AccessCodeMax = 16;

} // namespace

AboutDialog::AboutDialog(const TuneModel& model, QWidget* owner)
    : OwnedDialog(owner, QStringLiteral("TForm2"), QStringLiteral("About the KYR Interface")), m_model(model)
{
    m_image = new QLabel(QStringLiteral("KYR"), this);
    m_image->setObjectName(QStringLiteral("Image4"));
    m_image->setAlignment(Qt::AlignCenter);
    m_image->setStyleSheet(QStringLiteral("font-size: 24pt; font-weight: bold;"));
    m_image->installEventFilter(this);

    m_memo = new QPlainTextEdit(this);
    m_memo->setObjectName(QStringLiteral("Memo1"));
    m_memo->setReadOnly(true);

    m_code = new QLineEdit(this);
    m_code->setObjectName(QStringLiteral("Edit1"));
    m_code->setMaxLength(AccessCodeMax);
    m_code->setEchoMode(QLineEdit::Password);
    m_confirm = new QPushButton(QStringLiteral("OK"), this);
    m_confirm->setObjectName(QStringLiteral("Button2"));
    connect(m_confirm, &QPushButton::clicked, this, &AboutDialog::button2Click);

    auto* ok = m_ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("Button1"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    // The version, the license and where the source is, below the memo.
    auto* license = new QLabel(QStringLiteral("KYR Tuner %1\n%2\n%3")
                                   .arg(QString::fromStdString(tools::programVersion()),
                                        QString::fromStdString(tools::licenseLine()),
                                        QString::fromStdString(tools::sourceLine())),
                               this);
    license->setObjectName(QStringLiteral("LicenseLabel"));
    license->setWordWrap(true);
    license->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* codeRow = new QHBoxLayout;
    codeRow->addWidget(m_code);
    codeRow->addWidget(m_confirm);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_image);
    layout->addWidget(m_memo);
    layout->addWidget(license);
    layout->addLayout(codeRow);
    layout->addLayout(buttons);
}

void AboutDialog::setSerialDialog(QDialog* serial)
{
    if (m_serial)
        disconnect(m_serial, nullptr, this, nullptr);
    m_serial = serial;
    if (auto* dialog = qobject_cast<SerialDialog*>(serial))
        connect(dialog, &SerialDialog::serialUpdated, this, &AboutDialog::reportSerialUpdated);
}

void AboutDialog::reportSerialUpdated(const QString& serial)
{
    m_memo->clear();
    m_memo->appendPlainText(QStringLiteral("Serial number updated..."));
    m_memo->appendPlainText(QStringLiteral("New serial number is ") + serial);
}

QStringList AboutDialog::memo() const { return m_memo->toPlainText().split(QLatin1Char('\n')); }

QString AboutDialog::productLine() { return QStringLiteral("KYR Tuner Beta 1.x"); }

QStringList AboutDialog::memoLines(const TuneModel& model)
{
    const session::UnitInfo& unit = model.state().unit;
    return {productLine(),
            QStringLiteral("Model: KYR ") + QString::fromStdString(unit.modelText),
            QStringLiteral("Version: ") + QString::fromStdString(unit.versionText),
            QStringLiteral("Type: ") + QString::fromStdString(unit.typeName),
            QStringLiteral("Serial: ") + QString::fromStdString(tools::serialText(model.state().setup))};
}

// Every opening starts with the memo rebuilt and the access field hidden.
void AboutDialog::showEvent(QShowEvent* event)
{
    OwnedDialog::showEvent(event);
    if (event->spontaneous())
        return;
    m_memo->setPlainText(memoLines(m_model).join(QLatin1Char('\n')));
    hideAccess();
}

// Enter confirms the access field while it shows, and closes the box otherwise.
void AboutDialog::hideAccess()
{
    m_code->clear();
    m_code->hide();
    m_confirm->hide();
    m_ok->setDefault(true);
}

bool AboutDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_image && event->type() == QEvent::MouseButtonPress)
        image4Click(static_cast<QMouseEvent*>(event)->modifiers());
    return OwnedDialog::eventFilter(watched, event);
}

// Alt and Ctrl must be held at the moment of the click, with a unit connected.
void AboutDialog::image4Click(Qt::KeyboardModifiers modifiers)
{
    const bool held = modifiers.testFlag(Qt::AltModifier) && modifiers.testFlag(Qt::ControlModifier);
    if (!held || !m_model.state().flags.UnitConnected)
        return;
    m_code->show();
    m_confirm->show();
    m_confirm->setDefault(true);
    m_code->setFocus();
}

void AboutDialog::button2Click()
{
    if (m_code->text() != AccessCode) {
        m_code->clear();
        return;
    }
    hideAccess();
    if (m_serial)
        m_serial->show(); // disables this box until it closes
}

} // namespace kyr::app::dialogs
