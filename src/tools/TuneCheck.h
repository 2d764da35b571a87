// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The look over a tune before it is written to the unit: what is likely a
// slip of the hand rather than a choice. Pure functions; the tuner reads the
// findings and decides whether to go on.

#include "table/Layout.h"

#include <optional>
#include <string>
#include <vector>

namespace kyr::tools {

/// What a finding is about.
enum class FindingKind {
    PointSpike,       ///< a map point far from both its neighbours, the same way
    TimingAboveLimit, ///< a timing-by-RPM point above the tuner's limit
    SettingAtEdge,    ///< a setup value at (or past) an end of its range, unlike the unit's
    StoredZero,       ///< a stored 0 (raw 255) in the table: the unit's table reply would end there
};

/// One likely slip.
struct Finding {
    FindingKind kind{};
    std::optional<table::MapId> map;       ///< the map, for point findings
    int index = 0;                         ///< the point (1-based)
    double x = 0;                          ///< the point's x in its chart's units
    double value = 0;                      ///< the point's value, or the setting's in its unit
    std::vector<double> neighbours;        ///< PointSpike: the values before and after
    const table::SetupDef* setting = nullptr; ///< SettingAtEdge: the setup row
    int offset = -1;                       ///< StoredZero: the table offset
    std::string unitValue;                 ///< SettingAtEdge: the unit's value with its unit
    std::string where;                     ///< "Timing Map point 35 (3500 RPM)", "Coil Time (ms)"
    std::string message;                   ///< one sentence for the tuner
};

/// How the check judges.
struct CheckOptions {
    double timingLimit = 45;                 ///< degrees of advance the timing map may reach
    std::optional<table::ImageBytes> unit;   ///< the unit's table (plus-one form), when known
    int typeCode = 0;                        ///< the tune's unit type; unknown (0) checks every map
};

/// How far a point must stand from each neighbour to be a spike, in the map's
/// own units: 10° for the degree maps, 25 % for the fuel maps, a quarter of the
/// chart's span for the corrections.
double spikeThreshold(table::MapId map);

/// Every stored 0 (raw 255) at offsets 0 to 480 of a plus-one image. The unit
/// ends its table reply at the first one, so a unit holding it cannot be read
/// whole until that byte is written again: such a tune is never written.
std::vector<Finding> storedZeros(const table::ImageBytes& plusOne);

/// What a byte of the table is: "table offset 233 (Timing Map point 12)",
/// "table offset 80 (Coil Time)", or just the offset.
std::string tableByteName(int offset);

/// Every likely slip in a plus-one image: stored zeros first, then maps in
/// table order, then the setup values.
std::vector<Finding> checkTune(const table::ImageBytes& plusOne, const CheckOptions& options = {});

/// The name of a kind as the tools print it: "spike", "timing-limit", "setting-edge", "stored-zero".
std::string_view findingKindName(FindingKind kind);

} // namespace kyr::tools
