// SPDX-License-Identifier: GPL-3.0-or-later
#include "live/LiveRecord.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

using namespace kyr::live;
using Bytes = std::vector<uint8_t>;

TEST(LiveRecord, FieldTableCoversEveryByteOnce)
{
    const auto fields = liveFieldTable();
    ASSERT_EQ(fields.size(), static_cast<size_t>(LiveFieldCount));
    std::set<int> indexes;
    for (size_t i = 0; i < fields.size(); ++i) {
        EXPECT_EQ(static_cast<int>(fields[i].field), static_cast<int>(i)) << "rows in LiveField order";
        EXPECT_GT(fields[i].scale, 0.0);
        indexes.insert(fields[i].index);
    }
    EXPECT_EQ(indexes.size(), static_cast<size_t>(LiveRecordSize));
    EXPECT_EQ(*indexes.begin(), 0);
    EXPECT_EQ(*indexes.rbegin(), LiveRecordSize - 1);
}

TEST(LiveRecord, EncodesPlusOneWithTheDocumentedScaling)
{
    LiveValues v;
    v.set(LiveField::Rpm, 3000);
    v.set(LiveField::Timing, 15.5);
    v.set(LiveField::Vacuum, 45);
    v.set(LiveField::Lambda, 0.45);
    v.set(LiveField::Battery, 13.8);
    v.set(LiveField::InjectorDuty, 12.5);
    v.set(LiveField::WaterTemp, 85);
    v.set(LiveField::AirTemp, -10);
    v.set(LiveField::Throttle, 120);
    v.set(LiveField::Pot, 50);
    // raw: 3000/50, (15.5+20)*2, 45, 45, 138, 25, 85+40, -10+40, 120, 100; each + 1
    EXPECT_EQ(encodeLive(v), (LiveBytes{61, 72, 46, 46, 139, 26, 126, 31, 121, 101}));
}

TEST(LiveRecord, DecodeReturnsTheEncodedValues)
{
    LiveValues v;
    v.set(LiveField::Rpm, 6500);
    v.set(LiveField::Timing, -4);
    v.set(LiveField::Lambda, 0.91);
    v.set(LiveField::WaterTemp, -40);
    v.set(LiveField::Throttle, 230);
    const auto bytes = encodeLive(v);
    const auto back = decodeLive(bytes);
    ASSERT_TRUE(back.ok());
    EXPECT_DOUBLE_EQ(*back.value().get(LiveField::Rpm), 6500);
    EXPECT_DOUBLE_EQ(*back.value().get(LiveField::Timing), -4);
    EXPECT_NEAR(*back.value().get(LiveField::Lambda), 0.91, 1e-9);
    EXPECT_DOUBLE_EQ(*back.value().get(LiveField::WaterTemp), -40);
    EXPECT_DOUBLE_EQ(*back.value().get(LiveField::Throttle), 230);
    EXPECT_FALSE(back.value().get(LiveField::Vacuum)) << "a value not given stays absent";
}

TEST(LiveRecord, ValuesOutOfRangeAreClampedAndNeverGiveZeroOrAbsent)
{
    LiveValues v;
    for (const auto& d : liveFieldTable())
        v.set(d.field, -1e9);
    for (uint8_t b : encodeLive(v))
        EXPECT_EQ(b, 1);
    for (const auto& d : liveFieldTable())
        v.set(d.field, 1e9);
    for (uint8_t b : encodeLive(v))
        EXPECT_EQ(b, LiveMaxRaw + 1) << "254 at most: 255 means no reading";
}

TEST(LiveRecord, RoundsHalvesToEven)
{
    const auto& rpm = liveFieldDef(LiveField::Rpm);
    EXPECT_EQ(liveRaw(rpm, 125), 2);  // 2.5 -> 2
    EXPECT_EQ(liveRaw(rpm, 175), 4);  // 3.5 -> 4
}

TEST(LiveRecord, AbsentByteDecodesToNoReading)
{
    Bytes reply(LiveRecordSize, 100);
    reply[liveFieldDef(LiveField::WaterTemp).index] = LiveAbsent;
    const auto v = decodeLive(reply);
    ASSERT_TRUE(v.ok());
    EXPECT_FALSE(v.value().get(LiveField::WaterTemp));
    EXPECT_TRUE(v.value().get(LiveField::AirTemp));
}

TEST(LiveRecord, ShortOrZeroCutRepliesAreRefused)
{
    EXPECT_EQ(decodeLive(Bytes{}).error().kind, kyr::ErrorKind::ShortReply);
    EXPECT_FALSE(decodeLive(Bytes(LiveRecordSize - 1, 5)).ok());
    Bytes withZero(LiveRecordSize, 5);
    withZero[6] = 0; // the reply ends at a zero byte
    const auto r = decodeLive(withZero);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().kind, kyr::ErrorKind::ShortReply);
    EXPECT_NE(r.error().message.find("6 of 10"), std::string::npos) << r.error().message;
}

TEST(LiveRecord, BytesBeyondTheTenthAreIgnored)
{
    Bytes reply(LiveRecordSize + 3, 11);
    const auto v = decodeLive(reply);
    ASSERT_TRUE(v.ok());
    EXPECT_DOUBLE_EQ(*v.value().get(LiveField::Rpm), 500);
}

TEST(LiveRecord, ThrottlePercentUsesTheCalibration)
{
    EXPECT_DOUBLE_EQ(*throttlePercent(20, 20, 230), 0);
    EXPECT_DOUBLE_EQ(*throttlePercent(125, 20, 230), 50);
    EXPECT_DOUBLE_EQ(*throttlePercent(250, 20, 230), 100) << "clamped";
    EXPECT_DOUBLE_EQ(*throttlePercent(5, 20, 230), 0) << "clamped";
    // Not calibrated (high 0): the reading is taken as percent.
    EXPECT_DOUBLE_EQ(*throttlePercent(40, 77, 0), 40);
    EXPECT_FALSE(throttlePercent(100, 200, 100)) << "high below low";
    EXPECT_FALSE(throttlePercent(100, 120, 120));
}

TEST(LiveRecord, InjectorMsIsTheDutyShareOfARevolution)
{
    EXPECT_DOUBLE_EQ(*injectorMs(50, 3000), 10.0); // one revolution at 3000 RPM is 20 ms
    EXPECT_FALSE(injectorMs(50, 0));
}
