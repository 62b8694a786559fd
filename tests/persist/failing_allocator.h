#pragma once

#include "persist/message.h"

// While it lives, Message allocations succeed `successes` more times and then fail.
class FailingAllocator {
public:
    explicit FailingAllocator(int successes)
    {
        remaining_ = successes;
        previous_ = Message::replaceReallocator(&reallocate);
    }
    ~FailingAllocator() { Message::replaceReallocator(previous_); }
    FailingAllocator(const FailingAllocator&) = delete;
    FailingAllocator& operator=(const FailingAllocator&) = delete;

private:
    static void* reallocate(void* block, size_t bytes)
    {
        if (remaining_ == 0)
            return nullptr;
        --remaining_;
        return previous_(block, bytes);
    }

    static inline int remaining_ = 0;
    static inline Message::Reallocator previous_ = nullptr;
};
