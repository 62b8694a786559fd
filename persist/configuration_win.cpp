#include "persist/configuration.h"

#include "app/module_path.h"
#include "app/process_state.h"
#include "app/renderer_notification.h"
#include "persist/config_file.h"

namespace {

const wchar_t kSaveFailed[] = L"Error saving configuraion";

FilePath configFilePath()
{
    return pathBesideExecutable(L"config.dat");
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
