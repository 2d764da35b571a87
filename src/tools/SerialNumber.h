#pragma once
// The unit serial number kept in six setup bytes: two customer letters, three
// two-digit numbers and a hardware number.

#include "table/Codec.h"

#include <string>

namespace kyr::tools {

/// "AB-012345-06": letters at offsets 98 and 99, "-", the numbers at 94, 95
/// and 96 with two digits each, "-", the hardware number at 97. The setup copy
/// is in plus-one form.
std::string serialText(const table::SetupCopy& setupPlusOne);

} // namespace kyr::tools
