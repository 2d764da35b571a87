// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The rules a table write answers to, shared by the window and the tool:
// whether an image may go to a unit of another type without asking, and how
// a read-back is compared with what was written.

#include "session/TuneState.h"
#include "table/Codec.h"
#include "table/Layout.h"
#include "tools/TuneCheck.h"

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

/// How a write is looked over before it goes.
struct WriteLook {
    bool slips = true;       ///< look for likely slips (a point far off its neighbours, timing above the limit…)
    double timingLimit = 45; ///< degrees of advance the timing map may reach
};

/// What Write to KYR would send and what stands in its way. A refusal ends
/// it; a type mismatch and likely slips are the tuner's to accept.
struct WritePlan {
    table::EncodedImage image;               ///< what would be written
    std::optional<Error> refusal;            ///< not connected, or a stored 0 the unit could not read back
    std::vector<tools::Finding> storedZeros; ///< the bytes behind a stored-0 refusal
    std::optional<TypeMismatch> mismatch;    ///< a file made for another unit type
    std::vector<tools::Finding> slips;       ///< likely slips, when looked for
    bool mayWrite() const { return !refusal; }
};

/// Looks over the tune shown (setup copy and maps) before it is written to
/// the connected unit: the window and the tool both ask this first.
WritePlan prepareWrite(const TuneState& s, const table::MapArrays& maps, const WriteLook& look = {});

/// Table offsets 0..480 at which the unit's read-back differs from the
/// plus-one image that was written (the trailer byte is the unit's own).
std::vector<int> differingOffsets(const table::ImageBytes& written, const table::ImageBytes& readBack);

/// "12, 40, 300": the first `shown`, then "and N more".
std::string offsetList(const std::vector<int>& offsets, std::size_t shown = 10);

} // namespace kyr::session
