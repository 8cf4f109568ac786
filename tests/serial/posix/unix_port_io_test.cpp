#include "thread_probe.h"
#include "unix_port_fixture.h"

using namespace std::chrono_literals;

namespace {

TEST_F(UnixPortTest, IdlePortWaitsWithoutWakingUp) {
    const auto before = threadIds();
    ASSERT_TRUE(openPort());
    const pid_t receiver = newThread(before);
    ASSERT_NE(receiver, 0);
    std::this_thread::sleep_for(50ms);
    const long long switches = threadVoluntarySwitches(receiver);
    std::this_thread::sleep_for(1s);
    EXPECT_EQ(threadVoluntarySwitches(receiver), switches) << "the receive thread woke up on a quiet line";
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
    EXPECT_TRUE(port.flush()) << "the output drains";
    reader.join();
    EXPECT_TRUE(got == big) << "received " << got.size() << " bytes";
    EXPECT_TRUE(port.purgeOutput());
    ASSERT_EQ(port.write("after", 5), 5);
    EXPECT_EQ(pty.receive(5), "after");
    EXPECT_EQ(port.lastStatus(), SerialStatus::Success);
}

TEST_F(UnixPortTest, PurgeInputDiscardsWhatTheDeviceHoldsButNotTheRingBuffer) {
    ASSERT_TRUE(openPort());
    pty.send("kept");
    ASSERT_TRUE(waitForAvailable(4));
    port.close();  // what the ring buffer holds outlives the close

    port.setReadThreshold(100);  // the receive thread leaves what follows in the device
    ASSERT_TRUE(port.open());
    pty.send("dropped");
    ASSERT_TRUE(contract::waitUntil([&] { return queuedOnTheLine() == 7; }));
    EXPECT_TRUE(port.purgeInput());
    EXPECT_EQ(queuedOnTheLine(), 0);
    port.setReadThreshold(1);
    pty.send("!");
    ASSERT_TRUE(waitForAvailable(5));
    EXPECT_EQ(readAll(), "kept!");
}

}  // namespace
