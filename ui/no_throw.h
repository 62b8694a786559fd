#pragma once

#include <windows.h>

// Runs a dialog procedure's work so that no exception unwinds into the
// system's dialog code: work that runs out of memory leaves the message to the
// default handling, and the editor goes on.
template <typename Work>
INT_PTR withoutExceptions(Work&& work) noexcept
{
    try {
        return work();
    } catch (...) {
        return FALSE;
    }
}
