#include "tool/interrupt.h"

#include <atomic>
#include <csignal>

namespace {

// The signal handler can reach only what lives outside any call.
std::atomic<CancelToken*> watched{nullptr};
struct sigaction previousInterrupt;

void onInterrupt(int)
{
    if (CancelToken* token = watched.load())
        token->cancel();
}

}  // namespace

InterruptWatch::InterruptWatch(CancelToken& token)
{
    watched = &token;
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &previousInterrupt);
}

InterruptWatch::~InterruptWatch()
{
    sigaction(SIGINT, &previousInterrupt, nullptr);
    watched = nullptr;
}
