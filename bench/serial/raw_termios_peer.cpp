// The limit: a thread of its own on the raw descriptor, poll() then one read of whatever is there.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <thread>
#include <vector>

#include "peer.h"

namespace {

constexpr std::size_t kChunk = 1 << 16;

int openRaw(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    termios settings{};
    tcgetattr(fd, &settings);
    cfmakeraw(&settings);
    cfsetspeed(&settings, B115200);
    settings.c_cflag |= CLOCAL | CREAD;
    tcsetattr(fd, TCSANOW, &settings);
    return fd;
}

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n > 0) {
            data += n;
            size -= static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EAGAIN) {
            pollfd watch{fd, POLLOUT, 0};
            poll(&watch, 1, -1);
        } else if (n < 0 && errno != EINTR) {
            return false;
        }
    }
    return true;
}

class RawTermiosPeer : public Peer {
public:
    const char* name() const override { return "raw termios + poll (the limit)"; }

    bool receive(const std::string& path, std::size_t total, const std::function<void()>& ready) override {
        const int fd = openRaw(path);
        if (fd < 0) {
            return false;
        }
        std::size_t received = 0;
        std::thread reader([&] {
            std::vector<char> buffer(kChunk);
            while (received < total) {
                pollfd watch{fd, POLLIN, 0};
                if (poll(&watch, 1, -1) <= 0) {
                    continue;
                }
                const ssize_t n = ::read(fd, buffer.data(), buffer.size());
                if (n > 0) {
                    received += static_cast<std::size_t>(n);
                } else if (n == 0 || errno != EAGAIN) {
                    break;
                }
            }
        });
        ready();
        reader.join();
        ::close(fd);
        return received >= total;
    }

    bool echo(const std::string& path, const std::function<void()>& ready, Completion& done) override {
        const int fd = openRaw(path);
        int wake[2];
        if (fd < 0 || pipe2(wake, O_CLOEXEC) != 0) {
            return false;
        }
        std::thread echoer([&] {
            std::vector<char> buffer(kChunk);
            for (;;) {
                pollfd watch[2] = {{fd, POLLIN, 0}, {wake[0], POLLIN, 0}};
                if (poll(watch, 2, -1) <= 0) {
                    continue;
                }
                if (watch[1].revents != 0) {
                    return;
                }
                const ssize_t n = ::read(fd, buffer.data(), buffer.size());
                if (n > 0) {
                    writeAll(fd, buffer.data(), static_cast<std::size_t>(n));
                }
            }
        });
        ready();
        done.wait();
        const char stop = 1;
        [[maybe_unused]] const ssize_t sent = ::write(wake[1], &stop, 1);
        echoer.join();
        ::close(wake[0]);
        ::close(wake[1]);
        ::close(fd);
        return true;
    }
};

}  // namespace

std::unique_ptr<Peer> makeRawTermiosPeer() {
    return std::make_unique<RawTermiosPeer>();
}
