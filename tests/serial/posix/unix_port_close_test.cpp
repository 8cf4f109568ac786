// Closing right after a write: what the port wrote has left it, and the close must not take it back.
#include "unix_port_fixture.h"

namespace {

TEST_F(UnixPortTest, BytesWrittenJustBeforeACloseReachThePeer) {
    // The peer reads only after the close, as a program that sends one command and exits leaves it.
    for (int round = 0; round < 100; ++round) {
        ASSERT_TRUE(openPort());
        ASSERT_EQ(port.write("abcdef", 6), 6);
        port.close();
        ASSERT_EQ(pty.receive(6), "abcdef") << "round " << round;
    }
}

}  // namespace
