// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The real-time frame: a strip along a page that shows the engine's speed,
// timing, vacuum and lambda from the live poll, with the lambda sensor's
// voltage as a bar under the lambda control's target marker. The Timing Map
// (RT1), Setup (RT2), Fuel Maps (RT3) and Correction Maps (RT4) pages each
// carry one; all four belong to the window's RealTimeFrames.
//
// The target marker follows "Target Volts" (TrackBar7): in RT2 as the slider
// moves, and in all four when the slider lets go of the focus or the target
// is set from a table. While the slider has the focus, RT2's lambda caption
// reads "Set Target" and its lambda value is hidden.

#include "live/LiveRecord.h"

#include <QFrame>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <optional>
#include <vector>

class QLabel;
class QSlider;

namespace kyr::app::live {

class LivePoll;
class RealTimeFrames;

/// The lambda panel (`Panel1`): the live lambda bar, and the target marker
/// (`Shape1`) with its label (`Label6`, whose text the setup engine gives)
/// placed at the target volts.
class LambdaTargetStrip : public QWidget {
    Q_OBJECT
public:
    explicit LambdaTargetStrip(QWidget* parent = nullptr);

    /// Moves marker and label to a TrackBar7 position (volts x 100); the
    /// label stands labelShift pixels right of the marker's rule.
    void setPosition(int position, int labelShift = 0);
    int position() const { return m_position; }
    /// The lambda sensor's voltage as a bar from the left; empty hides it.
    void setLive(std::optional<double> volts);
    QFrame* marker() const { return m_marker; }
    QLabel* label() const { return m_label; }
    QFrame* liveBar() const { return m_bar; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void place();

    QFrame* m_panel;  // Panel1
    QFrame* m_bar;
    QFrame* m_marker; // Shape1
    QLabel* m_label;  // Label6
    int m_position = 50;
    int m_labelShift = 0;
    std::optional<double> m_live;
};

class RTFrame : public QFrame {
    Q_OBJECT
public:
    static constexpr int RefreshMs = 33; ///< at most this often, newest record wins

    /// name is the frame's form name ("RT1" to "RT4").
    /// The frame shows what poll reads and joins frames (the window's four).
    RTFrame(LivePoll& poll, RealTimeFrames& frames, const QString& name, QWidget* parent = nullptr);

    /// The text shown for a value ("3500 RPM", "--" without a reading).
    QString valueText(kyr::live::LiveField field) const;
    LambdaTargetStrip* lambda() const { return m_lambda; }
    QLabel* lambdaCaption() const { return m_caption; } // Label46
    QLabel* lambdaValue() const { return m_lambdaValue; } // Label56

    /// While the target slider has the focus: "Set Target" and no value.
    void setTargetEditing(bool editing);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void received(const kyr::live::LiveValues& values);
    void show(const std::optional<kyr::live::LiveValues>& values);
    QLabel* addValue(kyr::live::LiveField field, const QString& caption);

    LivePoll& m_poll;
    QTimer m_refresh;
    std::optional<kyr::live::LiveValues> m_next;
    std::vector<std::pair<kyr::live::LiveField, QLabel*>> m_values;
    LambdaTargetStrip* m_lambda = nullptr;
    QLabel* m_caption = nullptr;
    QLabel* m_lambdaValue = nullptr;
};

/// The four frames of a window and the target marker they share.
class RealTimeFrames : public QObject {
    Q_OBJECT
public:
    /// The window makes one and hands it to every page with a frame.
    explicit RealTimeFrames(QObject* parent = nullptr) : QObject(parent) {}

    void add(RTFrame* frame);
    /// The frames in the order they were added (a frame taken down is left out).
    std::vector<RTFrame*> frames() const;
    /// Follows the target slider; home is the frame on the slider's page.
    void watchTarget(QSlider* slider, RTFrame* home);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void targetMoved(int position);
    void placeEverywhere(int position, bool home);

    std::vector<QPointer<RTFrame>> m_frames;
    QPointer<QSlider> m_slider;
    QPointer<RTFrame> m_home;
};

} // namespace kyr::app::live
