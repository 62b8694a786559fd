#include "ui/source_search.h"

#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>

#include "app/host_link.h"
#include "app/process_state.h"
#include "discover/discovery.h"
#include "model/preset_joining.h"
#include "model/protocol_table.h"
#include "model/stream_url.h"
#include "model/text_conversion.h"
#include "probe/net_socket.h"
#include "probe/thread_end.h"
#include "ui/no_throw.h"
#include "ui/owned_dialog.h"
#include "ui/preset_page.h"
#include "ui/resource.h"

namespace {

// Posted by the worker when the search has ended.
constexpr UINT kSearchDone = WM_APP + 1;

// As long as the tool searches by default: cameras answer within a second or
// two, announcements come every few seconds.
constexpr std::chrono::seconds kSearchDuration{4};

constexpr int kCredentialUnits = 256;

// Overwrites a secret before its memory is given back.
void forget(std::string& secret)
{
    SecureZeroMemory(&secret[0], secret.size());
    secret.clear();
}

// What the worker and the dialog share. The worker holds its own reference,
// so a dialog that closes first leaves it nothing to touch but this.
struct SearchRun {
    CameraLogin login;
    CancelToken cancel;
    std::mutex mutex;
    HWND dialog = nullptr;  // null once the dialog is gone
    std::optional<DiscoveryFindings> findings;

    ~SearchRun()
    {
        forget(login.user);
        forget(login.password);
    }
};

// The dialog's own state, on the stack of findSources().
struct SourceSearch {
    HWND page;
    std::shared_ptr<SearchRun> run;
    std::vector<FoundSource> sources;
    bool running = false;
    bool taken = false;
};

SourceSearch& stateOf(HWND dialog)
{
    return *reinterpret_cast<SourceSearch*>(GetWindowLongPtrW(dialog, DWLP_USER));
}

HWND listOf(HWND dialog)
{
    return GetDlgItem(dialog, IDC_FIND_LIST);
}

void enableControl(HWND dialog, int controlId, bool enabled)
{
    EnableWindow(GetDlgItem(dialog, controlId), enabled ? TRUE : FALSE);
}

// The body of the search's thread: it ends when the search does, and
// never with an exception.
void searchOnWorker(const std::shared_ptr<SearchRun>& run) noexcept
{
    DiscoveryFindings findings;
    try {
        findings = discoverSources(kSearchDuration, run->login, run->cancel);
    } catch (const std::exception& error) {
        findings = {};
        findings.problems.push_back("the search " + couldNotBeRead(error));
    }
    std::lock_guard<std::mutex> lock(run->mutex);
    forget(run->login.password);
    run->findings = std::move(findings);
    if (run->dialog)
        PostMessageW(run->dialog, kSearchDone, 0, 0);
}

// The worker ends when it next looks at the token; it is left to finish on
// its own with only the state that it shares.
void stopSearch(SourceSearch& search)
{
    if (!search.run)
        return;
    search.run->cancel.cancel();
    std::lock_guard<std::mutex> lock(search.run->mutex);
    search.run->dialog = nullptr;
}

std::string fieldUtf8(HWND dialog, int controlId)
{
    wchar_t buffer[kCredentialUnits] = {};
    GetDlgItemTextW(dialog, controlId, buffer, kCredentialUnits);
    std::string text = utf8FromWide(buffer);
    SecureZeroMemory(buffer, sizeof(buffer));
    return text;
}

struct Column {
    const wchar_t* title;
    int width;  // dialog units
};

constexpr Column kColumns[] = {{L"Kind", 24}, {L"Name", 70}, {L"Found on", 68},
                               {L"Address", 62}, {L"Stream", 60}, {L"Preset", 122}};

void addColumns(HWND dialog)
{
    const HWND list = listOf(dialog);
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT);
    for (int index = 0; index < static_cast<int>(std::size(kColumns)); ++index) {
        RECT width = {0, 0, kColumns[index].width, 0};
        MapDialogRect(dialog, &width);
        LVCOLUMNW column = {};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.pszText = const_cast<wchar_t*>(kColumns[index].title);
        column.cx = width.right;
        SendMessageW(list, LVM_INSERTCOLUMNW, index, reinterpret_cast<LPARAM>(&column));
    }
}

void setCell(HWND list, int row, int column, const std::string& utf8)
{
    std::wstring text = wideFromUtf8(utf8);
    LVITEMW item = {};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.iSubItem = column;
    item.pszText = &text[0];
    SendMessageW(list, column == 0 ? LVM_INSERTITEMW : LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
}

void showSources(HWND dialog, const std::vector<FoundSource>& sources)
{
    const HWND list = listOf(dialog);
    SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    for (int row = 0; row < static_cast<int>(sources.size()); ++row) {
        const FoundSource& source = sources[row];
        const std::string cells[] = {source.kind, source.name, source.interfaceName, source.address,
                                     source.stream.empty() ? "-" : source.stream, presetText(source)};
        for (int column = 0; column < static_cast<int>(std::size(cells)); ++column)
            setCell(list, row, column, cells[column]);
    }
}

int selectedRow(HWND dialog)
{
    return static_cast<int>(SendMessageW(listOf(dialog), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

int selectedCount(HWND dialog)
{
    return static_cast<int>(SendMessageW(listOf(dialog), LVM_GETSELECTEDCOUNT, 0, 0));
}

// The chosen source, when one alone is selected and it makes a preset.
const FoundSource* chosenSource(HWND dialog, const SourceSearch& search)
{
    const int row = selectedRow(dialog);
    if (selectedCount(dialog) != 1 || row < 0 || row >= static_cast<int>(search.sources.size()) ||
        search.sources[row].keyword.empty())
        return nullptr;
    return &search.sources[row];
}

// The addresses of the selected cameras, which alone get the log-in.
std::vector<uint32_t> selectedCameras(HWND dialog, const SourceSearch& search)
{
    std::vector<uint32_t> cameras;
    for (int row = selectedRow(dialog); row >= 0 && row < static_cast<int>(search.sources.size());
         row = static_cast<int>(SendMessageW(listOf(dialog), LVM_GETNEXTITEM, row, LVNI_SELECTED))) {
        uint32_t address = 0;
        if (search.sources[row].kind == "onvif" && parseIpv4(search.sources[row].address, address) &&
            std::find(cameras.begin(), cameras.end(), address) == cameras.end())
            cameras.push_back(address);
    }
    return cameras;
}

// What the table has no room for: where the camera is, what was done to its
// URL, or why no preset can hold the source.
std::wstring detailOf(const FoundSource& source)
{
    std::string text;
    for (const std::string* part : {&source.location, &source.note, &source.reason})
        if (!part->empty())
            text += (text.empty() ? "" : "\r\n") + *part;
    return wideFromUtf8(text);
}

void showChoice(HWND dialog, const SourceSearch& search)
{
    const int row = selectedRow(dialog);
    const bool listed = selectedCount(dialog) == 1 && row >= 0 && row < static_cast<int>(search.sources.size());
    SetDlgItemTextW(dialog, IDC_FIND_DETAIL, listed ? detailOf(search.sources[row]).c_str() : L"");
    const bool usable = chosenSource(dialog, search) != nullptr;
    enableControl(dialog, IDC_FIND_USE, usable);
    enableControl(dialog, IDC_FIND_ADD, usable && preset_collection.count() < kMaxPagePresets);
}

void showRunning(HWND dialog, bool running)
{
    ShowWindow(GetDlgItem(dialog, IDC_FIND_PROGRESS), running ? SW_SHOW : SW_HIDE);
    SendDlgItemMessageW(dialog, IDC_FIND_PROGRESS, PBM_SETMARQUEE, running ? TRUE : FALSE, 0);
    enableControl(dialog, IDC_FIND_STOP, running);
    enableControl(dialog, IDC_FIND_SEARCH, !running);
}

// Stop, which had the keyboard, is disabled at the end of a search: the list
// takes it when it shows something to choose, Close otherwise.
void keepKeyboardOnAControl(HWND dialog, bool anyFound)
{
    const HWND focus = GetFocus();
    if (!focus || !IsWindowEnabled(focus))
        SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog, anyFound ? IDC_FIND_LIST : IDCLOSE)),
                     TRUE);
}

// "10.1.0.9, 10.1.0.12"
std::wstring addressList(const std::vector<uint32_t>& addresses)
{
    std::string text;
    for (const uint32_t address : addresses)
        text += (text.empty() ? "" : ", ") + addressText(address);
    return wideFromUtf8(text);
}

void startSearch(HWND dialog, SourceSearch& search)
{
    search.run = std::make_shared<SearchRun>();
    search.run->login.user = fieldUtf8(dialog, IDC_FIND_USER);
    search.run->login.password = fieldUtf8(dialog, IDC_FIND_PASSWORD);
    if (!search.run->login.user.empty())
        search.run->login.cameras = selectedCameras(dialog, search);
    search.run->dialog = dialog;
    const std::vector<uint32_t> cameras = search.run->login.cameras;
    search.sources.clear();
    showSources(dialog, search.sources);
    showChoice(dialog, search);
    try {
        std::thread(searchOnWorker, search.run).detach();
    } catch (const std::system_error&) {
        search.run->dialog = nullptr;
        SetDlgItemTextW(dialog, IDC_FIND_NEWS, L"The search could not start: no thread for it.");
        return;
    }
    search.running = true;
    SetDlgItemTextW(dialog, IDC_FIND_NEWS,
                    cameras.empty() ? L"Searching for cameras and announced streams\u2026"
                                    : (L"Searching; the log-in goes to " + addressList(cameras) + L" only\u2026").c_str());
    showRunning(dialog, true);
}

std::wstring outcomeText(size_t found, const DiscoveryFindings& findings, bool stopped)
{
    std::string text = counted(found, "source") + (stopped ? " found before the stop" : " found");
    for (const std::string& problem : findings.problems)
        text += "; " + problem;
    std::string searched;
    for (const std::string& each : findings.interfaces)
        searched += (searched.empty() ? "; searched " : ", ") + each;
    return wideFromUtf8(text + searched);
}

void onDone(HWND dialog, SourceSearch& search)
{
    DiscoveryFindings findings;
    {
        std::lock_guard<std::mutex> lock(search.run->mutex);
        if (!search.run->findings)
            return;
        findings = std::move(*search.run->findings);
    }
    search.running = false;
    search.sources = std::move(findings.sources);
    showRunning(dialog, false);
    SetDlgItemTextW(dialog, IDC_FIND_NEWS,
                    outcomeText(search.sources.size(), findings, search.run->cancel.cancelled()).c_str());
    showSources(dialog, search.sources);
    if (!search.sources.empty())
        ListView_SetItemState(listOf(dialog), 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    showChoice(dialog, search);
    keepKeyboardOnAControl(dialog, !search.sources.empty());
}

void onStop(HWND dialog, SourceSearch& search)
{
    if (!search.running)
        return;
    search.run->cancel.cancel();
    SetDlgItemTextW(dialog, IDC_FIND_NEWS, L"Stopping\u2026");
}

// The found source as a stream URL of the model's texts, which goes into the
// preset as a pasted URL does; false when the code page cannot hold them.
bool urlOf(const FoundSource& source, StreamUrl& url)
{
    std::wstring lost;
    url.reading = UrlReading::source;
    url.protocol = protocolIndexOfKeyword(source.keyword);
    url.host = toNarrow(wideFromUtf8(source.host), lost);
    url.port = source.port;
    url.streamName = toNarrow(wideFromUtf8(source.streamName), lost);
    return lost.empty();
}

// The source as a new preset named after it. A camera without a name of its
// own is known by its uuid; its hardware and address tell the user more.
GivenPreset newPresetOf(const FoundSource& source)
{
    GivenPreset preset;
    preset.name = source.name;
    preset.fallbackName = source.hardware.empty() ? source.address : source.hardware + " (" + source.address + ")";
    const size_t profile = source.name.find(" / ");
    if (profile != std::string::npos)
        preset.fallbackName += source.name.substr(profile);
    const int protocol = protocolIndexOfKeyword(source.keyword);
    preset.protocol = protocol;
    GivenEndpoint& endpoint = preset.endpoints[protocol];
    endpoint.port = source.port;
    if (!source.host.empty())
        endpoint.host = source.host;
    if (!source.streamName.empty())
        endpoint.streamName = source.streamName;
    return preset;
}

// "Add as new preset" adds a preset as Add Preset does and shows it; "Use
// for this preset" takes the page's preset.
void onTake(HWND dialog, SourceSearch& search, int controlId)
{
    const FoundSource* source = chosenSource(dialog, search);
    if (!source || protocolIndexOfKeyword(source->keyword) < 0)
        return;
    if (controlId == IDC_FIND_ADD) {
        std::wstring refusal;
        const int added = addPreset(search.page, newPresetOf(*source), refusal);
        if (added < 0) {
            SetDlgItemTextW(dialog, IDC_FIND_NEWS, refusal.c_str());
            return;
        }
        showPresetTab(search.page, added);
    } else {
        StreamUrl url;
        if (!urlOf(*source, url)) {
            SetDlgItemTextW(dialog, IDC_FIND_NEWS, L"The source's stream URL holds characters that this system's "
                                                   L"code page cannot hold.");
            return;
        }
        useStreamUrl(search.page, url);
    }
    search.taken = true;
    stopSearch(search);
    EndDialog(dialog, IDOK);
}

void onInitDialog(HWND dialog, SourceSearch& search)
{
    SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(&search));
    SendDlgItemMessageW(dialog, IDC_FIND_USER, EM_LIMITTEXT, kCredentialUnits - 1, 0);
    SendDlgItemMessageW(dialog, IDC_FIND_PASSWORD, EM_LIMITTEXT, kCredentialUnits - 1, 0);
    addColumns(dialog);
    startSearch(dialog, search);
    SetFocus(GetDlgItem(dialog, search.running ? IDC_FIND_STOP : IDCLOSE));
}

// In live mode turning to another program closes the editor.
void onActivate(HWND dialog, SourceSearch& search, WPARAM wParam, LPARAM lParam)
{
    if (!live_mode || !turnsAwayFromEditor(GetWindow(dialog, GW_OWNER), wParam, lParam))
        return;
    stopSearch(search);
    endWithEditor(dialog);
}

void onCommand(HWND dialog, SourceSearch& search, int controlId)
{
    switch (controlId) {
    case IDC_FIND_SEARCH:
        if (!search.running)
            startSearch(dialog, search);
        break;
    case IDC_FIND_STOP:
        onStop(dialog, search);
        break;
    case IDC_FIND_USE:
    case IDC_FIND_ADD:
        onTake(dialog, search, controlId);
        break;
    case IDCLOSE:
    case IDCANCEL:  // the Escape key and the close box
        stopSearch(search);
        EndDialog(dialog, controlId);
        break;
    }
}

INT_PTR onNotify(HWND dialog, SourceSearch& search, const NMHDR& header)
{
    if (header.idFrom != IDC_FIND_LIST)
        return FALSE;
    if (header.code == LVN_ITEMCHANGED)
        showChoice(dialog, search);
    else if (header.code == NM_DBLCLK && chosenSource(dialog, search))
        onTake(dialog, search, IDC_FIND_USE);
    return TRUE;
}

INT_PTR handleMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        onInitDialog(dialog, *reinterpret_cast<SourceSearch*>(lParam));
        return FALSE;  // the focus is set
    }
    if (!GetWindowLongPtrW(dialog, DWLP_USER))
        return FALSE;
    SourceSearch& search = stateOf(dialog);
    switch (message) {
    case kSearchDone:
        onDone(dialog, search);
        return TRUE;
    case WM_COMMAND:
        onCommand(dialog, search, LOWORD(wParam));
        return TRUE;
    case WM_NOTIFY:
        return onNotify(dialog, search, *reinterpret_cast<const NMHDR*>(lParam));
    case WM_ACTIVATE:
        onActivate(dialog, search, wParam, lParam);
        return FALSE;
    case WM_DESTROY:
        stopSearch(search);
        SetWindowLongPtrW(dialog, DWLP_USER, 0);
        return FALSE;
    }
    return FALSE;
}

INT_PTR CALLBACK sourceSearchProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    return withoutExceptions([&] { return handleMessage(dialog, message, wParam, lParam); });
}

}  // namespace

bool findSources(HWND page)
{
    const INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_PROGRESS_CLASS | ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    SourceSearch search{page, nullptr, {}, false, false};
    DialogBoxParamW(app_instance, MAKEINTRESOURCEW(IDD_FIND_SOURCES), page, sourceSearchProc,
                    reinterpret_cast<LPARAM>(&search));
    return search.taken;
}

void endSourceSearch(HWND owner)
{
    cancelOwnedDialog(owner, sourceSearchProc);
}
