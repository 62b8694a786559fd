#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Appends one event to the log file named by RIVERRA_HOST_LOG, at once and in
// one write, so that several processes can share the file. Without the
// variable nothing is recorded.
void recordHostEvent(const std::wstring& source, const std::wstring& event,
                     const std::vector<std::wstring>& fields = {});

// The value of an environment variable, or "" when it is not set.
std::wstring environmentText(const wchar_t* name);

// A text argument as recorded: the text itself, or "(null)" for a null pointer.
std::wstring textOrNull(const wchar_t* text);

// The full path of a loaded module.
std::wstring modulePath(HMODULE module);
