#pragma once
// "Timing Analysis" (TTimingAnalysis): the total advance over RPM and vacuum,
// filled from the timing maps each time "Analyse Maps" shows it.

#include "app/OwnedDialog.h"

namespace kyr::app {

class TuneModel;

class TimingAnalysisDialog : public OwnedDialog {
    Q_OBJECT
public:
    TimingAnalysisDialog(const TuneModel& model, QWidget* owner);

protected:
    const TuneModel& model() const { return m_model; }

private:
    const TuneModel& m_model;
};

} // namespace kyr::app
