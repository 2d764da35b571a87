// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/maps/MapTableView.h"

#include "app/maps/MapEditSession.h"
#include "maps/RangeEdit.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLocale>
#include <QScrollBar>

#include <cmath>

namespace kyr::app::maps {

namespace {

constexpr int XRow = 0;
constexpr int ValueRow = 1;

QString number(double v)
{
    return QLocale().toString(v, 'f', std::abs(v - std::round(v)) < 1e-9 ? 0 : 2);
}

} // namespace

MapTableView::MapTableView(MapEditSession& session, kyr::maps::ChartId chart, QWidget* parent)
    : QTableWidget(2, 0, parent), m_session(session), m_chart(chart)
{
    const auto& def = kyr::maps::chartDef(chart);
    setObjectName(QString::fromUtf8(def.title.data(), static_cast<int>(def.title.size())).remove(QLatin1Char(' '))
                  + QStringLiteral("Table"));
    setAccessibleName(QString::fromUtf8(def.title.data(), static_cast<int>(def.title.size())) + QStringLiteral(" table"));
    setSelectionMode(QAbstractItemView::ContiguousSelection);
    setSelectionBehavior(QAbstractItemView::SelectColumns);
    horizontalHeader()->setDefaultSectionSize(44);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    connect(this, &QTableWidget::itemChanged, this, &MapTableView::cellEdited);
    connect(this, &QTableWidget::itemSelectionChanged, this, &MapTableView::selectionEdited);
    connect(&m_session, &MapEditSession::tableShown, this, &MapTableView::refresh);
    connect(&m_session, &MapEditSession::curveChanged, this, &MapTableView::refresh);
    connect(&m_session, &MapEditSession::selectionChanged, this, &MapTableView::refresh);
    connect(&m_session, &MapEditSession::chartsEnabledChanged, this, &MapTableView::refresh);
    connect(&m_session, &MapEditSession::rangeSelected, this, [this](kyr::maps::ChartId c) {
        if (c == m_chart)
            followSelection();
    });
    refresh();
}

void MapTableView::refresh()
{
    const QSignalBlocker block(this);
    m_filling = true;
    const auto& editor = m_session.editor();
    const table::MapId map = editor.editedMap(m_chart);
    const auto& def = table::mapDef(map);
    const int n = m_session.hasTable() ? kyr::maps::pointCount(map, editor.axes()) : 0;
    setColumnCount(n);
    const auto unit = kyr::maps::positionUnit(m_chart);
    const auto value = kyr::maps::valueUnit(map);
    setVerticalHeaderLabels({QString::fromUtf8(unit.data(), static_cast<int>(unit.size())),
                             QString::fromUtf8(value.data(), static_cast<int>(value.size()))});
    // The RPM charts count in hundreds; the table says the RPM itself.
    const bool rpm = m_chart == kyr::maps::ChartId::Timing || m_chart == kyr::maps::ChartId::FuelRpm;
    for (int i = 1; i <= n; ++i) {
        const double px = table::pointX(def, i, editor.axes());
        auto* x = new QTableWidgetItem(number(rpm ? std::round(px * 100) : px));
        x->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        setItem(XRow, i - 1, x);
        auto* y = new QTableWidgetItem(number(editor.maps().at(map, i)));
        y->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable
                    | (m_session.chartEnabled(m_chart) ? Qt::ItemIsEditable : Qt::NoItemFlags));
        setItem(ValueRow, i - 1, y);
    }
    m_filling = false;
    // Exactly its two rows, the point numbers above them and the scroll bar below.
    setFixedHeight(horizontalHeader()->sizeHint().height() + rowHeight(XRow) + rowHeight(ValueRow)
                   + horizontalScrollBar()->sizeHint().height() + 2 * frameWidth() + 2);
    followSelection();
}

// A typed value takes the chart's way: within the map's range it is set,
// kept and sent as one edit; anything else is refused and put back.
void MapTableView::cellEdited(QTableWidgetItem* item)
{
    if (m_filling || item->row() != ValueRow)
        return;
    const table::MapId map = m_session.editor().editedMap(m_chart);
    const int index = item->column() + 1;
    bool ok = false;
    const double v = QLocale().toDouble(item->text().trimmed(), &ok);
    const double value = ok ? v : item->text().trimmed().toDouble(&ok);
    const auto range = kyr::maps::valueRange(map);
    if (!ok || value < range.low - 0.5 || value > range.high + 0.5) {
        const auto& title = table::mapDef(map).title;
        emit m_session.rangeRefused(QStringLiteral("\"%1\" is not a value of %2 (%3 to %4): nothing was sent")
                                        .arg(item->text(), QString::fromUtf8(title.data(), static_cast<int>(title.size())),
                                             number(range.low), number(range.high)));
        refresh();
        return;
    }
    if (!m_session.setPointValue(map, index, value))
        refresh();
}

void MapTableView::selectionEdited()
{
    if (m_filling)
        return;
    const auto ranges = selectedRanges();
    if (ranges.isEmpty())
        return;
    const auto& r = ranges.front();
    m_session.select(m_chart, kyr::maps::Selection{m_session.editor().editedMap(m_chart), r.leftColumn() + 1,
                                                   r.rightColumn() + 1});
}

void MapTableView::followSelection()
{
    const QSignalBlocker block(this);
    const bool filling = std::exchange(m_filling, true);
    clearSelection();
    if (const auto s = m_session.selection(m_chart); s && s->last <= columnCount()) {
        setRangeSelected(QTableWidgetSelectionRange(0, s->first - 1, 1, s->last - 1), true);
        scrollToItem(item(ValueRow, s->last - 1));
    }
    viewport()->update();
    m_filling = filling;
}

bool MapTableView::previewKey(const QKeyEvent& event)
{
    if (!(event.modifiers() & Qt::ControlModifier))
        return false;
    if (event.key() == Qt::Key_C) {
        QGuiApplication::clipboard()->setText(m_session.copyTarget(m_chart));
        return true;
    }
    if (event.key() == Qt::Key_V) {
        m_session.pasteText(m_chart, QGuiApplication::clipboard()->text());
        return true;
    }
    return false;
}

} // namespace kyr::app::maps
