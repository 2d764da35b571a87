// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A clock for tests: time moves only when the code under test sleeps or the
// test says so, and every sleep is recorded.

#include "link/Clock.h"

#include <vector>

namespace kyr::link {

/// A clock whose time advances only through sleepMs() and advance().
class FakeClock final : public Clock {
public:
    /// Starts at the given tick (a value near 2^32 exercises the wrap).
    explicit FakeClock(uint32_t start = 0) : m_now(start) {}

    uint32_t tickMs() override { return m_now; }
    /// Advances the time by ms and records the sleep.
    void sleepMs(int ms) override;

    /// Moves the time forward without recording a sleep.
    void advance(uint32_t ms) { m_now += ms; }
    /// Every sleep asked for, in order (non-positive ones included).
    const std::vector<int>& sleeps() const { return m_sleeps; }
    /// Sum of the positive sleeps.
    long long totalSleptMs() const { return m_totalSlept; }

private:
    uint32_t m_now;
    std::vector<int> m_sleeps;
    long long m_totalSlept = 0;
};

} // namespace kyr::link
