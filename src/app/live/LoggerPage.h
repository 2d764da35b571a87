#pragma once
// The "Data Logger" page. "On" starts DataLogTimer (85 ms) and "Off" stops
// it; each tick takes the newest LiveRecord of the real-time poll and, for
// the values whose boxes are checked, plots them against "Time (s)" while
// "Display Chart" is checked and appends them to a CSV file while "Record to
// File" was checked at "On". A tick with no new record adds nothing, so a
// log never repeats stale values. A log is never written over a map file.

#include "app/window/Page.h"
#include "live/DataLog.h"

#include <QElapsedTimer>
#include <QTimer>

#include <array>
#include <memory>
#include <optional>
#include <vector>

class QChart;
class QChartView;
class QCheckBox;
class QLabel;
class QLineSeries;
class QPushButton;
class QValueAxis;

namespace kyr::app {

class FileChooser;
class LivePoll;

class LoggerPage : public Page {
    Q_OBJECT
public:
    static constexpr int IntervalMs = 85;     ///< DataLogTimer
    static constexpr double ChartSeconds = 30; ///< the chart shows the last this many seconds

    /// files picks the log file (the file dialogs when empty).
    explicit LoggerPage(AppContext context, std::shared_ptr<FileChooser> files = {}, QWidget* parent = nullptr);
    ~LoggerPage() override;

    /// The logger runs ("On" was pressed and not "Off").
    bool logging() const { return m_timer.isActive(); }
    /// The box of a value.
    QCheckBox* columnBox(live::LogColumn c) const { return m_boxes[static_cast<int>(c)]; }
    /// The chart of the chosen values.
    QChart* chart() const;
    /// The series of a value on the chart (null when it is not charted).
    QLineSeries* series(live::LogColumn c) const { return m_series[static_cast<int>(c)]; }
    /// The file being recorded, empty when none.
    QString recordingFile() const;

    /// "On" and "Off".
    void OnClick();
    void OffClick();
    /// One tick of DataLogTimer (the timer calls it; tests may too).
    void DataLogTimerTimer();

private:
    QWidget* buildControls();
    QWidget* buildChart();
    std::vector<live::LogColumn> chosen() const;
    bool startRecording(const std::vector<live::LogColumn>& columns);
    void stopRecording();
    void resetChart(const std::vector<live::LogColumn>& columns);
    void plot(double seconds, const live::LiveValues& values, live::ThrottleCal cal);
    void fitAxes(double seconds);
    void setRunning(bool on);

    std::shared_ptr<FileChooser> m_files;
    LivePoll& m_poll;
    QTimer m_timer;             // DataLogTimer
    QElapsedTimer m_clock;      // "Time (s)" counts from On
    quint64 m_seen = 0;         // the poll's record count at the last tick
    QPushButton* m_on = nullptr;
    QPushButton* m_off = nullptr;
    QCheckBox* m_display = nullptr;
    QCheckBox* m_record = nullptr;
    QLabel* m_status = nullptr;
    std::array<QCheckBox*, live::LogColumnCount> m_boxes{};
    QChartView* m_view = nullptr;
    QValueAxis* m_x = nullptr;
    QValueAxis* m_y = nullptr;
    std::array<QLineSeries*, live::LogColumnCount> m_series{};
    std::optional<live::DataLogWriter> m_writer;
};

} // namespace kyr::app
