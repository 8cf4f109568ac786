#include <atomic>
#include <memory>

#include "thread_probe.h"
#include "unix_port_fixture.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

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

TEST_F(UnixPortTest, CloseEndsTheWaitingReceiveThreadAtOnce) {
    const auto before = threadIds();
    ASSERT_TRUE(openPort());
    EXPECT_NE(newThread(before), 0);
    const auto start = Clock::now();
    port.close();
    EXPECT_LT(Clock::now() - start, 200ms);
    EXPECT_EQ(threadIds(), before);
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(listener.calls().size(), 0u);
}

TEST_F(UnixPortTest, HangUpEndsTheReceiveThreadWithoutSpinning) {
    const auto before = threadIds();
    ASSERT_TRUE(openPort());
    const pid_t receiver = newThread(before);
    ASSERT_NE(receiver, 0);
    std::this_thread::sleep_for(20ms);

    pty.closeMaster();  // the other side goes away while the thread waits
    std::this_thread::sleep_for(100ms);
    const long long cpuBefore = threadCpuNanoseconds(receiver);
    std::this_thread::sleep_for(1s);
    const long long cpuAfter = threadCpuNanoseconds(receiver);
    if (cpuBefore >= 0 && cpuAfter >= 0) {  // -1: the thread has ended, which spends nothing either
        EXPECT_LT(cpuAfter - cpuBefore, 50'000'000);
    }
    EXPECT_EQ(port.lastStatus(), SerialStatus::ReadFailed);

    EXPECT_EQ(port.write("lost", 4), -1);
    EXPECT_EQ(port.lastStatus(), SerialStatus::WriteFailed);

    const auto start = Clock::now();
    port.close();
    EXPECT_LT(Clock::now() - start, 200ms);
    EXPECT_EQ(threadIds(), before);
}

TEST_F(UnixPortTest, ReopeningKeepsWhatWasWrittenBeforeTheClose) {
    // The peer has not read yet when the port is opened again: opening must not take those bytes back.
    ASSERT_TRUE(openPort());
    for (int round = 0; round < 50; ++round) {
        ASSERT_EQ(port.write("abc", 3), 3);
        port.close();
        ASSERT_TRUE(port.open());
    }
    EXPECT_EQ(pty.receive(150), [] {
        std::string all;
        for (int round = 0; round < 50; ++round) {
            all += "abc";
        }
        return all;
    }());
}

TEST(UnixPortLifecycle, PortOpensAgainWhenTheDeviceIsBack) {
    PrivatePortDir ports;
    auto first = std::make_unique<PtyPair>();
    ports.publish("dimmer", first->slavePath());
    RecordingListener listener;
    CSerialPortUnixBase port;
    port.setReadNotifyDelay(0);
    port.setListener(&listener);
    port.setPortName("dimmer");
    ASSERT_TRUE(port.open());

    first.reset();  // unplugged: both sides gone
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(port.write("x", 1), -1);
    port.close();

    PtyPair second;  // plugged in again, under the same name
    ports.unpublish("dimmer");
    ports.publish("dimmer", second.slavePath());
    ASSERT_TRUE(port.open());
    EXPECT_EQ(port.write("back", 4), 4);
    EXPECT_EQ(second.receive(4), "back");
    second.send("ok");
    ASSERT_TRUE(listener.waitForCalls(1));
    EXPECT_EQ(listener.calls()[0].byteCount, 2u);
}

// Closes the port from inside its call; optionally opens it again right there.
class ClosingListener : public RecordingListener {
public:
    ClosingListener(CSerialPortBase& port, bool reopen) : port_(port), reopen_(reopen) {}
    void onDataReceived(const char* portName, unsigned int byteCount) override {
        if (calls().empty()) {
            port_.close();
            if (reopen_) {
                reopened_ = port_.open();
            }
        }
        RecordingListener::onDataReceived(portName, byteCount);
    }
    std::atomic<bool> reopened_{false};

private:
    CSerialPortBase& port_;
    bool reopen_;
};

TEST(UnixPortLifecycle, ListenerMayCloseThePort) {
    PtyPair pty;
    const auto before = threadIds();
    {
        CSerialPortUnixBase port;
        ClosingListener closer(port, false);
        port.setReadNotifyDelay(0);
        port.setListener(&closer);
        port.setPortName(pty.slavePath().c_str());
        ASSERT_TRUE(port.open());
        pty.send("bye");
        ASSERT_TRUE(closer.waitForCalls(1));
        EXPECT_FALSE(port.isOpen());
        EXPECT_EQ(port.write("x", 1), -1);
        EXPECT_EQ(port.lastStatus(), SerialStatus::NotOpen);
        // The next open joins the thread that closed its own port.
        ASSERT_TRUE(port.open());
        port.close();
        EXPECT_EQ(threadIds(), before);
    }
}

TEST(UnixPortLifecycle, ListenerMayCloseAndReopenThePort) {
    PtyPair pty;
    const auto before = threadIds();
    {
        CSerialPortUnixBase port;
        ClosingListener cycler(port, true);
        port.setReadNotifyDelay(0);
        port.setListener(&cycler);
        port.setPortName(pty.slavePath().c_str());
        ASSERT_TRUE(port.open());
        pty.send("1");
        ASSERT_TRUE(cycler.waitForCalls(1));
        EXPECT_TRUE(cycler.reopened_);
        EXPECT_TRUE(port.isOpen());
        pty.send("2");
        ASSERT_TRUE(cycler.waitForCalls(2));  // heard by the new receive thread
        EXPECT_EQ(cycler.calls()[1].byteCount, 2u);
    }
    EXPECT_EQ(threadIds(), before);
}

// Stays inside its call for a while, so that the port goes while it runs.
class SlowListener : public RecordingListener {
public:
    void onDataReceived(const char* portName, unsigned int byteCount) override {
        entered = true;
        std::this_thread::sleep_for(200ms);
        RecordingListener::onDataReceived(portName, byteCount);
    }
    std::atomic<bool> entered{false};
};

TEST(UnixPortLifecycle, DestroyingAnOpenPortWaitsForTheListenerAndJoinsItsThread) {
    PtyPair pty;
    SlowListener slow;
    const auto before = threadIds();
    auto port = std::make_unique<CSerialPortUnixBase>();
    port->setReadNotifyDelay(0);
    port->setListener(&slow);
    port->setPortName(pty.slavePath().c_str());
    ASSERT_TRUE(port->open());
    pty.send("x");
    while (!slow.entered) {
        std::this_thread::sleep_for(1ms);
    }
    port.reset();  // the listener is still inside its call
    EXPECT_EQ(slow.calls().size(), 1u);
    EXPECT_EQ(threadIds(), before);
    pty.send("after");
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(slow.calls().size(), 1u);
}

TEST(UnixPortLifecycle, DestroyingAPortWithADelayedNotificationPendingIsClean) {
    PtyPair pty;
    RecordingListener listener;
    const auto before = threadIds();
    {
        CSerialPortUnixBase port;
        port.setReadNotifyDelay(500);
        port.setListener(&listener);
        port.setPortName(pty.slavePath().c_str());
        ASSERT_TRUE(port.open());
        pty.send("pending");
        std::this_thread::sleep_for(50ms);
    }
    EXPECT_EQ(threadIds(), before);
    EXPECT_EQ(listener.calls().size(), 0u);
}

TEST(UnixPortLifecycle, ThousandOpenWriteCloseCyclesLeakNothing) {
    PtyPair pty;
    CSerialPortUnixBase port;
    RecordingListener listener;
    port.setReadNotifyDelay(0);
    port.setListener(&listener);
    port.setPortName(pty.slavePath().c_str());
    ASSERT_TRUE(port.open());  // first open: whatever the process sets up once is in place
    port.close();
    const int descriptors = openDescriptorCount();
    const auto threads = threadIds();

    for (int cycle = 0; cycle < 1000; ++cycle) {
        ASSERT_TRUE(port.open()) << "cycle " << cycle;
        ASSERT_EQ(port.write("AB", 2), 2);
        if (cycle % 50 == 0) {
            pty.send("c");  // now and then a batch for the receive thread as well
        }
        port.close();
        if (cycle % 100 == 0) {
            pty.drain(std::chrono::milliseconds(0));
        }
    }
    EXPECT_EQ(openDescriptorCount(), descriptors);
    EXPECT_EQ(threadIds(), threads);
}

TEST_F(UnixPortTest, ListenerAndOwnerMayWriteAtTheSameTime) {
    // The listener echoes every batch while the owning thread writes its own frames.
    class Echo : public kelso::CSerialPortListener {
    public:
        explicit Echo(CSerialPortBase& port) : port_(port) {}
        void onDataReceived(const char*, unsigned int byteCount) override {
            std::string chunk(byteCount, '\0');
            const std::int32_t got = port_.read(chunk.data(), static_cast<std::int32_t>(byteCount));
            if (got > 0) {
                port_.write(chunk.data(), got);
            }
        }

    private:
        CSerialPortBase& port_;
    } echo(port);
    ASSERT_TRUE(openPort());
    port.setListener(&echo);

    std::atomic<bool> done{false};
    std::string heard;
    std::thread reader([&] {
        while (!done) {
            heard += pty.drain(20ms);
        }
    });
    for (int i = 0; i < 200; ++i) {
        pty.send("e");
        ASSERT_EQ(port.write("ABCDEF", 6), 6);
    }
    std::this_thread::sleep_for(200ms);
    done = true;
    reader.join();
    heard += pty.drain(50ms);
    std::size_t echoes = 0;
    std::size_t frames = 0;
    for (std::size_t i = 0; i < heard.size(); ++i) {
        if (heard[i] == 'e') {
            ++echoes;
        } else if (heard.compare(i, 6, "ABCDEF") == 0) {
            ++frames;
            i += 5;
        }
    }
    EXPECT_EQ(echoes, 200u);
    EXPECT_EQ(frames, 200u);  // every frame whole: writes never interleave
}

}  // namespace
