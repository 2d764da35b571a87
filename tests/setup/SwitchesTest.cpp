// SPDX-License-Identifier: GPL-3.0-or-later
#include "SetupTestUtil.h"

#include <gtest/gtest.h>

using namespace kyr::setup;
using namespace kyr::setup::testing;

namespace {

bool enables(const Outcome& o, std::string_view control, bool on)
{
    for (const auto& u : o.enables)
        if (u.control == control)
            return u.enabled == on;
    return false;
}

} // namespace

TEST(SetupSwitches, SensorCheckBoxSendsTwoOrOneAndEnablesItsButton)
{
    SetupEngine e = liveEngine();
    Outcome on = e.switchChanged("CheckBox6", 1);
    EXPECT_EQ(on.send->bytes(), (std::array<uint8_t, 3>{0xF2, 0x06, 0x02}));
    EXPECT_EQ(on.store, (Store{6, 3}));
    EXPECT_FALSE(on.markWritten) << "a switch leaves Read from KYR enabled";
    EXPECT_TRUE(enables(on, "Button1", true));
    Outcome off = e.switchChanged("CheckBox1", 0);
    EXPECT_EQ(off.send->bytes(), (std::array<uint8_t, 3>{0xF2, 0x05, 0x01}));
    EXPECT_TRUE(enables(off, "CalBtn", false));
    EXPECT_EQ(e.switchChanged("CheckBox20", 1).send->bytes(), (std::array<uint8_t, 3>{0xF2, 0x31, 0x02}));
}

TEST(SetupSwitches, OutputSourceReshowsLimitsWithoutSendingThem)
{
    SetupEngine e = liveEngine();
    EXPECT_TRUE(e.switchChanged("RadioButton7", 0).empty()); // the old button losing its check
    Outcome o = e.switchChanged("RadioButton2", 1);           // output 1: vacuum
    EXPECT_EQ(o.send->bytes(), (std::array<uint8_t, 3>{0xF2, 0x1D, 0x02}));
    ASSERT_EQ(o.texts.size(), 2u);
    EXPECT_EQ(o.texts[0].control, "Edit16");
    EXPECT_EQ(o.texts[0].text, "0.3"); // stored 30, now in bar
    EXPECT_EQ(o.texts[1].text, "0.5");
    for (const auto& t : o.texts)
        EXPECT_TRUE(e.commitText(t.control, t.text).empty());
    EXPECT_EQ(enter(e, "Edit16", "9").finalText, "0.3"); // the restore is in the new units

    Outcome none = e.switchChanged("RadioButton11", 1); // output 2: none
    EXPECT_EQ(none.send->value, 0);
    EXPECT_EQ(none.texts[0].text, "0");
    EXPECT_TRUE(enables(none, "Edit1", false));
    EXPECT_TRUE(e.commitText("Edit1", "5").empty());
    EXPECT_TRUE(enables(e.switchChanged("RadioButton14", 1), "Edit24", true));
}

TEST(SetupSwitches, RadioGroupsAndPumpTrackBars)
{
    SetupEngine e = liveEngine();
    Outcome both = e.switchChanged("RadioGroup2", 3);
    EXPECT_EQ(both.send->bytes(), (std::array<uint8_t, 3>{0xF2, 0x25, 0x03}));
    EXPECT_TRUE(enables(both, "TrackBar1", true));
    EXPECT_TRUE(enables(both, "TrackBar3", true));
    EXPECT_EQ(e.switchChanged("RadioGroup4", 4).send->offset, 14);
    EXPECT_TRUE(e.switchChanged("RadioGroup3", 3).empty()); // no such item

    const SwitchDef& enrich = *switchByControl("TrackBar4");
    EXPECT_EQ(e.switchChanged("TrackBar4", 5).send->value, enrich.maximum - 4);
    Outcome o = e.switchChanged("TrackBar4", enrich.maximum);
    EXPECT_EQ(o.send->value, 1); // position = maximum - raw + 1
    ASSERT_EQ(o.texts.size(), 1u);
    EXPECT_EQ(o.texts[0].control, "Edit47");
    EXPECT_EQ(o.texts[0].text, "10"); // enrichment shown x10
    EXPECT_EQ(e.switchChanged("TrackBar5", 1).texts[0].text, "10000");
}

TEST(SetupSwitches, ChoicePlusOneZeroSelectsTheFirstItem)
{
    EXPECT_EQ(switchState(*switchByControl("RadioGroup3"), -1), 0);
    EXPECT_EQ(switchState(*switchByControl("RadioGroup3"), 9), -1);
}

TEST(SetupSwitches, LambdaTarget)
{
    SetupEngine e = liveEngine();
    Outcome o = e.switchChanged("TrackBar7", 45);
    EXPECT_EQ(o.send->bytes(), (std::array<uint8_t, 3>{0xF2, 0x0A, 0x2D}));
    EXPECT_EQ(o.store, (Store{10, 46}));
    EXPECT_TRUE(o.markWritten);
    ASSERT_EQ(o.texts.size(), 2u);
    EXPECT_EQ(o.texts[0].control, "Edit48");
    EXPECT_EQ(o.texts[0].text, "0.45");
    EXPECT_EQ(o.texts[1].text, ".45");
    EXPECT_EQ(lambdaVoltsText(50, "."), "0.5");
    EXPECT_TRUE(e.switchChanged("TrackBar7", 80).empty());
    EXPECT_EQ(lambdaMarkerLeft(150, 45, 10), 68 - 5); // 67.5 goes to 68
    EXPECT_EQ(lambdaMarkerLeft(250, 25, 10), 62 - 5); // 62.5 goes to 62
}

TEST(SetupSwitches, TrackBarTipsGiveTheRangeOfTheValuesShown)
{
    EXPECT_EQ(switchTip(*switchByControl("TrackBar7"), ","),
              "Target Volts (V)\nThe lambda sensor voltage the lambda control aims for.\nRange: 0,25 to 0,75 V");
    EXPECT_TRUE(switchTip(*switchByControl("TrackBar5")).ends_with("Range: 100 to 10000 RPM"))
        << switchTip(*switchByControl("TrackBar5"));
    EXPECT_TRUE(switchTip(*switchByControl("TrackBar3")).ends_with("No unit: a number on the KYR's own scale."));
    EXPECT_EQ(switchTip(*switchByControl("CheckBox20")), "") << "a check box has its caption";
}

TEST(SetupSwitches, EveryOtherSwitchSaysWhatItDoes)
{
    for (const auto& s : switchTable())
        EXPECT_EQ(switchMeaning(s).empty(), s.type == SwitchType::Slider || s.type == SwitchType::LambdaTarget)
            << s.control;
    EXPECT_EQ(switchMeaning(*switchByControl("RadioButton9")), "Output 2 follows the Vacuum reading, between its Min and Max.");
    EXPECT_EQ(switchMeaning(*switchByControl("RadioButton7")), "Output 1 is not used.");
}
