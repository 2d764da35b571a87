#include "app/maps/ChartReadout.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>

namespace kyr::app {

namespace {

QString text(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

// What the position read-out counts in, by the chart's bottom axis.
QString positionCaption(const maps::ChartDef& def)
{
    if (def.readout.positionText == maps::PositionText::Hundreds)
        return QStringLiteral("RPM");
    return text(def.bottomTitle);
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

QLabel* makeLabel(std::string_view field, const QString& caption, QWidget* parent)
{
    auto* l = new QLabel(caption, parent);
    l->setObjectName(text(field) + QStringLiteral("Label"));
    return l;
}

} // namespace

ChartReadout::ChartReadout(const maps::ChartDef& def, QWidget* parent)
    : QWidget(parent),
      m_value(makeField(def.readout.valueField, this)),
      m_position(makeField(def.readout.positionField, this)),
      m_valueLabel(makeLabel(def.readout.valueField, text(def.leftTitle), this)),
      m_positionLabel(makeLabel(def.readout.positionField, positionCaption(def), this))
{
    setObjectName(text(def.object) + QStringLiteral("Readout"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addStretch(1);
    row->addWidget(m_valueLabel);
    row->addWidget(m_value);
    row->addSpacing(12);
    row->addWidget(m_positionLabel);
    row->addWidget(m_position);
    row->addStretch(1);
    // Keep the row's height while the fields are hidden, so the chart does not jump.
    for (QWidget* w : parts()) {
        QSizePolicy p = w->sizePolicy();
        p.setRetainSizeWhenHidden(true);
        w->setSizePolicy(p);
    }
    hideAll();
}

void ChartReadout::showReadout(const maps::Readout& readout)
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
}

void ChartReadout::hideAll()
{
    for (QWidget* w : parts())
        w->setVisible(false);
}

std::array<QWidget*, 4> ChartReadout::parts() const
{
    return {m_valueLabel, m_value, m_positionLabel, m_position};
}

bool ChartReadout::shown() const { return !m_value->isHidden(); }

} // namespace kyr::app
