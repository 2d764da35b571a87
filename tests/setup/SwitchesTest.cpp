// SPDX-License-Identifier: GPL-3.0-or-later
#include "SetupTestUtil.h"

#include <gtest/gtest.h>

using namespace kyr::setup;
using namespace kyr::setup::testing;

namespace {

bool enables(const Outcome& o, const SetupControl& control, bool on)
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
    Outcome on = e.switchChanged(W::WaterSensor, 1);
    EXPECT_EQ(on.send->bytes(), (std::array<uint8_t, 3>{0xF2, 0x06, 0x02}));
    EXPECT_EQ(on.store, (Store{6, 3}));
    EXPECT_FALSE(on.markWritten) << "a switch leaves Read from KYR enabled";
    EXPECT_TRUE(enables(on, B::CalibrateWater, true));
    Outcome off = e.switchChanged(W::TpsSensor, 0);
    EXPECT_EQ(off.send->bytes(), (std::array<uint8_t, 3>{0xF2, 0x05, 0x01}));
    EXPECT_TRUE(enables(off, B::CalibrateThrottle, false));
    EXPECT_EQ(e.switchChanged(W::TwoStroke, 1).send->bytes(), (std::array<uint8_t, 3>{0xF2, 0x31, 0x02}));
}

TEST(SetupSwitches, OutputSourceReshowsLimitsWithoutSendingThem)
{
    SetupEngine e = liveEngine();
    EXPECT_TRUE(e.switchChanged(W::Out1None, 0).empty()); // the old button losing its check
    Outcome o = e.switchChanged(W::Out1Vacuum, 1);           // output 1: vacuum
    EXPECT_EQ(o.send->bytes(), (std::array<uint8_t, 3>{0xF2, 0x1D, 0x02}));
    ASSERT_EQ(o.texts.size(), 2u);
    EXPECT_EQ(o.texts[0].control, SetupControl(P::Out1Min));
    EXPECT_EQ(o.texts[0].text, "0.3"); // stored 30, now in bar
    EXPECT_EQ(o.texts[1].text, "0.5");
    for (const auto& t : o.texts)
        EXPECT_TRUE(e.commitText(std::get<P>(t.control), t.text).empty());
    EXPECT_EQ(enter(e, P::Out1Min, "9").finalText, "0.3"); // the restore is in the new units

    Outcome none = e.switchChanged(W::Out2None, 1); // output 2: none
    EXPECT_EQ(none.send->value, 0);
    EXPECT_EQ(none.texts[0].text, "0");
    EXPECT_TRUE(enables(none, P::Out2Min, false));
    EXPECT_TRUE(e.commitText(P::Out2Min, "5").empty());
    EXPECT_TRUE(enables(e.switchChanged(W::Out2Air, 1), P::Out2Max, true));
}

TEST(SetupSwitches, RadioGroupsAndPumpTrackBars)
{
    SetupEngine e = liveEngine();
    Outcome both = e.switchChanged(W::AccPumpMode, 3);
    EXPECT_EQ(both.send->bytes(), (std::array<uint8_t, 3>{0xF2, 0x25, 0x03}));
    EXPECT_TRUE(enables(both, W::AccTpsEnrich, true));
    EXPECT_TRUE(enables(both, W::AccMapSens, true));
    EXPECT_EQ(e.switchChanged(W::TuningPot, 4).send->offset, 14);
    EXPECT_TRUE(e.switchChanged(W::CoilCombination, 3).empty()); // no such item

    const SwitchDef& enrich = switchDef(W::AccMapEnrich);
    EXPECT_EQ(e.switchChanged(W::AccMapEnrich, 5).send->value, enrich.maximum - 4);
    Outcome o = e.switchChanged(W::AccMapEnrich, enrich.maximum);
    EXPECT_EQ(o.send->value, 1); // position = maximum - raw + 1
    ASSERT_EQ(o.texts.size(), 1u);
    EXPECT_EQ(o.texts[0].control, SetupControl(X::AccMapEnrichValue));
    EXPECT_EQ(o.texts[0].text, "10"); // enrichment shown x10
    EXPECT_EQ(e.switchChanged(W::AccMapMaxRpm, 1).texts[0].text, "10000");
}

TEST(SetupSwitches, ChoicePlusOneZeroSelectsTheFirstItem)
{
    EXPECT_EQ(switchState(switchDef(W::CoilCombination), -1), 0);
    EXPECT_EQ(switchState(switchDef(W::CoilCombination), 9), -1);
}

TEST(SetupSwitches, LambdaTarget)
{
    SetupEngine e = liveEngine();
    Outcome o = e.switchChanged(W::LambdaTarget, 45);
    EXPECT_EQ(o.send->bytes(), (std::array<uint8_t, 3>{0xF2, 0x0A, 0x2D}));
    EXPECT_EQ(o.store, (Store{10, 46}));
    EXPECT_TRUE(o.markWritten);
    ASSERT_EQ(o.texts.size(), 2u);
    EXPECT_EQ(o.texts[0].control, SetupControl(X::LambdaVolts));
    EXPECT_EQ(o.texts[0].text, "0.45");
    EXPECT_EQ(o.texts[1].text, ".45");
    EXPECT_EQ(lambdaVoltsText(50, "."), "0.5");
    EXPECT_TRUE(e.switchChanged(W::LambdaTarget, 80).empty());
    EXPECT_EQ(lambdaMarkerLeft(150, 45, 10), 68 - 5); // 67.5 goes to 68
    EXPECT_EQ(lambdaMarkerLeft(250, 25, 10), 62 - 5); // 62.5 goes to 62
}

TEST(SetupSwitches, TrackBarTipsGiveTheRangeOfTheValuesShown)
{
    EXPECT_EQ(switchTip(switchDef(W::LambdaTarget), ","),
              "Target Volts (V)\nThe lambda sensor voltage the lambda control aims for.\nRange: 0,25 to 0,75 V");
    EXPECT_TRUE(switchTip(switchDef(W::AccMapMaxRpm)).ends_with("Range: 100 to 10000 RPM"))
        << switchTip(switchDef(W::AccMapMaxRpm));
    EXPECT_TRUE(switchTip(switchDef(W::AccMapSens)).ends_with("No unit: a number on the KYR's own scale."));
    EXPECT_EQ(switchTip(switchDef(W::TwoStroke)), "") << "a check box has its caption";
}

TEST(SetupSwitches, EveryOtherSwitchSaysWhatItDoes)
{
    for (const auto& s : switchTable())
        EXPECT_EQ(switchMeaning(s).empty(), s.type == SwitchType::Slider || s.type == SwitchType::LambdaTarget)
            << s.id;
    EXPECT_EQ(switchMeaning(switchDef(W::Out2Vacuum)), "Output 2 follows the Vacuum reading, between its Min and Max.");
    EXPECT_EQ(switchMeaning(switchDef(W::Out1None)), "Output 1 is not used.");
}
