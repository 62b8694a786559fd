// Stand-in for the production system's network module: hands out stream
// detectors that record every call instead of talking to the production system.
//
// The detector is laid out here the way the production system's compiler
// lays it out, not derived from the editor's declaration in app/host_link.h:
// an object whose first word points to its table of operations, in the
// production system's order, each a member function. On x86 a member
// function takes its object in ECX and removes its arguments from the stack
// itself (thiscall), and the entry points are plain C functions (cdecl). An
// editor that declared the operations in another order or with another
// convention would call this stand-in wrongly, and the log (the detector
// pointer, the texts) or a crash would show it; where the compiler can tell,
// the declaration is checked right here.
#include <windows.h>

#include <cstdint>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

#include "app/host_link.h"
#include "host/host_event_log.h"
#include "host/host_log_format.h"

static_assert(std::is_same_v<decltype(&VideoStreamDetector::reset_vendor),
                             int (__thiscall VideoStreamDetector::*)(const wchar_t*)>,
              "the detector's operations are thiscall member functions");
static_assert(std::is_same_v<decltype(&VideoStreamDetector::set_renderer_path),
                             int (__thiscall VideoStreamDetector::*)(const wchar_t*, const wchar_t*)>,
              "the detector's operations are thiscall member functions");
static_assert(std::is_same_v<decltype(&VideoStreamDetector::add_source),
                             int (__thiscall VideoStreamDetector::*)(const wchar_t*, const wchar_t*, int32_t)>,
              "the detector's operations are thiscall member functions");
static_assert(std::is_same_v<DetectVideoStreamCreateFn, VideoStreamDetector*(__cdecl*)(int32_t)>,
              "the entry points are cdecl C functions");
static_assert(std::is_same_v<DetectVideoStreamDestroyFn, void(__cdecl*)(VideoStreamDetector*)>,
              "the entry points are cdecl C functions");

namespace {

struct Detector;

// The production system's table of operations, in its order.
struct DetectorOperations {
    int(__thiscall* reset_vendor)(Detector* self, const wchar_t* vendor);
    int(__thiscall* unused_slot)(Detector* self);
    int(__thiscall* set_renderer_path)(Detector* self, const wchar_t* vendor, const wchar_t* rendererPath);
    int(__thiscall* add_source)(Detector* self, const wchar_t* vendor, const wchar_t* sourceName, int32_t flag);
};

struct Detector {
    const DetectorOperations* operations;
};

// Every detector event starts with the object the call came with.
int record(Detector* self, const wchar_t* event, std::vector<std::wstring> fields)
{
    fields.insert(fields.begin(), host_log::pointerText(self));
    recordHostEvent(L"detector", event, fields);
    return 0;
}

int __thiscall resetVendor(Detector* self, const wchar_t* vendor)
{
    return record(self, L"reset_vendor", {textOrNull(vendor)});
}

int __thiscall unusedSlot(Detector* self)
{
    return record(self, L"unused_slot", {});
}

int __thiscall setRendererPath(Detector* self, const wchar_t* vendor, const wchar_t* rendererPath)
{
    return record(self, L"set_renderer_path", {textOrNull(vendor), textOrNull(rendererPath)});
}

int __thiscall addSource(Detector* self, const wchar_t* vendor, const wchar_t* sourceName, int32_t flag)
{
    return record(self, L"add_source", {textOrNull(vendor), textOrNull(sourceName), std::to_wstring(flag)});
}

const DetectorOperations kOperations = {resetVendor, unusedSlot, setRendererPath, addSource};

// Detectors handed out and not yet destroyed. A pointer the module did not
// hand out is recorded but never freed, so a faulty caller shows in the log
// instead of corrupting the heap.
std::set<Detector*>& liveDetectors()
{
    static std::set<Detector*> detectors;
    return detectors;
}

}  // namespace

extern "C" Detector* __cdecl detect_video_stream_create_v1(int32_t argument)
{
    Detector* detector = nullptr;
    if (environmentText(host_log::kCreateFailsVariable) != L"1") {
        detector = new Detector{&kOperations};
        liveDetectors().insert(detector);
    }
    recordHostEvent(L"network", L"create", {std::to_wstring(argument), host_log::pointerText(detector)});
    return detector;
}

extern "C" void __cdecl detect_video_stream_destroy_v1(Detector* detector)
{
    recordHostEvent(L"network", L"destroy", {host_log::pointerText(detector)});
    if (liveDetectors().erase(detector) == 1)
        delete detector;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        recordHostEvent(L"network", L"load", {modulePath(module)});
    return TRUE;
}
