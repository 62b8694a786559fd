#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <mutex>

#include "probe/cancel_token.h"

// Work that a dialog runs on a thread of its own: a test of a source, a
// search, the fetch of a snapshot. The window never waits for it. The
// thread holds its own reference to the work, so a dialog that ends first
// leaves it nothing to touch but the work itself; its news reach the dialog
// only while the dialog still wants them.

// What the thread and the dialog share. A kind of work derives from it and
// adds what it carries, guarded by `mutex`.
class DialogWork {
public:
    CancelToken cancel;
    std::mutex mutex;

    // Posts `message` to the dialog, unless the dialog has let go of the work.
    void post(UINT message);

private:
    template <typename Work>
    friend class DialogWorker;
    void listen(HWND dialog);
    std::mutex dialogMutex_;
    HWND dialog_ = nullptr;  // null once the dialog has let go
};

// Runs `body` on a new thread; false when the system gives none.
bool startThread(std::function<void()> body);

// A dialog's hold on one kind of its work: at most one at a time, let go of
// when another starts and when the dialog ends (it lives in the dialog's
// state). The body of the work ends when it next looks at the token, and
// never with an exception.
template <typename Work>
class DialogWorker {
public:
    DialogWorker() = default;
    DialogWorker(const DialogWorker&) = delete;
    DialogWorker& operator=(const DialogWorker&) = delete;
    ~DialogWorker() { letGo(); }

    // Lets go of the work before, and runs `body(*work)` for `dialog`;
    // false when no thread can be had.
    bool start(HWND dialog, std::shared_ptr<Work> work, void (*body)(Work&) noexcept)
    {
        letGo();
        work->listen(dialog);
        work_ = std::move(work);
        running_ = startThread([work = work_, body] { body(*work); });
        if (!running_)
            letGo();
        return running_;
    }
    // Asks the work to end soon; it posts its end as usual.
    void stop()
    {
        if (work_)
            work_->cancel.cancel();
    }
    // Stops the work; the dialog hears no more of it.
    void letGo()
    {
        running_ = false;
        if (!work_)
            return;
        work_->cancel.cancel();
        work_->listen(nullptr);
        work_.reset();
    }
    // The dialog took the work's end.
    void finished() { running_ = false; }
    bool running() const { return running_; }
    Work* operator->() const { return work_.get(); }
    explicit operator bool() const { return work_ != nullptr; }

private:
    std::shared_ptr<Work> work_;
    bool running_ = false;
};
