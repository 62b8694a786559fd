#include "tool/interrupt.h"

#include <windows.h>

#include <atomic>

namespace {

// The console calls the handler on a thread of its own.
std::atomic<CancelToken*> watched{nullptr};

BOOL WINAPI onConsoleControl(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE;
    if (CancelToken* token = watched.load())
        token->cancel();
    return TRUE;
}

}  // namespace

InterruptWatch::InterruptWatch(CancelToken& token)
{
    watched = &token;
    SetConsoleCtrlHandler(onConsoleControl, TRUE);
}

InterruptWatch::~InterruptWatch()
{
    SetConsoleCtrlHandler(onConsoleControl, FALSE);
    watched = nullptr;
}
