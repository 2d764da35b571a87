// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/setup/SetupPanels.h"

#include "app/common/ControlNames.h"
#include "setup/Fields.h"
#include "setup/Switches.h"
#include "table/Layout.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QEvent>
#include <QFocusEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QStackedLayout>
#include <QVBoxLayout>


namespace kyr::app::setup {

namespace {

using kyr::setup::FieldDef;
using kyr::setup::SwitchDef;
using kyr::setup::SwitchType;
using W = kyr::setup::SwitchId;

QString qs(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

constexpr std::string_view kEngine = "Engine Configuration";
constexpr std::string_view kSensors = "Active Sensors";
constexpr std::string_view kLambda = "Lambda Configuration";
constexpr std::string_view kOutputs = "General Purpose Output";
constexpr std::string_view kPump = "Accelerator Pump";
constexpr std::string_view kCalibrate = "Calibrate";

// Where each box goes: four columns, top to bottom. Radio groups are boxes of
// their own, named by their caption.
struct BoxPlace {
    std::string_view title;
    int column;
};
constexpr BoxPlace kPlaces[] = {
    {kEngine, 0}, {"Coil Combination", 0}, {"Timing Configuration", 0},
    {"Fuel Configuration", 1}, {kPump, 1},
    {"Launch Control", 2}, {"Idle Control", 2}, {kLambda, 2}, {"Vacuum Configuration", 2},
    {kOutputs, 3}, {kSensors, 3}, {"Tuning POT Input", 3},
};
constexpr int kColumns = 4;

// A caption standing on its own row before a field.
struct Prefix {
    table::SetupParam field;
    std::string_view caption;
};
constexpr Prefix kPrefixes[] = {{table::SetupParam::IdleUp, "Response -"}};

// Sensor switches live in "Active Sensors" except these.
constexpr std::pair<kyr::setup::SwitchId, std::string_view> kSwitchPanels[] = {{W::TwoStroke, kEngine}};

// The accelerator pump track bars: the pump mode item whose box holds each
// ("Map" or "TPS") and its caption there.
struct SliderPlace {
    kyr::setup::SwitchId control;
    int modeItem;
    std::string_view caption;
};
constexpr SliderPlace kSliders[] = {
    {W::AccMapSens, 1, "Sensitivity"}, {W::AccMapEnrich, 1, "Enrichment %"}, {W::AccMapMaxRpm, 1, "Max RPM"},
    {W::AccTpsSens, 2, "Sensitivity"}, {W::AccTpsEnrich, 2, "Enrichment %"}, {W::AccTpsMaxRpm, 2, "Max RPM"},
};

constexpr int kEditChars = 7;    // a field holds "10000" and a little air
constexpr int kDisplayChars = 5; // a track bar's value: "10000" at most

class PanelBuilder {
public:
    explicit PanelBuilder(QWidget* root) : m_root(root) {}

    QWidget* build();

private:
    QWidget* box(std::string_view title);
    QGroupBox* fieldBox(std::string_view title);
    void addFieldRows(QGridLayout* grid, std::string_view panel);
    QLineEdit* makeEdit(const QString& name, QWidget* parent);
    QLineEdit* makeDisplay(const QString& name, QWidget* parent);
    QLabel* makeUnitLabel(const FieldDef& f, QWidget* parent);
    QGroupBox* sensorsBox();
    QWidget* sensorButton(const SwitchDef& sensor, QWidget* parent);
    QGroupBox* outputsBox();
    QGroupBox* outputBox(int output, QWidget* parent);
    QWidget* pumpBox();
    QGroupBox* sliderBox(int modeItem, QWidget* parent);
    void addLambdaTarget(QGroupBox* box, QGridLayout* grid);
    RadioGroup* radioGroup(const SwitchDef& s, QWidget* parent);

    QWidget* m_root;
};

std::string_view switchPanel(const SwitchDef& s)
{
    for (const auto& [control, panel] : kSwitchPanels)
        if (control == s.id)
            return panel;
    return kSensors;
}

QWidget* PanelBuilder::build()
{
    auto* panels = new QWidget(m_root);
    panels->setObjectName(QStringLiteral("SetupPanels"));
    m_root = panels;
    auto* row = new QHBoxLayout(panels);
    row->setContentsMargins(0, 0, 0, 0);
    QVBoxLayout* columns[kColumns];
    for (auto*& c : columns) {
        c = new QVBoxLayout;
        row->addLayout(c, 1);
    }
    for (const auto& p : kPlaces)
        columns[p.column]->addWidget(box(p.title));
    for (auto* c : columns)
        c->addStretch(1);
    return panels;
}

QWidget* PanelBuilder::box(std::string_view title)
{
    if (title == kSensors)
        return sensorsBox();
    if (title == kOutputs)
        return outputsBox();
    if (title == kPump)
        return pumpBox();
    for (const auto& s : kyr::setup::switchTable())
        if (s.type == SwitchType::Choice && s.caption == title)
            return radioGroup(s, m_root);
    return fieldBox(title);
}

// No MaxLength on the widget: it would cut "123" to "12" unseen, where the
// engine refuses it and says why.
QLineEdit* PanelBuilder::makeEdit(const QString& name, QWidget* parent)
{
    auto* e = new QLineEdit(parent);
    e->setObjectName(name);
    e->setFixedWidth(e->fontMetrics().horizontalAdvance(QString(kEditChars, QLatin1Char('0'))) + 12);
    return e;
}

QLineEdit* PanelBuilder::makeDisplay(const QString& name, QWidget* parent)
{
    QLineEdit* e = makeEdit(name, parent);
    e->setFixedWidth(e->fontMetrics().horizontalAdvance(QString(kDisplayChars, QLatin1Char('0'))) + 12);
    e->setReadOnly(true);
    e->setFocusPolicy(Qt::NoFocus);
    return e;
}

QGroupBox* PanelBuilder::fieldBox(std::string_view title)
{
    auto* b = new QGroupBox(qs(title), m_root);
    auto* grid = new QGridLayout(b);
    addFieldRows(grid, title);
    for (const auto& s : kyr::setup::switchTable()) {
        if (s.type != SwitchType::Sensor || switchPanel(s) != title)
            continue;
        auto* check = new QCheckBox(qs(s.caption), b);
        check->setObjectName(controlName(s.id));
        grid->addWidget(check, grid->rowCount(), 0, 1, 3);
    }
    if (title == kLambda)
        addLambdaTarget(b, grid);
    grid->setColumnStretch(0, 1);
    return b;
}

void PanelBuilder::addFieldRows(QGridLayout* grid, std::string_view panel)
{
    QWidget* parent = grid->parentWidget();
    for (const FieldDef& f : kyr::setup::fieldTable()) {
        if (f.panel != panel)
            continue;
        for (const auto& p : kPrefixes)
            if (p.field == f.param)
                grid->addWidget(new QLabel(qs(p.caption), parent), grid->rowCount(), 0, 1, 2);
        const int row = grid->rowCount();
        QLineEdit* edit = makeEdit(controlName(f.param), parent);
        auto* label = new QLabel(qs(f.label), parent);
        label->setBuddy(edit);
        grid->addWidget(label, row, 0);
        grid->addWidget(edit, row, 1);
        grid->addWidget(makeUnitLabel(f, parent), row, 2);
    }
}

// The unit stands beside the field in a label of its own, so the captions
// stay as they are; an output's follows its source (the binder sets it).
QLabel* PanelBuilder::makeUnitLabel(const FieldDef& f, QWidget* parent)
{
    auto* unit = new QLabel(qs(kyr::setup::fieldUnit(f, kyr::setup::SourceNone)), parent);
    unit->setObjectName(unitLabelName(controlName(f.param)));
    return unit;
}

QGroupBox* PanelBuilder::sensorsBox()
{
    auto* b = new QGroupBox(qs(kSensors), m_root);
    auto* grid = new QGridLayout(b);
    for (const auto& s : kyr::setup::switchTable()) {
        if (s.type != SwitchType::Sensor || switchPanel(s) != kSensors)
            continue;
        const int row = grid->rowCount();
        auto* check = new QCheckBox(qs(s.caption), b);
        check->setObjectName(controlName(s.id));
        grid->addWidget(check, row, 0);
        if (QWidget* button = sensorButton(s, b))
            grid->addWidget(button, row, 1);
    }
    grid->setColumnStretch(0, 1);
    return b;
}

// The enable rules tie each Calibrate button to its sensor's row and to the
// hidden field it shows (none for the throttle's, which opens a dialog).
QWidget* PanelBuilder::sensorButton(const SwitchDef& sensor, QWidget* parent)
{
    for (const auto& rule : kyr::setup::enableRules()) {
        if (rule.when != sensor.param || !std::holds_alternative<kyr::setup::SetupButton>(rule.control))
            continue;
        auto* button = new QPushButton(qs(kCalibrate), parent);
        button->setObjectName(controlName(rule.control));
        const FieldDef* field = rule.needs ? kyr::setup::fieldByParam(*rule.needs) : nullptr;
        if (!field)
            return button;
        QLineEdit* edit = makeEdit(controlName(field->param), parent);
        return new CalibrationSlot(button, edit, parent);
    }
    return nullptr;
}

QGroupBox* PanelBuilder::outputsBox()
{
    auto* b = new QGroupBox(qs(kOutputs), m_root);
    auto* row = new QHBoxLayout(b);
    row->addWidget(outputBox(1, b));
    row->addWidget(outputBox(2, b));
    return b;
}

QGroupBox* PanelBuilder::outputBox(int output, QWidget* parent)
{
    const table::SetupParam source = kyr::setup::outputSourceParam(output);
    std::string_view title;
    for (const FieldDef& f : kyr::setup::fieldTable())
        if (f.output == output)
            title = f.panel;
    auto* b = new QGroupBox(qs(title), parent);
    auto* grid = new QGridLayout(b);
    // One parent per output keeps its buttons exclusive among themselves.
    for (const auto& s : kyr::setup::switchTable()) {
        if (s.type != SwitchType::Source || s.param != source)
            continue;
        auto* radio = new QRadioButton(qs(s.caption), b);
        radio->setObjectName(controlName(s.id));
        grid->addWidget(radio, grid->rowCount(), 0, 1, 2);
    }
    addFieldRows(grid, title);
    return b;
}

QWidget* PanelBuilder::pumpBox()
{
    auto* w = new QWidget(m_root);
    auto* column = new QVBoxLayout(w);
    column->setContentsMargins(0, 0, 0, 0);
    const SwitchDef* mode = &kyr::setup::switchDef(W::AccPumpMode);
    column->addWidget(radioGroup(*mode, w));
    // One box per pump mode that has track bars, under the mode's choice.
    column->addWidget(sliderBox(1, w));
    column->addWidget(sliderBox(2, w));
    return w;
}

QGroupBox* PanelBuilder::sliderBox(int modeItem, QWidget* parent)
{
    const auto& modes = table::setupDef(table::SetupParam::AccPumpMode).choices;
    auto* b = new QGroupBox(qs(modes[modeItem]), parent);
    auto* grid = new QGridLayout(b);
    int column = 0;
    for (const auto& place : kSliders) {
        const SwitchDef* s = &kyr::setup::switchDef(place.control);
        if (place.modeItem != modeItem || !s->display)
            continue;
        auto* slider = new QSlider(Qt::Vertical, b);
        slider->setObjectName(controlName(s->id));
        slider->setRange(s->minimum, s->maximum);
        // The top of the bar is the largest value: position = maximum - value + 1.
        slider->setInvertedAppearance(true);
        slider->setInvertedControls(true);
        slider->setMinimumHeight(90);
        auto* caption = new QLabel(qs(place.caption), b);
        caption->setAlignment(Qt::AlignHCenter);
        grid->addWidget(caption, 0, column, Qt::AlignHCenter);
        grid->addWidget(slider, 1, column, Qt::AlignHCenter);
        grid->addWidget(makeDisplay(controlName(*s->display), b), 2, column, Qt::AlignHCenter);
        ++column;
    }
    return b;
}

void PanelBuilder::addLambdaTarget(QGroupBox* box, QGridLayout* grid)
{
    for (const auto& s : kyr::setup::switchTable()) {
        if (s.type != SwitchType::LambdaTarget)
            continue;
        const int row = grid->rowCount();
        QLineEdit* volts = makeDisplay(controlName(s.display.value_or(kyr::setup::SetupText::LambdaVolts)), box);
        auto* label = new QLabel(qs(s.caption), box);
        label->setBuddy(volts);
        grid->addWidget(label, row, 0);
        grid->addWidget(volts, row, 1);
        grid->addWidget(new QLabel(QStringLiteral("V"), box), row, 2);
        auto* slider = new QSlider(Qt::Horizontal, box);
        slider->setObjectName(controlName(s.id));
        slider->setRange(s.minimum, s.maximum);
        slider->setPageStep(5);
        slider->setValue((s.minimum + s.maximum) / 2);
        grid->addWidget(slider, row + 1, 0, 1, 3);
    }
}

RadioGroup* PanelBuilder::radioGroup(const SwitchDef& s, QWidget* parent)
{
    QStringList items;
    for (std::string_view c : table::setupDef(s.param).choices)
        items << qs(c);
    // Short lists stand in one column; longer ones take two.
    const int columns = items.size() > 3 ? 2 : 1;
    return new RadioGroup(controlName(s.id), qs(s.caption), items, columns, parent);
}

} // namespace

// ---------------------------------------------------------------- RadioGroup

RadioGroup::RadioGroup(const QString& name, const QString& caption, const QStringList& items, int columns,
                       QWidget* parent)
    : QGroupBox(caption, parent), m_group(new QButtonGroup(this))
{
    setObjectName(name);
    auto* grid = new QGridLayout(this);
    const int rows = (static_cast<int>(items.size()) + columns - 1) / columns;
    for (int i = 0; i < items.size(); ++i) {
        auto* b = new QRadioButton(items[i], this);
        b->setObjectName(QStringLiteral("%1_%2").arg(name).arg(i));
        m_group->addButton(b, i);
        grid->addWidget(b, i % rows, i / rows);
    }
    connect(m_group, &QButtonGroup::idToggled, this, [this](int id, bool on) {
        if (on)
            emit itemChanged(id);
    });
}

int RadioGroup::itemIndex() const { return m_group->checkedId(); }

void RadioGroup::setItemIndex(int index)
{
    if (index == itemIndex())
        return;
    if (QAbstractButton* b = m_group->button(index)) {
        b->setChecked(true);
        return;
    }
    // No item: an exclusive group cannot uncheck its last button.
    m_group->setExclusive(false);
    for (QAbstractButton* b : m_group->buttons())
        b->setChecked(false);
    m_group->setExclusive(true);
}

QAbstractButton* RadioGroup::item(int index) const { return m_group->button(index); }

// ---------------------------------------------------------------- CalibrationSlot

CalibrationSlot::CalibrationSlot(QPushButton* button, QLineEdit* field, QWidget* parent)
    : QWidget(parent), m_button(button), m_field(field), m_stack(new QStackedLayout(this))
{
    setObjectName(button->objectName() + QStringLiteral("Slot"));
    m_stack->setContentsMargins(0, 0, 0, 0);
    m_stack->addWidget(button);
    m_stack->addWidget(field);
    m_stack->setCurrentWidget(button);
    field->installEventFilter(this);
    connect(button, &QPushButton::clicked, this, &CalibrationSlot::showField);
}

bool CalibrationSlot::fieldShown() const { return m_stack->currentWidget() == m_field; }

void CalibrationSlot::showField()
{
    m_stack->setCurrentWidget(m_field);
    m_field->setFocus(Qt::OtherFocusReason);
}

void CalibrationSlot::showButton() { m_stack->setCurrentWidget(m_button); }

bool CalibrationSlot::eventFilter(QObject* watched, QEvent* event)
{
    // A context menu takes the focus for a moment; the field stays for it.
    if (watched == m_field && event->type() == QEvent::FocusOut
        && static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason)
        showButton();
    return QWidget::eventFilter(watched, event);
}

QWidget* buildSetupPanels(QWidget* parent) { return PanelBuilder(parent).build(); }

QString unitLabelName(const QString& control) { return control + QStringLiteral("Unit"); }

QStringList setupPanelTitles()
{
    QStringList titles;
    for (const auto& p : kPlaces)
        titles << qs(p.title);
    return titles;
}

} // namespace kyr::app::setup
