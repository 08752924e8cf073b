// Held events and their repetition, and the counting semaphore.

#include "StandinLink.h"

#include "sim_link/CountingSemaphore.h"
#include "sim_link/SimEventHoldQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

class HoldQueueTest : public ::testing::Test {
protected:
    void SetUp() override {
        log = InstallRecordingLogger();
        ASSERT_TRUE(link.Ready());
        handle = link.Connect();
        ASSERT_NE(handle, nullptr);
        registry.SetHandle(handle);
    }
    void TearDown() override {
        registry.SetHandle(nullptr);
        gLogger.reset();
    }
    // The "dwData Flags" pairs transmitted so far.
    std::vector<std::string> Sent() {
        EXPECT_TRUE(link.Sync(handle));
        std::vector<std::string> sent;
        for (const auto& request : link.Requests("TransmitClientEvent")) {
            const std::string& fields = request.fields;
            auto data = fields.find("EventID=");
            auto end = fields.find(" GroupID=");
            auto flags = fields.find("Flags=");
            sent.push_back(fields.substr(data, end - data) + " " +
                           fields.substr(flags, fields.find(' ', flags) - flags));
        }
        return sent;
    }

    std::shared_ptr<RecordingTarget> log;
    StandinLink link;
    HANDLE handle = nullptr;
    ClientEventRegistry registry;
    SimEventHoldQueue queue;
};

using Lines = std::vector<std::string>;

} // namespace

TEST_F(HoldQueueTest, HoldRepeatsFromTheTickAfterTheNext) {
    auto event = registry.GetSimEvent("BKF.TEST.HELD");
    queue.Hold(event, 7);
    EXPECT_EQ(Sent(), (Lines{"EventID=2 dwData=7 Flags=16"}));
    queue.Tick();
    EXPECT_EQ(Sent().size(), 1u) << "the first tick only moves the entry to the held list";
    queue.Tick();
    queue.Hold(event, 7);
    queue.Tick();
    EXPECT_EQ(Sent(), (Lines{"EventID=2 dwData=7 Flags=16", "EventID=2 dwData=7 Flags=18",
                             "EventID=2 dwData=7 Flags=18"}));
    EXPECT_TRUE(HasLogLine(*log, "Asked to hold event 2 which was already held"));

    // A second data value is an entry of its own; the release ends both and sends nothing.
    queue.Hold(event, 9);
    queue.Hold(event, 9);
    EXPECT_TRUE(HasLogLine(*log, "Asked to hold event 2 which was already queued for hold"));
    queue.Tick();
    queue.Tick();
    queue.Release(event);
    queue.Tick();
    EXPECT_EQ(Sent(), (Lines{"EventID=2 dwData=7 Flags=16", "EventID=2 dwData=7 Flags=18",
                             "EventID=2 dwData=7 Flags=18", "EventID=2 dwData=9 Flags=16",
                             "EventID=2 dwData=7 Flags=18", "EventID=2 dwData=7 Flags=18",
                             "EventID=2 dwData=9 Flags=18"}));
    EXPECT_TRUE(queue.Held().empty());
    EXPECT_TRUE(queue.Queued().empty());
    EXPECT_FALSE(HasLogLine(*log, "Release of event 2 did not release any events"));
    queue.Release(event);
    EXPECT_TRUE(HasLogLine(*log, "Release of event 2 did not release any events"));
}

TEST_F(HoldQueueTest, ReleaseBeforeAnyTickAndOtherEventsUntouched) {
    auto first = registry.GetSimEvent("BKF.TEST.ONE");
    auto second = registry.GetSimEvent("BKF.TEST.TWO");
    queue.Hold(first, 1);
    queue.Hold(second, 1);
    queue.Release(first);
    queue.Tick();
    queue.Tick();
    EXPECT_EQ(Sent(), (Lines{"EventID=2 dwData=1 Flags=16", "EventID=3 dwData=1 Flags=16",
                             "EventID=3 dwData=1 Flags=18"}));
}

TEST(HoldQueueOffline, ListsWorkWithoutAConnection) {
    auto log = InstallRecordingLogger();
    ClientEventRegistry registry;
    SimEventHoldQueue queue;
    auto event = registry.GetSimEvent("BKF.TEST.X");
    queue.Hold(event, 1);
    EXPECT_EQ(queue.Queued().size(), 1u);
    queue.Tick();
    EXPECT_EQ(queue.Held().size(), 1u);
    EXPECT_TRUE(queue.Queued().empty());
    event.reset();
    EXPECT_EQ(queue.Held().front().event->Id(), 2u) << "the queue keeps a held event alive";
    gLogger.reset();
}

TEST(CountingSemaphoreTest, WaitersAcrossThreads) {
    CountingSemaphore semaphore(0);
    EXPECT_FALSE(semaphore.TryAcquire()) << "a count of 0 does not wait";

    std::atomic<bool> acquired{false};
    std::thread waiter([&] {
        semaphore.Acquire();
        acquired = true;
    });
    Sleep(50);
    EXPECT_FALSE(acquired);
    semaphore.Release();
    waiter.join();
    EXPECT_TRUE(acquired);
    EXPECT_EQ(semaphore.Count(), 0);

    semaphore.Debit();
    semaphore.Debit();
    std::atomic<bool> positive{false};
    std::thread watcher([&] {
        semaphore.WaitPositive();
        positive = true;
    });
    semaphore.Release(); // -2 -> -1: nobody wakes
    Sleep(50);
    EXPECT_FALSE(positive);
    semaphore.Release();
    semaphore.Release();
    watcher.join();
    EXPECT_TRUE(positive);
    EXPECT_EQ(semaphore.Count(), 1) << "waiting for a positive count takes nothing";

    std::atomic<bool> zero{false};
    std::thread zeroWatcher([&] {
        semaphore.WaitZero();
        zero = true;
    });
    Sleep(50);
    EXPECT_FALSE(zero);
    EXPECT_TRUE(semaphore.TryAcquire()) << "taking the last unit wakes a zero waiter";
    zeroWatcher.join();
    EXPECT_TRUE(zero);
}

TEST(CountingSemaphoreTest, GuardModes) {
    CountingSemaphore semaphore(2);
    {
        CountingSemaphoreGuard both(semaphore, 0);
        EXPECT_EQ(semaphore.Count(), 1);
        CountingSemaphoreGuard acquireOnly(semaphore, 1);
        EXPECT_EQ(semaphore.Count(), 0);
        CountingSemaphoreGuard moved(std::move(both));
        EXPECT_EQ(semaphore.Count(), 0);
    }
    EXPECT_EQ(semaphore.Count(), 1) << "only the mode-0 guard gives back, once";
    {
        CountingSemaphoreGuard releaseOnly(semaphore, 2);
        EXPECT_EQ(semaphore.Count(), 1);
        CountingSemaphoreGuard other(semaphore, 0);
        EXPECT_EQ(semaphore.Count(), 0);
        releaseOnly = std::move(other); // gives back for the mode-2 guard first
        EXPECT_EQ(semaphore.Count(), 1);
    }
    EXPECT_EQ(semaphore.Count(), 2);
}
