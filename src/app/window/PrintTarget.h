// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where "Print" puts its sheets. The window is given a target; the program's
// asks through the print dialog and prints on the printer chosen there, tests
// pass one that keeps the sheets to look at.

#include <QPicture>

#include <vector>

class QPagedPaintDevice;
class QWidget;

namespace kyr::app::window {

/// One sheet of paper as painted; its bounding rectangle is the area to fit on the page.
using PrintSheet = QPicture;

class PrintTarget {
public:
    virtual ~PrintTarget() = default;
    /// Asks where to print and prints the sheets there, in order. False, with
    /// nothing printed, when the user cancelled.
    virtual bool print(const std::vector<PrintSheet>& sheets) = 0;
};

/// The print dialog and the printer chosen in it.
class QtPrintTarget final : public PrintTarget {
public:
    explicit QtPrintTarget(QWidget* parent = nullptr) : m_parent(parent) {}
    bool print(const std::vector<PrintSheet>& sheets) override;

private:
    QWidget* m_parent;
};

/// Paints the sheets on a printer (or a PDF writer), one to a page, each
/// scaled to fill the page without changing its shape.
void paintSheets(QPagedPaintDevice& device, const std::vector<PrintSheet>& sheets);

} // namespace kyr::app::window
