#include "ui/dialog_worker.h"

#include <exception>
#include <thread>

void DialogWork::post(UINT message)
{
    std::lock_guard<std::mutex> lock(dialogMutex_);
    if (dialog_)
        PostMessageW(dialog_, message, 0, 0);
}

void DialogWork::listen(HWND dialog)
{
    std::lock_guard<std::mutex> lock(dialogMutex_);
    dialog_ = dialog;
}

bool startThread(std::function<void()> body)
{
    try {
        std::thread(std::move(body)).detach();
        return true;
    } catch (const std::exception&) {
        return false;  // no thread, or no memory for one
    }
}
