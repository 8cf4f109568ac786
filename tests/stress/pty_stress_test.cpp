// The POSIX port under load and faults, on real pseudo-terminals: many open/write/close cycles with
// traffic both ways, a listener that uses the port from its callback, close racing the receive thread,
// destruction while data streams in, and the line hanging up in mid-traffic and coming back.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "serial/posix/serial_port_unix_base.h"
#include "tests/serial/posix/pty_pair.h"
#include "tests/serial/posix/thread_probe.h"
#include "tests/serial/recording_listener.h"

using namespace std::chrono_literals;

namespace {

// A stream of bytes that counts 0, 1, ..., 255, 0, ...: wherever a run of it is cut, each byte must
// follow the one before, so a torn, repeated or reordered run shows.
bool isCountingRun(const std::string& run) {
    for (std::size_t i = 1; i < run.size(); ++i) {
        if (static_cast<unsigned char>(run[i]) != static_cast<unsigned char>(run[i - 1] + 1)) {
            return false;
        }
    }
    return true;
}

std::string countingBytes(unsigned char& next, std::size_t n) {
    std::string out(n, '\0');
    for (char& c : out) {
        c = static_cast<char>(next++);
    }
    return out;
}

void openOn(CSerialPortUnixBase& port, const std::string& name, kelso::CSerialPortListener* listener) {
    port.init(name.c_str(), 115200, Parity::None, 8, StopBits::One, FlowControl::None, 4096);
    port.setReadNotifyDelay(0);
    port.setListener(listener);
    ASSERT_TRUE(port.open()) << port.lastStatusMessage();
}

// Counts read events and lets the test sleep until the next one.
class CountingListener : public kelso::CSerialPortListener {
public:
    void onDataReceived(const char*, unsigned int) override {
        std::lock_guard<std::mutex> hold(mutex_);
        ++calls_;
        changed_.notify_all();
    }
    std::uint64_t calls() {
        std::lock_guard<std::mutex> hold(mutex_);
        return calls_;
    }
    void waitBeyond(std::uint64_t seen, std::chrono::milliseconds limit) {
        std::unique_lock<std::mutex> hold(mutex_);
        changed_.wait_for(hold, limit, [&] { return calls_ > seen; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::uint64_t calls_ = 0;
};

std::string takeAvailable(CSerialPortUnixBase& port) {
    std::string out(4096, '\0');
    const std::int32_t got = port.read(out.data(), static_cast<std::int32_t>(out.size()));
    out.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return out;
}

TEST(PortStress, TenThousandCyclesWithTrafficBothWaysLoseAndRepeatNothing) {
    PtyPair pty;
    CSerialPortUnixBase port;
    CountingListener listener;
    openOn(port, pty.slavePath(), &listener);
    port.close();
    const int descriptors = openDescriptorCount();
    const auto threads = threadIds();

    std::string sent, arrived;
    unsigned char outgoing = 0, incoming = 0;
    for (int cycle = 0; cycle < 10000; ++cycle) {
        ASSERT_TRUE(port.open()) << "cycle " << cycle << ": " << port.lastStatusMessage();
        const std::string out = countingBytes(outgoing, 6);
        ASSERT_EQ(port.write(out.data(), 6), 6) << "cycle " << cycle << ": " << port.lastStatusMessage();
        sent += out;
        // The peer answers, and the answer must reach the ring buffer before the port closes.
        const std::string answer = countingBytes(incoming, 1 + cycle % 5);
        pty.send(answer);
        std::string got;
        const auto until = std::chrono::steady_clock::now() + 3s;
        for (;;) {
            const std::uint64_t seen = listener.calls();
            got += takeAvailable(port);
            if (got.size() >= answer.size() || std::chrono::steady_clock::now() > until) {
                break;
            }
            listener.waitBeyond(seen, 100ms);
        }
        ASSERT_EQ(got, answer) << "cycle " << cycle;
        port.close();
        if (cycle % 64 == 63) {
            arrived += pty.drain(2ms);
        }
    }
    arrived += pty.receive(sent.size() - arrived.size());
    EXPECT_EQ(arrived.size(), sent.size());
    EXPECT_TRUE(arrived == sent) << "bytes written were lost, repeated or reordered";
    EXPECT_EQ(openDescriptorCount(), descriptors);
    EXPECT_EQ(threadIds(), threads);
}

// Reads each batch, answers it, and closes the port when it sees 'Q'.
class BusyListener : public kelso::CSerialPortListener {
public:
    explicit BusyListener(CSerialPortBase& port) : port_(port) {}
    void onDataReceived(const char*, unsigned int byteCount) override {
        std::string chunk(byteCount, '\0');
        const std::int32_t got = port_.read(chunk.data(), static_cast<std::int32_t>(byteCount));
        if (got <= 0) {
            return;
        }
        chunk.resize(static_cast<std::size_t>(got));
        port_.write(chunk.data(), got);
        if (chunk.find('Q') != std::string::npos) {
            port_.close();
            closed = true;
        }
    }
    std::atomic<bool> closed{false};

private:
    CSerialPortBase& port_;
};

TEST(PortStress, AListenerReadsWritesAndClosesThePortFromItsCallback) {
    PtyPair pty;
    CSerialPortUnixBase port;
    BusyListener listener(port);
    for (int round = 0; round < 50; ++round) {
        openOn(port, pty.slavePath(), &listener);
        pty.send("hello");
        ASSERT_EQ(pty.receive(5), "hello");
        pty.send("Q");
        ASSERT_EQ(pty.receive(1), "Q");
        const auto until = std::chrono::steady_clock::now() + 3s;
        while (!listener.closed && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(1ms);
        }
        ASSERT_TRUE(listener.closed);
        EXPECT_FALSE(port.isOpen());
        listener.closed = false;
    }
}

// Floods the master side with a counting stream until told to stop. It never blocks: while the port
// is closed nobody takes the bytes and the line fills up.
class Flood {
public:
    explicit Flood(PtyPair& pty)
        : master_(pty.master()),
          flags_(fcntl(master_, F_GETFL)),
          nonBlocking_(fcntl(master_, F_SETFL, flags_ | O_NONBLOCK) == 0),
          thread_([this, &pty] {
              unsigned char next = 0;
              while (!stop_) {
                  pollfd writable{pty.master(), POLLOUT, 0};
                  if (poll(&writable, 1, 10) <= 0 || (writable.revents & POLLOUT) == 0) {
                      continue;
                  }
                  unsigned char from = next;
                  const std::string chunk = countingBytes(from, 64);
                  const ssize_t n = ::write(pty.master(), chunk.data(), chunk.size());
                  if (n > 0) {
                      next = static_cast<unsigned char>(next + n);
                  }
              }
          }) {}
    ~Flood() {
        stop_ = true;
        thread_.join();
        fcntl(master_, F_SETFL, flags_);
    }
    bool started() const { return nonBlocking_; }

private:
    const int master_;
    const int flags_;
    const bool nonBlocking_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

TEST(PortStress, CloseRacingTheReceiveThreadHandsOutOnlyWholeRuns) {
    PtyPair pty;
    CSerialPortUnixBase port;
    RecordingListener listener;
    Flood flood(pty);
    ASSERT_TRUE(flood.started());
    for (int round = 0; round < 300; ++round) {
        openOn(port, pty.slavePath(), &listener);
        std::this_thread::sleep_for(std::chrono::microseconds(round % 7 * 100));
        const std::string run = takeAvailable(port);
        ASSERT_TRUE(isCountingRun(run)) << "round " << round;
        port.close();
    }
}

TEST(PortStress, DestroyingAPortWhileDataStreamsInIsClean) {
    PtyPair pty;
    RecordingListener listener;
    Flood flood(pty);
    ASSERT_TRUE(flood.started());
    const auto threads = threadIds();
    for (int round = 0; round < 200; ++round) {
        auto port = std::make_unique<CSerialPortUnixBase>();
        openOn(*port, pty.slavePath(), &listener);
        std::this_thread::sleep_for(std::chrono::microseconds(round % 5 * 200));
        port.reset();
    }
    EXPECT_EQ(threadIds(), threads);
}

TEST(PortStress, HangingUpInMidTrafficThenComingBackReopensThePort) {
    PrivatePortDir ports;
    CSerialPortUnixBase port;
    RecordingListener listener;
    for (int round = 0; round < 20; ++round) {
        auto pty = std::make_unique<PtyPair>();
        pty->closeSlave();  // only the port holds the line: the master's close is a real hang-up
        ports.publish("dimmer", pty->slavePath());
        openOn(port, "dimmer", &listener);
        unsigned char next = 0;
        for (int i = 0; i < 20; ++i) {
            pty->send(countingBytes(next, 32));
            ASSERT_EQ(port.write("abcdef", 6), 6);
        }
        pty->closeMaster();
        const auto until = std::chrono::steady_clock::now() + 3s;
        std::int32_t written = 0;
        while ((written = port.write("x", 1)) != -1 && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(1ms);
        }
        EXPECT_EQ(written, -1) << "a write to a line that hung up succeeded";
        port.close();
        ports.unpublish("dimmer");
    }
}

}  // namespace
