#include "tools/SerialNumber.h"

namespace kyr::tools {

namespace {

int rawAt(const table::SetupCopy& s, table::SetupParam p)
{
    return (s[table::setupOffset(p)] - 1) & 0xFF;
}

std::string twoDigits(int v)
{
    return v < 10 ? "0" + std::to_string(v) : std::to_string(v);
}

} // namespace

std::string serialText(const table::SetupCopy& s)
{
    using P = table::SetupParam;
    std::string out;
    out += static_cast<char>(rawAt(s, P::SerialPrefix1));
    out += static_cast<char>(rawAt(s, P::SerialPrefix2));
    out += "-" + twoDigits(rawAt(s, P::Serial1)) + twoDigits(rawAt(s, P::Serial2)) +
           twoDigits(rawAt(s, P::Serial3)) + "-" + twoDigits(rawAt(s, P::SerialHw));
    return out;
}

} // namespace kyr::tools
