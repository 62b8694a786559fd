#include "persist/message.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "persist/osal_mutex.h"

namespace {

const int64_t kFirstCapacity = 128;
// Growth doubles, but never leaves more slack than this at one step.
const int64_t kMaxSlack = 1024;

void* systemReallocate(void* block, size_t bytes)
{
    return std::realloc(block, bytes);
}

Message::Reallocator currentReallocator = systemReallocate;

int64_t grownCapacity(int64_t capacity, int64_t target)
{
    int64_t grown = capacity > 0 ? capacity : kFirstCapacity;
    while (grown < target)
        grown *= 2;
    return grown - target > kMaxSlack ? target + kMaxSlack : grown;
}

}  // namespace

Message::Reallocator Message::replaceReallocator(Reallocator reallocator)
{
    Reallocator previous = currentReallocator;
    currentReallocator = reallocator;
    return previous;
}

Message::Message()
    : mutex_(new pthread_mutex_t), shareCount_(new int32_t(0))
{
    osal_create_mutex(mutex_);
}

Message::~Message()
{
    osal_lock_mutex(mutex_);
    const int32_t otherHolders = *shareCount_;
    *shareCount_ = otherHolders - 1;
    osal_unlock_mutex(mutex_);
    if (otherHolders != 0)
        return;
    osal_destroy_mutex(mutex_);
    delete mutex_;
    delete shareCount_;
    std::free(storage_);
}

void Message::resize(int32_t n)
{
    setSize(static_cast<int64_t>(offset_) + n);
}

void Message::setSize(int64_t target)
{
    if (target <= 0) {
        releaseStorage();
        size_ = static_cast<int32_t>(target);
        return;
    }
    // The earlier content is lost: growing again would hand out a damaged payload.
    if (failed_)
        return;
    const int64_t capacity = grownCapacity(capacity_, target);
    if (capacity != capacity_ && target > size_) {
        void* block = capacity <= INT32_MAX ? currentReallocator(storage_, static_cast<size_t>(capacity)) : nullptr;
        if (block == nullptr) {
            failAllocation(capacity);
            return;
        }
        storage_ = static_cast<uint8_t*>(block);
        data_ = storage_;
        capacity_ = static_cast<int32_t>(capacity);
    }
    size_ = static_cast<int32_t>(target);
}

void Message::releaseStorage()
{
    osal_lock_mutex(mutex_);
    if (*shareCount_ == 0) {
        std::free(storage_);
        storage_ = nullptr;
        data_ = nullptr;
        capacity_ = 0;
    }
    osal_unlock_mutex(mutex_);
}

void Message::failAllocation(int64_t bytes)
{
    std::fprintf(stderr, "Out of memory for Message allocation (need %lld bytes)\n", static_cast<long long>(bytes));
    // Nothing is written or read through a lost block: the buffer stays empty
    // and refuses further writes.
    releaseStorage();
    size_ = offset_;
    failed_ = true;
}

bool Message::makeRoomFor(int64_t bytes)
{
    const int64_t end = static_cast<int64_t>(offset_) + writePos_ + bytes;
    if (end > size_)
        setSize(end);
    return !failed_;
}

void Message::storeAtWritePos(const void* bytes, size_t count)
{
    std::memcpy(data_ + offset_ + writePos_, bytes, count);
    writePos_ += static_cast<int32_t>(count);
}

void Message::putByte(uint8_t value)
{
    if (makeRoomFor(1))
        storeAtWritePos(&value, 1);
}

void Message::putInt32(int32_t value)
{
    const uint32_t bits = static_cast<uint32_t>(value);
    const uint8_t networkOrder[4] = {static_cast<uint8_t>(bits >> 24), static_cast<uint8_t>(bits >> 16),
                                     static_cast<uint8_t>(bits >> 8), static_cast<uint8_t>(bits)};
    if (makeRoomFor(4))
        storeAtWritePos(networkOrder, 4);
}

void Message::putString(const std::string& text)
{
    // The text and its terminator grow the buffer in two steps.
    if (!makeRoomFor(static_cast<int64_t>(text.size())))
        return;
    if (!text.empty())
        storeAtWritePos(text.data(), text.size());
    putByte(0);
}

void Message::getByte(uint8_t& destination)
{
    if (static_cast<int64_t>(readPos_) + 1 + offset_ > size_) {
        std::fprintf(stderr, "Reading post the end of the message (readPos_=%d offset=%d size=%d size_=%d capacity_=%d)\n",
                     readPos_, offset_, 1, size_, capacity_);
        // No byte of a one-byte read remains: the destination keeps its value.
        readPos_ = size_ - offset_;
        truncated_ = true;
        return;
    }
    destination = data_[offset_ + readPos_];
    ++readPos_;
}

int32_t Message::getInt32()
{
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        uint8_t byte = 0;
        getByte(byte);
        value = (value << 8) | byte;
    }
    return static_cast<int32_t>(value);
}

std::string Message::getString()
{
    const int64_t available = static_cast<int64_t>(size_) - offset_ - readPos_;
    if (available <= 0) {
        truncated_ = true;
        return std::string();
    }
    const uint8_t* start = data_ + offset_ + readPos_;
    const void* terminator = std::memchr(start, 0, static_cast<size_t>(available));
    if (terminator == nullptr) {
        // Runs to the end of the data: returned as far as it goes.
        readPos_ += static_cast<int32_t>(available);
        truncated_ = true;
        return std::string(reinterpret_cast<const char*>(start), static_cast<size_t>(available));
    }
    const int32_t length = static_cast<int32_t>(static_cast<const uint8_t*>(terminator) - start);
    readPos_ += length + 1;
    return std::string(reinterpret_cast<const char*>(start), static_cast<size_t>(length));
}
