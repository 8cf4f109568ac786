// Standalone asio's serial_port, with the usual chained asynchronous reads on one io_context.
#include <asio.hpp>
#include <vector>

#include "peer.h"

namespace {

constexpr std::size_t kChunk = 1 << 16;

class AsioPeer : public Peer {
public:
    const char* name() const override { return "asio serial_port"; }

    bool receive(const std::string& path, std::size_t total, const std::function<void()>& ready) override {
        asio::io_context io;
        asio::serial_port port(io);
        asio::error_code error;
        if (!openOn(port, path, error)) {
            return false;
        }
        std::vector<char> buffer(kChunk);
        std::size_t received = 0;
        std::function<void()> readMore = [&] {
            port.async_read_some(asio::buffer(buffer), [&](const asio::error_code& failed, std::size_t n) {
                received += n;
                if (!failed && received < total) {
                    readMore();
                }
            });
        };
        readMore();
        ready();
        io.run();
        return received >= total;
    }

    bool echo(const std::string& path, const std::function<void()>& ready, Completion& done) override {
        asio::io_context io;
        asio::serial_port port(io);
        asio::error_code error;
        if (!openOn(port, path, error)) {
            return false;
        }
        std::vector<char> buffer(kChunk);
        std::function<void()> readMore = [&] {
            port.async_read_some(asio::buffer(buffer), [&](const asio::error_code& failed, std::size_t n) {
                if (failed) {
                    return;
                }
                asio::async_write(port, asio::buffer(buffer.data(), n),
                                  [&](const asio::error_code& writeFailed, std::size_t) {
                                      if (!writeFailed) {
                                          readMore();
                                      }
                                  });
            });
        };
        readMore();
        done.onFinish([&] { asio::post(io, [&] { port.close(); }); });
        ready();
        io.run();
        return true;
    }

private:
    static bool openOn(asio::serial_port& port, const std::string& path, asio::error_code& error) {
        port.open(path, error);
        if (error) {
            return false;
        }
        port.set_option(asio::serial_port_base::baud_rate(115200), error);
        port.set_option(asio::serial_port_base::character_size(8), error);
        port.set_option(asio::serial_port_base::parity(asio::serial_port_base::parity::none), error);
        port.set_option(asio::serial_port_base::stop_bits(asio::serial_port_base::stop_bits::one), error);
        port.set_option(asio::serial_port_base::flow_control(asio::serial_port_base::flow_control::none),
                        error);
        return true;
    }
};

}  // namespace

std::unique_ptr<Peer> makeAsioPeer() {
    return std::make_unique<AsioPeer>();
}
