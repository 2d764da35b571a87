// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/WriteRules.h"

#include "link/Protocol.h"

namespace kyr::session {

namespace {

std::string typeText(int code)
{
    const auto t = table::unitType(code);
    const std::string name = t ? std::string(t->name) + " " : std::string();
    return name + "unit (type " + std::to_string(code) + ")";
}

} // namespace

WritePlan prepareWrite(const TuneState& s, const table::MapArrays& maps, const WriteLook& look)
{
    WritePlan plan;
    plan.image = table::encode(s.setup, maps);
    if (!s.sendsAllowed()) {
        plan.refusal = makeError(ErrorKind::NoUnit, "KYR not connected");
        return plan;
    }
    // The unit ends its table reply at a stored 0: such a tune could never be read back.
    plan.storedZeros = tools::storedZeros(plan.image.plusOne);
    if (!plan.storedZeros.empty()) {
        plan.refusal = makeError(ErrorKind::BadArgument, plan.storedZeros.front().message);
        return plan;
    }
    plan.mismatch = checkUnitType(s.fileTypeCode, s.unitTypeCode);
    // Only a whole table is judged: a half-read one is never written anyway.
    if (look.slips && s.imageWhole) {
        tools::CheckOptions options;
        options.timingLimit = look.timingLimit;
        options.unit = s.unitImage;
        options.typeCode = s.unitTypeCode;
        plan.slips = tools::checkTune(plan.image.plusOne, options);
    }
    return plan;
}

std::string TypeMismatch::text() const
{
    return "This file was made for a " + typeText(fileTypeCode) + ", but the connected KYR is a " +
           typeText(unitTypeCode) + ".";
}

std::optional<TypeMismatch> checkUnitType(int fileTypeCode, int unitTypeCode)
{
    if (fileTypeCode == 0 || fileTypeCode == unitTypeCode)
        return std::nullopt;
    return TypeMismatch{fileTypeCode, unitTypeCode};
}

std::vector<int> differingOffsets(const table::ImageBytes& written, const table::ImageBytes& readBack)
{
    std::vector<int> out;
    for (int off = 0; off < static_cast<int>(link::ReadTableKeep); ++off)
        if (written[off] != readBack[off])
            out.push_back(off);
    return out;
}

std::string offsetList(const std::vector<int>& offsets, std::size_t shown)
{
    const std::size_t Shown = shown;
    std::string text;
    for (std::size_t i = 0; i < offsets.size() && i < Shown; ++i)
        text += (i ? ", " : "") + std::to_string(offsets[i]);
    if (offsets.size() > Shown)
        text += " and " + std::to_string(offsets.size() - Shown) + " more";
    return text;
}

} // namespace kyr::session
