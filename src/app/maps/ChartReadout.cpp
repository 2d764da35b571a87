// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/maps/ChartReadout.h"

#include "app/common/ControlNames.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>

namespace kyr::app::maps {

namespace {

QString text(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

// What the value read-out holds, by the chart's maps.
QString valueCaption(const kyr::maps::ChartDef& def)
{
    if (def.page == "Correction Maps")
        return QStringLiteral("Correction");
    return def.group == table::MapGroup::Timing ? QStringLiteral("Timing") : QStringLiteral("Fuel");
}

// "28°" and "12 %": the degree sign stands close to its number.
QString joinedUnit(const QString& unit)
{
    return unit == QString(QChar(0x00B0)) ? unit : QLatin1Char(' ') + unit;
}

QLineEdit* makeField(std::string_view name, QWidget* parent)
{
    auto* e = new QLineEdit(parent);
    e->setObjectName(text(name));
    e->setReadOnly(true);
    // A read-out never takes the keys: the map keys act while no text field has the focus.
    e->setFocusPolicy(Qt::NoFocus);
    // Wide enough for a position of ten digits ("11.73333333").
    e->setFixedWidth(e->fontMetrics().horizontalAdvance(QStringLiteral("-00.000000000")) + 12);
    e->setAlignment(Qt::AlignRight);
    return e;
}

QLabel* makeLabel(std::string_view field, const QString& caption, QWidget* parent, const char* suffix = "Label")
{
    auto* l = new QLabel(caption, parent);
    l->setObjectName(text(field) + QLatin1String(suffix));
    return l;
}

} // namespace

ChartReadout::ChartReadout(const kyr::maps::ChartDef& def, QWidget* parent)
    : QWidget(parent),
      m_value(makeField(chartLook(def.id).valueField, this)),
      m_position(makeField(chartLook(def.id).positionField, this)),
      m_valueLabel(makeLabel(chartLook(def.id).valueField, valueCaption(def), this)),
      m_positionLabel(makeLabel(chartLook(def.id).positionField, QStringLiteral("at"), this)),
      m_valueUnit(makeLabel(chartLook(def.id).valueField, text(kyr::maps::valueUnit(def.curves.front().map)), this, "Unit")),
      m_positionUnit(makeLabel(chartLook(def.id).positionField, text(kyr::maps::positionUnit(def.id)), this, "Unit"))
{
    setObjectName(QString::fromLatin1(chartLook(def.id).object) + QStringLiteral("Readout"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addStretch(1);
    row->addWidget(m_valueLabel);
    row->addWidget(m_value);
    row->addWidget(m_valueUnit);
    row->addSpacing(12);
    row->addWidget(m_positionLabel);
    row->addWidget(m_position);
    row->addWidget(m_positionUnit);
    row->addStretch(1);
    // Keep the row's height while the fields are hidden, so the chart does not jump.
    for (QWidget* w : parts()) {
        QSizePolicy p = w->sizePolicy();
        p.setRetainSizeWhenHidden(true);
        w->setSizePolicy(p);
    }
    hideAll();
}

void ChartReadout::showReadout(const kyr::maps::Readout& readout)
{
    if (readout.value)
        m_value->setText(QString::fromStdString(*readout.value));
    if (readout.position)
        m_position->setText(QString::fromStdString(*readout.position));
    // A text wider than its field shows from its start.
    m_value->setCursorPosition(0);
    m_position->setCursorPosition(0);
    for (QWidget* w : parts())
        w->setVisible(true);
    setToolTip(readoutText());
}

void ChartReadout::hideAll()
{
    for (QWidget* w : parts())
        w->setVisible(false);
}

std::array<QWidget*, 6> ChartReadout::parts() const
{
    return {m_valueLabel, m_value, m_valueUnit, m_positionLabel, m_position, m_positionUnit};
}

void ChartReadout::showValueUnitOf(table::MapId map) { m_valueUnit->setText(text(kyr::maps::valueUnit(map))); }

QString ChartReadout::readoutText() const
{
    return m_value->text() + joinedUnit(m_valueUnit->text()) + QStringLiteral(" at ") + m_position->text()
        + joinedUnit(m_positionUnit->text());
}

bool ChartReadout::shown() const { return !m_value->isHidden(); }

} // namespace kyr::app::maps
