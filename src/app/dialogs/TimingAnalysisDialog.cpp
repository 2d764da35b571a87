// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/dialogs/TimingAnalysisDialog.h"

#include "app/dialogs/FixedGrid.h"
#include "app/dialogs/TimingChart3D.h"
#include "app/common/TuneModel.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace kyr::app::dialogs {

namespace {

// The form keeps its colours as 0x00BBGGRR.
constexpr quint32 FixedColourBgr = 15780518;

QColor fromBgr(quint32 bgr) { return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF); }

} // namespace

QColor TimingAnalysisDialog::fixedColour() { return fromBgr(FixedColourBgr); }

TimingAnalysisDialog::TimingAnalysisDialog(const TuneModel& model, QWidget* owner)
    : OwnedDialog(owner, QStringLiteral("TTimingAnalysis"), QStringLiteral("Timing Analysis")), m_model(model)
{
    buildGrid();
    m_chart = new TimingChart3D(this);
    m_note = new QLabel(QStringLiteral("This unit has no timing maps"), this);
    m_note->setObjectName(QStringLiteral("TimingNote"));
    m_note->hide();

    auto* view = new QPushButton(QStringLiteral("View 3D"), this);
    view->setObjectName(QStringLiteral("Button1"));
    connect(view, &QPushButton::clicked, this, &TimingAnalysisDialog::button1Click);
    auto* exit = new QPushButton(QStringLiteral("Exit"), this);
    exit->setObjectName(QStringLiteral("Button2"));
    connect(exit, &QPushButton::clicked, this, &QDialog::close);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(view);
    buttons->addStretch(1);
    buttons->addWidget(exit);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_note);
    layout->addWidget(m_table, 1);
    layout->addWidget(m_chart, 1);
    layout->addLayout(buttons);
    resize(900, 760);
}

void TimingAnalysisDialog::buildGrid()
{
    // The RPM points and the vacuum steps stay in view however far the grid scrolls.
    m_table = new FixedGrid(tools::TimingGridRows, tools::TimingGridColumns, tools::TimingGridFixed,
                            tools::TimingGridFixed, this);
    m_table->setObjectName(QStringLiteral("TimingGrid"));
    m_table->horizontalHeader()->hide();
    m_table->verticalHeader()->hide();
    for (QHeaderView* h : {m_table->horizontalHeader(), m_table->verticalHeader()})
        h->setMinimumSectionSize(1);
    m_table->horizontalHeader()->setDefaultSectionSize(tools::TimingGridColumnWidth);
    m_table->verticalHeader()->setDefaultSectionSize(tools::TimingGridRowHeight);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Cells 30 wide: a small font, and clipped rather than cut to "...".
    m_table->setTextElideMode(Qt::ElideNone);
    QFont small = m_table->font();
    small.setPointSizeF(std::min<qreal>(small.pointSizeF(), 8));
    m_table->setFont(small);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    // Every cell holds an item from the start so that the fixed ones keep their colour.
    for (int r = 0; r < tools::TimingGridRows; ++r)
        for (int c = 0; c < tools::TimingGridColumns; ++c) {
            auto* item = new QTableWidgetItem;
            item->setTextAlignment(Qt::AlignCenter);
            if (r < tools::TimingGridFixed || c < tools::TimingGridFixed) {
                item->setBackground(fixedColour());
                item->setFlags(Qt::ItemIsEnabled);
            } else {
                item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable); // read only
            }
            m_table->setItem(r, c, item);
        }
}

void TimingAnalysisDialog::showEvent(QShowEvent* event)
{
    OwnedDialog::showEvent(event);
    if (!event->spontaneous())
        analyseMaps();
}

void TimingAnalysisDialog::analyseMaps()
{
    // The bytes where a unit without timing keeps no maps are not analysed.
    const bool lacking = m_model.mapsShown() && !m_model.state().unit.timing;
    m_note->setVisible(lacking);
    m_grid = lacking ? tools::TimingGrid() : tools::TimingGrid::analyse(m_model.maps(), m_model.axes());
    fillGrid();
    m_chart->clearFrame();
}

void TimingAnalysisDialog::fillGrid()
{
    for (int r = 0; r < tools::TimingGridRows; ++r)
        for (int c = 0; c < tools::TimingGridColumns; ++c)
            m_table->item(r, c)->setText(QString::fromStdString(m_grid.text(c, r)));
}

// "View 3D"
void TimingAnalysisDialog::button1Click() { m_chart->setFrame(tools::wireFrame(m_grid)); }

} // namespace kyr::app::dialogs
