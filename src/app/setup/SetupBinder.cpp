// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/setup/SetupBinder.h"

#include "app/common/ControlNames.h"
#include "app/setup/PendingEdits.h"
#include "app/setup/SetupCommit.h"
#include "app/setup/SetupPanels.h"
#include "app/common/TuneModel.h"
#include "setup/Fields.h"
#include "setup/Switches.h"
#include "tools/TuneCompare.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QToolTip>

#include <utility>

namespace kyr::app::setup {


SetupBinder::SetupBinder(AppContext context, kyr::setup::SetupEngine& engine, QWidget* root, QObject* parent)
    : QObject(parent), m_context(context), m_engine(engine), m_root(root), m_pending(new PendingEdits(this))
{
    connect(m_pending, &PendingEdits::finished, this, &SetupBinder::finishEdit);
    connect(m_pending, &PendingEdits::dropped, this, &SetupBinder::dropEdit);
    bindFields();
    bindSwitches();
    showTips();
    connect(&m_context.model, &TuneModel::stateChanged, this, &SetupBinder::followFlags);
    connect(&m_context.model, &TuneModel::setupChanged, this, &SetupBinder::showSetup);
    followFlags();
}

QWidget* SetupBinder::control(const QString& name) const
{
    return m_root && !name.isEmpty() ? m_root->findChild<QWidget*>(name) : nullptr;
}

QWidget* SetupBinder::control(const kyr::setup::SetupControl& id) const { return control(controlName(id)); }

QLineEdit* SetupBinder::field(const QString& name) const
{
    const std::optional<table::SetupParam> param = fieldOfControl(name);
    auto it = param ? m_fields.find(*param) : m_fields.end();
    return it == m_fields.end() ? nullptr : it->second;
}

// Only bound fields reach here, and each was bound by its name.
table::SetupParam SetupBinder::fieldOf(const QLineEdit* edit) const
{
    return fieldOfControl(edit->objectName()).value_or(table::SetupParam::Cylinders);
}

void SetupBinder::bindFields()
{
    for (const auto& f : kyr::setup::fieldTable()) {
        auto* edit = qobject_cast<QLineEdit*>(control(f.param));
        if (!edit)
            continue;
        m_fields[f.param] = edit;
        m_pending->watch(edit);
        // textEdited comes just before the textChanged of the same change.
        connect(edit, &QLineEdit::textEdited, this, [this, edit] { m_typedInto = edit; });
        connect(edit, &QLineEdit::textChanged, this, [this, edit] { fieldChanged(edit); });
    }
}

void SetupBinder::bindSwitches()
{
    for (const auto& s : kyr::setup::switchTable()) {
        const kyr::setup::SwitchId name = s.id;
        QWidget* w = control(name);
        if (auto* group = qobject_cast<RadioGroup*>(w))
            connect(group, &RadioGroup::itemChanged, this, [this, name](int i) { switchChanged(name, i); });
        else if (auto* check = qobject_cast<QCheckBox*>(w))
            connect(check, &QCheckBox::toggled, this, [this, name](bool on) { switchChanged(name, on ? 1 : 0); });
        else if (auto* radio = qobject_cast<QRadioButton*>(w))
            connect(radio, &QRadioButton::toggled, this, [this, name](bool on) { switchChanged(name, on ? 1 : 0); });
        else if (auto* slider = qobject_cast<QSlider*>(w))
            connect(slider, &QSlider::valueChanged, this, [this, name](int v) { switchChanged(name, v); });
        else
            continue;
        m_switches[name] = w;
    }
}

void SetupBinder::followFlags()
{
    const session::TuneState& s = m_context.model.state();
    if (s.flags.EditsLive && !m_engine.editsLive())
        m_engine.setEditsLive();
    using B = kyr::setup::SetupButton;
    const session::Commands c = s.commands();
    const std::pair<B, bool> buttons[] = {{B::CalibrateThrottle, c.calibrateThrottle},
                                          {B::CalibrateWater, c.calibrateWater},
                                          {B::CalibrateAir, c.calibrateAir},
                                          {B::CalibrateMap, c.calibrateMap}};
    for (const auto& [button, enabled] : buttons)
        if (QWidget* w = control(button))
            w->setEnabled(enabled);
}

void SetupBinder::showSetup()
{
    if (m_context.model.setupShown()) {
        showFill(m_engine.fill(m_context.model.state().setup));
        return;
    }
    // Nothing to show: every byte counts as one the unit lacks, which
    // empties and disables every control.
    table::SetupCopy none;
    none.fill(table::AbsentPlusOne);
    showFill(m_engine.fill(none));
}

void SetupBinder::showFill(const kyr::setup::FillResult& r)
{
    for (const auto& f : r.fields) {
        if (QLineEdit* edit = field(controlName(f.param))) {
            setFieldText(edit, QString::fromStdString(f.text));
            edit->setEnabled(f.enabled);
        }
    }
    for (const auto& s : r.switches) {
        setSwitchState(s.id, s.state);
        if (QWidget* w = control(s.id))
            w->setEnabled(s.enabled);
    }
    for (const auto& t : r.texts)
        setText(t.control, t.text);
    applyEnables(r.enables);
    m_refused.clear();
    showTips();
    for (const auto& m : r.markers)
        emit vacuumMarkerMoved(m.which, m.x);
}

void SetupBinder::fieldChanged(QLineEdit* edit)
{
    const bool typed = std::exchange(m_typedInto, nullptr) == edit;
    // Typing waits for the edit to finish; a text the program sets is whole.
    if (typed)
        showTyping(edit);
    else
        commit(edit);
}

void SetupBinder::showTyping(QLineEdit* edit)
{
    const QString taken = takenText(edit);
    if (edit->text() == taken)
        m_pending->setSettled(edit);
    else
        m_pending->setPending(edit, taken);
}

void SetupBinder::finishEdit(QLineEdit* edit)
{
    if (PendingEdits::holds(edit))
        commit(edit);
}

void SetupBinder::dropEdit(QLineEdit* edit)
{
    if (!PendingEdits::holds(edit))
        return;
    setFieldText(edit, takenText(edit));
}

void SetupBinder::commit(QLineEdit* edit)
{
    m_pending->setSettled(edit);
    m_refused.erase(edit);
    PendingEdits::setRefused(edit, false);
    apply(m_engine.commitText(fieldOf(edit), edit->text().toStdString()), edit);
}

// What the engine holds for a field: its last taken value.
QString SetupBinder::takenText(const QLineEdit* edit) const
{
    return QString::fromStdString(m_engine.text(fieldOf(edit)));
}

bool SetupBinder::takeValue(const table::SetupDef& def, const table::ImageBytes& otherPlusOne)
{
    const tools::ShownSetting shown = tools::shownSetting(def, otherPlusOne);
    if (!shown.known)
        return false;
    if (QLineEdit* edit = field(controlName(def.param))) {
        if (!edit->isEnabled())
            return false;
        QString text = QString::fromStdString(shown.text);
        text.replace(QLatin1Char('.'), QString::fromStdString(m_engine.decimalSeparator()));
        // A whole text set by the program is committed at once (fieldChanged).
        edit->setText(text);
        return true;
    }
    const int raw = (otherPlusOne[def.offset] - 1) & 0xFF;
    for (const auto& s : kyr::setup::switchTable()) {
        auto it = m_switches.find(s.id);
        if (s.param != def.param || it == m_switches.end() || !it->second->isEnabled())
            continue;
        if (s.type == kyr::setup::SwitchType::Source && s.value != raw)
            continue; // another button of the output's source
        setSwitchState(it->first, kyr::setup::switchState(s, raw));
        return true;
    }
    return false;
}

void SetupBinder::switchChanged(kyr::setup::SwitchId id, int state)
{
    apply(m_engine.switchChanged(id, state), nullptr);
}

void SetupBinder::apply(const kyr::setup::Outcome& out, QLineEdit* source)
{
    if (out.empty())
        return;
    // The enabled states first: the model's refresh that the commit sets off
    // applies the ones it tracks.
    applyEnables(out.enables);
    commitSetupOutcome(m_context.model, m_context.link, out);
    for (const auto& t : out.texts)
        setText(t.control, t.text);
    if (out.marker)
        emit vacuumMarkerMoved(out.marker->which, out.marker->x);
    if (out.jet) {
        if (auto* slider = qobject_cast<QSlider*>(control(jetTrackBarName(out.jet->jet)))) {
            const QSignalBlocker block(slider);
            slider->setValue(out.jet->position);
        }
    }
    // The engine holds the text it puts back: setting it runs nothing.
    if (out.putBack && source)
        setFieldText(source, QString::fromStdString(*out.putBack));
    if (out.refusal && source)
        explain(source, QString::fromStdString(*out.refusal));
    // What a field takes may follow another: the limiter the RPM range, an
    // output's limits its source.
    showTips();
}

void SetupBinder::explain(QLineEdit* edit, const QString& why)
{
    m_refused.insert(edit);
    PendingEdits::setRefused(edit, true);
    m_pending->setTip(edit, why);
    if (edit->isVisible())
        QToolTip::showText(edit->mapToGlobal(QPoint(edit->width(), 0)), why, edit);
    emit entryRefused(why);
}

// Each field's tooltip says what it is, what it does and what it takes, and
// its unit label beside it follows its output's source.
void SetupBinder::showTips()
{
    for (const auto& [param, edit] : m_fields) {
        const kyr::setup::FieldDef* f = kyr::setup::fieldByParam(param);
        const int source = m_engine.outputSource(f->output);
        if (auto* unit = qobject_cast<QLabel*>(control(unitLabelName(edit->objectName())))) {
            const std::string_view u = kyr::setup::fieldUnit(*f, source);
            unit->setText(QString::fromUtf8(u.data(), static_cast<qsizetype>(u.size())));
        }
        if (m_refused.count(edit))
            continue;
        m_pending->setTip(edit, QString::fromStdString(kyr::setup::fieldTip(*f, source, m_engine.rpmRange(),
                                                                       m_engine.decimalSeparator())));
    }
    // A track bar and the edit that shows its value share one tip; the
    // other switches say what they do.
    for (const auto& [id, widget] : m_switches) {
        const kyr::setup::SwitchDef* s = &kyr::setup::switchDef(id);
        std::string tip = kyr::setup::switchTip(*s, m_engine.decimalSeparator());
        if (tip.empty())
            tip = kyr::setup::switchMeaning(*s);
        widget->setToolTip(QString::fromStdString(tip));
        if (QWidget* display = s->display ? control(*s->display) : nullptr)
            display->setToolTip(widget->toolTip());
    }
}

// The engine knows every text set here already, so nothing runs, and
// whatever was typed gives way to it.
void SetupBinder::setFieldText(QLineEdit* edit, const QString& text)
{
    m_pending->setSettled(edit);
    const QSignalBlocker block(edit);
    edit->setText(text);
}

// Unblocked on purpose: the engine holds these states already and answers
// with nothing, while the widgets that follow a switch (the lambda marker)
// see the change.
void SetupBinder::setSwitchState(kyr::setup::SwitchId id, int state)
{
    auto it = m_switches.find(id);
    if (it == m_switches.end())
        return;
    QWidget* w = it->second;
    if (auto* group = qobject_cast<RadioGroup*>(w)) {
        group->setItemIndex(state);
    } else if (auto* radio = qobject_cast<QRadioButton*>(w)) {
        if (state) {
            radio->setChecked(true);
        } else if (radio->isChecked()) {
            // A source code no button stands for: none of them is checked.
            radio->setAutoExclusive(false);
            radio->setChecked(false);
            radio->setAutoExclusive(true);
        }
    } else if (auto* check = qobject_cast<QCheckBox*>(w)) {
        check->setChecked(state != 0);
    } else if (auto* slider = qobject_cast<QSlider*>(w)) {
        slider->setValue(state);
    }
}

void SetupBinder::setText(const kyr::setup::SetupControl& control, const std::string& text)
{
    const QString t = QString::fromStdString(text);
    if (QLineEdit* edit = field(controlName(control)))
        setFieldText(edit, t);
    else if (auto* line = qobject_cast<QLineEdit*>(this->control(control)))
        line->setText(t);
    else if (auto* label = qobject_cast<QLabel*>(this->control(control)))
        label->setText(t);
}

// The Calibrate buttons are left out: they follow the session's commands
// (followFlags), which add that the unit must be live.
void SetupBinder::applyEnables(const std::vector<kyr::setup::EnableUpdate>& enables)
{
    for (const auto& e : enables)
        if (!std::holds_alternative<kyr::setup::SetupButton>(e.control))
            if (QWidget* w = control(e.control))
                w->setEnabled(e.enabled);
}

} // namespace kyr::app::setup
