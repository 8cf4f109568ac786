#include "serial/receive_buffer.h"

#include <new>

using kelso::ScopedLock;

ReceiveBuffer::ReceiveBuffer(unsigned int size) {
    reset(size);
}

void ReceiveBuffer::reset(unsigned int size) {
    std::unique_ptr<kelso::RingBuffer<char>> fresh;
    try {
        fresh = std::make_unique<kelso::RingBuffer<char>>(size);
    } catch (const std::bad_alloc&) {
    }
    ScopedLock hold(&lock_);
    ring_ = std::move(fresh);
}

bool ReceiveBuffer::exists() {
    ScopedLock hold(&lock_);
    return ring_ != nullptr;
}

unsigned int ReceiveBuffer::store(const char* data, unsigned int count) {
    ScopedLock hold(&lock_);
    if (!ring_) {
        return 0;
    }
    ring_->write(data, count);
    return ring_->usedSize();
}

unsigned int ReceiveBuffer::take(char* out, unsigned int count) {
    ScopedLock hold(&lock_);
    return ring_ ? ring_->read(out, count) : 0;
}

unsigned int ReceiveBuffer::usedSize() {
    ScopedLock hold(&lock_);
    return ring_ ? ring_->usedSize() : 0;
}

unsigned int ReceiveBuffer::capacity() {
    ScopedLock hold(&lock_);
    return ring_ ? ring_->capacity() : 0;
}
