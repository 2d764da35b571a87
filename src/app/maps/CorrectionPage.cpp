// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/maps/CorrectionPage.h"

#include <QFrame>
#include <QGridLayout>

namespace kyr::app::maps {

CorrectionPage::CorrectionPage(AppContext context, MapServices services, QWidget* parent)
    : MapPage(context, services, QStringLiteral("TabSheet4"), QStringLiteral("Correction Maps"), QStringLiteral("Panel26"),
              QStringLiteral("RT4"), parent)
{
    auto* grid = new QGridLayout(panel());
    grid->addWidget(addChart(kyr::maps::ChartId::Temp), 0, 0);
    grid->addWidget(addChart(kyr::maps::ChartId::AirTmp), 0, 1);
    grid->addWidget(addChart(kyr::maps::ChartId::Voltage), 1, 0, 1, 2);
    grid->setRowStretch(0, 1);
    grid->setRowStretch(1, 1);
}

} // namespace kyr::app::maps
