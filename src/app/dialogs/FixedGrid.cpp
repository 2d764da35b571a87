// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/dialogs/FixedGrid.h"

#include <QHeaderView>
#include <QScrollBar>
#include <QWheelEvent>

namespace kyr::app::dialogs {

FixedGrid::FixedGrid(int rows, int columns, int fixedRows, int fixedColumns, QWidget* parent)
    : QTableWidget(rows, columns, parent), m_fixedRows(fixedRows), m_fixedColumns(fixedColumns)
{
    // By the pixel, so that every view over the model scrolls to the same place.
    setHorizontalScrollMode(ScrollPerPixel);
    setVerticalScrollMode(ScrollPerPixel);
    m_top = addFixedView();
    m_left = addFixedView();
    m_corner = addFixedView();
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, m_top->horizontalScrollBar(), &QScrollBar::setValue);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, m_left->verticalScrollBar(), &QScrollBar::setValue);
    connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this] { followSizes(); });
    connect(verticalHeader(), &QHeaderView::sectionResized, this, [this] { followSizes(); });
}

QTableView* FixedGrid::addFixedView()
{
    auto* view = new QTableView(this);
    view->setModel(model());
    view->setSelectionModel(selectionModel());
    view->setFocusPolicy(Qt::NoFocus);
    view->setFrameShape(QFrame::NoFrame);
    view->horizontalHeader()->hide();
    view->verticalHeader()->hide();
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setHorizontalScrollMode(ScrollPerPixel);
    view->setVerticalScrollMode(ScrollPerPixel);
    view->setEditTriggers(NoEditTriggers);
    view->setAutoScroll(false);
    view->viewport()->installEventFilter(this);
    return view;
}

// The fixed views draw the cells as the table does: the same sizes and text handling.
void FixedGrid::followSizes()
{
    for (QTableView* view : {m_top, m_left, m_corner}) {
        view->setTextElideMode(textElideMode());
        view->setShowGrid(showGrid());
        for (QHeaderView* h : {view->horizontalHeader(), view->verticalHeader()})
            h->setMinimumSectionSize(1);
        for (int c = 0; c < columnCount(); ++c)
            view->setColumnWidth(c, columnWidth(c));
        for (int r = 0; r < rowCount(); ++r)
            view->setRowHeight(r, rowHeight(r));
    }
    placeFixedViews();
}

void FixedGrid::placeFixedViews()
{
    const QRect area = viewport()->geometry();
    const int width = std::min(fixedWidth(), area.width());
    const int height = std::min(fixedHeight(), area.height());
    m_top->setGeometry(area.x(), area.y(), area.width(), height);
    m_left->setGeometry(area.x(), area.y(), width, area.height());
    m_corner->setGeometry(area.x(), area.y(), width, height);
    m_corner->raise();
    m_top->horizontalScrollBar()->setValue(horizontalScrollBar()->value());
    m_left->verticalScrollBar()->setValue(verticalScrollBar()->value());
}

int FixedGrid::fixedWidth() const
{
    int width = 0;
    for (int c = 0; c < m_fixedColumns; ++c)
        width += columnWidth(c);
    return width;
}

int FixedGrid::fixedHeight() const
{
    int height = 0;
    for (int r = 0; r < m_fixedRows; ++r)
        height += rowHeight(r);
    return height;
}

void FixedGrid::showEvent(QShowEvent* event)
{
    QTableWidget::showEvent(event);
    followSizes();
}

void FixedGrid::updateGeometries()
{
    QTableWidget::updateGeometries();
    if (m_corner)
        placeFixedViews();
}

void FixedGrid::scrollTo(const QModelIndex& index, ScrollHint hint)
{
    if (!index.isValid())
        return;
    const bool fixedRow = index.row() < m_fixedRows;
    const bool fixedColumn = index.column() < m_fixedColumns;
    if (fixedRow && fixedColumn)
        return; // the corner is always in view
    const int across = horizontalScrollBar()->value();
    const int down = verticalScrollBar()->value();
    QTableWidget::scrollTo(index, hint);
    const QRect cell = visualRect(index);
    if (fixedRow)
        verticalScrollBar()->setValue(down);
    else if (cell.top() < fixedHeight())
        verticalScrollBar()->setValue(verticalScrollBar()->value() + cell.top() - fixedHeight());
    if (fixedColumn)
        horizontalScrollBar()->setValue(across);
    else if (cell.left() < fixedWidth())
        horizontalScrollBar()->setValue(horizontalScrollBar()->value() + cell.left() - fixedWidth());
}

// The wheel over a fixed view scrolls the table, which the fixed views follow.
bool FixedGrid::eventFilter(QObject* watched, QEvent* event)
{
    const bool overFixed =
        watched == m_top->viewport() || watched == m_left->viewport() || watched == m_corner->viewport();
    if (overFixed && event->type() == QEvent::Wheel) {
        wheelEvent(static_cast<QWheelEvent*>(event));
        return true;
    }
    return QTableWidget::eventFilter(watched, event);
}

} // namespace kyr::app::dialogs
