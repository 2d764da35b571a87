// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "Fuel Suggestions" on the Fuel Maps page: the lambda readings of logs and
// of the live records judged against the tune's target for one fuel curve,
// point by point, with the suggested change. Apply puts the suggestions into
// the curve as one undo step through the map edit session, which sends every
// changed point; locked points are never changed.
//
// The panel keeps what it was given (the logs read and the live samples), so
// a change of curve, or a new table with other axes or another target, judges
// them again. Each log and each run of live records goes on after the last
// one's time, so that one's throttle movements never mark the next as a
// transient.

#include "app/common/AppContext.h"
#include "live/FuelAnalysis.h"
#include "live/LiveRecord.h"
#include "maps/PointRules.h"

#include <QElapsedTimer>
#include <QGroupBox>
#include <QTimer>

#include <array>
#include <memory>
#include <optional>
#include <set>
#include <vector>

class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;

namespace kyr::app {
class FileChooser;
}
namespace kyr::app::live {
class LivePoll;
}

namespace kyr::app::maps {

class MapEditSession;

class FuelSuggestPanel : public QGroupBox {
    Q_OBJECT
public:
    /// The table's columns.
    enum Column { PointCol, XCol, HitsCol, VoltsCol, ShareCol, ChangeCol, LockCol, ColumnCount };
    static constexpr int RefreshMs = 250; ///< the table follows live records at most this often

    FuelSuggestPanel(AppContext context, MapEditSession& session, live::LivePoll& poll,
                     std::shared_ptr<FileChooser> files, QWidget* parent = nullptr);
    ~FuelSuggestPanel() override;

    QComboBox* curveChoice() const { return m_curveChoice; }
    QTableWidget* table() const { return m_table; }
    /// The filter counts and the analysis warning.
    QLabel* summary() const { return m_summary; }
    QPushButton* applyButton() const { return m_apply; }

    kyr::live::FuelCurve curve() const { return m_curve; }
    /// Judges another curve with what the panel holds.
    void setCurve(kyr::live::FuelCurve curve);
    /// The analysis as it stands now.
    kyr::live::FuelReport report() const;

    /// "Open log…": one log through the file chooser. An unreadable log is
    /// refused with a message and adds nothing. True when a log was added.
    bool openLog();
    /// Adds a log file read from path; false (after saying why) when it cannot be used.
    bool addLogFile(const QString& path);
    /// A live record taken at seconds (of the panel's own clock).
    void addLive(const kyr::live::LiveValues& values, double seconds);
    /// "Apply": the suggestions of the selected rows (all rows when none is
    /// selected) into the curve as one undo step. False when nothing changed.
    bool apply();
    /// "Clear": forgets the logs and the live samples (the locks are kept).
    void clear();
    /// Shows the analysis now (live records show it at most every RefreshMs).
    void refresh();

signals:
    /// The suggested curve of a map to draw beside the tune's; empty takes it away.
    void suggestionShown(kyr::table::MapId map, const std::vector<kyr::maps::CurvePoint>& points);
    /// A line for the status bar.
    void statusText(const QString& text);

private:
    QWidget* buildButtons();
    void rebuild();
    kyr::live::FuelAnalysis makeAnalysis() const;
    void takeLive(const kyr::live::LiveValues& values);
    void fillRow(int row, const kyr::live::PointSuggestion& p);
    void showSummary(const kyr::live::FuelReport& r);
    void showSuggestedCurve();
    void lockClicked(int row, bool locked);
    void followPageChoice();
    std::vector<int> chosenPoints() const;
    std::vector<double> curveValues() const;

    AppContext m_context;
    MapEditSession& m_session;
    std::shared_ptr<FileChooser> m_files;
    QComboBox* m_curveChoice = nullptr;
    QTableWidget* m_table = nullptr;
    QLabel* m_summary = nullptr;
    QPushButton* m_apply = nullptr;
    kyr::live::FuelCurve m_curve = kyr::live::FuelCurve::Cruise;
    std::unique_ptr<kyr::live::FuelAnalysis> m_analysis;
    std::array<std::set<int>, 4> m_locks; // by curve
    std::vector<kyr::live::LogData> m_logs;  // as added, their times moved on
    std::vector<kyr::live::FuelSample> m_live;
    double m_end = 0;                       // the last time added, on the panel's running clock
    std::optional<double> m_liveStart;      // where the present run of live records starts
    QElapsedTimer m_clock;
    QTimer m_refresh;
    bool m_filling = false;
};

} // namespace kyr::app::maps
