// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/window/PrintTarget.h"

#include <QPageLayout>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>

#include <algorithm>

namespace kyr::app::window {

bool QtPrintTarget::print(const std::vector<PrintSheet>& sheets)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageOrientation(QPageLayout::Landscape); // the charts are wider than tall
    QPrintDialog dialog(&printer, m_parent);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    paintSheets(printer, sheets);
    return true;
}

void paintSheets(QPagedPaintDevice& device, const std::vector<PrintSheet>& sheets)
{
    QPainter painter(&device);
    const QRectF page = painter.viewport();
    for (std::size_t i = 0; i < sheets.size(); ++i) {
        if (i > 0)
            device.newPage();
        const QRectF area = sheets[i].boundingRect();
        if (area.isEmpty())
            continue;
        const double scale = std::min(page.width() / area.width(), page.height() / area.height());
        painter.save();
        painter.translate(page.topLeft());
        painter.scale(scale, scale);
        painter.drawPicture(-area.topLeft(), sheets[i]);
        painter.restore();
    }
}

} // namespace kyr::app::window
