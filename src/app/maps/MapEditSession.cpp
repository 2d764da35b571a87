// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/maps/MapEditSession.h"

#include "app/link/LinkWorker.h"
#include "app/maps/MapUndo.h"
#include "app/common/TuneModel.h"
#include "link/Protocol.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScopedValueRollback>
#include <QTextEdit>
#include <QUndoStack>
#include <QWidget>

#include <algorithm>

namespace kyr::app::maps {

namespace {

constexpr std::string_view kPages[] = {"Timing Map", "Fuel Maps", "Correction Maps"};
const char* const kSessionName = "MapEditSession";

int pageSlot(std::string_view page)
{
    for (int i = 0; i < 3; ++i)
        if (kPages[i] == page)
            return i;
    return 0;
}

kyr::maps::Key mapKey(int key)
{
    switch (key) {
    case Qt::Key_Left: return kyr::maps::Key::Left;
    case Qt::Key_Right: return kyr::maps::Key::Right;
    case Qt::Key_Up: return kyr::maps::Key::Up;
    case Qt::Key_Down: return kyr::maps::Key::Down;
    case Qt::Key_PageUp: return kyr::maps::Key::PageUp;
    case Qt::Key_PageDown: return kyr::maps::Key::PageDown;
    default: return kyr::maps::Key::Other;
    }
}

bool modifierOnly(int key)
{
    return key == Qt::Key_Shift || key == Qt::Key_Control || key == Qt::Key_Alt || key == Qt::Key_Meta
        || key == Qt::Key_AltGr || key == Qt::Key_CapsLock || key == Qt::Key_unknown;
}

} // namespace

MapEditSession::MapEditSession(TuneModel& model, link::LinkWorker& link, QObject* parent)
    : QObject(parent), m_model(model), m_link(link)
{
    for (auto& s : m_stacks)
        s = new QUndoStack(this);
    connect(&m_model, &TuneModel::mapsChanged, this, [this] {
        if (!m_copying)
            showModelTable();
    });
    connect(&m_model, &TuneModel::stateChanged, this, &MapEditSession::updateEnabled);
    connect(&m_link, &link::LinkWorker::sent, this, [this](quint64 ticket, bool) { countSent(ticket); });
    connect(this, &MapEditSession::rangeRefused, this, [this](const QString& why) { m_model.showStatus(why.toStdString()); });
    connect(&m_model, &TuneModel::mouseTuningChanged, this, [this](bool on) { m_editor.setMouseTuning(on); });
    m_editor.setMouseTuning(m_model.mouseTuning());
    if (m_model.mapsShown())
        m_editor.showTable(m_model.maps(), m_model.axes());
    updateEnabled();
    // Key-ups reach whichever control has the focus; the window previews key-downs only.
    qApp->installEventFilter(this);
}

MapEditSession::~MapEditSession() { qApp->removeEventFilter(this); }

bool MapEditSession::hasTable() const { return m_model.mapsShown(); }

void MapEditSession::setView(kyr::maps::ChartId chart, QWidget* view) { m_views[static_cast<int>(chart)] = view; }

void MapEditSession::showModelTable()
{
    m_editor.showTable(m_model.maps(), m_model.axes());
    for (int c = 0; c < table::ChartCount; ++c)
        select(static_cast<kyr::maps::ChartId>(c), std::nullopt);
    // The commands refer to points of the table that was shown before.
    for (QUndoStack* s : m_stacks)
        s->clear();
    updateEnabled();
    emit tableShown();
    emit selectionChanged();
}

void MapEditSession::updateEnabled()
{
    const session::UnitInfo& unit = m_model.state().unit;
    const bool shown = m_model.mapsShown();
    const bool timing = unit.timing && shown;
    const bool fuel = unit.fuel && shown;
    const bool was[2] = {m_editor.isEnabled(kyr::maps::ChartId::Timing), m_editor.isEnabled(kyr::maps::ChartId::FuelVac)};
    m_editor.enableGroups(timing, fuel);
    if (was[0] != timing || was[1] != fuel)
        emit chartsEnabledChanged();
}

// The model's arrays are what Write and Save encode: each edited point is
// copied there at once. Its listeners hear of it; this session does not
// take its own copy for a new table.
void MapEditSession::keepInModel(table::MapId map, int index)
{
    const auto& shown = m_model.maps()[map];
    if (index >= 1 && index <= static_cast<int>(shown.size()))
        m_model.applyMapPoint(map, index, m_editor.maps().at(map, index));
}

void MapEditSession::send(const kyr::maps::WritePoint& write)
{
    const quint64 ticket = m_link.send(kyr::link::writePoint(write.bank, write.index, write.value));
    if (m_counting) {
        m_rangeSends.push_back(ticket);
        ++m_rangeTotal;
    }
}

void MapEditSession::push(std::vector<kyr::maps::PointChange> changes, kyr::maps::ChartId chart, quint64 drag)
{
    if (std::all_of(changes.begin(), changes.end(),
                    [](const kyr::maps::PointChange& c) { return c.oldValue == c.newValue; }))
        return;
    const table::MapId map = changes.front().map;
    auto* cmd = new MapPointCommand(
        std::move(changes), [this](const auto& c, bool toNew) { restore(c, toNew); }, undoText(map), drag);
    m_stacks[pageSlot(kyr::maps::chartDef(chart).page)]->push(cmd);
}

QString MapEditSession::undoText(table::MapId map)
{
    const auto title = table::mapDef(map).title;
    return QStringLiteral("Edit %1").arg(QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size())));
}

void MapEditSession::restore(const std::vector<kyr::maps::PointChange>& changes, bool toNew)
{
    // Many points at once (a range edit, its undo) are counted as they go out.
    const QScopedValueRollback counting(m_counting, changes.size() > 1);
    std::vector<table::MapId> touched;
    for (const auto& c : changes) {
        const auto write = m_editor.setPoint(c.map, c.index, toNew ? c.newValue : c.oldValue);
        if (!write.ok())
            continue; // not a point of the table shown now
        keepInModel(c.map, c.index);
        send(write.value());
        if (std::find(touched.begin(), touched.end(), c.map) == touched.end())
            touched.push_back(c.map);
    }
    if (touched.empty())
        return;
    m_copying = true;
    m_model.mapsEdited();
    m_copying = false;
    for (table::MapId m : touched)
        emit curveChanged(m);
}

void MapEditSession::beginDrag() { ++m_drag; }

void MapEditSession::drag(kyr::maps::ChartId chart, QPointF value)
{
    const auto edit = m_editor.drag(chart, value.x(), value.y());
    if (!edit)
        return;
    keepInModel(edit->change.map, edit->change.index);
    m_copying = true;
    m_model.mapsEdited();
    m_copying = false;
    send(edit->write);
    emit keyBarCleared(chart);
    emit curveChanged(edit->change.map);
    push({edit->change}, chart, m_drag == 0 ? ++m_drag : m_drag);
}

bool MapEditSession::setPointValue(table::MapId map, int index, double value)
{
    const kyr::maps::ChartId chart = table::mapDef(map).chart;
    if (!m_editor.isEnabled(chart) || !m_editor.writePointBytes(map, index).ok())
        return false;
    const double old = m_editor.maps().at(map, index);
    const auto write = m_editor.setPoint(map, index, value);
    if (!write.ok())
        return false;
    keepInModel(map, index);
    m_copying = true;
    m_model.mapsEdited();
    m_copying = false;
    send(write.value());
    emit curveChanged(map);
    push({{map, index, old, m_editor.maps().at(map, index)}}, chart, 0);
    return true;
}

void MapEditSession::mouseMove(kyr::maps::ChartId chart, QPointF value)
{
    const auto readout = m_editor.mouseMove(chart, value.x(), value.y());
    if (!readout)
        return;
    if (QWidget* view = m_views[static_cast<int>(chart)])
        view->setFocus(Qt::MouseFocusReason);
    emit keyBarCleared(chart);
    emit readoutShown(chart, *readout);
}

bool MapEditSession::textFieldFocused()
{
    QWidget* w = QApplication::focusWidget();
    return qobject_cast<QLineEdit*>(w) || qobject_cast<QAbstractSpinBox*>(w) || qobject_cast<QTextEdit*>(w)
        || qobject_cast<QPlainTextEdit*>(w);
}

bool MapEditSession::keyTargetShown() const
{
    const auto target = m_editor.keyTarget();
    if (!target || !m_editor.isEnabled(*target))
        return false;
    const QWidget* view = m_views[static_cast<int>(*target)];
    return view && view->isVisible() && view->isEnabled();
}

bool MapEditSession::keyPress(const QKeyEvent& event)
{
    if (modifierOnly(event.key()) || textFieldFocused() || !keyTargetShown())
        return false;
    const kyr::maps::Key key = mapKey(event.key());
    auto edit = m_editor.keyDown(key);
    if (!edit)
        return key != kyr::maps::Key::Other;
    const bool changed = !edit->changes.empty();
    for (const auto& c : edit->changes)
        keepInModel(c.map, c.index);
    if (changed) {
        m_copying = true;
        m_model.mapsEdited();
        m_copying = false;
        push(std::move(edit->changes), edit->chart, 0);
        emit curveChanged(edit->map);
    }
    emit keyBarShown(edit->chart, edit->barX, edit->barHeight);
    emit readoutShown(edit->chart, edit->readout);
    emit pointerHidden(edit->chart);
    // Other keys re-set the point but still do their own work (Tab, letters).
    return key != kyr::maps::Key::Other;
}

void MapEditSession::keyRelease()
{
    for (const auto& w : m_editor.keyUp())
        send(w);
}

std::optional<kyr::maps::JetMove> MapEditSession::jetKey(const QKeyEvent& event) const
{
    // By the key, not its text: Shift, Ctrl and Alt are ignored.
    if (textFieldFocused() || event.key() < Qt::Key_A || event.key() > Qt::Key_Z)
        return std::nullopt;
    return m_editor.jetKey(static_cast<char>(event.key()));
}

bool MapEditSession::eventFilter(QObject* watched, QEvent* event)
{
    // A held key repeats as release and press pairs; only the real release sends.
    if (event->type() == QEvent::KeyRelease && !static_cast<QKeyEvent*>(event)->isAutoRepeat()
        && !modifierOnly(static_cast<QKeyEvent*>(event)->key()))
        keyRelease();
    return QObject::eventFilter(watched, event);
}

void MapEditSession::selectFuelRpm(kyr::maps::FuelRpmMap map)
{
    if (m_editor.fuelRpm() == map)
        return;
    m_editor.selectFuelRpm(map);
    emit selectionChanged();
}

void MapEditSession::selectAirTemp(kyr::maps::AirTempMap map)
{
    if (m_editor.airTemp() == map)
        return;
    m_editor.selectAirTemp(map);
    emit selectionChanged();
}

QUndoStack* MapEditSession::undoStack(std::string_view page) const { return m_stacks[pageSlot(page)]; }

} // namespace kyr::app::maps
