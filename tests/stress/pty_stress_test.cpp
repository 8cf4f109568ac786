// The POSIX port under load, on real pseudo-terminals: many open/write/close cycles with traffic both
// ways (what was written just before a close reaches the peer, even one that reads only later), a
// listener that uses the port from its callback while the owner writes, takes racing the receive
// thread, close racing it, and destruction while data streams in. Received streams number themselves
// (sequence_stream.h), so a byte handed out twice, out of order or not at all shows.
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
#include "tests/support/sequence_stream.h"

using namespace std::chrono_literals;

namespace {

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

std::string takeAvailable(CSerialPortUnixBase& port) {
    std::string out(4096, '\0');
    const std::int32_t got = port.read(out.data(), static_cast<std::int32_t>(out.size()));
    out.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return out;
}

TEST(PortStress, TenThousandCyclesWithTrafficBothWaysLoseAndRepeatNothing) {
    PtyPair pty;
    CSerialPortUnixBase port;
    RecordingListener listener;
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
            const std::size_t seen = listener.count();
            got += takeAvailable(port);
            if (got.size() >= answer.size() || std::chrono::steady_clock::now() > until) {
                break;
            }
            listener.waitForCalls(seen + 1, 100ms);
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

// The listener answers from its callback while the owner writes frames of its own: writes never
// interleave, and every answer and frame arrives.
TEST(PortStress, AListenerReadsWritesAndClosesThePortFromItsCallbackWhileTheOwnerWrites) {
    PtyPair pty;
    CSerialPortUnixBase port;
    BusyListener listener(port);
    for (int round = 0; round < 50; ++round) {
        openOn(port, pty.slavePath(), &listener);
        for (int i = 0; i < 4; ++i) {
            pty.send("e");
            ASSERT_EQ(port.write("ABCDEF", 6), 6);
        }
        std::string heard = pty.receive(4 * 7);
        std::size_t frames = 0;
        for (std::size_t at = heard.find("ABCDEF"); at != std::string::npos; at = heard.find("ABCDEF")) {
            heard.erase(at, 6);
            ++frames;
        }
        EXPECT_EQ(frames, 4u) << "round " << round;
        EXPECT_EQ(heard, "eeee") << "round " << round;
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

// Floods the master side with a numbered stream until told to stop, or until `records` are out. It
// never blocks: while the port is closed nobody takes the bytes and the line fills up.
class Flood {
public:
    explicit Flood(PtyPair& pty, std::size_t records = SIZE_MAX)
        : master_(pty.master()),
          flags_(fcntl(master_, F_GETFL)),
          nonBlocking_(fcntl(master_, F_SETFL, flags_ | O_NONBLOCK) == 0),
          thread_([this, records] {
              SequenceWriter stream;
              std::string pending;
              std::size_t made = 0;
              while (!stop_) {
                  if (pending.empty()) {
                      if (made == records) {
                          return;
                      }
                      const std::size_t batch = std::min<std::size_t>(records - made, 21);
                      pending = stream.next(batch);
                      made += batch;
                  }
                  pollfd writable{master_, POLLOUT, 0};
                  if (poll(&writable, 1, 10) <= 0 || (writable.revents & POLLOUT) == 0) {
                      continue;
                  }
                  const ssize_t n = ::write(master_, pending.data(), pending.size());
                  if (n > 0) {
                      pending.erase(0, static_cast<std::size_t>(n));
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

// The owner takes in pieces of every size while the receive thread stores: every record arrives once,
// in order, and none is lost (the ring buffer holds the whole stream).
TEST(PortStress, TakesRacingTheReceiveThreadGetEveryByteExactlyOnceInOrder) {
    constexpr std::size_t kRecords = 200000;
    PtyPair pty;
    RecordingListener listener;
    CSerialPortUnixBase port;
    port.init(pty.slavePath().c_str(), 115200, Parity::None, 8, StopBits::One, FlowControl::None, 1 << 20);
    port.setReadNotifyDelay(0);
    port.setListener(&listener);
    ASSERT_TRUE(port.open());
    Flood flood(pty, kRecords);
    ASSERT_TRUE(flood.started());

    SequenceChecker checker;
    std::string piece(4096, '\0');
    std::size_t taken = 0;
    const auto until = std::chrono::steady_clock::now() + 60s;
    for (std::int32_t size = 1; taken < kRecords * 3 && std::chrono::steady_clock::now() < until;
         size = size % 4089 + 7) {
        const std::int32_t got = port.read(piece.data(), size);
        ASSERT_GE(got, 0);
        checker.feed(piece.substr(0, static_cast<std::size_t>(got)));
        taken += static_cast<std::size_t>(got);
    }
    EXPECT_EQ(taken, kRecords * 3);
    EXPECT_EQ(checker.records, kRecords);
    EXPECT_EQ(checker.repeated, 0u);
    EXPECT_EQ(checker.lost, 0u);
    EXPECT_EQ(checker.broken, 0u);
}

// Closing and opening while the stream pours in may lose what came meanwhile (open discards what the
// device queued before it), but never hands out a record twice or out of order. Every other round the
// port is destroyed instead of closed, and no thread outlives it.
TEST(PortStress, CloseAndDestructionRacingTheReceiveThreadNeverRepeatOrReorder) {
    PtyPair pty;
    RecordingListener listener;
    Flood flood(pty);
    ASSERT_TRUE(flood.started());
    const auto threads = threadIds();
    SequenceChecker checker;
    auto port = std::make_unique<CSerialPortUnixBase>();
    for (int round = 0; round < 300; ++round) {
        openOn(*port, pty.slavePath(), &listener);
        std::this_thread::sleep_for(std::chrono::microseconds(round % 7 * 100));
        checker.feed(takeAvailable(*port));
        checker.cut();
        if (round % 2 == 0) {
            port->close();
        } else {
            port = std::make_unique<CSerialPortUnixBase>();
        }
    }
    port.reset();
    EXPECT_GT(checker.records, 0u);
    EXPECT_EQ(checker.repeated, 0u);
    EXPECT_EQ(threadIds(), threads);
}

}  // namespace
