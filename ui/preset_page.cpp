#include "ui/preset_page.h"

#include <commctrl.h>

#include <memory>
#include <string>

#include "app/process_state.h"
#include "model/code_page.h"
#include "model/preset_joining.h"
#include "model/protocol_table.h"
#include "model/stream_settings.h"
#include "model/stream_url.h"
#include "model/text_conversion.h"
#include "ui/balloon_tip.h"
#include "ui/no_throw.h"
#include "ui/resource.h"
#include "ui/source_search.h"
#include "ui/source_test.h"
#include "ui/url_paste.h"

namespace {

struct TypingLimit {
    int controlId;
    int characters;
};

constexpr TypingLimit kTypingLimits[] = {
    {IDC_PRESET_NAME, kMaxNameCharacters}, {IDC_HOST, kMaxHostCharacters}, {IDC_PORT, 5},
    {IDC_STREAM_NAME, kMaxStreamNameCharacters}, {IDC_JITTER_DELAY, 4}, {IDC_LIP_SYNC, 5},
};

HWND tabsOf(HWND page)
{
    return GetParent(page);
}

int selectedTab(HWND page)
{
    return static_cast<int>(SendMessageW(tabsOf(page), TCM_GETCURSEL, 0, 0));
}

StreamSettings& selectedPreset(HWND page)
{
    return preset_collection.at(selectedTab(page));
}

// The whole text of a field: a stored text may be longer than typing allows.
std::wstring shownText(HWND page, int controlId)
{
    const HWND field = GetDlgItem(page, controlId);
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(field)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(field, &text[0], static_cast<int>(text.size()))));
    return text;
}

std::string fieldText(HWND page, int controlId)
{
    return toNarrow(shownText(page, controlId));
}

void showText(HWND page, int controlId, const std::string& text)
{
    SetWindowTextW(GetDlgItem(page, controlId), toWide(text).c_str());
}

// A text field shows what was typed into it when the code page could not
// hold that, and otherwise the stored text.
std::wstring textOf(const StreamSettings& preset, TextField field)
{
    if (const UnheldText* unheld = preset.unheld(field, preset.protocol()))
        return unheld->typed;
    const std::string stored = field == TextField::name   ? preset.name()
                                : field == TextField::host ? preset.host()
                                                           : preset.streamName();
    return toWide(stored);
}

void showTextOf(HWND page, int controlId, const StreamSettings& preset, TextField field)
{
    SetWindowTextW(GetDlgItem(page, controlId), textOf(preset, field).c_str());
}

bool isChecked(HWND page, int controlId)
{
    return SendDlgItemMessageW(page, controlId, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void showCheck(HWND page, int controlId, bool checked)
{
    SendDlgItemMessageW(page, controlId, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void enableControl(HWND page, int controlId, bool enabled)
{
    EnableWindow(GetDlgItem(page, controlId), enabled ? TRUE : FALSE);
}

void enableField(HWND page, int fieldId, int labelId, bool enabled)
{
    enableControl(page, fieldId, enabled);
    enableControl(page, labelId, enabled);
}

int selectedProtocol(HWND page)
{
    return static_cast<int>(SendDlgItemMessageW(page, IDC_PROTOCOL, CB_GETCURSEL, 0, 0));
}

void setTabTitle(HWND tabs, int index, const std::wstring& title, UINT message)
{
    TCITEMW item = {};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<wchar_t*>(title.c_str());
    SendMessageW(tabs, message, index, reinterpret_cast<LPARAM>(&item));
}

// Gives the tab control one tab per preset, titled with the preset names, and
// keeps the selection on an existing tab. Returns the selection.
int alignTabsWithPresets(HWND tabs, int selection)
{
    const int presets = preset_collection.count();
    if (selection >= presets) {
        selection = presets - 1;
        SendMessageW(tabs, TCM_SETCURSEL, selection, 0);
    }
    const int tabCount = static_cast<int>(SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < presets; ++i) {
        const std::wstring title = textOf(preset_collection.at(i), TextField::name);
        setTabTitle(tabs, i, title, i < tabCount ? TCM_SETITEMW : TCM_INSERTITEMW);
    }
    for (int i = tabCount - 1; i >= presets; --i)
        SendMessageW(tabs, TCM_DELETEITEM, i, 0);
    RedrawWindow(tabs, nullptr, nullptr, RDW_INVALIDATE);
    return selection;
}

// Why a preset could not be added, from the first refusal of the report.
std::wstring refusalOf(const JoinReport& report)
{
    for (const JoinNote& note : report.notes) {
        if (!note.refused)
            continue;
        if (note.kind == JoinNoteKind::tooMany)
            return L"The editor holds at most " + std::to_wstring(kMaxPagePresets) + L" presets.";
        const wchar_t* field = note.place.field == PresetField::name   ? L"name"
                               : note.place.field == PresetField::host ? L"host"
                                                                       : L"stream name";
        return L"The preset cannot be added: its " + std::wstring(field) + L" " + wideFromUtf8(note.detail) + L".";
    }
    return L"The preset cannot be added.";
}

void setText(StreamSettings& preset, TextField field, const std::string& text)
{
    if (field == TextField::name)
        preset.setName(text);
    else if (field == TextField::host)
        preset.setHost(text);
    else
        preset.setStreamName(text);
}

// Takes a text field into the preset, unless it still shows what the preset
// holds: stored bytes that the code page does not give back unchanged (a
// file of a system with another code page) stay as they are until the field
// is edited. Characters that the code page cannot hold are remembered with
// the field, for the save to name them. False when the text is refused; the
// field then says why.
bool commitText(HWND page, int controlId, StreamSettings& preset, TextField field)
{
    std::wstring typed = shownText(page, controlId);
    if (typed == textOf(preset, field))
        return true;
    // Copied from a web page, a host or stream name often ends in a no-break
    // or zero-width space, which the camera would take as part of it.
    if (field != TextField::name)
        typed = withoutInvisibleEdges(typed);
    if (field == TextField::host) {
        const std::string problem = invisibleInHost(utf8FromWide(typed));
        if (!problem.empty()) {
            showBalloonTip(GetDlgItem(page, controlId), L"This host cannot be taken", wideFromUtf8(problem));
            return false;
        }
    }
    std::wstring lost;
    setText(preset, field, toNarrow(typed, lost));
    preset.rememberUnheld(field, {typed, lost});
    return true;
}

void showEndpoint(HWND page, const StreamSettings& preset)
{
    const std::string keyword = preset.protocolKeyword();
    showTextOf(page, IDC_HOST, preset, TextField::host);
    enableField(page, IDC_HOST, IDC_HOST_LABEL, keywordUsesHost(keyword));
    showText(page, IDC_PORT, preset.portText());
    enableField(page, IDC_PORT, IDC_PORT_LABEL, keywordUsesPort(keyword));
    showTextOf(page, IDC_STREAM_NAME, preset, TextField::streamName);
    enableField(page, IDC_STREAM_NAME, IDC_STREAM_NAME_LABEL, keywordUsesStreamName(keyword));
    enableControl(page, IDC_TEST_SOURCE, keyword != "off");
}

// While sync is on, the automatic delay shows as on and cannot be changed;
// the fixed delay can be edited only when neither is on.
void showBuffering(HWND page, const StreamSettings& preset)
{
    showCheck(page, IDC_SYNC, preset.sync());
    showCheck(page, IDC_AUTO_JITTER, preset.sync() || preset.autoJitter());
    enableControl(page, IDC_AUTO_JITTER, !preset.sync());
    showText(page, IDC_JITTER_DELAY, preset.jitterDelayText());
    enableField(page, IDC_JITTER_DELAY, IDC_JITTER_DELAY_LABEL, !preset.sync() && !preset.autoJitter());
    showText(page, IDC_LIP_SYNC, preset.lipSyncText());
}

void placeInTabArea(HWND page)
{
    RECT area = {};
    GetClientRect(tabsOf(page), &area);
    SendMessageW(tabsOf(page), TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
    SetWindowPos(page, HWND_TOP, area.left, area.top, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
}

void fillProtocolList(HWND page)
{
    const int protocols = preset_collection.at(0).endpointCount();
    for (int index = 0; index < protocols; ++index) {
        const std::wstring name = toWide(protocolDisplayName(index));
        SendDlgItemMessageW(page, IDC_PROTOCOL, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
    }
}

void setTypingLimits(HWND page)
{
    for (const TypingLimit& limit : kTypingLimits)
        SendDlgItemMessageW(page, limit.controlId, EM_LIMITTEXT, limit.characters, 0);
}

void onInitDialog(HWND page)
{
    placeInTabArea(page);
    fillProtocolList(page);
    setTypingLimits(page);
    takeStreamUrlPastes(GetDlgItem(page, IDC_HOST));
    takeStreamUrlPastes(GetDlgItem(page, IDC_STREAM_NAME));
}

void onProtocolChosen(HWND page)
{
    selectedPreset(page).selectProtocol(selectedProtocol(page));
    showPreset(page, false);
}

void onSyncClicked(HWND page)
{
    selectedPreset(page).setSync(isChecked(page, IDC_SYNC));
    showPreset(page, false);
}

void onAutoJitterClicked(HWND page)
{
    selectedPreset(page).setAutoJitter(isChecked(page, IDC_AUTO_JITTER));
    showPreset(page, false);
}

// A pasted URL counts as the user's own entries: what was typed into the
// other fields is committed first, so that refilling the page keeps it.
void onStreamUrlPasted(HWND page, HWND field, const StreamUrl& url)
{
    useStreamUrl(page, url);
    // A field that the URL's protocol has no use for is now disabled, and
    // the focus gone with it; the port field serves every protocol a URL gives.
    if (!IsWindowEnabled(field))
        SetFocus(GetDlgItem(page, IDC_PORT));
}

// The test probes what the page shows, unsaved edits included.
void onTestSource(HWND page)
{
    commitPage(page);
    testSource(page, selectedTab(page));
}

// What the page shows, unsaved edits included, is what the search's pick
// goes into.
void onFindSources(HWND page)
{
    commitPage(page);
    // A source just taken is most likely tested next.
    if (findSources(page))
        SetFocus(GetDlgItem(page, IDC_TEST_SOURCE));
}

// At the page's limit nothing is added, and the button says nothing.
void onAddPreset(HWND page)
{
    std::wstring refusal;
    addPreset(page, GivenPreset(), refusal);
}

// The collection never stays empty: removing the only preset leaves a fresh one.
void onRemovePreset(HWND page)
{
    commitPage(page);
    preset_collection.removePreset(selectedTab(page));
    if (preset_collection.count() == 0)
        preset_collection.addPreset();
    showPreset(page, true);
}

// The list and the check boxes commit the typed text when they gain the
// focus, before a click on them fills the page anew. Code 3 is CBN_SETFOCUS
// from the list and BN_UNHILITE from a check box, 6 is BN_SETFOCUS.
bool isFocusCommitPoint(int controlId, int code)
{
    const bool fromCommitControl =
        controlId == IDC_PROTOCOL || controlId == IDC_SYNC || controlId == IDC_AUTO_JITTER;
    return fromCommitControl && (code == CBN_SETFOCUS || code == BN_SETFOCUS);
}

void onCommand(HWND page, int controlId, int code)
{
    if (isFocusCommitPoint(controlId, code)) {
        commitPage(page);
        return;
    }
    if (controlId == IDC_PROTOCOL && code == CBN_SELCHANGE)
        onProtocolChosen(page);
    else if (controlId == IDC_SYNC && code == BN_CLICKED)
        onSyncClicked(page);
    else if (controlId == IDC_AUTO_JITTER && code == BN_CLICKED)
        onAutoJitterClicked(page);
    else if (controlId == IDC_TEST_SOURCE && code == BN_CLICKED)
        onTestSource(page);
    else if (controlId == IDC_FIND_SOURCES && code == BN_CLICKED)
        onFindSources(page);
    else if (controlId == IDC_ADD_PRESET && code == BN_CLICKED)
        onAddPreset(page);
    else if (controlId == IDC_REMOVE_PRESET && code == BN_CLICKED)
        onRemovePreset(page);
}

}  // namespace

INT_PTR CALLBACK presetPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    return withoutExceptions([&] {
        switch (message) {
        case WM_INITDIALOG:
            onInitDialog(page);
            break;
        case WM_COMMAND:
            onCommand(page, LOWORD(wParam), HIWORD(wParam));
            break;
        case kStreamUrlPasted:
            onStreamUrlPasted(page, reinterpret_cast<HWND>(wParam), *reinterpret_cast<const StreamUrl*>(lParam));
            break;
        }
        return static_cast<INT_PTR>(FALSE);
    });
}

void showPreset(HWND page, bool refreshTabs)
{
    int selection = selectedTab(page);
    const int presets = preset_collection.count();
    preset_collection.current_ = static_cast<uint8_t>(selection >= 0 && selection < presets ? selection : presets - 1);
    if (refreshTabs)
        selection = alignTabsWithPresets(tabsOf(page), selection);

    const StreamSettings& preset = preset_collection.at(selection);
    showTextOf(page, IDC_PRESET_NAME, preset, TextField::name);
    SendDlgItemMessageW(page, IDC_PROTOCOL, CB_SETCURSEL, preset.protocol(), 0);
    showEndpoint(page, preset);
    showBuffering(page, preset);
}

void useStreamUrl(HWND page, const StreamUrl& url)
{
    commitPage(page);
    applyStreamUrl(selectedPreset(page), url);
    showPreset(page, false);
}

int addPreset(HWND page, const GivenPreset& preset, std::wstring& refusal)
{
    commitPage(page);
    JoinOptions options;
    options.maxPresets = kMaxPagePresets;
    JoinReport report;
    const std::unique_ptr<CodePage> codePage = windowsCodePage(GetACP());
    const bool added = codePage && joinPresets(preset_collection, {preset}, options, *codePage, report);
    showPreset(page, true);
    if (added)
        return report.positions.at(0);
    refusal = refusalOf(report);
    return -1;
}

void showPresetTab(HWND page, int index)
{
    SendMessageW(tabsOf(page), TCM_SETCURSEL, index, 0);
    showPreset(page, false);
}

bool commitPage(HWND page)
{
    StreamSettings& preset = selectedPreset(page);
    // The protocol first, so that host, port and stream name land in the
    // endpoint shown; sync before the settings that it overrides.
    commitText(page, IDC_PRESET_NAME, preset, TextField::name);
    preset.selectProtocol(selectedProtocol(page));
    const bool hostTaken = commitText(page, IDC_HOST, preset, TextField::host);
    preset.setPort(parseNumber(fieldText(page, IDC_PORT)));
    commitText(page, IDC_STREAM_NAME, preset, TextField::streamName);
    preset.setSync(isChecked(page, IDC_SYNC));
    preset.setAutoJitter(isChecked(page, IDC_AUTO_JITTER));
    preset.setJitterDelay(parseNumber(fieldText(page, IDC_JITTER_DELAY)));
    preset.setLipSyncText(fieldText(page, IDC_LIP_SYNC));
    return hostTaken;
}
