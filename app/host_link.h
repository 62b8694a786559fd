#pragma once

#include <windows.h>

#include <cstdint>

// The host's stream-detector object. The editor knows the first four slots of
// its table of virtual operations; it never creates, copies or frees one.
class VideoStreamDetector {
public:
    virtual int reset_vendor(const wchar_t* vendor) = 0;
    virtual int unused_slot() = 0;  // never called
    virtual int set_renderer_path(const wchar_t* vendor, const wchar_t* rendererPath) = 0;
    virtual int add_source(const wchar_t* vendor, const wchar_t* sourceName, int32_t flag) = 0;

protected:
    ~VideoStreamDetector() = default;
};

// Entry points of "Module.NetworkVideo.x86.dll".
using DetectVideoStreamCreateFn = VideoStreamDetector* (*)(int32_t);
using DetectVideoStreamDestroyFn = void (*)(VideoStreamDetector*);

// Windows part of the process-wide state, written by start-up only.
extern HINSTANCE app_instance;
extern VideoStreamDetector* stream_detector;
