// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/ProgramInfo.h"

#ifndef KYR_VERSION
#define KYR_VERSION "unknown"
#endif
#ifndef KYR_SOURCE_LOCATION
#define KYR_SOURCE_LOCATION "the KYR Tuner source repository"
#endif

namespace kyr::tools {

std::string programVersion() { return KYR_VERSION; }

std::string licenseLine()
{
    return "License GPL-3.0-or-later: GNU General Public License version 3 or later. "
           "This is free software: you may change and share it. There is NO WARRANTY.";
}

std::string sourceLine() { return std::string("Source: ") + KYR_SOURCE_LOCATION; }

} // namespace kyr::tools
