// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Time as the link sees it: a wrapping millisecond tick and a sleep. The
// production clock sleeps for real; tests bring a clock of their own.

#include <cstdint>

namespace kyr::link {

/// A millisecond tick counter and a sleep.
class Clock {
public:
    virtual ~Clock() = default;
    /// Milliseconds since an arbitrary start; wraps after 2^32.
    virtual uint32_t tickMs() = 0;
    /// Blocks for ms milliseconds (nothing for ms <= 0).
    virtual void sleepMs(int ms) = 0;
};

/// The monotonic system clock with a real sleep.
class SteadyClock final : public Clock {
public:
    uint32_t tickMs() override;
    void sleepMs(int ms) override;
};

/// The shared production clock.
Clock& systemClock();

} // namespace kyr::link
