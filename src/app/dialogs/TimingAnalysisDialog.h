// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "Timing Analysis" (TTimingAnalysis): the total advance over RPM and vacuum,
// filled from the timing maps each time "Analyse Maps" shows it, and drawn
// as a wire-frame by "View 3D".

#include "app/dialogs/OwnedDialog.h"
#include "tools/TimingAnalysis.h"

class QLabel;
class QTableWidget;

namespace kyr::app {
class TuneModel;
}

namespace kyr::app::dialogs {

class TimingChart3D;

class TimingAnalysisDialog : public OwnedDialog {
    Q_OBJECT
public:
    TimingAnalysisDialog(const TuneModel& model, QWidget* owner);

    /// Fills TimingGrid from the model's timing maps and N; the 3D drawing
    /// of an earlier analysis is cleared. A unit without timing maps leaves
    /// the grid empty and says so. Runs each time the dialog is shown.
    void analyseMaps();
    /// The grid as last analysed.
    const tools::TimingGrid& grid() const { return m_grid; }
    /// The colour of the fixed rows and columns (the form's 15780518, BGR).
    static QColor fixedColour();

protected:
    const TuneModel& model() const { return m_model; }
    void showEvent(QShowEvent* event) override;

private:
    void buildGrid();
    void fillGrid();
    void button1Click();

    const TuneModel& m_model;
    tools::TimingGrid m_grid;
    QTableWidget* m_table;   // TimingGrid
    QLabel* m_note;          // why the grid is empty
    TimingChart3D* m_chart;  // TimingDChart
};

} // namespace kyr::app::dialogs
