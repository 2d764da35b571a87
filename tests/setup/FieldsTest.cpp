#include "setup/Fields.h"
#include "setup/Switches.h"

#include <gtest/gtest.h>

#include <set>

using namespace kyr::setup;

TEST(SetupTables, EveryRowHasItsOwnLayoutOffset)
{
    std::set<int> offsets;
    for (const auto& f : fieldTable()) {
        const int offset = fieldOffset(f);
        ASSERT_GE(offset, 0) << f.control;
        EXPECT_TRUE(offsets.insert(offset).second) << f.control;
        EXPECT_EQ(fieldByControl(f.control), &f);
    }
    EXPECT_EQ(fieldTable().size(), 35u); // 33 setup fields and the two jets
    for (const auto& s : switchTable())
        EXPECT_LT(kyr::table::setupOffset(s.param), kyr::table::SetupSize) << s.control;
    for (const auto& r : enableRules())
        EXPECT_TRUE(r.needs.empty() || kyr::table::setupByControl(r.needs)) << r.control;
}

TEST(SetupTables, ShownTexts)
{
    EXPECT_EQ(shownText(Scale::Div100, 70, "."), "7000");
    EXPECT_EQ(shownText(Scale::Times2, 5, "."), "2.5");
    EXPECT_EQ(shownText(Scale::Times10, 43, ","), "4,3");
    EXPECT_EQ(effectiveScale(*fieldByControl("Edit16"), SourceLambda), Scale::Times100);
    EXPECT_EQ(effectiveScale(*fieldByControl("Edit16"), SourceWater), Scale::Value);
}
