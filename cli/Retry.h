// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A command that outlives a lost link: a knocked cable, or a USB adapter that
// browned out and came back under another device name. When an attempt loses
// the link, the same port is tried again about once a second; once the same
// unit answers there, the whole attempt runs again.

#include "UnitLink.h"

#include <functional>
#include <ostream>

namespace kyr::cli {

constexpr int MaxRetrySeconds = 3600;
constexpr int RetryIntervalMs = 1000;

/// What the command does on the link.
enum class LinkWork { TableRead, TableWrite };

/// "Link lost during the table read", or the write's text with its warning.
std::string lostText(LinkWork work);

/// How long to wait for a lost link, and where to say what happens meanwhile.
struct RetryPlan {
    LinkWork work = LinkWork::TableRead;
    int seconds = 0;    ///< time the port is tried again, in all; 0: a lost link ends the command
    std::ostream& notes;
};

/// Runs attempt(false). While it fails with LinkLost and time is left, says
/// so, tries the unit's port again and, once the same unit answers there,
/// runs attempt(true). Fails with LinkLost when the time runs out and NoUnit
/// when another unit answers on the port.
Status runRetrying(UnitLink& unit, const RetryPlan& plan, const std::function<Status(bool again)>& attempt);

} // namespace kyr::cli
