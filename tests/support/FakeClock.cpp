// SPDX-License-Identifier: GPL-3.0-or-later
#include "FakeClock.h"

namespace kyr::link {

void FakeClock::sleepMs(int ms)
{
    m_sleeps.push_back(ms);
    if (ms > 0) {
        m_now += static_cast<uint32_t>(ms);
        m_totalSlept += ms;
    }
}

} // namespace kyr::link
