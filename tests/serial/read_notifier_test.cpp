#include "serial/read_notifier.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include "tests/serial/recording_listener.h"

namespace {

using namespace std::chrono;
using Clock = steady_clock;

// Posts made one after the other are one burst however busy the machine, against a delay this long.
constexpr unsigned int kLongDelay = 1000;

TEST(ReadNotifier, MergesABurstIntoOneCallWithTheLatestValuesAndTheNextBurstIntoAnother) {
    RecordingListener listener;
    ReadNotifier notifier;
    const auto start = Clock::now();
    notifier.post(&listener, kLongDelay, "COM3", 5);
    notifier.post(&listener, kLongDelay, "COM3", 8);
    notifier.post(&listener, kLongDelay, std::string(300, 'n').c_str(), 11);
    ASSERT_TRUE(listener.waitForCalls(1));
    EXPECT_GE(Clock::now() - start, milliseconds(kLongDelay));
    notifier.post(&listener, 10, "COM4", 12);
    ASSERT_TRUE(listener.waitForCalls(2));
    const auto calls = listener.calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].portName, std::string(255, 'n')) << "a long name is cut to 255 characters";
    EXPECT_EQ(calls[0].byteCount, 11u);
    EXPECT_NE(calls[0].thread, std::this_thread::get_id());
    EXPECT_EQ(calls[1].portName, "COM4");
    EXPECT_EQ(calls[1].byteCount, 12u);
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

// Neither cancel nor destruction waits out a pending delay, and nothing is delivered afterwards; after a
// cancel the next post is delivered again.
TEST(ReadNotifier, CancelAndDestructionDropWhatIsPendingAtOnce) {
    RecordingListener listener;
    auto notifier = std::make_unique<ReadNotifier>();
    notifier->restart();  // nothing pending: nothing happens
    const auto start = Clock::now();
    notifier->post(&listener, 5000, "COM1", 1);
    notifier->cancel();
    notifier->post(&listener, 10, "COM1", 2);
    ASSERT_TRUE(listener.waitForCalls(1));
    notifier->post(&listener, 5000, "COM1", 3);
    notifier.reset();
    EXPECT_LT(Clock::now() - start, milliseconds(4000));
    const auto calls = listener.calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].byteCount, 2u);
}

}  // namespace
