#pragma once

#include <algorithm>
#include <memory>

namespace kelso {

template <typename T>
class Buffer {
public:
    virtual ~Buffer() {}
    virtual unsigned int write(const T* data, unsigned int count) = 0;
    virtual unsigned int read(T* out, unsigned int count) = 0;
    virtual bool isFull() = 0;
    virtual bool isEmpty() = 0;
    virtual unsigned int usedSize() = 0;
    virtual unsigned int freeSize() = 0;
    virtual unsigned int capacity() = 0;
};

// A fixed-capacity circular buffer that never refuses data: once full, each new element takes the
// place of the oldest, so it holds the newest unread elements, at most capacity of them.
//
// The capacity is a power of two. Positions are mirrored: they run over 0..2*capacity-1, so every slot
// is used and full (same slot, other lap) is told from empty (same position) without a spare slot.
// Data moves in at most two contiguous copies per call. Not safe for concurrent use by itself.
template <typename T>
class RingBuffer : public Buffer<T> {
public:
    // 0 gives 4096; a power of two is kept; anything else is rounded up to the next power of two,
    // except sizes above 2^30, which give 4096. Allocation failure throws std::bad_alloc.
    explicit RingBuffer(unsigned int size)
        : readPos_(0),
          writePos_(0),
          capacity_(capacityFor(size)),
          mask_(2 * capacity_ - 1),
          storage_(new T[capacity_]) {}

    // Stores all count elements, overwriting the oldest when full; returns count.
    unsigned int write(const T* data, unsigned int count) override {
        if (count == 0) {
            return 0;
        }
        const unsigned int used = usedSize();
        const unsigned int kept = count < capacity_ ? count : capacity_;
        const T* from = data + (count - kept);
        // Only the last `kept` elements survive; they start where the skipped ones would have ended.
        copyIn(writePos_ + (count - kept), from, kept);
        writePos_ = (writePos_ + count) & mask_;
        if (count > capacity_ - used) {
            readPos_ = writePos_ ^ capacity_;  // full: the oldest element sits where the next one goes
        }
        return count;
    }

    // Moves up to count of the oldest elements into out; returns how many.
    unsigned int read(T* out, unsigned int count) override {
        const unsigned int n = std::min(count, usedSize());
        if (n == 0) {
            return 0;
        }
        const unsigned int slot = readPos_ & (capacity_ - 1);
        const unsigned int first = std::min(n, capacity_ - slot);
        std::copy_n(storage_.get() + slot, first, out);
        std::copy_n(storage_.get(), n - first, out + first);
        readPos_ = (readPos_ + n) & mask_;
        return n;
    }

    bool isFull() override { return writePos_ == (readPos_ ^ capacity_); }
    bool isEmpty() override { return writePos_ == readPos_; }
    unsigned int usedSize() override {
        return writePos_ >= readPos_ ? writePos_ - readPos_ : writePos_ + 2 * capacity_ - readPos_;
    }
    unsigned int freeSize() override { return capacity_ - usedSize(); }
    unsigned int capacity() override { return capacity_; }

    static unsigned int capacityFor(unsigned int size) {
        constexpr unsigned int kDefault = 4096;
        if (size == 0) {
            return kDefault;
        }
        if ((size & (size - 1)) == 0) {
            return size;
        }
        if (size > (1u << 30)) {
            return kDefault;
        }
        unsigned int v = size - 1;
        v |= v >> 1;
        v |= v >> 2;
        v |= v >> 4;
        v |= v >> 8;
        v |= v >> 16;
        return v + 1;
    }

private:
    void copyIn(unsigned int position, const T* from, unsigned int n) {
        const unsigned int slot = position & (capacity_ - 1);
        const unsigned int first = std::min(n, capacity_ - slot);
        std::copy_n(from, first, storage_.get() + slot);
        std::copy_n(from + first, n - first, storage_.get());
    }

    unsigned int readPos_;
    unsigned int writePos_;
    unsigned int capacity_;
    unsigned int mask_;
    std::unique_ptr<T[]> storage_;
};

}  // namespace kelso
