#include "app/renderer_notification.h"

#include <windows.h>

#include <cstdio>
#include <vector>

#include "app/host_link.h"
#include "app/module_path.h"
#include "app/process_state.h"
#include "model/text_conversion.h"
#include "persist/diagnostic_log.h"

namespace {

const wchar_t kVendor[] = L"Corvane";
const wchar_t kStreamsSource[] = L"Corvane Streams...";
const wchar_t kRendererFile[] = L"Renderer.exe";
const wchar_t kApplySettingsArgument[] = L"CorvaneApplySettings";
constexpr int32_t kSourceFlag = 1;
constexpr unsigned long kRendererWaitMilliseconds = 1000;

std::wstring rendererPath()
{
    return pathBesideExecutable(kRendererFile);
}

// The host drops what it knew of our sources before we list them again.
void registerSources(VideoStreamDetector& detector)
{
    detector.reset_vendor(kVendor);
    detector.set_renderer_path(kVendor, rendererPath().c_str());
    detector.add_source(kVendor, kStreamsSource, kSourceFlag);
    for (int index = 0; index < preset_collection.count(); ++index)
        detector.add_source(kVendor, toWide(preset_collection.at(index).name()).c_str(), kSourceFlag);
}

}  // namespace

void notify_renderers()
{
    if (stream_detector == nullptr)
        return;
    registerSources(*stream_detector);
    log_message(0, 2, "Letting renderers know that some streams has changed\n");
    const std::wstring commandLine = L"\"" + rendererPath() + L"\" " + kApplySettingsArgument;
    run_process(commandLine, SW_HIDE, kRendererWaitMilliseconds);
}

void run_process(const std::wstring& commandLine, int showMode, unsigned long waitMilliseconds)
{
    // CreateProcessW may write into its command line, so it gets a copy sized
    // to the text, however deep the editor's directory is.
    std::vector<wchar_t> writableCommandLine(commandLine.begin(), commandLine.end());
    writableCommandLine.push_back(L'\0');

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(showMode);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, writableCommandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        std::printf("CreateProcess failed (%d).\n", static_cast<int>(GetLastError()));
        std::fflush(stdout);
        return;
    }
    // The renderer is left running when the wait runs out.
    WaitForSingleObject(process.hProcess, waitMilliseconds);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
}
