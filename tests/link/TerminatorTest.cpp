// SPDX-License-Identifier: GPL-3.0-or-later
// EndOfResponse parsing and terminator-mode reads.

#include "FakeClock.h"
#include "FakeSerialDevice.h"
#include "link/TQCCom32.h"

#include <gtest/gtest.h>

using namespace kyr;
using namespace kyr::link;

namespace {

TEST(ParseTerminator, CodesLiteralsAndFallback)
{
    EXPECT_EQ(parseTerminator(""), Bytes{});
    EXPECT_EQ(parseTerminator("#13#10"), (Bytes{13, 10}));
    EXPECT_EQ(parseTerminator("OK#13"), (Bytes{'O', 'K', 13}));
    EXPECT_EQ(parseTerminator("END"), bytesOf("END"));
    EXPECT_EQ(parseTerminator("#0"), Bytes{0});
    EXPECT_EQ(parseTerminator("#13#"), Bytes{13}); // an empty code at the end adds nothing
    EXPECT_EQ(parseTerminator("#255"), Bytes{255});
}

TEST(ParseTerminator, NonNumericCodeMakesTheRawTextTheTerminator)
{
    // Characters after "#" belong to the code until the next "#", digits or not.
    EXPECT_EQ(parseTerminator("#13A"), bytesOf("#13A"));
    EXPECT_EQ(parseTerminator("#13#x#10"), bytesOf("#13#x#10"));
    EXPECT_EQ(parseTerminator("##13"), bytesOf("##13"));
    EXPECT_EQ(parseTerminator("#256"), bytesOf("#256"));
    EXPECT_EQ(parseTerminator("#-1"), bytesOf("#-1"));
}

TEST(ParseTerminator, SetterRebuildsIt)
{
    FakeClock clock;
    FakeSerialDevice fake(&clock);
    TQCCom32 efi(fake.factory(), clock, PortEnv::withVariables({}));
    efi.setEndOfResponse("OK#13#10");
    EXPECT_EQ(efi.EndOfResponse(), "OK#13#10");
    EXPECT_EQ(efi.terminator(), (Bytes{'O', 'K', 13, 10}));
    efi.setEndOfResponse("");
    EXPECT_TRUE(efi.terminator().empty());
}

struct TerminatorMode : ::testing::Test {
    FakeClock clock{5000};
    FakeSerialDevice fake{&clock};
    TQCCom32 efi{fake.factory(), clock, PortEnv::withVariables({})};
    std::vector<std::string> boxes;
    std::vector<Choice> answers;
    int timeouts = 0;

    void SetUp() override
    {
        efi.setEndOfResponse("#13");
        efi.setResponseTime(100);
        efi.setOnTimeout([this](TQCCom32& sender) {
            EXPECT_EQ(&sender, &efi);
            ++timeouts;
        });
        efi.setMessageHandler([this](const std::string& text, bool) {
            boxes.push_back(text);
            if (answers.empty())
                return Choice::Abort;
            Choice c = answers.front();
            answers.erase(answers.begin());
            return c;
        });
        ASSERT_TRUE(efi.Open());
    }
};

TEST_F(TerminatorMode, ReturnsEverythingOfTheReadThatHoldsTheTerminator)
{
    fake.feedReceived({'A', 'B', 13, 'C'});
    EXPECT_EQ(efi.GetResponse(), (Bytes{'A', 'B', 13, 'C'}));
    EXPECT_FALSE(efi.TimedOut());
    EXPECT_EQ(timeouts, 0);
}

TEST_F(TerminatorMode, WaitsForBytesThatArriveLater)
{
    fake.feedReceived({'A'});
    fake.feedReceivedAt(5040, {'B', 13});
    EXPECT_EQ(efi.GetResponse(), (Bytes{'A', 'B', 13}));
    EXPECT_FALSE(efi.TimedOut());
    EXPECT_GE(clock.tickMs(), 5040u);
}

TEST_F(TerminatorMode, TerminatorSplitAcrossReadsIsFound)
{
    efi.setEndOfResponse("#13#10");
    fake.feedReceived({'x', 13});
    fake.feedReceivedAt(5010, {10});
    EXPECT_EQ(efi.GetResponse(), (Bytes{'x', 13, 10}));
    EXPECT_FALSE(efi.TimedOut());
}

TEST_F(TerminatorMode, SilentTimeOutReturnsWhatArrivedAndSetsTimedOut)
{
    efi.setShowErrors(false);
    fake.feedReceived({'A', 'B'});
    EXPECT_EQ(efi.GetResponse(), (Bytes{'A', 'B'}));
    EXPECT_TRUE(efi.TimedOut());
    EXPECT_EQ(timeouts, 1);
    EXPECT_TRUE(boxes.empty());
    // Strictly past the deadline: more than ResponseTime has gone by.
    EXPECT_GT(clock.tickMs() - 5000u, 100u);
    EXPECT_FALSE(efi.InUse());
}

TEST_F(TerminatorMode, NoTimeOutAtExactlyTheDeadline)
{
    efi.setShowErrors(false);
    fake.feedReceivedAt(5100, {13});
    EXPECT_EQ(efi.GetResponse(), Bytes{13});
    EXPECT_FALSE(efi.TimedOut());
}

TEST_F(TerminatorMode, RetryKeepsGatheredBytesAndWaitsAgain)
{
    answers = {Choice::Retry};
    fake.feedReceived({'A'});
    fake.feedReceivedAt(5150, {'B', 13});
    EXPECT_EQ(efi.GetResponse(), (Bytes{'A', 'B', 13}));
    EXPECT_EQ(boxes, std::vector<std::string>{"Timeout waiting for response."});
    EXPECT_EQ(timeouts, 1);
    EXPECT_FALSE(efi.TimedOut());
}

TEST_F(TerminatorMode, AbortEndsTheReadTimedOut)
{
    fake.feedReceived({'A'});
    EXPECT_EQ(efi.GetResponse(), Bytes{'A'});
    EXPECT_TRUE(efi.TimedOut());
    EXPECT_EQ(boxes.size(), 1u);
}

TEST_F(TerminatorMode, DeadlineHoldsAcrossTheTickWrap)
{
    FakeClock nearWrap(0xFFFFFFF0u);
    FakeSerialDevice dev(&nearWrap);
    TQCCom32 port(dev.factory(), nearWrap, PortEnv::withVariables({}));
    port.setShowErrors(false);
    port.setEndOfResponse("#13");
    port.setResponseTime(100);
    dev.feedReceivedAt(0x30, {'Z', 13}); // after the wrap, within the 100 ms
    ASSERT_TRUE(port.Open());
    EXPECT_EQ(port.GetResponse(), (Bytes{'Z', 13}));
    EXPECT_FALSE(port.TimedOut());
}

TEST_F(TerminatorMode, ReentryWhileWaitingIsEmptyAndWarns)
{
    Bytes inner{'x'};
    efi.setAllowEvents(true);
    efi.setProcessEvents([&] {
        EXPECT_TRUE(efi.InUse());
        inner = efi.GetResponse();
        efi.setProcessEvents({});
    });
    fake.feedReceivedAt(5010, {'A', 13});
    EXPECT_EQ(efi.GetResponse(), (Bytes{'A', 13}));
    EXPECT_TRUE(inner.empty());
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes[0], "Port is in use -- operation aborted");
    EXPECT_FALSE(efi.InUse());
}

TEST_F(TerminatorMode, ProcessEventsRunOnlyWithAllowEvents)
{
    int runs = 0;
    efi.setShowErrors(false);
    efi.setProcessEvents([&] { ++runs; });
    efi.GetResponse();
    EXPECT_EQ(runs, 0);
    efi.setAllowEvents(true);
    efi.GetResponse();
    EXPECT_GT(runs, 0);
}

TEST_F(TerminatorMode, PortClosedDuringTheWaitEndsTheRead)
{
    efi.setAllowEvents(true);
    efi.setProcessEvents([&] { efi.Close(); });
    fake.feedReceived({'A'});
    EXPECT_EQ(efi.GetResponse(), Bytes{'A'});
    EXPECT_FALSE(efi.TimedOut());
    EXPECT_TRUE(boxes.empty());
}

} // namespace
