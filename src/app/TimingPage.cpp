#include "app/TimingPage.h"

#include "app/MapChartView.h"

#include <QFrame>
#include <QPrintDialog>
#include <QPrinter>
#include <QVBoxLayout>

namespace kyr::app {

TimingPage::TimingPage(AppContext context, QWidget* parent)
    : MapPage(context, QStringLiteral("TabSheet2"), QStringLiteral("Timing Map"), QStringLiteral("Panel3"), parent)
{
    auto* column = new QVBoxLayout(panel());
    column->addWidget(addChart(maps::ChartId::Timing), 3);
    column->addWidget(addChart(maps::ChartId::Vacuum), 2);
}

void TimingPage::printPage()
{
    QPrinter printer(QPrinter::HighResolution);
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() == QDialog::Accepted)
        printChart(printer);
}

void TimingPage::printChart(QPrinter& printer) { chart(maps::ChartId::Timing)->printTo(printer); }

} // namespace kyr::app
