#pragma once

#include <memory>

#include "serial/ring_buffer.h"
#include "serial/sync.h"

// The port's ring buffer, shared between the receive thread (its only writer) and the owning thread's
// reads and fill queries.
//
// The ring buffer overwrites its oldest bytes when full, so a store moves the read position too: a
// store racing a read could hand out bytes twice or tear a copy. Every access therefore takes this
// object's own lock, held only for the copy itself. It is not the port's mutex and is never held while
// the device is read or the listener is called, so a listener may read the port from its callback.
class ReceiveBuffer {
public:
    explicit ReceiveBuffer(unsigned int size);

    // Replaces the ring buffer by a new, empty one; without memory for it the port has none, and
    // received bytes are then dropped.
    void reset(unsigned int size);
    bool exists();
    // Stores the bytes (the oldest give way when full) and returns the fill afterwards.
    unsigned int store(const char* data, unsigned int count);
    unsigned int take(char* out, unsigned int count);
    unsigned int usedSize();
    unsigned int capacity();

private:
    kelso::IMutex lock_;
    std::unique_ptr<kelso::RingBuffer<char>> ring_;
};
