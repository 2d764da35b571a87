// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/maps/JetControls.h"

#include "setup/Fields.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QSlider>

namespace kyr::app::maps {

namespace {

constexpr int StartPosition = 127;
constexpr int PageStep = 10;

int slot(kyr::maps::Jet jet) { return jet == kyr::maps::Jet::Main ? 0 : 1; }

} // namespace

JetControls::JetControls(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("JetControls"));
    new QGridLayout(this);
    m_trims[0] = makeTrim(kyr::maps::Jet::Main, QStringLiteral("Main Jet"), 0);
    m_trims[1] = makeTrim(kyr::maps::Jet::Idle, QStringLiteral("Idle Jet"), 1);
    setEnabled(false);
}

JetControls::Trim JetControls::makeTrim(kyr::maps::Jet jet, const QString& caption, int column)
{
    const bool main = jet == kyr::maps::Jet::Main;
    auto* bar = new QSlider(Qt::Vertical, this);
    bar->setObjectName(main ? QStringLiteral("MainJetAdjust") : QStringLiteral("IdleJetAdjust"));
    bar->setRange(kyr::setup::JetTrackBarMin, kyr::maps::JetPositionMax);
    bar->setPageStep(PageStep);
    // Position 2 (the largest value) is at the top, and the Up key moves up.
    bar->setInvertedAppearance(true);
    bar->setInvertedControls(true);
    bar->setTickPosition(QSlider::TicksBothSides);
    bar->setTickInterval(25);
    bar->setValue(StartPosition);

    auto* edit = new QLineEdit(this);
    edit->setObjectName(main ? QStringLiteral("Edit28") : QStringLiteral("Edit32"));
    edit->setMaximumWidth(60);
    edit->setText(QString::fromStdString(kyr::setup::jetTextForPosition(StartPosition)));
    auto* label = new QLabel(caption, this);
    label->setBuddy(edit);

    auto* grid = static_cast<QGridLayout*>(layout());
    grid->addWidget(label, 0, column, Qt::AlignHCenter);
    grid->addWidget(bar, 1, column, Qt::AlignHCenter);
    grid->addWidget(edit, 2, column, Qt::AlignHCenter);
    grid->setRowStretch(1, 1);

    connect(bar, &QSlider::valueChanged, edit, [edit](int position) {
        edit->setText(QString::fromStdString(kyr::setup::jetTextForPosition(position)));
    });
    return {bar, edit};
}

QSlider* JetControls::trackBar(kyr::maps::Jet jet) const { return m_trims[slot(jet)].bar; }

QLineEdit* JetControls::edit(kyr::maps::Jet jet) const { return m_trims[slot(jet)].edit; }

std::optional<kyr::maps::Jet> JetControls::jetOf(const QString& control)
{
    if (control == QLatin1String("Edit28") || control == QLatin1String("MainJetAdjust"))
        return kyr::maps::Jet::Main;
    if (control == QLatin1String("Edit32") || control == QLatin1String("IdleJetAdjust"))
        return kyr::maps::Jet::Idle;
    return std::nullopt;
}

void JetControls::move(const kyr::maps::JetMove& move)
{
    QSlider* bar = trackBar(move.jet);
    bar->setValue(kyr::maps::movedJetPosition(bar->value(), move.positionDelta));
}

void JetControls::setPosition(kyr::maps::Jet jet, int position)
{
    QSlider* bar = trackBar(jet);
    const QSignalBlocker block(bar);
    bar->setValue(position);
}

} // namespace kyr::app::maps
