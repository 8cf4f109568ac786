#include "serial/read_notifier.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include "tests/serial/recording_listener.h"

namespace {

using namespace std::chrono;
using Clock = steady_clock;

long long msBetween(Clock::time_point a, Clock::time_point b) {
    return duration_cast<milliseconds>(b - a).count();
}

TEST(ReadNotifier, MergesABurstIntoOneCallWithTheLatestValues) {
    RecordingListener listener;
    ReadNotifier notifier;
    const auto start = Clock::now();
    notifier.post(&listener, 50, "COM3", 5);
    std::this_thread::sleep_for(milliseconds(20));
    notifier.post(&listener, 50, "COM3", 8);
    std::this_thread::sleep_for(milliseconds(20));
    notifier.post(&listener, 50, "COM4", 11);
    ASSERT_TRUE(listener.waitForCalls(1));
    std::this_thread::sleep_for(milliseconds(150));
    const auto calls = listener.calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].portName, "COM4");
    EXPECT_EQ(calls[0].byteCount, 11u);
    EXPECT_GE(msBetween(start, calls[0].at), 85);  // 50 ms after the third post at about 40 ms
    EXPECT_NE(calls[0].thread, std::this_thread::get_id());
}

TEST(ReadNotifier, TwoBurstsGiveTwoCalls) {
    RecordingListener listener;
    ReadNotifier notifier;
    const auto start = Clock::now();
    notifier.post(&listener, 50, "COM1", 1);
    ASSERT_TRUE(listener.waitForCalls(1));
    std::this_thread::sleep_until(start + milliseconds(100));
    notifier.post(&listener, 50, "COM1", 2);
    ASSERT_TRUE(listener.waitForCalls(2));
    const auto calls = listener.calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].byteCount, 1u);
    EXPECT_EQ(calls[1].byteCount, 2u);
    EXPECT_GE(msBetween(start, calls[0].at), 45);
    EXPECT_GE(msBetween(start, calls[1].at), 145);
}

TEST(ReadNotifier, CutsALongPortNameTo255Characters) {
    RecordingListener listener;
    ReadNotifier notifier;
    notifier.post(&listener, 1, std::string(300, 'n').c_str(), 3);
    ASSERT_TRUE(listener.waitForCalls(1));
    EXPECT_EQ(listener.calls()[0].portName, std::string(255, 'n'));
}

// Blocks in its first call until released, to post while the listener is busy.
class SlowListener : public RecordingListener {
public:
    std::atomic<bool> release{false};
    void onDataReceived(const char* portName, unsigned int byteCount) override {
        RecordingListener::onDataReceived(portName, byteCount);
        while (!release) {
            std::this_thread::sleep_for(milliseconds(1));
        }
    }
};

TEST(ReadNotifier, AChunkArrivingWhileTheListenerRunsIsStillDelivered) {
    SlowListener listener;
    ReadNotifier notifier;
    notifier.post(&listener, 10, "COM1", 1);
    ASSERT_TRUE(listener.waitForCalls(1));
    notifier.post(&listener, 10, "COM1", 2);  // the thread is inside the listener now
    listener.release = true;
    ASSERT_TRUE(listener.waitForCalls(2)) << "the second chunk was never reported";
    EXPECT_EQ(listener.calls()[1].byteCount, 2u);
}

TEST(ReadNotifier, DestructionWithANotificationPendingReturnsAtOnceAndNothingRunsAfter) {
    RecordingListener listener;
    auto notifier = std::make_unique<ReadNotifier>();
    notifier->post(&listener, 5000, "COM1", 1);
    const auto start = Clock::now();
    notifier.reset();
    EXPECT_LT(msBetween(start, Clock::now()), 1000);
    std::this_thread::sleep_for(milliseconds(50));
    EXPECT_TRUE(listener.calls().empty());
}

TEST(ReadNotifier, CancelDropsWhatIsPendingAndTheNextPostIsDeliveredAgain) {
    RecordingListener listener;
    ReadNotifier notifier;
    notifier.restart();  // nothing pending: nothing happens
    notifier.post(&listener, 30, "COM1", 1);
    notifier.cancel();
    std::this_thread::sleep_for(milliseconds(100));
    EXPECT_TRUE(listener.calls().empty());
    notifier.post(&listener, 10, "COM1", 2);
    ASSERT_TRUE(listener.waitForCalls(1));
    EXPECT_EQ(listener.calls()[0].byteCount, 2u);
}

}  // namespace
