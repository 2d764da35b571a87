// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The look over the tune before Write to KYR sends it: the tuner's choices
// (on or off, the timing limit) kept in the program's settings, and the
// findings put as one question.

#include "tools/TuneCheck.h"

#include <QString>

#include <vector>

namespace kyr::app {
class MessageSink;
}

namespace kyr::app::window {

struct WriteCheck {
    static constexpr double DefaultTimingLimit = 45;
    static constexpr double LowestTimingLimit = 10;
    static constexpr double HighestTimingLimit = 70;
    static constexpr int Listed = 10; ///< findings listed by name; the rest are counted

    bool enabled = true;
    double timingLimit = DefaultTimingLimit;

    /// The choices in the settings; a limit edited out of range by hand is the default.
    static WriteCheck load();
    void save() const;

    /// "Before writing, these look like slips:" and one line per finding.
    static QString findingsText(const std::vector<tools::Finding>& findings);
    /// Refuses a table holding a stored 0 (tools::storedZeros), naming the
    /// bytes, whether the look is on or not; true when there is none.
    static bool allowsStoredBytes(MessageSink& messages, const table::ImageBytes& plusOne);
    /// Asks whether to write despite the findings; true when there are none.
    static bool confirm(MessageSink& messages, const std::vector<tools::Finding>& findings);
};

} // namespace kyr::app::window
