// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the program says about itself: its version, its license and where its
// source is. The About box and `kyr --version` show the same lines.

#include <string>

namespace kyr::tools {

/// The version being run ("0.1.0").
std::string programVersion();
/// "GPL-3.0-or-later: ..." with the warranty disclaimer the license asks for.
std::string licenseLine();
/// Where the complete source of this version is.
std::string sourceLine();

} // namespace kyr::tools
