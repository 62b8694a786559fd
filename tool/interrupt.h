#pragma once

#include "probe/cancel_token.h"

// Ctrl+C (and Ctrl+Break on Windows) cancels the token while the watch
// exists, instead of ending the program.
class InterruptWatch {
public:
    explicit InterruptWatch(CancelToken& token);
    ~InterruptWatch();
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;
};
