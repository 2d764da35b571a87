// SPDX-License-Identifier: GPL-3.0-or-later
// The port chooser's text read as a port.

#include "session/TuneState.h"

#include <gtest/gtest.h>

using kyr::session::portFromChooserText;

TEST(PortChoice, ReadsOneTwoOrThreeDigits)
{
    EXPECT_EQ(portFromChooserText("Com7").com, 7);
    EXPECT_EQ(portFromChooserText("Com12").com, 12);
    // Windows gives adapters numbers up to COM256: COM123 is not COM12.
    EXPECT_EQ(portFromChooserText("Com123").com, 123);
    EXPECT_EQ(portFromChooserText("COM256").com, 256);
    EXPECT_EQ(portFromChooserText("Com12x").com, 12);
}

TEST(PortChoice, TextWithoutANumberIsNoPort)
{
    for (const char* text : {"", "Com", "Comx", "Com1x", "Comx12"})
        EXPECT_TRUE(portFromChooserText(text).empty()) << text;
}
