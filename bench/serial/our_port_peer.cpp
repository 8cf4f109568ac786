// Our port as the panel uses it: receive thread, listener called straight from it.
#include <atomic>

#include "peer.h"
#include "serial/posix/serial_port_unix_base.h"

namespace {

constexpr std::uint32_t kRingBytes = 1 << 16;

class CountingListener : public kelso::CSerialPortListener {
public:
    CountingListener(CSerialPortBase& port, std::size_t total, Completion& done)
        : port_(port), total_(total), done_(done), scratch_(kRingBytes) {}
    void onDataReceived(const char*, unsigned int) override {
        const std::int32_t got = port_.read(scratch_.data(), static_cast<std::int32_t>(scratch_.size()));
        if (got > 0) {
            received_ += static_cast<std::size_t>(got);
        }
        if (received_ >= total_ && !finished_) {
            finished_ = true;
            done_.finish();
        }
    }

private:
    CSerialPortBase& port_;
    std::size_t total_;
    Completion& done_;
    std::vector<char> scratch_;
    std::size_t received_ = 0;
    bool finished_ = false;
};

class EchoListener : public kelso::CSerialPortListener {
public:
    explicit EchoListener(CSerialPortBase& port) : port_(port), scratch_(kRingBytes) {}
    void onDataReceived(const char*, unsigned int) override {
        const std::int32_t got = port_.read(scratch_.data(), static_cast<std::int32_t>(scratch_.size()));
        if (got > 0) {
            port_.write(scratch_.data(), got);
        }
    }

private:
    CSerialPortBase& port_;
    std::vector<char> scratch_;
};

class OurPortPeer : public Peer {
public:
    const char* name() const override { return "our port (receive thread + listener)"; }

    bool receive(const std::string& path, std::size_t total, const std::function<void()>& ready) override {
        CSerialPortUnixBase port;
        Completion done;
        CountingListener counter(port, total, done);
        if (!openOn(port, path, &counter)) {
            return false;
        }
        ready();
        done.wait();
        port.close();
        return true;
    }

    bool echo(const std::string& path, const std::function<void()>& ready, Completion& done) override {
        CSerialPortUnixBase port;
        EchoListener echoer(port);
        if (!openOn(port, path, &echoer)) {
            return false;
        }
        ready();
        done.wait();
        port.close();
        return true;
    }

private:
    static bool openOn(CSerialPortUnixBase& port, const std::string& path,
                       kelso::CSerialPortListener* listener) {
        port.init(path.c_str(), 115200, Parity::None, 8, StopBits::One, FlowControl::None, kRingBytes);
        port.setReadNotifyDelay(0);
        port.setReadThreshold(1);
        port.setListener(listener);
        return port.open();
    }
};

}  // namespace

std::unique_ptr<Peer> makeOurPortPeer() {
    return std::make_unique<OurPortPeer>();
}
