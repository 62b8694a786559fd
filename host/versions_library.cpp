// Stand-in for the production system's version library. The editor only
// checks that it loads; loading it is all it records.
#include <windows.h>

#include "host/host_event_log.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        recordHostEvent(L"versions", L"load", {modulePath(module)});
    return TRUE;
}
