#pragma once

#include <cstddef>
#include <cstdint>
#include <pthread.h>
#include <string>

// Growable byte buffer through which records are written and read: bytes,
// big-endian 32-bit integers and zero-terminated strings.
class Message {
public:
    Message();
    Message(const Message&) = delete;
    Message& operator=(const Message&) = delete;
    virtual ~Message();

    // Sets the logical size to n bytes of payload, growing the storage when needed.
    void resize(int32_t n);

    void putByte(uint8_t value);
    void putInt32(int32_t value);
    void putString(const std::string& text);

    // Past the end, the destination keeps its value and a line goes to stderr.
    void getByte(uint8_t& destination);
    int32_t getInt32();  // missing bytes read as zero
    std::string getString();

    // The payload: size() bytes starting at payload(). Null when nothing is held.
    uint8_t* payload() { return data_ ? data_ + offset_ : nullptr; }
    const uint8_t* payload() const { return data_ ? data_ + offset_ : nullptr; }
    int32_t payloadSize() const { return size_ - offset_; }

    // True once a read found fewer bytes than its value needs (a string
    // without its terminator included): the data was cut short.
    bool truncated() const { return truncated_; }

    // True once an allocation has failed: the buffer then refuses all writes,
    // and its payload must not be stored.
    bool failed() const { return failed_; }

    // The allocator behind the storage (realloc by default). Tests put in one
    // that fails; returns the one it replaced.
    using Reallocator = void* (*)(void* block, size_t bytes);
    static Reallocator replaceReallocator(Reallocator reallocator);

    int32_t capacity() const { return capacity_; }
    int32_t size() const { return size_; }
    int32_t readPos() const { return readPos_; }
    int32_t writePos() const { return writePos_; }

private:
    void setSize(int64_t target);
    void releaseStorage();
    void failAllocation(int64_t bytes);
    // Grows the logical size so that `bytes` more can be written at writePos_;
    // false when the buffer can take no more.
    bool makeRoomFor(int64_t bytes);
    void storeAtWritePos(const void* bytes, size_t count);

    int32_t offset_ = 0;
    int32_t readPos_ = 0;
    int32_t writePos_ = 0;
    uint8_t* storage_ = nullptr;
    uint8_t* data_ = nullptr;
    int32_t capacity_ = 0;
    int32_t size_ = 0;
    pthread_mutex_t* mutex_ = nullptr;
    int32_t* shareCount_ = nullptr;
    bool truncated_ = false;
    bool failed_ = false;
};
