// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Replacing a file so that a reader sees the old text or the new, never a
// part: a temporary file in the same folder, renamed over the target. The
// target keeps its permissions, and a symbolic link keeps pointing where it
// did: the file it names is replaced, not the link.

#include "files/DurableFile.h"
#include "table/Result.h"

#include <filesystem>
#include <string_view>

namespace kyr::files {

/// The file a save of path replaces: path itself, or the file that a symbolic
/// link (or a chain of them) names, which need not exist yet.
Result<std::filesystem::path> saveTarget(const std::filesystem::path& path);

/// Why path cannot take an output's bytes: empty for a regular file or a
/// name that does not exist yet (links followed), else "it is a folder" or
/// "it is not a regular file". Writing into a device, a pipe or a socket
/// sends the bytes elsewhere or blocks, and replacing one destroys it.
std::string whyNotOutput(const std::filesystem::path& path);

/// Why path cannot be read as a file: empty for a regular file (links
/// followed) or one that does not exist (its opening says so), else as
/// whyNotOutput. A pipe would block the reader until something writes to it.
std::string whyNotInput(const std::filesystem::path& path);

/// Writes text as the whole of path's target, which must be a regular file
/// or a new name (whyNotOutput). An existing target keeps its
/// mode (and its owner, where the system allows); a new one gets 0644.
/// Errors name path and are OsError; on any error the target is left as it
/// was. sync flushes the new text to the disk before it takes the target's place.
Status replaceFile(const std::filesystem::path& path, std::string_view text, SyncCall sync = systemSync);

/// Whether replaceFile could write path now: its target is no folder nor
/// anything else that is not a regular file, and a
/// file can be created in the target's folder (tried, and removed again).
/// Errors name path and are OsError.
Status checkReplaceable(const std::filesystem::path& path);

} // namespace kyr::files
