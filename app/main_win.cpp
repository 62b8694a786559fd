// Entry point: checks that the production system offers the stream detector,
// runs the editor's main window and hands the detector back afterwards.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cwchar>

#include "app/host_link.h"
#include "app/process_state.h"
#include "ui/main_window.h"
#include "ui/resource.h"

namespace {

// Where the production system keeps its 32-bit libraries.
const wchar_t kHostInstallDirectory[] = L"C:\\Orvanta\\Bin32\\";
const wchar_t kNetworkModule[] = L"Module.NetworkVideo.x86.dll";
const wchar_t kVersionLibrary[] = L"FrameWork.Versions.x86.dll";

const wchar_t kHostUnsupported[] =
    L"This version of Orvanta doesn't support Riverra plugin.\nYou might need to update Orvanta software.";
const wchar_t kEntryPointsMissing[] =
    L"This version of Orvanta doesn't support this version of Riverra plugin.\n"
    L"You might need to update Orvanta or plugin software.";
const wchar_t kCreateFailed[] = L"Error during Riverra initialization";

int failStartup(const wchar_t* text)
{
    MessageBoxW(nullptr, text, L"", MB_OK | MB_ICONERROR | MB_SYSTEMMODAL | MB_TOPMOST);
    return 1;
}

template <typename Function>
Function findEntryPoint(HMODULE module, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int)
{
    std::printf("Starting Rverra for Orvanta GUI\n");
    std::fflush(stdout);

    const bool commandLineEmpty = commandLine == nullptr || commandLine[0] == L'\0';
    live_mode = !commandLineEmpty && std::wcscmp(commandLine, L"live") == 0;
    app_instance = instance;

    SetDllDirectoryW(kHostInstallDirectory);
    HMODULE networkModule = LoadLibraryW(kNetworkModule);
    HMODULE versionLibrary = LoadLibraryW(kVersionLibrary);
    if ((networkModule == nullptr || versionLibrary == nullptr) && commandLineEmpty)
        return failStartup(kHostUnsupported);

    // A loaded network module must offer both entry points, whether or not the
    // version library loaded: a missing entry point is never called.
    DetectVideoStreamCreateFn create = nullptr;
    DetectVideoStreamDestroyFn destroy = nullptr;
    if (networkModule != nullptr) {
        create = findEntryPoint<DetectVideoStreamCreateFn>(networkModule, "detect_video_stream_create_v1");
        destroy = findEntryPoint<DetectVideoStreamDestroyFn>(networkModule, "detect_video_stream_destroy_v1");
        if (create == nullptr || destroy == nullptr)
            return failStartup(kEntryPointsMissing);
        stream_detector = create(0);
        if (stream_detector == nullptr)
            return failStartup(kCreateFailed);
    }

    // The tab control of the main window is a common control.
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_TAB_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    const INT_PTR result =
        DialogBoxParamW(app_instance, MAKEINTRESOURCEW(IDD_MAIN_WINDOW), nullptr, mainDialogProc, 0);

    if (networkModule != nullptr)
        destroy(stream_detector);
    return static_cast<int>(result);
}
