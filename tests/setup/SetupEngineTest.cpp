// SPDX-License-Identifier: GPL-3.0-or-later
#include "SetupTestUtil.h"

#include "table/Codec.h"

#include <gtest/gtest.h>

using namespace kyr::setup;
using namespace kyr::setup::testing;
using kyr::table::SetupCopy;

TEST(SetupEngine, CylindersTakeTheWholeEntry)
{
    SetupEngine e = liveEngine();
    Entry twelve = enter(e, P::Cylinders, "12");
    EXPECT_EQ(values(twelve.sent), (std::vector<int>{12}));
    EXPECT_EQ(twelve.sent.back().bytes(), (std::array<uint8_t, 3>{0xF2, 0x50, 0x0C}));
    EXPECT_FALSE(twelve.refusal);
    EXPECT_EQ(e.setupCopy()[80], 13);

    // "13" is refused: the last accepted "12" comes back, and the unit keeps it.
    Entry thirteen = enter(e, P::Cylinders, "13");
    EXPECT_TRUE(thirteen.sent.empty());
    EXPECT_EQ(thirteen.finalText, "12");
    EXPECT_EQ(thirteen.refusal, "13 is refused: Cylinders takes 1 to 12");
    EXPECT_EQ(e.text(P::Cylinders), "12");
    EXPECT_EQ(e.setupCopy()[80], 13);
    EXPECT_TRUE(e.commitText(P::Cylinders, "12").empty()) << "an unchanged value sends nothing";
}

TEST(SetupEngine, AcceptingMarksTheImageOnlyForRestoringFields)
{
    SetupEngine e = liveEngine();
    EXPECT_TRUE(e.commitText(P::Cylinders, "6").markWritten);
    EXPECT_TRUE(e.commitText(P::StartEnrich, "2").markWritten);
    Outcome quiet = e.commitText(P::StartPrime, "9");
    ASSERT_TRUE(quiet.send);
    EXPECT_FALSE(quiet.markWritten);
    Outcome jet = e.commitText(P::MainJet, "140");
    ASSERT_TRUE(jet.send);
    EXPECT_TRUE(jet.store);
    EXPECT_FALSE(jet.markWritten) << "a jet leaves Read from KYR enabled";
}

TEST(SetupEngine, HalvesGoToEven)
{
    SetupEngine e = liveEngine();
    EXPECT_EQ(e.commitText(P::CoilTime, "1.25").send->value, 2);
    EXPECT_EQ(e.commitText(P::CoilTime, "1.75").send->value, 4);
    EXPECT_EQ(e.commitText(P::RpmRange, "3050").send->value, 30);
    Outcome o = e.commitText(P::RpmRange, "3150");
    EXPECT_EQ(o.send->value, 32);
    EXPECT_EQ(o.rpmRange, 3150);
    EXPECT_EQ(e.rpmRange(), 3150);
    EXPECT_EQ(e.commitText(P::FuelCutVac, "0.545").send->value, 54); // a tie in the typed decimal
}

// A refused entry never reaches the engine, whatever the field's kind: no
// field answers a slip by sending 0 (a fuel cut at 0 RPM, no enrichment).
TEST(SetupEngine, RefusedEntriesSendNothingAndPutTheLastValueBack)
{
    SetupEngine e = liveEngine();
    EXPECT_EQ(values(enter(e, P::StartEnrich, "3").sent), (std::vector<int>{30}));
    struct Case { P control; const char* text; };
    for (const Case& c : {Case{P::StartEnrich, "30"}, Case{P::MaxFueling, "30"}, Case{P::FuelCutRpm, "12000"},
                          Case{P::StartEnrich, "2.555"}, Case{P::StartPrime, "254"}, Case{P::WaterCal, "500"},
                          Case{P::LaunchFuel, "200"}, Case{P::LaunchRpm, "20000.5"}, Case{P::LambdaPercent, ""}}) {
        const std::string before = e.text(c.control);
        const uint8_t stored = e.setupCopy()[fieldOffset(*fieldByParam(c.control))];
        Entry r = enter(e, c.control, c.text);
        EXPECT_TRUE(r.sent.empty()) << c.control << " " << c.text;
        EXPECT_EQ(r.finalText, before) << c.control << " " << c.text;
        EXPECT_TRUE(r.refusal) << c.control;
        EXPECT_EQ(e.setupCopy()[fieldOffset(*fieldByParam(c.control))], stored) << c.control;
    }
    EXPECT_EQ(e.text(P::StartEnrich), "3");
    EXPECT_EQ(e.setupCopy()[43], 31);
}

TEST(SetupEngine, OutputLimitsFollowTheirSource)
{
    SetupEngine e = liveEngine();
    Entry rpm = enter(e, P::Out1Min, "3500");
    EXPECT_EQ(values(rpm.sent), (std::vector<int>{35}));
    Entry refused = enter(e, P::Out1Min, "20000");
    EXPECT_EQ(refused.finalText, "3500");
    EXPECT_TRUE(refused.sent.empty());

    Entry vac = enter(e, P::Out2Min, "1.5"); // output 2 is by vacuum
    EXPECT_EQ(values(vac.sent), (std::vector<int>{150}));
    EXPECT_EQ(vac.sent[0].offset, 33);
}

TEST(SetupEngine, RpmLimiterIsBoundByTheRangeInForce)
{
    SetupEngine e = liveEngine();
    EXPECT_EQ(enter(e, P::RpmLimiter, "6500").sent.size(), 1u);
    Entry over = enter(e, P::RpmLimiter, "7100");
    EXPECT_EQ(over.finalText, "6500");
    EXPECT_TRUE(over.sent.empty());
    EXPECT_EQ(over.refusal, "7100 is refused: RPM Limiter takes 0 to 7000 RPM");

    // Lowering the range leaves the limiter alone, and a later entry is
    // judged by the lower range.
    enter(e, P::RpmRange, "5000");
    EXPECT_EQ(e.setupCopy()[84], 66);
    Entry again = enter(e, P::RpmLimiter, "9000");
    EXPECT_TRUE(again.sent.empty());
    EXPECT_EQ(again.finalText, "6500");
    EXPECT_EQ(again.refusal, "9000 is refused: RPM Limiter takes 0 to 5000 RPM");
    EXPECT_EQ(e.setupCopy()[84], 66);
}

TEST(SetupEngine, RangeBelowOneHundredRunsAtTheDefault)
{
    SetupEngine e = liveEngine();
    Outcome o = e.commitText(P::RpmRange, "40");
    EXPECT_EQ(o.send->value, 0);
    EXPECT_EQ(o.rpmRange, DefaultRpmRange);
}

TEST(SetupEngine, NothingActsBeforeEditsLive)
{
    SetupEngine e;
    e.fill(sampleCopy());
    const SetupCopy before = e.setupCopy();
    for (const auto& f : fieldTable())
        for (auto text : {"", "1", "13", "x", "0"})
            EXPECT_TRUE(e.commitText(f.param, text).empty()) << f.param << " " << text;
    for (const auto& s : switchTable())
        for (int state : {0, 1, 30, 45})
            EXPECT_TRUE(e.switchChanged(s.id, state).empty()) << s.id;
    EXPECT_EQ(e.setupCopy(), before);
}

TEST(SetupEngine, EmptyTextsSendNothingAndTheValueComesBack)
{
    SetupEngine e = liveEngine();
    for (auto control : {P::Cylinders, P::StartEnrich, P::WaterCal, P::LambdaCal, P::AirCal, P::MainJet}) {
        Outcome o = e.commitText(control, "");
        EXPECT_FALSE(o.send) << control;
        EXPECT_FALSE(o.refusal) << control;
        EXPECT_EQ(o.putBack, e.lastAccepted(control)) << control;
    }
    for (auto control : {P::StartPrime, P::IdleStart, P::LambdaPercent, P::LambdaDelay, P::LambdaVariable, P::LaunchFuel, P::IdleUp, P::IdleDown}) {
        Outcome o = e.commitText(control, "");
        EXPECT_EQ(o.message, "'' is not a valid integer value") << control;
        EXPECT_FALSE(o.send);
        EXPECT_EQ(o.putBack, e.lastAccepted(control)) << control;
    }
}

TEST(SetupEngine, TextsThatAreNoNumbersAreExplainedAndSendNothing)
{
    SetupEngine e = liveEngine();
    Outcome i = e.commitText(P::Cylinders, "1.5");
    EXPECT_EQ(i.message, "'1.5' is not a valid integer value");
    EXPECT_EQ(i.refusal, "'1.5' is not a valid integer value: Cylinders takes 1 to 12");
    EXPECT_FALSE(i.send);
    EXPECT_EQ(i.putBack, "4");
    EXPECT_EQ(e.commitText(P::CoilTime, "-").message, "'-' is not a valid floating point value");
    EXPECT_EQ(e.commitText(P::LaunchRpm, "1500.5").message, "'1500.5' is not a valid integer value");
    EXPECT_EQ(e.commitText(P::LaunchRpm, "abc").message, "'abc' is not a valid floating point value");
    EXPECT_EQ(e.commitText(P::LaunchRpm, "20000.5").message, std::nullopt); // range first, on the decimal
    EXPECT_EQ(e.commitText(P::LaunchRpm, "1500").send->value, 15);
    Entry letter = enter(e, P::LaunchRpm, "15x0");
    EXPECT_TRUE(letter.sent.empty());
    EXPECT_EQ(letter.finalText, "1500");
}

TEST(SetupEngine, BytesThatDoNotFitAreRefusedNotWrapped)
{
    SetupEngine e = liveEngine();
    struct Case { P control; const char* text; const char* back; };
    for (const Case& c : {Case{P::StartPrime, "7", "7"}, Case{P::FuelCutVac, "0.3", "0.3"}, Case{P::LowThrottleVac, "0.2", "0.2"},
                          Case{P::WaterCal, "9", "9"}})
        enter(e, c.control, c.text);
    for (const Case& c : {Case{P::StartPrime, "254", "7"}, Case{P::StartPrime, "255", "7"},
                          Case{P::FuelCutVac, "2.54", "0.3"}, Case{P::FuelCutVac, "2.535", "0.3"},
                          Case{P::LowThrottleVac, "3", "0.2"}, Case{P::Out2Min, "2.6", "0.5"},
                          Case{P::Cylinders, "-1", "4"}, Case{P::MainJet, "254", "128"},
                          Case{P::MainJet, "-1", "128"}, Case{P::WaterCal, "500", "9"}}) {
        Entry r = enter(e, c.control, c.text);
        EXPECT_EQ(r.finalText, c.back) << c.control << " " << c.text;
        EXPECT_TRUE(r.sent.empty()) << c.control << " " << c.text;
    }
    EXPECT_EQ(e.commitText(P::FuelCutVac, "2.534").send->value, 253);
    // Output 1 by TPS: the value is the byte, so 254 does not fit.
    e.switchChanged(W::Out1Tps, 1);
    EXPECT_EQ(enter(e, P::Out1Min, "254").finalText, "30");
    EXPECT_EQ(e.commitText(P::Out1Min, "253").send->value, 253);
}

TEST(SetupEngine, RestoreKeepsTheFieldsOwnFormat)
{
    SetupEngine e = liveEngine();
    EXPECT_EQ(e.text(P::CoilTime), "2.5"); // raw 5 shown in milliseconds
    Entry r = enter(e, P::CoilTime, "101");
    EXPECT_EQ(r.finalText, "2.5");
    EXPECT_TRUE(r.sent.empty());
}

TEST(SetupEngine, TextLongerThanTheFieldIsRefusedNotCut)
{
    SetupEngine e = liveEngine();
    Entry cylinders = enter(e, P::Cylinders, "123");
    EXPECT_TRUE(cylinders.sent.empty()) << "never taken as \"12\"";
    EXPECT_EQ(cylinders.finalText, "4");
    EXPECT_EQ(cylinders.refusal, "123 is refused: Cylinders takes 1 to 12, at most 2 characters");
    enter(e, P::StartEnrich, "2.5");
    Entry enrichment = enter(e, P::StartEnrich, "2.555");
    EXPECT_TRUE(enrichment.sent.empty());
    EXPECT_EQ(enrichment.finalText, "2.5");
}

TEST(SetupEngine, AcceptedRangesNameTheUnitAndTheBoundInForce)
{
    SetupEngine e = liveEngine();
    EXPECT_EQ(e.acceptedRange(P::Cylinders), "1 to 12");
    EXPECT_EQ(e.acceptedRange(P::RpmLimiter), "0 to 7000 RPM");
    EXPECT_EQ(e.acceptedRange(P::CoilTime), "0 to 100 ms");
    EXPECT_EQ(e.acceptedRange(P::LaunchTiming), "0 to 90\u00b0");
    EXPECT_EQ(e.acceptedRange(P::FuelCutTps), "0 to 100%");
    // The byte bounds what the range would allow: 253 at most.
    EXPECT_EQ(e.acceptedRange(P::StartPrime), "0 to 253");
    EXPECT_EQ(e.acceptedRange(P::FuelCutVac), "0 to 2.53 bar");
    EXPECT_EQ(e.acceptedRange(P::Out1Min), "0 to 10000 RPM"); // output 1 by RPM
    EXPECT_EQ(e.acceptedRange(P::Out2Min), "0 to 2.53 bar");   // output 2 by vacuum
    enter(e, P::RpmRange, "5000");
    EXPECT_EQ(e.acceptedRange(P::RpmLimiter), "0 to 5000 RPM");
    EXPECT_EQ(liveEngine(",").acceptedRange(P::FuelCutVac), "0 to 2,53 bar");
}

TEST(SetupEngine, RangesChosenForTheUncheckedFields)
{
    SetupEngine e = liveEngine();
    for (auto control : {P::LambdaDelay, P::LambdaVariable}) {
        EXPECT_EQ(values(enter(e, control, "25").sent), (std::vector<int>{25})) << control;
        EXPECT_FALSE(e.commitText(control, "12").markWritten) << "quiet as before";
        // Outside the unit's 5 to 25 the last accepted value stays, and the unit keeps it.
        for (auto text : {"30", "26", "4", "0"}) {
            Entry r = enter(e, control, text);
            EXPECT_TRUE(r.sent.empty()) << control << " " << text;
            EXPECT_EQ(r.finalText, "12") << control << " " << text;
        }
        EXPECT_EQ(e.acceptedRange(control), "5 to 25");
    }
    for (auto control : {P::WaterCal, P::LambdaCal, P::AirCal}) {
        EXPECT_EQ(e.commitText(control, "253").send->value, 253);
        EXPECT_EQ(enter(e, control, "254").finalText, "253");
    }
}

TEST(SetupEngine, SideEffects)
{
    SetupEngine e = liveEngine();
    Outcome low = e.commitText(P::LowThrottleVac, "0.15");
    ASSERT_TRUE(low.marker);
    EXPECT_EQ(low.marker->which, VacuumMarkerId::Low);
    EXPECT_DOUBLE_EQ(low.marker->x, 0.15);
    EXPECT_EQ(e.commitText(P::HighThrottleVac, "0.8").marker->which, VacuumMarkerId::High);

    Outcome jet = e.commitText(P::MainJet, "100");
    EXPECT_EQ(jet.send->bytes(), (std::array<uint8_t, 3>{0xF2, 0x03, 100}));
    EXPECT_EQ(jet.jet->jet, P::MainJet);
    EXPECT_EQ(jet.jet->position, 155);
    EXPECT_EQ(e.commitText(P::IdleJet, "7").send->offset, 2);
    EXPECT_EQ(jetTextForPosition(127), "128");
}

TEST(SetupEngine, SystemDecimalSeparator)
{
    SetupEngine e = liveEngine(",");
    EXPECT_EQ(e.text(P::CoilTime), "2,5");
    EXPECT_EQ(e.text(P::Out2Min), "0,5");
    EXPECT_EQ(e.commitText(P::CoilTime, "1,75").send->value, 4);
    EXPECT_TRUE(e.commitText(P::CoilTime, "1.75").message);
}
