#include "app/configuration.h"

#include <new>
#include <optional>
#include <string>
#include <vector>

#include "app/module_path.h"
#include "app/process_state.h"
#include "app/renderer_notification.h"
#include "model/code_page.h"
#include "model/protocol_table.h"
#include "model/text_conversion.h"
#include "persist/config_file.h"
#include "persist/damaged_copy.h"
#include "persist/save_temporaries.h"

namespace {

const wchar_t kSaveFailed[] = L"Error saving configuraion";
const wchar_t kChangedElsewhere[] =
    L"config.dat was changed by another program since it was opened. Replace it with the presets shown here?";

// Set when the last load met a config.dat it could not take: the next save
// keeps that file's bytes before replacing it.
bool keepBeforeReplacing = false;
// config.dat as the editor last loaded or saved it; none when it could not be
// read (such a file is kept aside by the next save in any case).
std::optional<FileFingerprint> knownFile;

FilePath configFilePath()
{
    return pathBesideExecutable(L"config.dat");
}

std::wstring fromAscii(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

void showError(HWND owner, const std::wstring& text)
{
    MessageBoxW(owner, text.c_str(), L"", MB_OK | MB_ICONERROR | MB_SYSTEMMODAL | MB_TOPMOST);
}

// The presets of the newest complete temporary file of an interrupted save;
// its path, or empty when there is none.
FilePath recoverInterruptedSave(const FilePath& path)
{
    for (const FilePath& temporary : temporariesOfEarlierSaves(path)) {
        StreamSettingsSet recovered(1);
        if (readConfigFile(recovered, temporary)) {
            preset_collection = recovered;
            preset_collection.changed_ = true;  // what is shown is not what config.dat holds
            return temporary;
        }
    }
    return {};
}

std::wstring unreadableCause(FileFault fault, const FilePath& path)
{
    switch (fault) {
    case FileFault::held: {
        const FilePath holder = programHoldingFile(path);
        return holder.empty() ? L"it is in use by another program" : L"it is in use by " + holder;
    }
    case FileFault::accessDenied:
        return L"access to it is denied";
    default:
        return L"the system refused to read it";
    }
}

bool holdsTextThatDoesNotRoundTrip(const StreamSettings& preset)
{
    if (!roundTrips(preset.name()))
        return true;
    for (int protocol = 0; protocol < preset.endpointCount(); ++protocol) {
        const StreamEndpoint& endpoint = preset.endpoint(protocol);
        if (!roundTrips(endpoint.host_) || !roundTrips(endpoint.streamName_))
            return true;
    }
    return false;
}

// "2", "2 and 5", "2, 5 and 7"
std::wstring numberList(const std::vector<int>& numbers)
{
    std::wstring list;
    for (size_t index = 0; index < numbers.size(); ++index) {
        if (index > 0)
            list += index + 1 == numbers.size() ? L" and " : L", ";
        list += std::to_wstring(numbers[index]);
    }
    return list;
}

// Text written on a system of another code page may hold bytes that this
// one shows as something else; the page keeps such text as it is stored
// until its field is edited, and the user learns where it is.
void tellTextKeptAsStored(HWND owner, const FilePath& path)
{
    std::vector<int> presets;
    for (int index = 0; index < preset_collection.count(); ++index) {
        if (holdsTextThatDoesNotRoundTrip(preset_collection.at(index)))
            presets.push_back(index + 1);
    }
    if (presets.empty())
        return;
    const std::wstring text = (presets.size() == 1 ? L"Preset " : L"Presets ") + numberList(presets) +
                              (presets.size() == 1 ? L" holds" : L" hold") +
                              L" text that this system's code page (" + std::to_wstring(GetACP()) +
                              L") cannot show as it is stored in " + path +
                              L".\n\nThe editor keeps that text as it is stored until you change the field "
                              L"that holds it.";
    MessageBoxW(owner, text.c_str(), L"", MB_OK | MB_ICONINFORMATION | MB_SYSTEMMODAL | MB_TOPMOST);
}

// A box about config.dat as the load found it: the problem, where the file
// is, and what the editor shows instead.
void tellLoadProblem(HWND owner, const std::wstring& problem, const FilePath& path, const FilePath& recoveredFrom)
{
    std::wstring text = problem + L":\n" + path + L"\n\n";
    text += recoveredFrom.empty()
                ? L"The editor starts with a default preset."
                : L"The editor shows the presets of a save that was interrupted, kept in " + recoveredFrom + L".";
    text += L" The first Save keeps the old file as " + fileNameOf(damagedCopyName(path)) + L".";
    showError(owner, text);
}

void tellLoadProblem(HWND owner, const ConfigLoad& load, const FilePath& path, const FilePath& recoveredFrom)
{
    tellLoadProblem(owner,
                    load.outcome == LoadOutcome::damaged
                        ? L"config.dat is damaged" +
                              (load.fault.noted() ? L" (" + fromAscii(load.fault.describe()) + L")" : L"")
                        : L"config.dat cannot be read: " + unreadableCause(load.readFault, path),
                    path, recoveredFrom);
}

std::wstring saveFailureCause(const SaveResult& result)
{
    switch (result.fault) {
    case SaveFault::held:
        return (result.holder.empty() ? L"config.dat is in use by another program: "
                                      : L"config.dat is in use by " + result.holder + L"; close it and save again: ") +
               result.path;
    case SaveFault::readOnly:
        return L"config.dat is read-only: " + result.path;
    case SaveFault::folderNotWritable:
        return L"This user may not write into the folder " + result.path;
    case SaveFault::diskFull:
        return L"The disk is full: " + result.path;
    case SaveFault::tooLarge:
        return L"The presets are " + std::to_wstring(result.bytesOver) +
               L" bytes too large for config.dat; shorten or remove some: " + result.path;
    case SaveFault::failedPartWay:
        return L"Writing into config.dat broke off part way: " + result.path +
               L"\nThe complete new presets are kept in " + result.completeCopy;
    case SaveFault::none:
    case SaveFault::notWritten:
        break;
    }
    return L"config.dat could not be written: " + result.path;
}

// The characters separated by commas; a surrogate pair stays together, and
// a character that cannot be seen is named by its number.
std::wstring listed(const std::wstring& characters)
{
    std::wstring list;
    for (size_t position = 0; position < characters.size(); ++position) {
        const wchar_t character = characters[position];
        const bool secondHalf = character >= 0xDC00 && character <= 0xDFFF;
        if (!list.empty() && !secondHalf)
            list += L", ";
        if (isInvisible(character))
            list += wideFromUtf8(codePointName(character));
        else
            list += character;
    }
    return list;
}

// Names the first text typed into the editor that the ANSI code page of
// config.dat cannot hold (it would be stored with '?'); empty when there is none.
std::wstring textTheFileCannotHold()
{
    auto describe = [](const std::wstring& field, int preset, const UnheldText& text) {
        return L"The " + field + L" of preset " + std::to_wstring(preset + 1) + L", \"" + text.typed + L"\", holds " +
               listed(text.lost) + L", which config.dat cannot hold in code page " + std::to_wstring(GetACP()) +
               L"; nothing was saved.";
    };
    for (int index = 0; index < preset_collection.count(); ++index) {
        const StreamSettings& preset = preset_collection.at(index);
        if (const UnheldText* name = preset.unheld(TextField::name))
            return describe(L"name", index, *name);
        for (int protocol = 0; protocol < preset.endpointCount(); ++protocol) {
            const std::wstring of = L" for " + toWide(protocolDisplayName(protocol));
            if (const UnheldText* host = preset.unheld(TextField::host, protocol))
                return describe(L"host" + of, index, *host);
            if (const UnheldText* streamName = preset.unheld(TextField::streamName, protocol))
                return describe(L"stream name" + of, index, *streamName);
        }
    }
    return {};
}

// The wait cursor while a save waits for other programs (holders of the
// file, the renderer); the previous cursor comes back afterwards.
class WaitCursor {
public:
    WaitCursor() : previous_(SetCursor(LoadCursorW(nullptr, IDC_WAIT))) {}
    ~WaitCursor() { SetCursor(previous_); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    HCURSOR previous_;
};

// Whether the save may go ahead over config.dat as it is now; keeps another
// program's version beside it when the user lets it be replaced. A file that
// cannot be read, after the wait for a holder, is not replaced unseen.
bool userLetsReplace(HWND owner, const FilePath& path)
{
    if (!knownFile)
        return true;  // the file the editor could not read is kept aside before it is replaced
    FileFingerprint current;
    FileFault fault = FileFault::other;
    bool read = false;
    {
        WaitCursor waiting;
        read = fingerprintFile(path, current, fault);
    }
    if (!read && !isFolder(path)) {  // a folder in its place is the save's to report
        tellSaveFailure(owner, L"config.dat cannot be read to tell whether another program changed it (" +
                                   unreadableCause(fault, path) + L"); nothing was saved: " + path);
        return false;
    }
    if (current == *knownFile)
        return true;
    if (MessageBoxW(owner, kChangedElsewhere, L"", MB_YESNO | MB_ICONWARNING | MB_SYSTEMMODAL | MB_TOPMOST) != IDYES)
        return false;
    if (!keepReplacedCopy(path)) {
        tellSaveFailure(owner, L"The other program's config.dat could not be kept as config.dat.replaced: " + path);
        return false;
    }
    keepBeforeReplacing = false;  // the file read at start is gone already
    return true;
}

// After this editor's own write into config.dat broke off, what it left
// there is no other program's change.
void rememberOwnBrokenWrite(const FilePath& path)
{
    FileFingerprint left;
    FileFault fault = FileFault::other;
    if (fingerprintFile(path, left, fault))
        knownFile = left;
    else
        knownFile.reset();
}

bool loadConfigurationFile(HWND owner)
{
    const FilePath path = configFilePath();
    if (path.empty()) {
        notify_renderers();
        return false;
    }
    const ConfigLoad load = loadConfigFile(preset_collection, path);
    knownFile.reset();
    if (load.outcome != LoadOutcome::unreadable)
        knownFile = load.fingerprint;
    keepBeforeReplacing = load.outcome == LoadOutcome::damaged || load.outcome == LoadOutcome::unreadable;
    const FilePath recoveredFrom = load.outcome == LoadOutcome::damaged ? recoverInterruptedSave(path) : FilePath();
    if (load.outcome == LoadOutcome::loaded || load.outcome == LoadOutcome::missing)
        removeTemporariesOfEndedSaves(path);
    notify_renderers();
    if (load.outcome == LoadOutcome::loaded)
        preset_collection.clearChanged();
    if (keepBeforeReplacing)
        tellLoadProblem(owner, load, path, recoveredFrom);
    tellTextKeptAsStored(owner, path);
    return load.outcome == LoadOutcome::loaded;
}

bool saveConfigurationFile(HWND owner)
{
    preset_collection.validateAll();
    const std::wstring unheldText = textTheFileCannotHold();
    if (!unheldText.empty()) {
        tellSaveFailure(owner, unheldText);
        return false;
    }
    const FilePath path = configFilePath();
    if (path.empty()) {
        tellSaveFailure(owner, L"The editor's folder has a path too long for config.dat");
        return false;
    }
    if (!userLetsReplace(owner, path))
        return false;
    if (keepBeforeReplacing && !keepDamagedCopy(path)) {
        tellSaveFailure(owner, L"The old config.dat could not be kept as " + fileNameOf(damagedCopyName(path)) +
                                   L": " + path);
        return false;
    }
    keepBeforeReplacing = false;
    SaveResult result;
    {
        WaitCursor waiting;
        result = writeConfigFile(preset_collection, path);
        if (result) {
            knownFile = result.written;
            preset_collection.clearChanged();
            notify_renderers();
            removeTemporariesOfEndedSaves(path);
        } else if (result.fault == SaveFault::failedPartWay) {
            rememberOwnBrokenWrite(path);
        }
    }
    if (!result)
        tellSaveFailure(owner, saveFailureCause(result));
    return static_cast<bool>(result);
}

}  // namespace

void tellSaveFailure(HWND owner, const std::wstring& cause)
{
    showError(owner, std::wstring(kSaveFailed) + L"\n" + cause);
}

std::wstring failureCause(const std::exception& failure)
{
    if (dynamic_cast<const std::bad_alloc*>(&failure) != nullptr)
        return L"the editor ran out of memory";
    return L"the editor failed unexpectedly (" + toWide(failure.what()) + L")";
}

bool loadConfiguration(HWND owner)
{
    try {
        return loadConfigurationFile(owner);
    } catch (const std::exception& failure) {
        // What config.dat holds is unknown: the first save keeps it aside.
        knownFile.reset();
        keepBeforeReplacing = true;
        preset_collection = StreamSettingsSet(1);
        const FilePath path = configFilePath();
        tellLoadProblem(owner, L"config.dat could not be loaded: " + failureCause(failure), path, FilePath());
        return false;
    }
}

bool saveConfiguration(HWND owner)
{
    try {
        return saveConfigurationFile(owner);
    } catch (const std::exception& failure) {
        tellSaveFailure(owner, L"config.dat could not be saved: " + failureCause(failure) + L": " + configFilePath());
        return false;
    }
}
