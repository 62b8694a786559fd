#pragma once

#include <windows.h>

#include <string>

struct GivenPreset;
struct StreamUrl;

// The page offers at most this many presets, fewer than the collection allows.
constexpr int kMaxPagePresets = 20;

// Dialog procedure of the preset page (template IDD_PRESET_PAGE), a child of
// the main window's tab control that edits the preset of the selected tab.
INT_PTR CALLBACK presetPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

// Fills the page from the selected preset. With `refreshTabs` it first gives
// the tab control exactly one tab per preset, titled with the preset's name.
void showPreset(HWND page, bool refreshTabs);

// Writes the page's fields into the selected preset. False when a field was
// refused (a host with an invisible character): the field keeps the text
// and says why.
bool commitPage(HWND page);

// Sets protocol, host, port and stream name of the selected preset to those
// of `url`, as a user's entries: what was typed into the page is committed first.
void useStreamUrl(HWND page, const StreamUrl& url);

// Commits the page and adds `preset` as every added preset joins the
// collection (a name of its own, values brought into range), unless the
// page holds kMaxPagePresets already; the selected tab stays. The new
// preset's index, or -1 when it cannot be added: `refusal` then says why.
int addPreset(HWND page, const GivenPreset& preset, std::wstring& refusal);

// Selects the tab of preset `index` and shows it, without committing the page.
void showPresetTab(HWND page, int index);
