#include "app/platform/Event.h"
#include "app/platform/MessageQueue.h"
#include "app/platform/TickCount.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

using namespace platform;

TEST(Event, AutoResetEventIsConsumedByOneWait)
{
    Event e(false, true);
    EXPECT_TRUE(e.Wait(0));
    EXPECT_FALSE(e.Wait(0));
}

TEST(Event, ManualResetEventStaysSetUntilReset)
{
    Event e(true, false);
    e.Set();
    EXPECT_TRUE(e.Wait(0));
    EXPECT_TRUE(e.Wait(0));
    e.Reset();
    EXPECT_FALSE(e.Wait(0));
}

TEST(Event, WaitAnyReturnsLowestSetIndexAndTimesOut)
{
    Event a, b, c;
    b.Set();
    c.Set();
    EXPECT_EQ(WaitAny({&a, &b, &c}, 0), 1);
    EXPECT_EQ(WaitAny({&a, &b, &c}, 0), 2);
    uint32_t start = TickCount();
    EXPECT_EQ(WaitAny({&a, &b, &c}, 50), WAIT_TIMED_OUT);
    EXPECT_GE(TicksSince(start), 45u);
}

TEST(Event, WaitAnyWakesWhenAnotherThreadSets)
{
    Event a, b;
    std::thread t([&] {
        SleepMs(20);
        b.Set();
    });
    EXPECT_EQ(WaitAny({&a, &b}, INFINITE_WAIT), 1);
    t.join();
}

TEST(TickCount, IntervalsSurviveTheWrap)
{
    EXPECT_EQ(TicksSince(0xFFFFFFF0u, 0x10u), 0x20u);
}

TEST(MessageQueue, PostedPayloadIsHandedOverAndSendWaitsForTheResult)
{
    std::string received;
    MessageQueue queue([&](Message& m) -> intptr_t {
        if (auto* s = m.PayloadAs<std::string>()) {
            received = *s;
        }
        return static_cast<intptr_t>(m.id) + 1;
    });
    Event stop(true, false);
    std::atomic<intptr_t> sendResult{0};
    std::thread sender([&] {
        queue.PostMessage(MakeMessage(1233, std::string("picture")));
        sendResult = queue.SendMessage(MakeMessage(1242));
        stop.Set();
    });
    EXPECT_TRUE(queue.WaitWithMessageLoop(stop, 5000));
    sender.join();
    EXPECT_EQ(received, "picture");
    EXPECT_EQ(sendResult.load(), 1243);
}

TEST(MessageQueue, ClosedQueueRefusesAndReleasesSenders)
{
    MessageQueue queue([](Message&) -> intptr_t { return 7; });
    std::atomic<intptr_t> result{-1};
    std::thread sender([&] { result = queue.SendMessage(MakeMessage(5)); });
    SleepMs(20);
    queue.Close();
    sender.join();
    EXPECT_EQ(result.load(), 0);
    EXPECT_FALSE(queue.PostMessage(MakeMessage(1, std::string("dropped"))));
}
