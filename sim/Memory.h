// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The simulated unit's non-volatile memory: its table, raw form, kept in a
// file of exactly 482 bytes so that writes survive a restart.

#include "table/Layout.h"
#include "table/Result.h"

#include <filesystem>

namespace kyr::sim {

/// Reads a memory file; anything but exactly 482 bytes is refused.
Result<table::ImageBytes> loadMemory(const std::filesystem::path& path);

/// Writes the memory file whole: a temporary file beside it, renamed over it,
/// so a reader never sees half a table.
Status saveMemory(const std::filesystem::path& path, const table::ImageBytes& raw);

/// The raw table held in a map file (*.kyr, plus-one form).
Result<table::ImageBytes> loadTune(const std::filesystem::path& path);

/// The memory to start from: the memory file if it exists, else the tune,
/// which is then stored as the new memory file.
Result<table::ImageBytes> openMemory(const std::filesystem::path& memory, const std::filesystem::path& tune);

} // namespace kyr::sim
