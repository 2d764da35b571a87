// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The "Throttle Position Sensor Calibration" dialog as a state machine. The
// dialog feeds it each throttle reading of its poll and each F1 press; it
// answers with the text to show and, once both points are taken, the two
// WriteByte commands (low point, then high point; the caller puts 200 ms
// between them).

#include "setup/ByteWrite.h"

#include <optional>
#include <string_view>
#include <vector>

namespace kyr::setup {

class TpsCalibration {
public:
    enum class Step {
        Idle,   ///< not started
        Low,    ///< waiting for F1 with the throttle released
        High,   ///< waiting for F1 with the throttle wide open
        Done,   ///< both points taken and written
        Failed, ///< the readings made no sense; F1 starts again
    };

    static constexpr std::string_view ReleaseText = "Release throttle completely and press F1";
    static constexpr std::string_view OpenText = "Open throttle as far as possible and press F1";
    static constexpr std::string_view DoneText = "TPS Calibrated. Please click OK to return to the SETUP tab";
    static constexpr std::string_view ErrorText = "Error...please try again or click CANCEL";
    /// The open throttle must read at least this much above the closed one.
    static constexpr int DefaultMinimumSpan = 20;
    /// The pause the caller keeps between the two writes.
    static constexpr int WritePauseMs = 200;

    explicit TpsCalibration(int minimumSpan = DefaultMinimumSpan);

    /// The dialog is shown (or shown again): asks for the released throttle.
    void start();
    /// One poll's throttle reading (raw counts), or nothing when the poll
    /// brought no usable reading. Readings outside 0..253 count as none.
    void reading(std::optional<int> raw);
    /// F1: takes the present reading as the current point. Returns the two
    /// writes when the high point completes a sound calibration, else none.
    std::vector<ByteWrite> pressF1();

    Step step() const { return m_step; }
    /// The text the dialog shows ("" before start).
    std::string_view prompt() const;
    std::optional<int> low() const { return m_low; }
    std::optional<int> high() const { return m_high; }
    std::optional<int> lastReading() const { return m_reading; }

private:
    std::vector<ByteWrite> fail();

    int m_minimumSpan;
    Step m_step = Step::Idle;
    std::optional<int> m_reading;
    bool m_fresh = false; // a reading arrived since the last point was taken
    std::optional<int> m_low;
    std::optional<int> m_high;
};

} // namespace kyr::setup
