#include <atomic>
#include <vector>

#include "thread_probe.h"
#include "unix_port_fixture.h"

using namespace std::chrono_literals;

namespace {

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

}  // namespace
