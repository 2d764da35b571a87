// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The tunes opened or saved last, newest first, kept in the program's
// settings. A file that has gone since is left out of the list shown.

#include <QString>
#include <QStringList>

namespace kyr::app::window {

class RecentFiles {
public:
    static constexpr int Kept = 8;

    /// The files in the settings that still exist, newest first.
    static QStringList list();
    /// Puts path first (once), keeping at most Kept.
    static void add(const QString& path);
};

/// Remembers the window's size and shown page when the program ends, and
/// gives them back at the next start.
class WindowMemory {
public:
    static void restore(class EFICom& window);
    static void remember(const class EFICom& window);
};

} // namespace kyr::app::window
