// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The test process's id, to give temporary folders names of their own.

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

namespace kyr::test {

inline long processId()
{
#ifdef _WIN32
    return ::_getpid();
#else
    return ::getpid();
#endif
}

} // namespace kyr::test
