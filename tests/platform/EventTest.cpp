#include "app/platform/Event.h"
#include "app/platform/MessageQueue.h"
#include "app/platform/TickCount.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

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

namespace {
// Overwrites the stack the caller's frames just left, as any later work of the thread would.
__attribute__((noinline)) void ReuseStack()
{
    volatile char scratch[16384];
    for (size_t i = 0; i < sizeof scratch; ++i) {
        scratch[i] = 0;
    }
}
}  // namespace

TEST(MessageQueue, ClosingWithSendersWaitingNeverTouchesTheirMessagesOnceReleased)
{
    MessageQueue queue([](Message&) -> intptr_t { return 7; });
    // Many posted messages ahead of the sends keep the close busy after it releases the senders.
    for (int i = 0; i < 20000; ++i) {
        queue.PostMessage(MakeMessage(1, std::string(64, 'p')));
    }
    constexpr int kSenders = 8;
    std::atomic<int> returned{0};
    std::atomic<bool> closed{false};
    std::vector<std::thread> senders;
    for (int i = 0; i < kSenders; ++i) {
        senders.emplace_back([&] {
            EXPECT_EQ(queue.SendMessage(MakeMessage(5)), 0);
            ReuseStack();
            ++returned;
            while (!closed.load()) {
                SleepMs(1);
            }
        });
    }
    SleepMs(100);
    queue.Close();
    closed = true;
    for (std::thread& t : senders) {
        t.join();
    }
    EXPECT_EQ(returned.load(), kSenders);
}
