// SPDX-License-Identifier: GPL-3.0-or-later
#include "setup/Fields.h"
#include "setup/Switches.h"
#include "SetupTestUtil.h"

#include <gtest/gtest.h>

#include <set>

using namespace kyr::setup;
using namespace kyr::setup::testing;

TEST(SetupTables, EveryRowHasItsOwnLayoutOffset)
{
    std::set<int> offsets;
    for (const auto& f : fieldTable()) {
        const int offset = fieldOffset(f);
        ASSERT_GE(offset, 0) << f.param;
        EXPECT_TRUE(offsets.insert(offset).second) << f.param;
        EXPECT_EQ(fieldByParam(f.param), &f);
    }
    EXPECT_EQ(fieldTable().size(), 35u); // 33 setup fields and the two jets
    for (const auto& s : switchTable())
        EXPECT_LT(kyr::table::setupOffset(s.param), kyr::table::SetupSize) << s.id;
    for (const auto& r : enableRules())
        EXPECT_TRUE(!r.needs || kyr::table::setupOffset(*r.needs) < kyr::table::SetupSize);
}

TEST(SetupTables, ShownTexts)
{
    EXPECT_EQ(shownText(Scale::Div100, 70, "."), "7000");
    EXPECT_EQ(shownText(Scale::Times2, 5, "."), "2.5");
    EXPECT_EQ(shownText(Scale::Times10, 43, ","), "4,3");
    EXPECT_EQ(effectiveScale(*fieldByParam(P::Out1Min), SourceLambda), Scale::Times100);
    EXPECT_EQ(effectiveScale(*fieldByParam(P::Out1Min), SourceWater), Scale::Value);
}

TEST(FieldTips, NameMeaningAndRangeInTheShownUnits)
{
    // A fixed range; the caption names the unit already.
    EXPECT_EQ(fieldTip(*fieldByParam(P::CoilTime), SourceNone, 7000),
              "Coil Time (ms)\nHow long the coil charges before each spark.\nRange: 0 to 100 ms");
    // The limiter's bound is the RPM range in force.
    EXPECT_EQ(fieldTip(*fieldByParam(P::RpmLimiter), SourceNone, 6500).substr(0, 12), "RPM Limiter\n");
    EXPECT_TRUE(fieldTip(*fieldByParam(P::RpmLimiter), SourceNone, 6500).ends_with("\nRange: 0 to 6500 RPM"));
    // A vacuum field's top is the highest byte the unit keeps, with the system's separator.
    EXPECT_TRUE(fieldTip(*fieldByParam(P::FuelCutVac), SourceNone, 7000, ",").starts_with("Fuel Cut-off Vac (bar)\n"));
    EXPECT_TRUE(fieldTip(*fieldByParam(P::FuelCutVac), SourceNone, 7000, ",").ends_with("Range: 0 to 2,53 bar"));
    // No unit: a bare range, no brackets, and a word on what the number is.
    const std::string cylinders = fieldTip(*fieldByParam(P::Cylinders), SourceNone, 7000);
    EXPECT_EQ(cylinders.substr(0, cylinders.find('\n')), "Cylinders");
    EXPECT_TRUE(cylinders.ends_with("Range: 1 to 12\nNo unit: a count."));
    EXPECT_TRUE(fieldTip(*fieldByParam(P::StartPrime), SourceNone, 7000)
                    .ends_with("\nNo unit: a number on the KYR's own scale."));
    EXPECT_TRUE(fieldTip(*fieldByParam(P::IdleUp), SourceNone, 7000).starts_with("Idle Control UP\n"));
    for (const auto& f : fieldTable())
        EXPECT_FALSE(f.meaning.empty()) << f.param;
}

TEST(FieldTips, AnOutputFieldFollowsItsSource)
{
    const FieldDef& min = *fieldByParam(P::Out1Min);
    EXPECT_TRUE(fieldTip(min, SourceRpm, 7000).starts_with("Output 1 Min (RPM)\n"));
    EXPECT_TRUE(fieldTip(min, SourceRpm, 7000).ends_with("Range: 0 to 10000 RPM"));
    EXPECT_TRUE(fieldTip(min, SourceVacuum, 7000).starts_with("Output 1 Min (bar)\n"));
    EXPECT_TRUE(fieldTip(min, SourceVacuum, 7000).ends_with("Range: 0 to 2.53 bar"));
    EXPECT_TRUE(fieldTip(min, SourceTps, 7000).ends_with("Range: 0 to 253%"));
    EXPECT_TRUE(fieldTip(*fieldByParam(P::Out2Max), SourceLambda, 7000).starts_with("Output 2 Max (V)\n"));
    EXPECT_TRUE(fieldTip(min, SourceWater, 7000).ends_with("Range: 0 to 253 \u00b0C"));
    EXPECT_EQ(fieldUnit(min, SourceNone), "");
    // The hidden calibration fields read as a sentence.
    EXPECT_TRUE(fieldTip(*fieldByParam(P::WaterCal), SourceNone, 7000).starts_with("Water temperature sensor calibration\n"));
}
