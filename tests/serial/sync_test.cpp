#include "serial/sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using kelso::IConditionVariable;
using kelso::IMutex;
using kelso::ScopedLock;

long long msSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Upper bounds are loose: the CI machine has two cores and may be busy. A wait that must return at once
// is given a long time, and checked against half of it.
constexpr long long kSlack = 400;

TEST(IMutex, IsRecursiveAndFreeOnlyAfterEveryUnlock) {
    IMutex mutex;
    std::atomic<bool> otherGotIt{false};
    mutex.lock();
    mutex.lock();  // would deadlock if not recursive
    std::thread other([&] {
        ScopedLock hold(&mutex);
        otherGotIt = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    mutex.unlock();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(otherGotIt) << "one unlock of two released the lock";
    mutex.unlock();
    other.join();
    EXPECT_TRUE(otherGotIt);
}

// A zero time-out and a true predicate return at once; a notification made while nobody waits is kept
// for the next wait (the true predicate consumes nothing), and several count as one.
TEST(IConditionVariable, KeepsANotificationMadeWhileNobodyWaitsAndCountsSeveralAsOne) {
    IMutex mutex;
    ScopedLock hold(&mutex);
    IConditionVariable signal;
    auto start = Clock::now();
    EXPECT_TRUE(signal.waitFor(mutex, 0));
    signal.notifyOne();
    signal.notifyAll();
    EXPECT_FALSE(signal.waitFor(mutex, 4000, true));
    EXPECT_FALSE(signal.waitFor(mutex, 4000));
    EXPECT_LT(msSince(start), 2000) << "waited out its time although it should not";
    start = Clock::now();
    EXPECT_TRUE(signal.waitFor(mutex, 50));
    EXPECT_GE(msSince(start), 45);
}

TEST(IConditionVariable, PredicateWaitRestartsItsPeriodOnEveryNotification) {
    IMutex mutex;
    IConditionVariable signal;
    std::thread notifier([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        signal.notifyOne();
    });
    ScopedLock hold(&mutex);
    const auto start = Clock::now();
    EXPECT_TRUE(signal.waitFor(mutex, 100, false));
    const long long elapsed = msSince(start);
    notifier.join();
    EXPECT_GE(elapsed, 155);
    EXPECT_LT(elapsed, 160 + kSlack);
}

TEST(IConditionVariable, OneNotificationWakesOneWaiterEvenThroughNotifyAll) {
    IMutex mutex;
    IConditionVariable signal;
    std::atomic<int> woken{0};
    auto waiter = [&] {
        ScopedLock hold(&mutex);
        if (!signal.waitFor(mutex, 600)) {
            ++woken;
        }
    };
    std::thread a(waiter), b(waiter);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    signal.notifyAll();
    a.join();
    b.join();
    EXPECT_EQ(woken, 1);
}

TEST(IConditionVariable, WaitReleasesTheCallersLockAndTakesItBack) {
    IMutex mutex;
    IConditionVariable signal;
    std::atomic<bool> otherHadTheLock{false};
    ScopedLock hold(&mutex);
    std::thread other([&] {
        ScopedLock inner(&mutex);
        otherHadTheLock = true;
        signal.notifyOne();
    });
    signal.wait(mutex);
    EXPECT_TRUE(otherHadTheLock);
    other.join();
}

}  // namespace
