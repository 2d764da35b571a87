// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The unit serial number kept in six setup bytes: two customer letters, three
// two-digit numbers and a hardware number. The texts the serial-number dialog
// shows and the WriteBytes its Update sends are worked out here.

#include "table/Codec.h"
#include "table/Result.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kyr::tools {

/// "AB-012345-06": letters at offsets 98 and 99 (Windows-1252 bytes, in
/// UTF-8 here), "-", the numbers at 94, 95 and 96 with two digits each, "-",
/// the hardware number at 97. The setup copy is in plus-one form.
std::string serialText(const table::SetupCopy& setupPlusOne);

/// Panel 1 of the status bar: "KYR " + model + " v" + version + " :: " + serial text.
std::string unitLine(std::string_view modelText, std::string_view versionText, const table::SetupCopy& setupPlusOne);

/// The fields of the serial-number dialog, in the order Update writes them.
enum class SerialField : int { Letter1, Letter2, Number1, Number2, Number3, Hardware };
constexpr int SerialFieldCount = 6;

/// One field of the serial-number dialog.
struct SerialFieldDef {
    SerialField field;
    table::SetupParam param;  ///< the setup byte it writes (its caption is the field's label)
    bool letter;              ///< one customer letter; otherwise a number of two digits
};

constexpr int SerialNumberMax = 99; ///< the numbers have two digits

/// The six fields in the order Update writes them: the two letters (offsets
/// 98 and 99), then the three numbers and the hardware number (offsets 94 to 97).
std::span<const SerialFieldDef> serialFields();

/// Field texts, UTF-8, in the order of serialFields().
using SerialTexts = std::array<std::string, SerialFieldCount>;

/// What the fields show for a setup copy (plus-one form): a letter is the
/// Windows-1252 character of byte stored - 1, "A" for a byte never read (0); a number
/// is stored - 1 in decimal with two digits at least, "00" for a byte never read.
SerialTexts serialFieldTexts(const table::SetupCopy& setupPlusOne);

/// A customer letter forced to upper case (the letters of Windows-1252).
std::string upperLetter(std::string_view text);

/// The byte a field's text writes. A letter: the Windows-1252 byte of its
/// first character (0 when empty), refused without one or above 253. A number: decimal, spaces
/// around it allowed, refused when it is not a number or not 0..99.
Result<uint8_t> serialFieldByte(const SerialFieldDef& field, std::string_view text);

/// One WriteByte of the setup area, raw value.
struct SerialWrite {
    int offset = 0;
    uint8_t value = 0;
    bool operator==(const SerialWrite&) const = default;
};

/// What Update does once every field was accepted.
struct SerialPlan {
    std::vector<SerialWrite> writes; ///< all six, in the order of serialFields()
    SerialTexts texts;               ///< what the fields show afterwards (upper case, "0" as "00")
};

/// Checks all six fields before anything is sent, so that a refused field
/// leaves the unit and the image as they were: the first refused field's
/// error (BadValue), or the six writes.
Result<SerialPlan> planSerialUpdate(const SerialTexts& texts);

} // namespace kyr::tools
