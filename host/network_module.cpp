// Stand-in for the production system's network module: hands out stream
// detectors that record every call instead of talking to the production system.
#include <windows.h>

#include <set>
#include <string>
#include <vector>

#include "app/host_link.h"
#include "host/host_event_log.h"
#include "host/host_log_format.h"

namespace {

class RecordingDetector final : public VideoStreamDetector {
public:
    int reset_vendor(const wchar_t* vendor) override
    {
        record(L"reset_vendor", {textOrNull(vendor)});
        return 0;
    }

    int unused_slot() override
    {
        record(L"unused_slot", {});
        return 0;
    }

    int set_renderer_path(const wchar_t* vendor, const wchar_t* rendererPath) override
    {
        record(L"set_renderer_path", {textOrNull(vendor), textOrNull(rendererPath)});
        return 0;
    }

    int add_source(const wchar_t* vendor, const wchar_t* sourceName, int32_t flag) override
    {
        record(L"add_source", {textOrNull(vendor), textOrNull(sourceName), std::to_wstring(flag)});
        return 0;
    }

private:
    // Every detector event starts with the detector it was made on.
    void record(const wchar_t* event, std::vector<std::wstring> fields)
    {
        fields.insert(fields.begin(), host_log::pointerText(static_cast<VideoStreamDetector*>(this)));
        recordHostEvent(L"detector", event, fields);
    }
};

// Detectors handed out and not yet destroyed. A pointer the module did not
// hand out is recorded but never freed, so a faulty caller shows in the log
// instead of corrupting the heap.
std::set<VideoStreamDetector*>& liveDetectors()
{
    static std::set<VideoStreamDetector*> detectors;
    return detectors;
}

}  // namespace

extern "C" VideoStreamDetector* detect_video_stream_create_v1(int32_t argument)
{
    VideoStreamDetector* detector = nullptr;
    if (environmentText(host_log::kCreateFailsVariable) != L"1") {
        detector = new RecordingDetector;
        liveDetectors().insert(detector);
    }
    recordHostEvent(L"network", L"create", {std::to_wstring(argument), host_log::pointerText(detector)});
    return detector;
}

extern "C" void detect_video_stream_destroy_v1(VideoStreamDetector* detector)
{
    recordHostEvent(L"network", L"destroy", {host_log::pointerText(detector)});
    if (liveDetectors().erase(detector) == 1)
        delete static_cast<RecordingDetector*>(detector);
}

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        recordHostEvent(L"network", L"load", {modulePath(module)});
    return TRUE;
}
