// SPDX-License-Identifier: GPL-3.0-or-later
// A map page's controls for whole-range edits: the +/- step, the tables
// under the charts, the prompt of = and *, the line that counts points
// going out, the selection band, and what a screen reader hears of the key
// cursor.

#include "app/maps/MapChartView.h"
#include "app/maps/MapEditSession.h"
#include "app/maps/MapPage.h"
#include "app/maps/MapTableView.h"
#include "app/common/TuneModel.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QSettings>

#include <algorithm>
#include <cmath>

namespace kyr::app::maps {

namespace {

constexpr int ProgressFrom = 5; // fewer points go out before anyone could read a line about them
const QString TablesKey = QStringLiteral("Maps/ShowTables");

QString text(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<int>(s.size())); }

} // namespace

QWidget* MapPage::buildRangeBar()
{
    auto* bar = new QWidget(this);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(6, 2, 6, 2);
    m_step = new QDoubleSpinBox(bar);
    m_step->setObjectName(QStringLiteral("RangeStep"));
    m_step->setAccessibleName(QStringLiteral("Step of + and -"));
    m_step->setRange(0.5, 20);
    m_step->setSingleStep(0.5);
    m_step->setDecimals(1);
    m_step->setValue(kyr::maps::DefaultStep);
    m_step->setFocusPolicy(Qt::ClickFocus);
    m_showTables = new QCheckBox(QStringLiteral("Tables"), bar);
    m_showTables->setObjectName(QStringLiteral("ShowTables"));
    m_showTables->setFocusPolicy(Qt::NoFocus);
    m_showTables->setChecked(QSettings().value(TablesKey, false).toBool());
    m_progress = new QLabel(bar);
    m_progress->setObjectName(QStringLiteral("RangeProgress"));
    m_promptLabel = new QLabel(bar);
    m_prompt = new QLineEdit(bar);
    m_prompt->setObjectName(QStringLiteral("RangePrompt"));
    m_prompt->setProperty("takesEscape", true);
    m_prompt->setMaximumWidth(90);
    m_prompt->installEventFilter(this);
    m_promptLabel->hide();
    m_prompt->hide();
    row->addWidget(new QLabel(QStringLiteral("+/- step"), bar));
    row->addWidget(m_step);
    row->addWidget(m_showTables);
    row->addSpacing(12);
    row->addWidget(m_promptLabel);
    row->addWidget(m_prompt);
    row->addStretch(1);
    row->addWidget(m_progress);

    connect(m_showTables, &QCheckBox::toggled, this, &MapPage::showTables);
    connect(m_step, &QDoubleSpinBox::valueChanged, this, [this](double v) {
        for (MapChartView* c : m_charts)
            if (c)
                m_session.setStep(kyr::maps::stepKindOf(c->def().curves.front().map), v);
    });
    connect(m_prompt, &QLineEdit::returnPressed, this, &MapPage::takeValue);
    connect(&m_session, &MapEditSession::rangeSelected, this, &MapPage::showRange);
    connect(&m_session, &MapEditSession::promptWanted, this, &MapPage::askValue);
    connect(&m_session, &MapEditSession::keyBarShown, this,
            [this](kyr::maps::ChartId id, double, double) { announcePoint(id); });
    connect(&m_session, &MapEditSession::sendProgress, this, [this](int done, int total) {
        m_progress->setText(total >= ProgressFrom ? QStringLiteral("Sending points: %1 of %2").arg(done).arg(total)
                                                  : QString());
    });
    return bar;
}

void MapPage::showTables(bool on)
{
    QSettings().setValue(TablesKey, on);
    for (MapTableView* t : m_tables)
        if (t)
            t->setVisible(on);
}

// The selection as a band over its points, half a key step wide beyond each end.
void MapPage::showRange(kyr::maps::ChartId id)
{
    MapChartView* c = chart(id);
    if (!c)
        return;
    const auto s = m_session.selection(id);
    if (!s) {
        c->clearSelection();
        return;
    }
    const auto& axes = m_session.editor().axes();
    const auto& def = table::mapDef(s->map);
    const double half = kyr::maps::keyStep(id, axes) / 2;
    c->showSelection(table::pointX(def, s->first, axes) - half, table::pointX(def, s->last, axes) + half);
    announcePoint(id);
}

void MapPage::selectDragged(kyr::maps::ChartId id, QPointF from, QPointF to)
{
    const auto& editor = m_session.editor();
    const table::MapId map = editor.editedMap(id);
    const auto a = kyr::maps::pointIndexAt(map, from.x(), editor.axes());
    const auto b = kyr::maps::pointIndexAt(map, to.x(), editor.axes());
    if (a && b)
        m_session.select(id, kyr::maps::Selection{map, std::min(*a, *b), std::max(*a, *b)});
}

void MapPage::askValue(kyr::maps::ChartId id, bool scale)
{
    if (!chart(id) || !m_session.target(id))
        return;
    const auto t = *m_session.target(id);
    const QString points = t.count() > 1 ? QStringLiteral("points %1-%2").arg(t.first).arg(t.last)
                                         : QStringLiteral("point %1").arg(t.first);
    m_promptChart = id;
    m_promptScale = scale;
    m_promptLabel->setText(scale ? QStringLiteral("Scale %1 by (%):").arg(points)
                                 : QStringLiteral("Set %1 to (%2):").arg(points, text(kyr::maps::valueUnit(t.map))));
    m_prompt->clear();
    m_promptLabel->show();
    m_prompt->show();
    m_prompt->setFocus(Qt::OtherFocusReason);
}

void MapPage::takeValue()
{
    bool ok = false;
    double v = QLocale().toDouble(m_prompt->text().trimmed(), &ok);
    if (!ok)
        v = m_prompt->text().trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v)) {
        model().showStatus("\"" + m_prompt->text().toStdString() + "\" is not a number: nothing was changed");
        return;
    }
    m_prompt->hide();
    m_promptLabel->hide();
    if (m_promptScale)
        m_session.scaleTarget(m_promptChart, v);
    else
        m_session.setTarget(m_promptChart, v);
    if (MapChartView* c = chart(m_promptChart))
        c->setFocus(Qt::OtherFocusReason);
}

// "Timing Map point 30, 3000 RPM, 25°": the key cursor's point, for a screen reader.
void MapPage::announcePoint(kyr::maps::ChartId id)
{
    MapChartView* c = chart(id);
    const auto t = m_session.target(id);
    if (!c || !t)
        return;
    const auto& editor = m_session.editor();
    const int i = editor.lastKeyIndex(id) > 0 ? editor.lastKeyIndex(id) : t->first;
    const double x = table::pointX(table::mapDef(t->map), i, editor.axes());
    const bool rpm = id == kyr::maps::ChartId::Timing || id == kyr::maps::ChartId::FuelRpm;
    const QString where = rpm ? QStringLiteral("%1 RPM").arg(std::lround(x * 100))
                              : QStringLiteral("%1 %2").arg(QLocale().toString(x), text(kyr::maps::positionUnit(id)));
    QString said = QStringLiteral("%1 point %2, %3, %4%5")
                       .arg(text(c->def().title))
                       .arg(i)
                       .arg(where, QLocale().toString(editor.maps().at(t->map, i)), text(kyr::maps::valueUnit(t->map)));
    if (t->count() > 1)
        said += QStringLiteral("; points %1 to %2 selected").arg(t->first).arg(t->last);
    c->announce(said);
}

// Keys for a table with the focus: its own copy and paste; Escape in the
// prompt closes it.
bool MapPage::tableKey(QKeyEvent* event)
{
    for (MapTableView* t : m_tables)
        if (t && t->hasFocus())
            return t->previewKey(*event);
    return false;
}

} // namespace kyr::app::maps
