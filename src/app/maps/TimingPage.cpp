// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/maps/TimingPage.h"

#include <QFrame>
#include <QVBoxLayout>

namespace kyr::app::maps {

TimingPage::TimingPage(AppContext context, MapServices services, QWidget* parent)
    : MapPage(context, services, QStringLiteral("TabSheet2"), QStringLiteral("Timing Map"), QStringLiteral("Panel3"),
              QStringLiteral("RT1"), parent)
{
    auto* column = new QVBoxLayout(panel());
    column->addWidget(addChart(kyr::maps::ChartId::Timing), 3);
    column->addWidget(addChart(kyr::maps::ChartId::Vacuum), 2);
}

} // namespace kyr::app::maps
