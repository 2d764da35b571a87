#pragma once
// The "Timing Map" page: `TimingChart` and `VacuumChart` on `Panel3`.
// "Print" prints the timing chart.

#include "app/MapPage.h"

class QPrinter;

namespace kyr::app {

class TimingPage : public MapPage {
    Q_OBJECT
public:
    explicit TimingPage(AppContext context, QWidget* parent = nullptr);

    /// Asks through the print dialog, then prints the timing chart.
    void printPage() override;
    /// Prints the timing chart on a printer that is set up (margins 10 on every side).
    void printChart(QPrinter& printer);
};

} // namespace kyr::app
