#include "ui/source_search.h"

#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "app/host_link.h"
#include "app/process_state.h"
#include "discover/discovery.h"
#include "model/preset_joining.h"
#include "model/protocol_table.h"
#include "model/stream_url.h"
#include "model/text_conversion.h"
#include "probe/net_socket.h"
#include "probe/thread_end.h"
#include "ui/balloon_tip.h"
#include "ui/dialog_worker.h"
#include "ui/no_throw.h"
#include "ui/owned_dialog.h"
#include "ui/picture.h"
#include "ui/preset_page.h"
#include "ui/resource.h"

namespace {

// Posted by the workers when a search, or the fetch of a snapshot, has ended.
constexpr UINT kSearchDone = WM_APP + 1;
constexpr UINT kSnapshotDone = WM_APP + 2;

// As long as the tool searches by default: cameras answer within a second or
// two, announcements come every few seconds.
constexpr std::chrono::seconds kSearchDuration{4};

constexpr int kCredentialUnits = 256;
constexpr int kAddressUnits = 512;

// Overwrites a secret before its memory is given back.
void forget(std::string& secret)
{
    SecureZeroMemory(&secret[0], secret.size());
    secret.clear();
}

struct DeleteBitmap {
    void operator()(HBITMAP bitmap) const { DeleteObject(bitmap); }
};
using Bitmap = std::unique_ptr<std::remove_pointer_t<HBITMAP>, DeleteBitmap>;

// What a search's thread and the dialog share. A search of the addresses
// alone ("Add camera") adds to the list; any other replaces it.
struct SearchRun : DialogWork {
    SearchScope scope;
    CameraLogin login;
    std::optional<DiscoveryFindings> findings;

    ~SearchRun()
    {
        forget(login.user);
        forget(login.password);
    }
};

// The fetch of a camera profile's snapshot and its picture, scaled to `box`.
struct SnapshotRun : DialogWork {
    FoundSource source;
    CameraLogin login;
    SIZE box = {};
    std::optional<std::string> problem;  // once it has ended; "" with the picture
    Bitmap picture;

    ~SnapshotRun()
    {
        forget(login.user);
        forget(login.password);
    }
};

// The dialog's own state, on the stack of findSources().
struct SourceSearch {
    HWND page = nullptr;
    DialogWorker<SearchRun> search;
    DialogWorker<SnapshotRun> snapshot;
    std::vector<FoundSource> sources;
    std::vector<Bitmap> pictures;  // the rows' snapshots, once fetched
    int snapshotRow = -1;          // the row whose snapshot is shown or fetched
    // Cameras added by their address: every search asks them again.
    std::vector<CameraAddress> addresses;
    // The cameras that the log-in was kept to; empty: every camera.
    std::vector<uint32_t> loginCameras;
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

// The body of a search's thread: it ends when the search does, and never
// with an exception.
void searchOnWorker(SearchRun& run) noexcept
{
    DiscoveryFindings findings;
    try {
        findings = discoverSources(kSearchDuration, run.scope, run.login, run.cancel);
    } catch (const std::exception& error) {
        findings = {};
        findings.problems.push_back("the search " + couldNotBeRead(error));
    }
    {
        std::lock_guard<std::mutex> lock(run.mutex);
        forget(run.login.password);
        run.findings = std::move(findings);
    }
    run.post(kSearchDone);
}

// The body of a snapshot's thread: the fetch, then the picture decoded and
// scaled here, so that the window never waits for either.
void fetchOnWorker(SnapshotRun& run) noexcept
{
    std::string problem;
    HBITMAP picture = nullptr;
    try {
        std::string jpeg;
        if (fetchSnapshot(run.source, run.login, run.cancel, jpeg, problem))
            picture = decodePicture(jpeg.data(), jpeg.size(), run.box, problem);
    } catch (const std::exception& error) {
        problem = couldNotBeRead(error);
    }
    {
        std::lock_guard<std::mutex> lock(run.mutex);
        forget(run.login.password);
        run.picture.reset(picture);
        run.problem = std::move(problem);
    }
    run.post(kSnapshotDone);
}

std::string fieldUtf8(HWND dialog, int controlId)
{
    wchar_t buffer[kCredentialUnits] = {};
    GetDlgItemTextW(dialog, controlId, buffer, kCredentialUnits);
    std::string text = utf8FromWide(buffer);
    SecureZeroMemory(buffer, sizeof(buffer));
    return text;
}

// The log-in typed into the dialog, for `cameras` (empty: every camera).
CameraLogin typedLogin(HWND dialog, const std::vector<uint32_t>& cameras)
{
    CameraLogin login;
    login.user = fieldUtf8(dialog, IDC_FIND_USER);
    login.password = fieldUtf8(dialog, IDC_FIND_PASSWORD);
    if (!login.user.empty())
        login.cameras = cameras;
    return login;
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

int selectedRow(HWND dialog)
{
    return static_cast<int>(SendMessageW(listOf(dialog), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

int selectedCount(HWND dialog)
{
    return static_cast<int>(SendMessageW(listOf(dialog), LVM_GETSELECTEDCOUNT, 0, 0));
}

// The one selected row; -1 when none or several are.
int chosenRow(HWND dialog, const SourceSearch& search)
{
    const int row = selectedRow(dialog);
    return selectedCount(dialog) == 1 && row >= 0 && row < static_cast<int>(search.sources.size()) ? row : -1;
}

// The chosen source, when one alone is selected and it makes a preset.
const FoundSource* chosenSource(HWND dialog, const SourceSearch& search)
{
    const int row = chosenRow(dialog, search);
    return row >= 0 && !search.sources[row].keyword.empty() ? &search.sources[row] : nullptr;
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

// Stop serves the search and the fetch of a snapshot alike.
void showRunning(HWND dialog, const SourceSearch& search)
{
    const bool searching = search.search.running();
    const bool running = searching || search.snapshot.running();
    ShowWindow(GetDlgItem(dialog, IDC_FIND_PROGRESS), running ? SW_SHOW : SW_HIDE);
    SendDlgItemMessageW(dialog, IDC_FIND_PROGRESS, PBM_SETMARQUEE, running ? TRUE : FALSE, 0);
    enableControl(dialog, IDC_FIND_STOP, running);
    enableControl(dialog, IDC_FIND_SEARCH, !searching);
    enableControl(dialog, IDC_FIND_ADD_CAMERA, !searching);
}

// The snapshot box says what it shows: "Snapshot of ...", why there is
// none, or that it is on its way; the picture itself is drawn on
// WM_DRAWITEM.
void showSnapshotText(HWND dialog, const std::wstring& text)
{
    const HWND box = GetDlgItem(dialog, IDC_FIND_SNAPSHOT);
    SetWindowTextW(box, text.c_str());
    InvalidateRect(box, nullptr, TRUE);
}

// The snapshot box's size within its border.
SIZE snapshotBox(HWND dialog)
{
    RECT inside = {};
    GetClientRect(GetDlgItem(dialog, IDC_FIND_SNAPSHOT), &inside);
    return {inside.right, inside.bottom};
}

// The chosen camera profile's snapshot: shown when it was fetched before,
// fetched otherwise; a change of choice lets go of a fetch under way.
void showSnapshot(HWND dialog, SourceSearch& search)
{
    const int row = chosenRow(dialog, search);
    if (row == search.snapshotRow)
        return;
    search.snapshot.letGo();
    search.snapshotRow = row;
    const FoundSource* source = row >= 0 ? &search.sources[row] : nullptr;
    if (!source || source->profileToken.empty()) {
        showSnapshotText(dialog, L"");
    } else if (search.pictures[row]) {
        showSnapshotText(dialog, L"Snapshot of " + wideFromUtf8(source->name));
    } else if (source->snapshotUrl.empty()) {
        showSnapshotText(dialog, L"no snapshot: " + wideFromUtf8(source->snapshotReason));
    } else {
        auto run = std::make_shared<SnapshotRun>();
        run->source = *source;
        run->login = typedLogin(dialog, search.loginCameras);
        run->box = snapshotBox(dialog);
        const bool started = search.snapshot.start(dialog, std::move(run), fetchOnWorker);
        showSnapshotText(dialog, started ? L"fetching the snapshot\u2026" : L"no snapshot: no thread for its fetch");
    }
    showRunning(dialog, search);
}

void showChoice(HWND dialog, SourceSearch& search)
{
    const int row = chosenRow(dialog, search);
    SetDlgItemTextW(dialog, IDC_FIND_DETAIL, row >= 0 ? detailOf(search.sources[row]).c_str() : L"");
    const bool usable = chosenSource(dialog, search) != nullptr;
    enableControl(dialog, IDC_FIND_USE, usable);
    enableControl(dialog, IDC_FIND_ADD, usable && preset_collection.count() < kMaxPagePresets);
    showSnapshot(dialog, search);
}

// A new list: its pictures are yet to be fetched.
void showSources(HWND dialog, SourceSearch& search)
{
    search.snapshot.letGo();
    search.snapshotRow = -1;
    showSnapshotText(dialog, L"");
    search.pictures.clear();
    search.pictures.resize(search.sources.size());
    const HWND list = listOf(dialog);
    SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    for (int row = 0; row < static_cast<int>(search.sources.size()); ++row) {
        const FoundSource& source = search.sources[row];
        const std::string cells[] = {source.kind, source.name, source.interfaceName, source.address,
                                     source.stream.empty() ? "-" : source.stream, presetText(source)};
        for (int column = 0; column < static_cast<int>(std::size(cells)); ++column)
            setCell(list, row, column, cells[column]);
    }
    showChoice(dialog, search);
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

// Starts a search of `scope`; false, said in the news line, when it cannot.
bool startSearch(HWND dialog, SourceSearch& search, SearchScope scope, CameraLogin login)
{
    auto run = std::make_shared<SearchRun>();
    run->scope = std::move(scope);
    run->login = std::move(login);
    if (!search.search.start(dialog, std::move(run), searchOnWorker)) {
        SetDlgItemTextW(dialog, IDC_FIND_NEWS, L"The search could not start: no thread for it.");
        return false;
    }
    showRunning(dialog, search);
    return true;
}

// Search: every interface, and the cameras added by address.
void onSearch(HWND dialog, SourceSearch& search)
{
    search.loginCameras = selectedCameras(dialog, search);
    CameraLogin login = typedLogin(dialog, search.loginCameras);
    const std::vector<uint32_t> cameras = login.cameras;
    search.sources.clear();
    showSources(dialog, search);
    if (!startSearch(dialog, search, {true, search.addresses}, std::move(login)))
        return;
    SetDlgItemTextW(dialog, IDC_FIND_NEWS,
                    cameras.empty() ? L"Searching for cameras and announced streams\u2026"
                                    : (L"Searching; the log-in goes to " + addressList(cameras) + L" only\u2026").c_str());
}

// Add camera: the address typed, with the rules of a pasted URL, is asked
// with the others added before; the list keeps what the search found.
void onAddCamera(HWND dialog, SourceSearch& search)
{
    wchar_t typed[kAddressUnits] = {};
    GetDlgItemTextW(dialog, IDC_FIND_ADDRESS, typed, kAddressUnits);
    const CameraAddress address = readCameraAddress(utf8FromWide(typed));
    if (!address.read) {
        showBalloonTip(GetDlgItem(dialog, IDC_FIND_ADDRESS), L"This address cannot be taken",
                       wideFromUtf8(address.refusal));
        return;
    }
    const auto same = [&](const CameraAddress& other) {
        return other.host == address.host && other.port == address.port && other.path == address.path;
    };
    if (std::none_of(search.addresses.begin(), search.addresses.end(), same))
        search.addresses.push_back(address);
    // The camera named is the one the log-in goes to, whatever was chosen before.
    uint32_t parsed = 0;
    if (!search.loginCameras.empty() && parseIpv4(address.host, parsed))
        search.loginCameras.push_back(parsed);
    if (startSearch(dialog, search, {false, search.addresses}, typedLogin(dialog, {})))
        SetDlgItemTextW(dialog, IDC_FIND_NEWS, (L"Asking the camera at " + wideFromUtf8(cameraAddressText(address)) +
                                                L"\u2026").c_str());
}

std::wstring outcomeText(size_t found, const DiscoveryFindings& findings, const SearchScope& scope, bool stopped)
{
    std::string text = counted(found, "source") + (stopped ? " found before the stop" : " found");
    for (const std::string& problem : findings.problems)
        text += "; " + problem;
    return wideFromUtf8(text + "; searched " + searchedText(findings, scope));
}

void onSearchDone(HWND dialog, SourceSearch& search)
{
    if (!search.search)
        return;
    DiscoveryFindings findings;
    {
        std::lock_guard<std::mutex> lock(search.search->mutex);
        if (!search.search->findings)
            return;
        findings = std::move(*search.search->findings);
    }
    search.search.finished();
    const SearchScope& scope = search.search->scope;
    const size_t found = findings.sources.size();
    if (scope.multicast) {
        search.sources = std::move(findings.sources);
    } else {
        // What the addresses listed before gives way to what they list now.
        search.sources.erase(std::remove_if(search.sources.begin(), search.sources.end(),
                                            [](const FoundSource& source) { return source.interfaceName == kByAddress; }),
                             search.sources.end());
        search.sources = withNamedCameras(std::move(search.sources), findings.sources);
    }
    SetDlgItemTextW(dialog, IDC_FIND_NEWS,
                    outcomeText(found, findings, scope, search.search->cancel.cancelled()).c_str());
    showSources(dialog, search);
    if (!search.sources.empty())
        ListView_SetItemState(listOf(dialog), 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    showRunning(dialog, search);
    keepKeyboardOnAControl(dialog, !search.sources.empty());
}

void onSnapshotDone(HWND dialog, SourceSearch& search)
{
    if (!search.snapshot)
        return;  // the end of a fetch let go of
    std::optional<std::string> problem;
    Bitmap picture;
    {
        std::lock_guard<std::mutex> lock(search.snapshot->mutex);
        problem = search.snapshot->problem;
        picture = std::move(search.snapshot->picture);
    }
    if (!problem)
        return;
    search.snapshot.finished();
    const int row = search.snapshotRow;
    if (picture && row >= 0 && row < static_cast<int>(search.pictures.size())) {
        search.pictures[row] = std::move(picture);
        showSnapshotText(dialog, L"Snapshot of " + wideFromUtf8(search.sources[row].name));
    } else {
        showSnapshotText(dialog, L"no snapshot: " + wideFromUtf8(*problem));
    }
    showRunning(dialog, search);
    keepKeyboardOnAControl(dialog, !search.sources.empty());
}

// The snapshot centred in its box, or its text where there is none.
void drawSnapshot(const SourceSearch& search, const DRAWITEMSTRUCT& item)
{
    const RECT& box = item.rcItem;
    FillRect(item.hDC, &box, GetSysColorBrush(COLOR_BTNFACE));
    const int row = search.snapshotRow;
    const HBITMAP picture = row >= 0 && row < static_cast<int>(search.pictures.size()) ? search.pictures[row].get()
                                                                                        : nullptr;
    if (!picture) {
        wchar_t text[512] = {};
        GetWindowTextW(item.hwndItem, text, 512);
        RECT inside = box;
        InflateRect(&inside, -4, -4);
        SetBkMode(item.hDC, TRANSPARENT);
        SetTextColor(item.hDC, GetSysColor(COLOR_GRAYTEXT));
        const HGDIOBJ font = SelectObject(item.hDC, reinterpret_cast<HFONT>(SendMessageW(item.hwndItem, WM_GETFONT, 0, 0)));
        DrawTextW(item.hDC, text, -1, &inside, DT_CENTER | DT_WORDBREAK | DT_NOPREFIX);
        SelectObject(item.hDC, font);
        return;
    }
    BITMAP size = {};
    GetObjectW(picture, sizeof(size), &size);
    const HDC source = CreateCompatibleDC(item.hDC);
    const HGDIOBJ before = SelectObject(source, picture);
    BitBlt(item.hDC, box.left + (box.right - box.left - size.bmWidth) / 2,
           box.top + (box.bottom - box.top - size.bmHeight) / 2, size.bmWidth, size.bmHeight, source, 0, 0, SRCCOPY);
    SelectObject(source, before);
    DeleteDC(source);
}

void onStop(HWND dialog, SourceSearch& search)
{
    search.snapshot.stop();
    if (!search.search.running())
        return;
    search.search.stop();
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
    GivenPreset preset = givenPresetOf(source, source.name);
    preset.fallbackName = source.hardware.empty() ? source.address : source.hardware + " (" + source.address + ")";
    const size_t profile = source.name.find(" / ");
    if (profile != std::string::npos)
        preset.fallbackName += source.name.substr(profile);
    return preset;
}

// Lets go of the work under way: the dialog is ending.
void letGoOfWork(SourceSearch& search)
{
    search.search.letGo();
    search.snapshot.letGo();
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
    letGoOfWork(search);
    EndDialog(dialog, IDOK);
}

void onInitDialog(HWND dialog, SourceSearch& search)
{
    SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(&search));
    SendDlgItemMessageW(dialog, IDC_FIND_USER, EM_LIMITTEXT, kCredentialUnits - 1, 0);
    SendDlgItemMessageW(dialog, IDC_FIND_PASSWORD, EM_LIMITTEXT, kCredentialUnits - 1, 0);
    SendDlgItemMessageW(dialog, IDC_FIND_ADDRESS, EM_LIMITTEXT, kAddressUnits - 1, 0);
    addColumns(dialog);
    onSearch(dialog, search);
    SetFocus(GetDlgItem(dialog, search.search.running() ? IDC_FIND_STOP : IDCLOSE));
}

// In live mode turning to another program closes the editor.
void onActivate(HWND dialog, SourceSearch& search, WPARAM wParam, LPARAM lParam)
{
    if (!live_mode || !turnsAwayFromEditor(GetWindow(dialog, GW_OWNER), wParam, lParam))
        return;
    letGoOfWork(search);
    endWithEditor(dialog);
}

void onCommand(HWND dialog, SourceSearch& search, int controlId, int code)
{
    switch (controlId) {
    case IDC_FIND_SEARCH:
        if (!search.search.running())
            onSearch(dialog, search);
        break;
    case IDC_FIND_ADD_CAMERA:
        if (!search.search.running())
            onAddCamera(dialog, search);
        break;
    case IDC_FIND_ADDRESS:
        // Return in the address field adds the camera; elsewhere it searches.
        if (code == EN_SETFOCUS || code == EN_KILLFOCUS)
            SendMessageW(dialog, DM_SETDEFID, code == EN_SETFOCUS ? IDC_FIND_ADD_CAMERA : IDC_FIND_SEARCH, 0);
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
        letGoOfWork(search);
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
        onSearchDone(dialog, search);
        return TRUE;
    case kSnapshotDone:
        onSnapshotDone(dialog, search);
        return TRUE;
    case WM_COMMAND:
        onCommand(dialog, search, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_NOTIFY:
        return onNotify(dialog, search, *reinterpret_cast<const NMHDR*>(lParam));
    case WM_DRAWITEM:
        if (wParam != IDC_FIND_SNAPSHOT)
            return FALSE;
        drawSnapshot(search, *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    case WM_ACTIVATE:
        onActivate(dialog, search, wParam, lParam);
        return FALSE;
    case WM_DESTROY:
        letGoOfWork(search);
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
    SourceSearch search;
    search.page = page;
    DialogBoxParamW(app_instance, MAKEINTRESOURCEW(IDD_FIND_SOURCES), page, sourceSearchProc,
                    reinterpret_cast<LPARAM>(&search));
    return search.taken;
}

void endSourceSearch(HWND owner)
{
    cancelOwnedDialog(owner, sourceSearchProc);
}
