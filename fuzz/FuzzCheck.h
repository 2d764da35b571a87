// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a fuzz target asserts: a property that fails stops the run like a
// crash does, so that libFuzzer keeps the input that broke it.

#include <cstdio>
#include <cstdlib>

namespace kyr::fuzz {

inline void check(bool holds, const char* what)
{
    if (holds)
        return;
    std::fprintf(stderr, "fuzz property failed: %s\n", what);
    std::abort();
}

} // namespace kyr::fuzz
