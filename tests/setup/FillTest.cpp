// SPDX-License-Identifier: GPL-3.0-or-later
#include "SetupTestUtil.h"

#include "table/Codec.h"

#include <gtest/gtest.h>

#include <random>

using namespace kyr::setup;
using namespace kyr::setup::testing;
using kyr::table::SetupCopy;

namespace {

const FieldView& view(const FillResult& r, P field)
{
    for (const auto& f : r.fields)
        if (f.param == field)
            return f;
    static FieldView none;
    ADD_FAILURE() << "no view for " << field;
    return none;
}

} // namespace

TEST(SetupFill, ShowsEveryFieldAndSendsNothingAfterwards)
{
    SetupEngine e;
    FillResult r = e.fill(sampleCopy());
    e.setEditsLive();
    ASSERT_EQ(r.fields.size(), fieldTable().size());
    EXPECT_EQ(view(r, P::Cylinders).text, "4");
    EXPECT_EQ(view(r, P::RpmRange).text, "7000");
    EXPECT_EQ(view(r, P::CoilTime).text, "2.5");
    EXPECT_EQ(view(r, P::Out1Min).text, "3000");
    EXPECT_EQ(view(r, P::Out2Max).text, "1.5");
    EXPECT_EQ(r.rpmRange, 7000);
    // The page sets the texts and switch states it was given: nothing runs.
    for (const auto& f : r.fields)
        EXPECT_TRUE(e.commitText(f.param, f.text).empty()) << f.param;
    for (const auto& s : r.switches)
        EXPECT_TRUE(e.switchChanged(s.id, s.state).empty()) << s.id;
    EXPECT_EQ(e.setupCopy(), sampleCopy());
}

TEST(SetupFill, AbsentFieldIsDisabledEmptyAndKeepsItsByte)
{
    SetupCopy c = sampleCopy();
    const int offset = kyr::table::setupOffset(P::MapSensor);
    c[offset] = kyr::table::AbsentPlusOne;
    c[kyr::table::setupOffset(P::LambdaActive)] = kyr::table::AbsentPlusOne;
    SetupEngine e;
    FillResult r = e.fill(c);
    e.setEditsLive();
    EXPECT_EQ(view(r, P::MapSensor).text, "");
    EXPECT_FALSE(view(r, P::MapSensor).enabled);
    EXPECT_FALSE(e.enabled(W::LambdaSensor));
    EXPECT_TRUE(e.commitText(P::MapSensor, "12").empty());
    EXPECT_TRUE(e.switchChanged(W::LambdaSensor, 1).empty());
    enter(e, P::Cylinders, "6"); // other edits go on around it

    auto image = kyr::table::encode(e.setupCopy(), kyr::table::MapArrays{});
    EXPECT_EQ(image.plusOne[offset], 255);
    EXPECT_EQ(image.raw[offset], 254);
}

TEST(SetupFill, DisplayDefaultsAreNotStored)
{
    SetupCopy c = sampleCopy();
    setRaw(c, P::RpmRange, 0);
    setRaw(c, P::Out1Source, 0); // output 1 without a source
    SetupEngine e;
    FillResult r = e.fill(c);
    EXPECT_EQ(view(r, P::LowThrottleVac).text, "0.1");
    EXPECT_EQ(view(r, P::HighThrottleVac).text, "0.9");
    EXPECT_EQ(view(r, P::RpmRange).text, "7000");
    EXPECT_EQ(view(r, P::Out1Min).text, "0");
    EXPECT_FALSE(view(r, P::Out1Min).enabled);
    ASSERT_EQ(r.markers.size(), 2u);
    EXPECT_DOUBLE_EQ(r.markers[0].x, 0.1);
    EXPECT_DOUBLE_EQ(r.markers[1].x, 0.9);
    EXPECT_EQ(e.setupCopy(), c);
    e.setEditsLive();
    for (const auto& f : r.fields)
        e.commitText(f.param, f.text);
    EXPECT_EQ(e.setupCopy(), c);
}

TEST(SetupFill, CompanionsOfTheSwitches)
{
    SetupEngine e;
    FillResult r = e.fill(sampleCopy());
    auto textOf = [&](const SetupControl& control) {
        for (const auto& t : r.texts)
            if (t.control == control)
                return t.text;
        return std::string("?");
    };
    EXPECT_EQ(textOf(X::LambdaVolts), "0.5");
    EXPECT_EQ(textOf(X::LambdaLabel), ".50");
    ASSERT_EQ(r.jets.size(), 2u);
    EXPECT_EQ(r.jets[0].jet, P::MainJet);
    EXPECT_EQ(r.jets[0].position, 127);
    EXPECT_TRUE(e.enabled(W::AccMapSens));  // pump mode "Map"
    EXPECT_FALSE(e.enabled(W::AccTpsEnrich)); // throttle pump unused
}

// Random texts in every field, mixed with switch changes: nothing above 253
// ever goes out, and a refused entry always leaves the field on its last
// accepted value, the one the unit holds.
TEST(SetupFill, RandomTextsNeverSendAnUnfitByte)
{
    SetupEngine e = liveEngine();
    std::mt19937 rng(20240611);
    const std::string alphabet = "0123456789012345678901234.-+e,";
    auto fields = fieldTable();
    auto switches = switchTable();
    int sends = 0;
    for (int i = 0; i < 20000; ++i) {
        if (rng() % 10 == 0) {
            const auto& s = switches[rng() % switches.size()];
            Outcome o = e.switchChanged(s.id, static_cast<int>(rng() % 110) - 5);
            if (o.send) {
                ASSERT_LE(o.send->value, 253) << s.id;
            }
            for (const auto& t : o.texts)
                if (const auto* field = std::get_if<P>(&t.control))
                    e.commitText(*field, t.text);
            continue;
        }
        const auto& f = fields[rng() % fields.size()];
        std::string text;
        for (unsigned n = rng() % 8; n > 0; --n)
            text += alphabet[rng() % alphabet.size()];
        Entry r = enter(e, f.param, text);
        ASSERT_EQ(e.text(f.param), r.finalText) << f.param << " " << text;
        if (r.refusal) {
            ASSERT_EQ(r.finalText, e.lastAccepted(f.param)) << f.param << " " << text;
        }
        sends += static_cast<int>(r.sent.size());
        for (const auto& w : r.sent) {
            ASSERT_LE(w.value, 253) << f.param << " " << text;
            ASSERT_EQ(e.setupCopy()[w.offset], w.value + 1);
        }
    }
    EXPECT_GT(sends, 3000); // the texts do reach the unit, not only the refusals
    for (uint8_t b : e.setupCopy())
        EXPECT_NE(b, 255);
}
