// SPDX-License-Identifier: GPL-3.0-or-later
// The one-byte texts of map files and the unit, and their UTF-8.

#include "files/Cp1252.h"

#include <gtest/gtest.h>

using namespace kyr;
using namespace kyr::files;

TEST(Cp1252, EveryByteIsOneCharacterAndBack)
{
    for (int b = 0; b < 256; ++b) {
        const std::string byte(1, static_cast<char>(b));
        const std::string utf8 = utf8FromCp1252(byte);
        auto back = cp1252FromUtf8(utf8);
        ASSERT_TRUE(back.ok()) << b << ": " << back.error().message;
        EXPECT_EQ(back.value(), byte) << b;
    }
    EXPECT_EQ(utf8FromCp1252("Citro\xEBn 120\xB0"), "Citro\xC3\xABn 120\xC2\xB0");
    // 80..9F are Windows-1252's own characters, not Latin-1's controls ...
    // euro sign, S-caron, oe, Y-diaeresis
    EXPECT_EQ(utf8FromCp1252("\x80\x8A\x9C\x9F"), "\xE2\x82\xAC\xC5\xA0\xC5\x93\xC5\xB8");
    // ... except the five it leaves undefined.
    EXPECT_EQ(utf8FromCp1252("\x81\x9D"), "\xC2\x81\xC2\x9D");
    EXPECT_EQ(cp1252FromUtf8("\xC5\xA0koda").value(), "\x8Akoda");
}

TEST(Cp1252, ACharacterWithoutAByteIsRefusedByName)
{
    auto polish = cp1252FromUtf8("\xC5\x81\xC3\xB3" "d\xC5\xBA"); // L-stroke, o-acute, d, z-acute
    ASSERT_FALSE(polish.ok());
    EXPECT_EQ(polish.error().kind, ErrorKind::BadValue);
    EXPECT_EQ(polish.error().message.rfind("'\xC5\x81' (U+0141) cannot be stored", 0), 0u) << polish.error().message;
    EXPECT_NE(cp1252FromUtf8("\xF0\x9F\x94\xA7").error().message.find("U+1F527"), std::string::npos);
    // U+0080 is not the euro sign's byte: that byte is taken by the euro sign.
    EXPECT_FALSE(cp1252FromUtf8("\xC2\x80").ok());
    for (const char* broken : {"\xEB", "a\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80"}) {
        auto r = cp1252FromUtf8(broken);
        ASSERT_FALSE(r.ok()) << broken;
        EXPECT_NE(r.error().message.find("not UTF-8"), std::string::npos) << r.error().message;
    }
}
