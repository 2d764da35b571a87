// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A table whose first rows and columns stay in view as it scrolls, as the
// fixed rows and columns of a grid do (TimingGrid: the RPM points and the
// vacuum steps). Three views over the same model lie on the table's
// viewport: one over the fixed rows, one over the fixed columns and one over
// their corner; they follow the table's scrolling in their own direction
// only and pass the wheel on to it.

#include <QTableWidget>

namespace kyr::app::dialogs {

class FixedGrid : public QTableWidget {
    Q_OBJECT
public:
    FixedGrid(int rows, int columns, int fixedRows, int fixedColumns, QWidget* parent = nullptr);

    /// Scrolls a cell into the part of the view that the fixed cells leave
    /// free; a fixed cell only along its free direction.
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;

protected:
    void showEvent(QShowEvent* event) override;
    void updateGeometries() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QTableView* addFixedView();
    void followSizes();
    void placeFixedViews();
    int fixedWidth() const;
    int fixedHeight() const;

    int m_fixedRows;
    int m_fixedColumns;
    QTableView* m_top = nullptr;    // the fixed rows
    QTableView* m_left = nullptr;   // the fixed columns
    QTableView* m_corner = nullptr; // where they meet
};

} // namespace kyr::app::dialogs
