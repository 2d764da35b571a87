// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The "Data Logger" page. "On" starts the logger and "Off" stops it; while it
// runs, every LiveRecord the real-time poll decodes becomes one row: its
// chosen values go on the strip chart ("Display Chart") and, when "Record to
// File" was checked at "On", into a log file (.mlg, .msl or .csv by the name
// chosen). The M key and "Marker" set a marker. DataLogTimer only refreshes
// what the page says of the recording (file, elapsed time, records).
//
// "Open log..." shows a log file in the same chart; its cursor then puts the
// map charts' live bars where the engine was at that moment, until "Live".
// A log is never written over a map file. The chosen values are remembered.
// Of a log with many channels the chart shows StripChart::MaxShown at once,
// and the page says which.

#include "app/common/Page.h"
#include "live/DataLog.h"
#include "live/LogFile.h"
#include "live/LogTrace.h"

#include <QElapsedTimer>
#include <QTimer>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QCheckBox;
class QLabel;
class QPushButton;

namespace kyr::app {
class FileChooser;
}

namespace kyr::app::live {

class LivePoll;
class StripChart;

/// The filters of the log files: the save dialog's (binary first) and the open dialog's.
extern const QString LogSaveFilter;
extern const QString LogOpenFilter;

class LoggerPage : public Page {
    Q_OBJECT
public:
    static constexpr int IntervalMs = 250; ///< DataLogTimer: the recording's read-out

    /// files picks the log file (the file dialogs when empty).
    LoggerPage(AppContext context, LivePoll& poll, std::shared_ptr<FileChooser> files = {}, QWidget* parent = nullptr);
    ~LoggerPage() override;

    /// The logger runs ("On" was pressed and not "Off").
    bool logging() const { return m_timer.isActive(); }
    /// The box of a value.
    QCheckBox* columnBox(kyr::live::LogColumn c) const { return m_boxes[static_cast<int>(c)]; }
    StripChart* chart() const { return m_chart; }
    /// The file being recorded, empty when none.
    QString recordingFile() const;
    /// Records written to the file so far.
    long recordedRecords() const { return m_writer ? m_writer->records() : 0; }
    /// A log file is shown rather than the live values.
    bool viewingLog() const { return m_viewing; }
    /// What the page says of the recording, and of the log shown.
    QString recordingText() const;
    QString shownText() const;
    /// Which channels of a wide log the chart shows; empty when it shows them all.
    QString channelsText() const;

    /// The clock of "Time (s)", in milliseconds (a steady clock unless set).
    void setClock(std::function<qint64()> msClock);

    /// "On" and "Off".
    void OnClick();
    void OffClick();
    /// One tick of DataLogTimer (the timer calls it; tests may too).
    void DataLogTimerTimer();
    /// "Marker" and the M key: a marker at this moment, on the chart and in the file.
    void addMarker();
    /// "Open log..." and "Live".
    void openLog();
    /// Shows a log file as "Open log..." does; false, with the reason said,
    /// when it cannot be read or the logger is recording.
    bool showLogFile(const QString& path);
    void showLive();

    bool previewKey(QKeyEvent* event) override;

private:
    QWidget* buildControls();
    QWidget* buildValues(QWidget* parent);
    std::vector<kyr::live::LogColumn> chosen() const;
    void loadChoice();
    void saveChoice() const;
    bool startRecording(const std::vector<kyr::live::LogColumn>& columns);
    void stopRecording();
    kyr::live::LogInfo logInfo() const;
    void record(const kyr::live::LiveValues& values);
    void cursorMoved(std::size_t row);
    double seconds() const;
    void setRunning(bool on);

    std::shared_ptr<FileChooser> m_files;
    LivePoll& m_poll;
    QTimer m_timer;             // DataLogTimer
    QElapsedTimer m_elapsed;
    std::function<qint64()> m_clock; // "Time (s)" counts from On
    qint64 m_started = 0;
    std::vector<kyr::live::LogColumn> m_columns; // what the running logger takes
    kyr::live::ThrottleCal m_cal;
    int m_markers = 0;
    long m_rows = 0;
    QPushButton* m_on = nullptr;
    QPushButton* m_off = nullptr;
    QPushButton* m_marker = nullptr;
    QPushButton* m_open = nullptr;
    QPushButton* m_live = nullptr;
    QCheckBox* m_display = nullptr;
    QCheckBox* m_record = nullptr;
    QLabel* m_status = nullptr;
    QLabel* m_recording = nullptr;
    QLabel* m_shown = nullptr;
    QLabel* m_channels = nullptr; // which channels of a wide log the chart shows
    std::array<QCheckBox*, kyr::live::LogColumnCount> m_boxes{};
    StripChart* m_chart = nullptr;
    std::unique_ptr<kyr::live::LogWriter> m_writer;
    bool m_viewing = false;
    kyr::live::LogData m_liveLog; // the live rows, kept while a log file is shown
    kyr::live::ChannelFields m_logFields; // the live field of each channel of the log shown
    QString m_shownName;
};

} // namespace kyr::app::live
