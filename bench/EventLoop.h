// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the window benchmarks share: running the event loop until something
// has happened, sleeping while there is nothing to do.

#include <QEventLoop>
#include <QTimer>

#include <functional>

namespace kyr::bench {

/// Runs the event loop until done, checking every 10 ms; false on timeout.
inline bool runUntil(const std::function<bool()>& done, int timeoutMs)
{
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    check.start(10);
    QTimer::singleShot(timeoutMs, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    if (!done())
        loop.exec();
    return done();
}

/// Runs the event loop for ms milliseconds.
inline void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace kyr::bench
