#include <atomic>

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
