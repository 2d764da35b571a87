#include "SetupTestUtil.h"

#include "table/Codec.h"

#include <gtest/gtest.h>

using namespace kyr::setup;
using namespace kyr::setup::testing;
using kyr::table::SetupCopy;

TEST(SetupEngine, CylindersTypedKeyByKey)
{
    SetupEngine e = liveEngine();
    Entry twelve = type(e, "Edit12", "12");
    EXPECT_EQ(values(twelve.sent), (std::vector<int>{1, 12}));
    EXPECT_EQ(twelve.sent.back().bytes(), (std::array<uint8_t, 3>{0xF2, 0x50, 0x0C}));
    EXPECT_EQ(e.setupCopy()[80], 13);

    Entry thirteen = type(e, "Edit12", "13");
    EXPECT_EQ(values(thirteen.sent), (std::vector<int>{1, 1})); // "13" refused, "1" put back and sent again
    EXPECT_EQ(thirteen.finalText, "1");
    EXPECT_EQ(e.setupCopy()[80], 2);
}

TEST(SetupEngine, AcceptingMarksTheImageOnlyForRestoringAndZeroingFields)
{
    SetupEngine e = liveEngine();
    EXPECT_TRUE(e.textChanged("Edit12", "6").markWritten);
    EXPECT_TRUE(e.textChanged("Edit35", "2").markWritten);
    Outcome quiet = e.textChanged("Edit33", "9");
    ASSERT_TRUE(quiet.send);
    EXPECT_FALSE(quiet.markWritten);
}

TEST(SetupEngine, HalvesGoToEven)
{
    SetupEngine e = liveEngine();
    EXPECT_EQ(e.textChanged("Edit14", "1.25").send->value, 2);
    EXPECT_EQ(e.textChanged("Edit14", "1.75").send->value, 4);
    EXPECT_EQ(e.textChanged("Edit13", "3050").send->value, 30);
    Outcome o = e.textChanged("Edit13", "3150");
    EXPECT_EQ(o.send->value, 32);
    EXPECT_EQ(o.rpmRange, 3150);
    EXPECT_EQ(e.rpmRange(), 3150);
    EXPECT_EQ(e.textChanged("Edit57", "0.545").send->value, 54); // a tie in the typed decimal
}

TEST(SetupEngine, ZeroingFieldSetsZeroAndSendsIt)
{
    SetupEngine e = liveEngine();
    Entry r = type(e, "Edit35", "30");
    EXPECT_EQ(values(r.sent), (std::vector<int>{30, 0}));
    EXPECT_EQ(r.finalText, "0");
}

TEST(SetupEngine, OutputLimitsFollowTheirSource)
{
    SetupEngine e = liveEngine();
    enter(e, "Edit16", ""); // the sample shows 3000 already
    Entry rpm = enter(e, "Edit16", "3000");
    EXPECT_EQ(values(rpm.sent), (std::vector<int>{30}));
    Entry refused = enter(e, "Edit16", "20000");
    EXPECT_EQ(refused.finalText, "3000");
    EXPECT_EQ(values(refused.sent), (std::vector<int>{30}));

    Entry vac = enter(e, "Edit1", "1.5"); // output 2 is by vacuum
    EXPECT_EQ(values(vac.sent), (std::vector<int>{150}));
    EXPECT_EQ(vac.sent[0].offset, 33);
}

TEST(SetupEngine, RpmLimiterIsBoundByTheRangeInForce)
{
    SetupEngine e = liveEngine();
    EXPECT_EQ(enter(e, "Edit20", "6500").sent.size(), 1u);
    Entry over = enter(e, "Edit20", "7100");
    EXPECT_EQ(over.finalText, "6500");
    EXPECT_EQ(values(over.sent), (std::vector<int>{65}));

    // Lowering the range leaves the limiter alone; a restore that the new
    // range refuses stops instead of going round.
    enter(e, "Edit13", "5000");
    EXPECT_EQ(e.setupCopy()[84], 66);
    Entry again = enter(e, "Edit20", "9000");
    EXPECT_LE(again.rounds, 3);
    EXPECT_TRUE(again.sent.empty());
    EXPECT_EQ(e.setupCopy()[84], 66);
}

TEST(SetupEngine, RangeBelowOneHundredRunsAtTheDefault)
{
    SetupEngine e = liveEngine();
    Outcome o = e.textChanged("Edit13", "40");
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
            EXPECT_TRUE(e.textChanged(f.control, text).empty()) << f.control << " " << text;
    for (const auto& s : switchTable())
        for (int state : {0, 1, 30, 45})
            EXPECT_TRUE(e.switchChanged(s.control, state).empty()) << s.control;
    EXPECT_EQ(e.setupCopy(), before);
}

TEST(SetupEngine, EmptyTexts)
{
    SetupEngine e = liveEngine();
    for (auto control : {"Edit12", "Edit35", "Edit52", "Edit58", "Edit60", "Edit28"})
        EXPECT_TRUE(e.textChanged(control, "").empty()) << control;
    for (auto control : {"Edit33", "Edit40", "Edit49", "Edit50", "Edit51", "Edit55", "Edit61", "Edit62"}) {
        Outcome o = e.textChanged(control, "");
        EXPECT_EQ(o.message, "'' is not a valid integer value") << control;
        EXPECT_FALSE(o.send);
    }
}

TEST(SetupEngine, TextsThatAreNoNumbersGiveTheMessageAndKeepTheText)
{
    SetupEngine e = liveEngine();
    Outcome i = e.textChanged("Edit12", "1.5");
    EXPECT_EQ(i.message, "'1.5' is not a valid integer value");
    EXPECT_FALSE(i.send);
    EXPECT_FALSE(i.putBack);
    EXPECT_EQ(e.textChanged("Edit14", "-").message, "'-' is not a valid floating point value");
    EXPECT_EQ(e.textChanged("Edit53", "1500.5").message, "'1500.5' is not a valid integer value");
    EXPECT_EQ(e.textChanged("Edit53", "abc").message, "'abc' is not a valid floating point value");
    EXPECT_EQ(enter(e, "Edit53", "20000.5").finalText, "0"); // range first, on the decimal
    EXPECT_EQ(e.textChanged("Edit53", "1500").send->value, 15);
}

TEST(SetupEngine, BytesThatDoNotFitAreRefusedNotWrapped)
{
    SetupEngine e = liveEngine();
    struct Case { const char* control; const char* text; const char* back; };
    for (const Case& c : {Case{"Edit33", "254", "0"}, Case{"Edit33", "255", "0"},
                          Case{"Edit57", "2.54", "0"}, Case{"Edit57", "2.535", "0"},
                          Case{"Edit37", "3", "0"}, Case{"Edit1", "2.6", "0.5"},
                          Case{"Edit12", "-1", "4"}, Case{"Edit28", "254", "128"},
                          Case{"Edit28", "-1", "128"}, Case{"Edit52", "500", "0"}}) {
        Entry r = enter(e, c.control, c.text);
        EXPECT_EQ(r.finalText, c.back) << c.control << " " << c.text;
        for (const auto& w : r.sent)
            EXPECT_LE(w.value, 253) << c.control;
    }
    EXPECT_EQ(e.textChanged("Edit57", "2.534").send->value, 253);
    // Output 1 by TPS: the value is the byte, so 254 does not fit.
    e.switchChanged("RadioButton3", 1);
    EXPECT_EQ(enter(e, "Edit16", "254").finalText, "30");
    EXPECT_EQ(e.textChanged("Edit16", "253").send->value, 253);
}

TEST(SetupEngine, RestoreKeepsTheFieldsOwnFormat)
{
    SetupEngine e = liveEngine();
    EXPECT_EQ(e.text("Edit14"), "2.5"); // raw 5 shown in milliseconds
    Entry r = enter(e, "Edit14", "101");
    EXPECT_EQ(r.finalText, "2.5");
    EXPECT_EQ(values(r.sent), (std::vector<int>{5}));
}

TEST(SetupEngine, RangesChosenForTheUncheckedFields)
{
    SetupEngine e = liveEngine();
    for (auto control : {"Edit50", "Edit51"}) {
        EXPECT_EQ(values(type(e, control, "25").sent), (std::vector<int>{2, 25})) << control;
        EXPECT_EQ(enter(e, control, "26").finalText, "0");
    }
    for (auto control : {"Edit52", "Edit58", "Edit60"}) {
        EXPECT_EQ(e.textChanged(control, "253").send->value, 253);
        EXPECT_EQ(enter(e, control, "254").finalText, "0");
    }
}

TEST(SetupEngine, SideEffects)
{
    SetupEngine e = liveEngine();
    Outcome low = e.textChanged("Edit37", "0.15");
    ASSERT_TRUE(low.marker);
    EXPECT_EQ(low.marker->which, VacuumMarkerId::Low);
    EXPECT_DOUBLE_EQ(low.marker->x, 0.15);
    EXPECT_EQ(e.textChanged("Edit38", "0.8").marker->which, VacuumMarkerId::High);

    Outcome jet = e.textChanged("Edit28", "100");
    EXPECT_EQ(jet.send->bytes(), (std::array<uint8_t, 3>{0xF2, 0x03, 100}));
    EXPECT_EQ(jet.jet->trackBar, "MainJetAdjust");
    EXPECT_EQ(jet.jet->position, 155);
    EXPECT_EQ(e.textChanged("Edit32", "7").send->offset, 2);
    EXPECT_EQ(jetTextForPosition(127), "128");
}

TEST(SetupEngine, SystemDecimalSeparator)
{
    SetupEngine e = liveEngine(",");
    EXPECT_EQ(e.text("Edit14"), "2,5");
    EXPECT_EQ(e.text("Edit1"), "0,5");
    EXPECT_EQ(e.textChanged("Edit14", "1,75").send->value, 4);
    EXPECT_TRUE(e.textChanged("Edit14", "1.75").message);
}
