#include "tools/SerialNumber.h"

#include <gtest/gtest.h>

using namespace kyr;

TEST(SerialNumber, LettersNumbersAndHardwareWithTwoDigits)
{
    table::SetupCopy s{};
    s.fill(1);
    auto set = [&](table::SetupParam p, int raw) { s[table::setupOffset(p)] = static_cast<uint8_t>(raw + 1); };
    set(table::SetupParam::SerialPrefix1, 'A');
    set(table::SetupParam::SerialPrefix2, 'B');
    set(table::SetupParam::Serial1, 1);
    set(table::SetupParam::Serial2, 23);
    set(table::SetupParam::Serial3, 45);
    set(table::SetupParam::SerialHw, 6);
    EXPECT_EQ(tools::serialText(s), "AB-012345-06");
    set(table::SetupParam::SerialHw, 0);
    set(table::SetupParam::Serial1, 12);
    EXPECT_EQ(tools::serialText(s), "AB-122345-00");
}
