#include "persist/configuration.h"

#include <shlwapi.h>

#include "app/process_state.h"
#include "app/renderer_notification.h"
#include "persist/config_file.h"

namespace {

const DWORD kModulePathLimit = 510;
const wchar_t kSaveFailed[] = L"Error saving configuraion";

// config.dat in the editor's own directory; empty when the editor's path does
// not fit the buffer (a cut path would name some other directory).
FilePath configFilePath()
{
    wchar_t directory[kModulePathLimit];
    const DWORD length = GetModuleFileNameW(nullptr, directory, kModulePathLimit);
    if (length == 0 || length >= kModulePathLimit)
        return FilePath();
    PathRemoveFileSpecW(directory);
    return FilePath(directory) + L"\\config.dat";
}

}  // namespace

bool loadConfiguration()
{
    const FilePath path = configFilePath();
    const bool loaded = !path.empty() && readConfigFile(preset_collection, path);
    notify_renderers();
    if (loaded)
        preset_collection.clearChanged();
    return loaded;
}

bool saveConfiguration(HWND owner)
{
    preset_collection.validateAll();
    const FilePath path = configFilePath();
    if (path.empty() || !writeConfigFile(preset_collection, path)) {
        MessageBoxW(owner, kSaveFailed, L"", MB_OK | MB_ICONERROR | MB_SYSTEMMODAL | MB_TOPMOST);
        return false;
    }
    preset_collection.clearChanged();
    notify_renderers();
    return true;
}
