// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The gauges' warning and danger limits as the user set them, kept across
// runs in the program's settings, one entry per gauge under "GaugeLimits/".
// A gauge without an entry, or whose entry does not read back as a valid
// set, has its default limits.

#include "live/LiveState.h"

#include <array>
#include <memory>

#include <QSettings>

namespace kyr::app::live {

using GaugeLimitSet = std::array<kyr::live::GaugeLimits, kyr::live::GaugeCount>;

/// The default limits of every gauge, in table order.
GaugeLimitSet defaultGaugeLimits();

class GaugeLimitStore {
public:
    /// Keeps its entries in settings; the user's settings of the program by default.
    explicit GaugeLimitStore(std::unique_ptr<QSettings> settings = nullptr);
    ~GaugeLimitStore();

    GaugeLimitSet load() const;
    /// Writes every gauge's limits; the caller has validated them all.
    void save(const GaugeLimitSet& limits);

private:
    std::unique_ptr<QSettings> m_settings;
};

} // namespace kyr::app::live
