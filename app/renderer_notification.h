#pragma once

#include <string>

// Registers "Corvane Streams..." and every preset name with the host's stream
// detector, then starts Renderer.exe beside the editor with the argument
// "CorvaneApplySettings". Does nothing when there is no detector.
void notify_renderers();

// Starts a process from a UTF-16 command line with the given show mode and
// waits at most `waitMilliseconds` for it to end.
void run_process(const std::wstring& commandLine, int showMode, unsigned long waitMilliseconds);
