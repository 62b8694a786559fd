#pragma once

#include <atomic>

// Asks a probe to stop from another thread, or from a signal handler: every
// wait of the probe looks at it at least every tenth of a second.
class CancelToken {
public:
    void cancel() noexcept { cancelled_ = true; }
    bool cancelled() const noexcept { return cancelled_; }

private:
    std::atomic<bool> cancelled_{false};
    static_assert(std::atomic<bool>::is_always_lock_free, "cancel() is called in signal handlers");
};
