// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/Clock.h"

#include <chrono>
#include <thread>

namespace kyr::link {

uint32_t SteadyClock::tickMs()
{
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    return static_cast<uint32_t>(ms);
}

void SteadyClock::sleepMs(int ms)
{
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

Clock& systemClock()
{
    static SteadyClock clock;
    return clock;
}

} // namespace kyr::link
