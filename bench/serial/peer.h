#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// One-shot signal between the benchmark's driver and a peer: the driver finishes it, the peer waits
// for it (or lets a hook end its event loop).
class Completion {
public:
    void finish();
    void wait();
    // Runs on the finishing thread; set before the work starts.
    void onFinish(std::function<void()> hook) { hook_ = std::move(hook); }

private:
    std::mutex mutex_;
    std::condition_variable done_;
    bool finished_ = false;
    std::function<void()> hook_;
};

// A serial-port implementation under test, on the slave side of a pseudo-terminal.
class Peer {
public:
    virtual ~Peer() = default;
    virtual const char* name() const = 0;

    // Opens the port, calls ready() (which starts the sender) and returns once total bytes have
    // arrived; false if the port did not open or the bytes did not all come.
    virtual bool receive(const std::string& path, std::size_t total, const std::function<void()>& ready) = 0;

    // Opens the port, calls ready() (which starts the driver on the other side) and sends back every
    // byte it receives, from its own receive path, until done is finished.
    virtual bool echo(const std::string& path, const std::function<void()>& ready, Completion& done) = 0;
};

std::unique_ptr<Peer> makeOurPortPeer();
std::unique_ptr<Peer> makeRawTermiosPeer();
std::unique_ptr<Peer> makeAsioPeer();
std::unique_ptr<Peer> makeQtPeer(int& argc, char** argv);
