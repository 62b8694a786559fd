#include "persist/configuration.h"

#include <cstdio>
#include <string>

#include "app/module_path.h"
#include "app/process_state.h"
#include "app/renderer_notification.h"
#include "persist/config_file.h"
#include "persist/damaged_copy.h"

namespace {

const wchar_t kSaveFailed[] = L"Error saving configuraion";

// Set when the last load met a config.dat it could not take: the next save
// keeps that file's bytes before replacing it.
bool keepBeforeReplacing = false;

FilePath configFilePath()
{
    return pathBesideExecutable(L"config.dat");
}

// A file that is there but unreadable is kept as well: its presets were never
// shown, so the save must not be the end of them.
bool worthKeeping(const FilePath& path, const ConfigReadFault& fault)
{
    switch (examineRejectedFile(path)) {
    case RejectedFile::damaged: {
        const std::string where = fault.noted() ? " (" + fault.describe() + ")" : "";
        std::fprintf(stderr, "config.dat is damaged%s; it will be kept as config.dat.damaged when you save\n",
                     where.c_str());
        return true;
    }
    case RejectedFile::unreadable:
        std::fputs("config.dat cannot be read; it will be kept as config.dat.damaged when you save\n", stderr);
        return true;
    case RejectedFile::missing:
    case RejectedFile::empty:
        break;
    }
    return false;
}

}  // namespace

bool loadConfiguration()
{
    const FilePath path = configFilePath();
    ConfigReadFault fault;
    const bool loaded = !path.empty() && readConfigFile(preset_collection, path, &fault);
    keepBeforeReplacing = !loaded && !path.empty() && worthKeeping(path, fault);
    notify_renderers();
    if (loaded)
        preset_collection.clearChanged();
    return loaded;
}

bool saveConfiguration(HWND owner)
{
    preset_collection.validateAll();
    const FilePath path = configFilePath();
    bool saved = !path.empty();
    if (saved && keepBeforeReplacing) {
        saved = keepDamagedCopy(path);
        keepBeforeReplacing = !saved;
    }
    if (!saved || !writeConfigFile(preset_collection, path)) {
        MessageBoxW(owner, kSaveFailed, L"", MB_OK | MB_ICONERROR | MB_SYSTEMMODAL | MB_TOPMOST);
        return false;
    }
    preset_collection.clearChanged();
    notify_renderers();
    return true;
}
