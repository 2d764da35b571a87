// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/maps/MapPage.h"

#include "app/compare/TuneComparer.h"
#include "app/maps/ChartReadout.h"
#include "app/live/LivePoll.h"
#include "app/live/RTFrame.h"
#include "app/maps/MapChartView.h"
#include "app/maps/MapEditSession.h"
#include "app/maps/MapTableView.h"
#include "live/LiveState.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QUndoStack>
#include <QVBoxLayout>

namespace kyr::app::maps {

namespace {

bool isRedo(const QKeyEvent& e)
{
    const auto mods = e.modifiers() & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier);
    return e.matches(QKeySequence::Redo) || (e.key() == Qt::Key_Y && mods == Qt::ControlModifier)
        || (e.key() == Qt::Key_Z && mods == (Qt::ControlModifier | Qt::ShiftModifier));
}

bool isUndo(const QKeyEvent& e)
{
    const auto mods = e.modifiers() & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier);
    return e.matches(QKeySequence::Undo) || (e.key() == Qt::Key_Z && mods == Qt::ControlModifier);
}

// What an empty chart says when the unit has no maps of its group.
QString missingMapsNote(const kyr::maps::ChartDef& def)
{
    if (def.group == table::MapGroup::Timing)
        return QStringLiteral("This unit has no timing maps");
    return def.page == "Correction Maps" ? QStringLiteral("This unit has no correction maps")
                                         : QStringLiteral("This unit has no fuel maps");
}

} // namespace

MapPage::MapPage(AppContext context, MapServices services, const QString& objectName, const QString& caption, const QString& panelName,
                 const QString& frameName, QWidget* parent)
    : Page(context, objectName, caption, parent), m_session(services.session),
      m_comparer(services.comparer),
      m_panel(new QFrame(this))
{
    m_panel->setObjectName(panelName);
    m_panel->setMouseTracking(true);
    m_panel->installEventFilter(this);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(m_panel, 1);
    outer->addWidget(buildRangeBar());
    outer->addWidget(new live::RTFrame(services.poll, services.frames, frameName, this));

    connect(&m_session, &MapEditSession::tableShown, this, &MapPage::redrawAll);
    connect(&m_session, &MapEditSession::curveChanged, this, &MapPage::redrawCurve);
    connect(&m_session, &MapEditSession::chartsEnabledChanged, this, [this] {
        applyEnabled();
        redrawAll();
    });
    connect(&m_session, &MapEditSession::keyBarShown, this, [this](kyr::maps::ChartId id, double x, double height) {
        if (MapChartView* c = chart(id))
            c->showKeyBar(x, height);
    });
    connect(&m_session, &MapEditSession::keyBarCleared, this, [this](kyr::maps::ChartId id) {
        if (MapChartView* c = chart(id))
            c->clearKeyBar();
    });
    connect(&m_session, &MapEditSession::readoutShown, this, [this](kyr::maps::ChartId id, const kyr::maps::Readout& r) {
        if (ChartReadout* out = readout(id))
            out->showReadout(r);
    });
    connect(&m_session, &MapEditSession::pointerHidden, this, [this](kyr::maps::ChartId id) {
        if (MapChartView* c = chart(id))
            c->hidePointer();
    });
    connect(&m_session, &MapEditSession::selectionChanged, this, &MapPage::showEditedUnits);
    connect(&m_comparer, &compare::TuneComparer::changed, this, &MapPage::redrawCompared);
    live::LivePoll& poll = services.poll;
    // The bars follow at display rate, not with every record, and stand at a
    // replayed log's cursor while one is shown.
    connect(&poll, &live::LivePoll::operatingPoint, this, &MapPage::showLive);
}

// The live bar stands at the engine's operating point, as tall as the key
// cursor; a chart without that reading, or without maps, shows none.
void MapPage::showLive(const kyr::live::LiveValues& values)
{
    for (MapChartView* c : m_charts) {
        if (!c)
            continue;
        const auto x = kyr::live::liveChartX(c->chartId(), values);
        if (x && m_session.chartEnabled(c->chartId()))
            c->showLiveBar(*x, c->def().keyBarHeight);
        else
            c->clearLiveBar();
    }
}

QUndoStack* MapPage::undoStack() const { return m_session.undoStack(caption().toStdString()); }

QWidget* MapPage::addChart(kyr::maps::ChartId id)
{
    const kyr::maps::ChartDef& def = kyr::maps::chartDef(id);
    auto* box = new QWidget(m_panel);
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    auto* view = new MapChartView(def, box);
    auto* out = new ChartReadout(def, box);
    // Over the read-outs the mouse is still at the chart, not on the background.
    out->setAttribute(Qt::WA_NoMousePropagation);
    auto* table = new MapTableView(m_session, id, box);
    column->addWidget(view, 1);
    column->addWidget(table);
    column->addWidget(out);
    m_charts[static_cast<int>(id)] = view;
    m_readouts[static_cast<int>(id)] = out;
    m_tables[static_cast<int>(id)] = table;
    table->setVisible(m_showTables->isChecked());
    m_session.setView(id, view);

    connect(view, &MapChartView::dragStarted, &m_session, &MapEditSession::beginDrag);
    connect(view, &MapChartView::dragged, this, [this, id](QPointF v) { m_session.drag(id, v); });
    connect(view, &MapChartView::pointerMoved, this, [this, id](QPointF v) { m_session.mouseMove(id, v); });
    connect(view, &MapChartView::rangeDragged, this, [this, id](QPointF a, QPointF b) { selectDragged(id, a, b); });
    view->setEnabled(m_session.chartEnabled(id));
    redrawAll();
    showEditedUnits();
    return box;
}

// A chart of two kinds of map (air temperature: fuel in percent, timing in
// degrees) names the unit of the one being edited.
void MapPage::showEditedUnits()
{
    for (MapChartView* c : m_charts) {
        if (!c)
            continue;
        const table::MapId map = m_session.editor().editedMap(c->chartId());
        c->showValueAxisOf(map);
        readout(c->chartId())->showValueUnitOf(map);
    }
}

// The maps of a group the unit lacks are not drawn: their bytes stay in the
// image, so that Write gives them back as read, but they are no maps. The
// charts of a hidden page are redrawn when shown or read.
void MapPage::redrawAll()
{
    for (MapChartView* c : m_charts)
        if (c)
            c->redrawWhenShown([this, c] { redrawChart(c); });
}

void MapPage::redrawChart(MapChartView* c)
{
    const auto& editor = m_session.editor();
    c->setBottomAxis(kyr::maps::bottomAxis(c->chartId(), editor.axes()));
    c->clearKeyBar();
    const bool lacking = m_session.hasTable() && !m_session.chartEnabled(c->chartId());
    c->setNote(lacking ? missingMapsNote(c->def()) : QString());
    if (!m_session.chartEnabled(c->chartId())) {
        c->clearCurves();
        c->clearLiveBar();
    } else {
        for (const auto& curve : c->def().curves)
            c->setCurve(curve.map, editor.pointsOf(curve.map));
    }
    drawCompared(c);
}

// The compared tune's curves on the charts that show maps; none while no
// tune is compared. A chart with a redraw kept draws them with it.
void MapPage::redrawCompared()
{
    for (MapChartView* c : m_charts)
        if (c && !c->redrawPending())
            drawCompared(c);
}

void MapPage::drawCompared(MapChartView* c)
{
    const compare::TuneComparer& comparer = m_comparer;
    const bool shown = comparer.active() && m_session.chartEnabled(c->chartId());
    for (const auto& curve : c->def().curves)
        c->setOtherCurve(curve.map, shown ? comparer.otherCurve(curve.map) : std::vector<kyr::maps::CurvePoint>{},
                         comparer.otherName());
}

void MapPage::redrawCurve(table::MapId map)
{
    MapChartView* c = chart(table::mapDef(map).chart);
    if (c && m_session.chartEnabled(c->chartId()))
        c->setCurve(map, m_session.editor().pointsOf(map));
}

void MapPage::applyEnabled()
{
    for (MapChartView* c : m_charts)
        if (c)
            c->setEnabled(m_session.chartEnabled(c->chartId()));
}

std::vector<MapChartView*> MapPage::chartsToPrint() const
{
    std::vector<MapChartView*> out;
    for (MapChartView* c : m_charts)
        if (c)
            out.push_back(c);
    return out;
}

bool MapPage::previewKey(QKeyEvent* event)
{
    if (MapEditSession::textFieldFocused())
        return false;
    if (isRedo(*event)) {
        undoStack()->redo();
        return true;
    }
    if (isUndo(*event)) {
        undoStack()->undo();
        return true;
    }
    if (tableKey(event) || m_session.rangeKey(*event))
        return true;
    if (pageKey(event))
        return true;
    return m_session.keyPress(*event);
}

// The mouse over the page's background: the read-outs of its charts go.
bool MapPage::eventFilter(QObject* watched, QEvent* event)
{
    // Escape in the value prompt closes it: nothing is changed.
    if (watched == m_prompt && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        m_prompt->hide();
        m_promptLabel->hide();
        if (MapChartView* c = chart(m_promptChart))
            c->setFocus(Qt::OtherFocusReason);
        return true;
    }
    if (watched == m_panel && event->type() == QEvent::MouseMove)
        for (ChartReadout* r : m_readouts)
            if (r)
                r->hideAll();
    return Page::eventFilter(watched, event);
}

} // namespace kyr::app::maps
