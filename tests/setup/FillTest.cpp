// SPDX-License-Identifier: GPL-3.0-or-later
#include "SetupTestUtil.h"

#include "table/Codec.h"

#include <gtest/gtest.h>

#include <random>

using namespace kyr::setup;
using namespace kyr::setup::testing;
using kyr::table::SetupCopy;

namespace {

const FieldView& view(const FillResult& r, std::string_view control)
{
    for (const auto& f : r.fields)
        if (f.control == control)
            return f;
    static FieldView none;
    ADD_FAILURE() << "no view for " << control;
    return none;
}

} // namespace

TEST(SetupFill, ShowsEveryFieldAndSendsNothingAfterwards)
{
    SetupEngine e;
    FillResult r = e.fill(sampleCopy());
    e.setEditsLive();
    ASSERT_EQ(r.fields.size(), fieldTable().size());
    EXPECT_EQ(view(r, "Edit12").text, "4");
    EXPECT_EQ(view(r, "Edit13").text, "7000");
    EXPECT_EQ(view(r, "Edit14").text, "2.5");
    EXPECT_EQ(view(r, "Edit16").text, "3000");
    EXPECT_EQ(view(r, "Edit24").text, "1.5");
    EXPECT_EQ(r.rpmRange, 7000);
    // The page sets the texts and switch states it was given: nothing runs.
    for (const auto& f : r.fields)
        EXPECT_TRUE(e.commitText(f.control, f.text).empty()) << f.control;
    for (const auto& s : r.switches)
        EXPECT_TRUE(e.switchChanged(s.control, s.state).empty()) << s.control;
    EXPECT_EQ(e.setupCopy(), sampleCopy());
}

TEST(SetupFill, AbsentFieldIsDisabledEmptyAndKeepsItsByte)
{
    SetupCopy c = sampleCopy();
    const int offset = kyr::table::setupByControl("Edit15")->offset;
    c[offset] = kyr::table::AbsentPlusOne;
    c[kyr::table::setupByControl("CheckBox2")->offset] = kyr::table::AbsentPlusOne;
    SetupEngine e;
    FillResult r = e.fill(c);
    e.setEditsLive();
    EXPECT_EQ(view(r, "Edit15").text, "");
    EXPECT_FALSE(view(r, "Edit15").enabled);
    EXPECT_FALSE(e.enabled("CheckBox2"));
    EXPECT_TRUE(e.commitText("Edit15", "12").empty());
    EXPECT_TRUE(e.switchChanged("CheckBox2", 1).empty());
    enter(e, "Edit12", "6"); // other edits go on around it

    auto image = kyr::table::encode(e.setupCopy(), kyr::table::MapArrays{});
    EXPECT_EQ(image.plusOne[offset], 255);
    EXPECT_EQ(image.raw[offset], 254);
}

TEST(SetupFill, DisplayDefaultsAreNotStored)
{
    SetupCopy c = sampleCopy();
    setRaw(c, "Edit13", 0);
    setRaw(c, "RadioButton7", 0); // output 1 without a source
    SetupEngine e;
    FillResult r = e.fill(c);
    EXPECT_EQ(view(r, "Edit37").text, "0.1");
    EXPECT_EQ(view(r, "Edit38").text, "0.9");
    EXPECT_EQ(view(r, "Edit13").text, "7000");
    EXPECT_EQ(view(r, "Edit16").text, "0");
    EXPECT_FALSE(view(r, "Edit16").enabled);
    ASSERT_EQ(r.markers.size(), 2u);
    EXPECT_DOUBLE_EQ(r.markers[0].x, 0.1);
    EXPECT_DOUBLE_EQ(r.markers[1].x, 0.9);
    EXPECT_EQ(e.setupCopy(), c);
    e.setEditsLive();
    for (const auto& f : r.fields)
        e.commitText(f.control, f.text);
    EXPECT_EQ(e.setupCopy(), c);
}

TEST(SetupFill, CompanionsOfTheSwitches)
{
    SetupEngine e;
    FillResult r = e.fill(sampleCopy());
    auto textOf = [&](std::string_view control) {
        for (const auto& t : r.texts)
            if (t.control == control)
                return t.text;
        return std::string("?");
    };
    EXPECT_EQ(textOf("Edit48"), "0.5");
    EXPECT_EQ(textOf("Label6"), ".50");
    ASSERT_EQ(r.jets.size(), 2u);
    EXPECT_EQ(r.jets[0].trackBar, "MainJetAdjust");
    EXPECT_EQ(r.jets[0].position, 127);
    EXPECT_TRUE(e.enabled("TrackBar3"));  // pump mode "Map"
    EXPECT_FALSE(e.enabled("TrackBar1")); // throttle pump unused
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
            Outcome o = e.switchChanged(s.control, static_cast<int>(rng() % 110) - 5);
            if (o.send) {
                ASSERT_LE(o.send->value, 253) << s.control;
            }
            for (const auto& t : o.texts)
                e.commitText(t.control, t.text);
            continue;
        }
        const auto& f = fields[rng() % fields.size()];
        std::string text;
        for (unsigned n = rng() % 8; n > 0; --n)
            text += alphabet[rng() % alphabet.size()];
        Entry r = enter(e, f.control, text);
        ASSERT_EQ(e.text(f.control), r.finalText) << f.control << " " << text;
        if (r.refusal) {
            ASSERT_EQ(r.finalText, e.lastAccepted(f.control)) << f.control << " " << text;
        }
        sends += static_cast<int>(r.sent.size());
        for (const auto& w : r.sent) {
            ASSERT_LE(w.value, 253) << f.control << " " << text;
            ASSERT_EQ(e.setupCopy()[w.offset], w.value + 1);
        }
    }
    EXPECT_GT(sends, 3000); // the texts do reach the unit, not only the refusals
    for (uint8_t b : e.setupCopy())
        EXPECT_NE(b, 255);
}
