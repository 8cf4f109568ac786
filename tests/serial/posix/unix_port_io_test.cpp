#include <atomic>
#include <vector>

#include "thread_probe.h"
#include "unix_port_fixture.h"

using namespace std::chrono_literals;

namespace {

TEST_F(UnixPortTest, EveryByteValuePassesUntouchedBothWays) {
    ASSERT_TRUE(openPort());
    const std::string bytes = allByteValues();

    ASSERT_EQ(port.write(bytes.data(), static_cast<std::int32_t>(bytes.size())), 256);
    EXPECT_EQ(pty.receive(256), bytes);  // no CR/LF translation, no stripped bit
    EXPECT_EQ(pty.drain(50ms), "");

    pty.send(bytes);  // CR, LF, XON, XOFF, NUL, 0xFF and the rest
    ASSERT_TRUE(waitForAvailable(256));
    EXPECT_EQ(readAll(), bytes);
    EXPECT_EQ(pty.drain(100ms), "") << "the port echoed what it received";
}

TEST_F(UnixPortTest, ListenerHearsTheWholeFillAfterEachChunk) {
    ASSERT_TRUE(openPort());
    pty.send("abcde");
    ASSERT_TRUE(listener.waitForCalls(1));
    pty.send("fgh");
    ASSERT_TRUE(listener.waitForCalls(2));

    const auto calls = listener.calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].byteCount, 5u);
    EXPECT_EQ(calls[1].byteCount, 8u);
    for (const auto& call : calls) {
        EXPECT_EQ(call.portName, pty.slavePath());
        EXPECT_NE(call.thread, std::this_thread::get_id());
    }
    EXPECT_EQ(readAll(), "abcdefgh");
}

TEST_F(UnixPortTest, ThresholdLeavesBytesQueuedUntilEnoughHaveCome) {
    port.setReadThreshold(4);
    ASSERT_TRUE(openPort());
    pty.send("123");
    EXPECT_FALSE(listener.waitForCalls(1, 200ms));
    EXPECT_EQ(port.bytesAvailable(), 0);

    pty.send("45");
    ASSERT_TRUE(listener.waitForCalls(1));
    EXPECT_EQ(listener.calls()[0].byteCount, 5u);
    EXPECT_EQ(readAll(), "12345");
}

TEST_F(UnixPortTest, NewThresholdAppliesToTheNextBatch) {
    port.setReadThreshold(10);
    ASSERT_TRUE(openPort());
    pty.send("12345");
    EXPECT_FALSE(listener.waitForCalls(1, 100ms));
    port.setReadThreshold(1);
    pty.send("6");
    ASSERT_TRUE(listener.waitForCalls(1));
    ASSERT_TRUE(waitForAvailable(6));
    EXPECT_EQ(readAll(), "123456");
}

// The terminal counts characters for the receive thread only up to 64; above that the thread counts
// for itself. Neither may spin while too few bytes wait, nor split or lose a batch.
TEST_F(UnixPortTest, LargeThresholdsNeitherSpinNorLoseBytes) {
    for (const unsigned int threshold : {100u, 300u}) {
        SCOPED_TRACE(threshold);
        CSerialPortUnixBase large;
        RecordingListener heard;
        large.setReadNotifyDelay(0);
        large.setReadThreshold(threshold);
        large.setListener(&heard);
        large.setPortName(pty.slavePath().c_str());
        const auto before = threadIds();
        ASSERT_TRUE(large.open());
        const pid_t receiver = newThread(before);
        ASSERT_NE(receiver, 0);

        const std::string first(threshold - 20, 'x');
        pty.send(first);
        std::this_thread::sleep_for(50ms);
        const long long cpuBefore = threadCpuNanoseconds(receiver);
        std::this_thread::sleep_for(500ms);
        EXPECT_LT(threadCpuNanoseconds(receiver) - cpuBefore, 50'000'000)
            << "spins while below the threshold";
        EXPECT_EQ(heard.calls().size(), 0u);

        const std::string second(30, 'y');
        pty.send(second);
        ASSERT_TRUE(heard.waitForCalls(1));
        EXPECT_EQ(heard.calls()[0].byteCount, threshold + 10);
        std::string got(threshold + 10, '\0');
        EXPECT_EQ(large.read(got.data(), static_cast<std::int32_t>(got.size())),
                  static_cast<std::int32_t>(threshold + 10));
        EXPECT_EQ(got, first + second);
    }
}

TEST_F(UnixPortTest, FullRingBufferKeepsTheNewestBytes) {
    ASSERT_TRUE(openPort(16));
    std::string sent;
    for (int i = 0; i < 40; ++i) {
        sent.push_back(static_cast<char>('A' + i));
    }
    pty.send(sent);
    const auto end = std::chrono::steady_clock::now() + 3s;
    while (std::chrono::steady_clock::now() < end &&
           (listener.calls().empty() || listener.calls().back().byteCount != 16u ||
            port.bytesAvailable() != 16)) {
        std::this_thread::sleep_for(1ms);
    }
    ASSERT_FALSE(listener.calls().empty());
    EXPECT_EQ(listener.calls().back().byteCount, 16u);
    EXPECT_EQ(readAll(), sent.substr(24));
}

TEST_F(UnixPortTest, BytesReachTheBufferWithoutAListener) {
    port.init(pty.slavePath().c_str(), 115200, Parity::None, 8, StopBits::One, FlowControl::None, 4096);
    ASSERT_TRUE(port.open());
    pty.send("quiet");
    ASSERT_TRUE(waitForAvailable(5));
    EXPECT_EQ(readAll(), "quiet");
}

// A listener that takes the bytes from inside its call: the port's lock must be free by then.
class ReadingListener : public kelso::CSerialPortListener {
public:
    explicit ReadingListener(CSerialPortBase& port) : port_(port) {}
    void onDataReceived(const char*, unsigned int byteCount) override {
        std::string chunk(byteCount, '\0');
        const std::int32_t got = port_.read(chunk.data(), static_cast<std::int32_t>(byteCount));
        std::lock_guard<std::mutex> hold(mutex_);
        taken_.append(chunk.data(), got > 0 ? static_cast<std::size_t>(got) : 0);
    }
    std::string taken() {
        std::lock_guard<std::mutex> hold(mutex_);
        return taken_;
    }

private:
    CSerialPortBase& port_;
    std::mutex mutex_;
    std::string taken_;
};

TEST_F(UnixPortTest, ListenerMayReadThePortFromItsCall) {
    ReadingListener reader(port);
    ASSERT_TRUE(openPort());
    port.setListener(&reader);
    pty.send("one");
    pty.send("two");
    const auto end = std::chrono::steady_clock::now() + 3s;
    while (reader.taken().size() < 6 && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_EQ(reader.taken(), "onetwo");
    EXPECT_EQ(port.bytesAvailable(), 0);
    port.close();
}

TEST_F(UnixPortTest, DelayedNotificationGivesOneCallForABurst) {
    ASSERT_TRUE(openPort());
    port.setReadNotifyDelay(80);
    pty.send("a");
    std::this_thread::sleep_for(10ms);
    pty.send("bc");
    std::this_thread::sleep_for(10ms);
    pty.send("def");
    ASSERT_TRUE(listener.waitForCalls(1));
    EXPECT_FALSE(listener.waitForCalls(2, 200ms));
    EXPECT_EQ(listener.calls()[0].byteCount, 6u);
    EXPECT_EQ(listener.calls()[0].portName, pty.slavePath());
}

TEST_F(UnixPortTest, LargeWriteArrivesWholeThroughAFullOutputBuffer) {
    ASSERT_TRUE(openPort());
    std::string big(1 << 20, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) {
        big[i] = static_cast<char>((i * 7919) >> 3);
    }
    std::string got;
    std::thread reader([&] {
        std::this_thread::sleep_for(100ms);  // let the buffers fill first
        got = pty.receive(big.size(), 20s);
    });
    EXPECT_EQ(port.write(big.data(), static_cast<std::int32_t>(big.size())),
              static_cast<std::int32_t>(big.size()));
    reader.join();
    EXPECT_TRUE(got == big) << "received " << got.size() << " bytes";
}

TEST_F(UnixPortTest, WriteGivesUpWhenTheDeviceTakesNothing) {
    ASSERT_TRUE(openPort());  // 115200 baud: gives up after about 1.9 s without progress
    const std::string big(1 << 20, 'z');
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(port.write(big.data(), static_cast<std::int32_t>(big.size())), -1);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(port.lastStatus(), SerialStatus::WriteFailed);
    EXPECT_GT(took, 1s);
    EXPECT_LT(took, 5s);
}

TEST_F(UnixPortTest, PurgeInputDiscardsWhatTheDeviceHoldsButNotTheRingBuffer) {
    ASSERT_TRUE(openPort());
    pty.send("kept");
    ASSERT_TRUE(waitForAvailable(4));
    port.setReadThreshold(100);
    std::this_thread::sleep_for(20ms);
    pty.send("dropped");
    std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(port.purgeInput());
    port.setReadThreshold(1);
    pty.send("!");
    ASSERT_TRUE(waitForAvailable(5));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(readAll(), "kept!");
}

TEST_F(UnixPortTest, FlushAndPurgeOutputWorkOnlyOnAnOpenPort) {
    EXPECT_FALSE(port.flush());
    EXPECT_FALSE(port.purgeInput());
    EXPECT_FALSE(port.purgeOutput());
    ASSERT_TRUE(openPort());
    ASSERT_EQ(port.write("drain", 5), 5);
    EXPECT_TRUE(port.flush());
    EXPECT_EQ(pty.receive(5), "drain");

    EXPECT_TRUE(port.purgeOutput());
    ASSERT_EQ(port.write("after", 5), 5);
    EXPECT_EQ(pty.receive(5), "after");
    EXPECT_EQ(port.lastStatus(), SerialStatus::Success);
}

TEST_F(UnixPortTest, SynchronousModeReadsTheDeviceAndRunsNoThread) {
    const auto before = threadIds();
    ASSERT_TRUE(openPort(4096, IoMode::Synchronous));
    EXPECT_EQ(threadIds(), before);

    char buffer[16];
    EXPECT_EQ(port.read(buffer, sizeof buffer), 0);  // nothing there: at once, no failure
    pty.send("sync");
    const auto end = std::chrono::steady_clock::now() + 3s;
    while (port.bytesAvailable() < 4 && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_EQ(port.bytesAvailable(), 4);
    EXPECT_EQ(port.read(buffer, 2), 2);
    EXPECT_EQ(std::string(buffer, 2), "sy");
    EXPECT_TRUE(port.purgeInput());
    EXPECT_EQ(port.bytesAvailable(), 0);
    EXPECT_EQ(port.read(buffer, sizeof buffer), 0);
    EXPECT_EQ(listener.calls().size(), 0u);
    EXPECT_EQ(port.lastStatus(), SerialStatus::Success);
}

}  // namespace
