// SPDX-License-Identifier: GPL-3.0-or-later
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

namespace {

table::SetupCopy setupWith(std::initializer_list<std::pair<table::SetupParam, int>> stored)
{
    table::SetupCopy s{};
    s.fill(1);
    for (auto [p, plusOne] : stored)
        s[table::setupOffset(p)] = static_cast<uint8_t>(plusOne);
    return s;
}

tools::SerialTexts goodTexts() { return {"K", "Y", "01", "23", "45", "06"}; }

} // namespace

TEST(SerialFields, OrderOffsetsAndLabels)
{
    const auto fields = tools::serialFields();
    ASSERT_EQ(fields.size(), 6u);
    const int offsets[] = {98, 99, 94, 95, 96, 97};
    const char* labels[] = {"Cust", "Cust", "1", "2", "3", "H/W"};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(table::setupOffset(fields[i].param), offsets[i]);
        EXPECT_EQ(static_cast<int>(fields[i].field), i);
        EXPECT_EQ(table::setupDef(fields[i].param).caption, labels[i]);
        EXPECT_EQ(fields[i].letter, i < 2);
    }
}

TEST(SerialFields, ShownFromTheImage)
{
    using P = table::SetupParam;
    // A never-programmed unit: every serial byte stored as 0.
    const auto never = tools::serialFieldTexts(setupWith(
        {{P::SerialPrefix1, 0}, {P::SerialPrefix2, 0}, {P::Serial1, 0}, {P::Serial2, 0}, {P::Serial3, 0}, {P::SerialHw, 0}}));
    EXPECT_EQ(never, (tools::SerialTexts{"A", "A", "00", "00", "00", "00"}));

    const auto shown = tools::serialFieldTexts(setupWith({{P::SerialPrefix1, 'Q' + 1},
                                                          {P::SerialPrefix2, 'z' + 1},
                                                          {P::Serial1, 7 + 1},
                                                          {P::Serial2, 10 + 1},
                                                          {P::Serial3, 99 + 1},
                                                          {P::SerialHw, 1}}));
    EXPECT_EQ(shown, (tools::SerialTexts{"Q", "z", "07", "10", "99", "00"}));
    // A byte beyond two digits is shown whole, so that Update refuses it rather than cutting it.
    EXPECT_EQ(tools::serialFieldTexts(setupWith({{P::SerialHw, 124}}))[5], "123");
}

TEST(SerialUpdate, SixWritesInOrder)
{
    auto plan = tools::planSerialUpdate({"a", "b", "7", "0", "45", " 6"});
    ASSERT_TRUE(plan.ok()) << plan.error().message;
    const std::vector<tools::SerialWrite> expected = {{98, 'A'}, {99, 'B'}, {94, 7}, {95, 0}, {96, 45}, {97, 6}};
    EXPECT_EQ(plan.value().writes, expected);
    // Letters forced to upper case; "0" shown as "00", other texts kept.
    EXPECT_EQ(plan.value().texts, (tools::SerialTexts{"A", "B", "7", "00", "45", " 6"}));
}

TEST(SerialUpdate, EmptyLetterWritesZero)
{
    auto plan = tools::planSerialUpdate({"", "Y", "01", "02", "03", "04"});
    ASSERT_TRUE(plan.ok());
    EXPECT_EQ(plan.value().writes[0], (tools::SerialWrite{98, 0}));
}

TEST(SerialUpdate, ARefusedFieldSendsNothing)
{
    const struct {
        int field;
        std::string text;
        std::string message;
    } cases[] = {
        {2, "x5", "'x5' is not a valid integer value"},
        {3, "", "'' is not a valid integer value"},
        {4, "1.5", "'1.5' is not a valid integer value"},
        {5, "-1", "'-1' is out of range: serial number fields take 0 to 99"},
        {5, "100", "'100' is out of range: serial number fields take 0 to 99"},
        {2, "99999999999999999999", "'99999999999999999999' is out of range: serial number fields take 0 to 99"},
        {0, "\xC5\x81", "'\xC5\x81' cannot be stored as a customer letter"}, // code 321
    };
    for (const auto& c : cases) {
        auto texts = goodTexts();
        texts[c.field] = c.text;
        const auto r = tools::serialFieldByte(tools::serialFields()[c.field], c.text);
        auto plan = tools::planSerialUpdate(texts);
        ASSERT_FALSE(plan.ok()) << c.text;
        EXPECT_EQ(plan.error().kind, ErrorKind::BadValue);
        EXPECT_EQ(plan.error().message, c.message);
        EXPECT_FALSE(r.ok());
    }
}

// A letter is one Windows-1252 byte, as the unit keeps it.
TEST(SerialUpdate, LettersAreWindows1252BytesUpTo253)
{
    const auto& letter = tools::serialFields()[0];
    EXPECT_EQ(tools::serialFieldByte(letter, "\xC3\xBD").value(), 0xDD);   // y-acute -> Y-acute
    EXPECT_EQ(tools::serialFieldByte(letter, "\xC3\xBE").value(), 0xDE);   // thorn -> Thorn
    EXPECT_EQ(tools::serialFieldByte(letter, "\xC3\x97").value(), 0xD7);   // multiplication sign
    EXPECT_EQ(tools::serialFieldByte(letter, "\xE2\x82\xAC").value(), 0x80); // euro sign
    EXPECT_EQ(tools::serialFieldByte(letter, "\xC5\xA1").value(), 0x8A);   // s-caron -> S-caron
    EXPECT_EQ(tools::serialFieldByte(letter, "\xC3\xBF").value(), 0x9F);   // y-diaeresis -> Y-diaeresis
    EXPECT_FALSE(tools::serialFieldByte(letter, "\xC3").ok()) << "a broken sequence";
    EXPECT_FALSE(tools::serialFieldByte(letter, "\xC2\x80").ok()) << "U+0080 has no byte: 80 is the euro sign";
    EXPECT_EQ(tools::upperLetter("\xC3\xB7"), "\xC3\xB7") << "the division sign has no capital";
    EXPECT_EQ(tools::upperLetter("\xC5\x93"), "\xC5\x92");                 // oe -> OE
    EXPECT_EQ(tools::upperLetter("a\xC5\x82"), "A\xC5\x82") << "l-stroke has no byte: only ASCII changes";

    // The unit's bytes show as those characters, in the fields and in the serial text.
    const table::SetupCopy s =
        setupWith({{table::SetupParam::SerialPrefix1, 0x80 + 1}, {table::SetupParam::SerialPrefix2, 0xC4 + 1}});
    EXPECT_EQ(tools::serialFieldTexts(s)[0], "\xE2\x82\xAC");
    EXPECT_EQ(tools::serialFieldTexts(s)[1], "\xC3\x84");
    EXPECT_EQ(tools::serialText(s).substr(0, 6), "\xE2\x82\xAC\xC3\x84-");
}

TEST(SerialUpdate, WrittenBytesShowAgainAsTyped)
{
    auto plan = tools::planSerialUpdate({"c", "d", "7", "0", "12", "99"});
    ASSERT_TRUE(plan.ok());
    table::SetupCopy s{};
    s.fill(1);
    for (const auto& w : plan.value().writes)
        s[w.offset] = static_cast<uint8_t>(w.value + 1);
    EXPECT_EQ(tools::serialFieldTexts(s), (tools::SerialTexts{"C", "D", "07", "00", "12", "99"}));
    EXPECT_EQ(tools::serialText(s), "CD-070012-99");
    EXPECT_EQ(tools::unitLine("3", "3.2", s), "KYR 3 v3.2 :: CD-070012-99");
}
