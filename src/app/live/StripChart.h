// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The data logger's strip chart: each channel of a LogData in a strip of its
// own with its own scale, one time axis under them all, the markers as
// vertical lines, and a cursor that reads every channel at one row. The view
// scrolls back over the whole log and zooms; while rows are appended live it
// follows the newest unless the user scrolled back. Each pixel column draws
// the lowest and highest sample in it, so a long log draws as fast as a short
// one, and appends repaint at most at display rate. A log of many channels
// shows MaxShown of them at once; Page Up and Page Down page through the rest.

#include "live/LogData.h"
#include "live/LogTrace.h"

#include <QTimer>
#include <QWidget>

#include <cstddef>
#include <optional>
#include <vector>

class QScrollBar;

namespace kyr::app::live {

class StripChart : public QWidget {
    Q_OBJECT
public:
    static constexpr int RepaintMs = 33;     ///< appends repaint at most this often
    static constexpr double LiveSeconds = 30; ///< the span a live view starts with
    static constexpr std::size_t MaxShown = 16; ///< channels drawn at once

    explicit StripChart(QWidget* parent = nullptr);

    /// Shows a whole log, all of it in view, cursor on its first row.
    void setLog(kyr::live::LogData log);
    /// Gives up the log shown (the chart is left empty).
    kyr::live::LogData takeLog();
    const kyr::live::LogData& log() const { return m_log; }
    /// Starts an empty live log of these channels; the view follows the newest row.
    void startLive(std::vector<kyr::live::LogChannel> channels);
    /// Appends one row (a value per channel, NaN for a missing reading).
    void appendRow(double seconds, const std::vector<float>& values);
    void addMarker(double seconds, const std::string& text);
    bool live() const { return m_live; }

    /// The time span in view.
    double viewStart() const { return m_start; }
    double viewSeconds() const { return m_seconds; }
    void setView(double start, double seconds);
    /// Zooms by factor (below 1 zooms in) keeping the time at anchor in place.
    void zoom(double factor, double anchor);
    /// The whole log in view.
    void fit();
    /// A live view keeps the newest row in view.
    bool following() const { return m_follow; }
    QScrollBar* scrollBar() const { return m_scroll; }

    /// The row under the cursor; empty when no cursor is placed.
    std::optional<std::size_t> cursorRow() const { return m_cursor; }
    /// Puts the cursor on the row nearest t and emits cursorMoved.
    void setCursorTime(double t);
    /// Moves the cursor by steps pixel columns (at least one row each way).
    void stepCursor(int steps);
    /// The channels drawn: MaxShown (or fewer) from the first shown.
    std::size_t firstShown() const { return m_firstShown; }
    std::size_t shownCount() const;
    /// Shows the channels from first on (kept so that a full page is shown).
    void showChannels(std::size_t first);
    /// What the chart says of the channels it leaves out; empty when it draws them all.
    QString shownText() const;
    /// A channel's reading at a row as the cursor shows it ("3400 RPM", "--").
    QString valueText(std::size_t channel, std::size_t row) const;
    QString stripTitle(std::size_t channel) const;

    /// The area the traces are drawn in, and the time at a pixel x within it.
    QRect plotRect() const;
    double timeAt(double x) const;
    double xOf(double t) const;

signals:
    void cursorMoved(double seconds, std::size_t row);
    /// Other channels are shown (another log, or paged).
    void shownChanged();

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void wheelEvent(QWheelEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void keyPressEvent(QKeyEvent*) override;

private:
    double duration() const;
    double firstTime() const;
    void settle();
    void syncScrollBar();
    void scrolled(int value);
    void scheduleRepaint();
    void drawStrip(QPainter& p, std::size_t channel, const QRect& strip);
    void drawTimeAxis(QPainter& p, const QRect& plot);
    void drawMarkers(QPainter& p, const QRect& plot);
    void drawCursor(QPainter& p, const QRect& plot);

    kyr::live::LogData m_log;
    std::vector<std::optional<kyr::live::ValueSpan>> m_spans; // per channel, all rows seen
    QScrollBar* m_scroll;
    QTimer m_repaint;
    double m_start = 0;
    double m_seconds = LiveSeconds;
    double m_scrollUnit = 1000; // scroll bar steps per second
    bool m_live = false;
    bool m_follow = true;
    bool m_syncing = false;
    std::optional<std::size_t> m_cursor;
    std::size_t m_firstShown = 0;
};

} // namespace kyr::app::live
