// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The rules a table write answers to, shared by the window and the tool:
// whether an image may go to a unit of another type without asking, and how
// a read-back is compared with what was written.

#include "table/Layout.h"

#include <optional>
#include <string>
#include <vector>

namespace kyr::session {

/// An image laid out for one unit type, about to go to a unit of another.
struct TypeMismatch {
    int fileTypeCode = 0;
    int unitTypeCode = 0;
    /// "This file was made for a Fuel unit (type 2), but the connected KYR is a Fuel and Timing unit (type 3)."
    std::string text() const;
};

/// Nothing to ask when the image came from the unit itself (no file type) or
/// both types agree; otherwise the maps would land where the unit keeps others.
std::optional<TypeMismatch> checkUnitType(int fileTypeCode, int unitTypeCode);

/// Table offsets 0..480 at which the unit's read-back differs from the
/// plus-one image that was written (the trailer byte is the unit's own).
std::vector<int> differingOffsets(const table::ImageBytes& written, const table::ImageBytes& readBack);

/// "12, 40, 300": the first `shown`, then "and N more".
std::string offsetList(const std::vector<int>& offsets, std::size_t shown = 10);

} // namespace kyr::session
