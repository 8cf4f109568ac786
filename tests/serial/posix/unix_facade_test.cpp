#include "serial/port_facade.h"

#include <gtest/gtest.h>

#include "pty_pair.h"
#include "serial/posix/serial_port_unix_base.h"
#include "tests/serial/recording_listener.h"
#include "thread_probe.h"

namespace {

// The panel's port is the termios port, telling its listener of every chunk straight from the receive
// thread; the facade drives it as the panel does, and may go while holding a lost device.
TEST(UnixFacade, DrivesTheTermiosPortTheWayThePanelDoes) {
    PtyPair pty;
    RecordingListener listener;
    const auto before = threadIds();
    {
        CSerialPortFacade facade;
        ASSERT_NE(dynamic_cast<CSerialPortUnixBase*>(facade.port()), nullptr);
        EXPECT_EQ(facade.port()->readNotifyDelay(), 0u);
        EXPECT_EQ(facade.port()->readThreshold(), 1u);
        facade.connectListener(&listener);
        facade.init(pty.slavePath().c_str(), 115200, 0, 8, 0, 0, 4096);
        ASSERT_TRUE(facade.open());
        const char frame[6] = {'\xAA', 3, 0, '\x80', 0, static_cast<char>(0xAA ^ 3 ^ 0x80)};
        EXPECT_EQ(facade.write(frame, 6), 6);
        EXPECT_EQ(pty.receive(6), std::string(frame, 6));
        pty.send("?");
        ASSERT_TRUE(listener.waitForCalls(1));
        EXPECT_EQ(listener.calls()[0].byteCount, 1u);

        pty.closeMaster();
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (facade.isOpen() && std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        EXPECT_FALSE(facade.isOpen());
        EXPECT_EQ(facade.lastStatus(), SerialStatus::ReadFailed);
    }
    EXPECT_EQ(threadIds(), before);
}

}  // namespace
