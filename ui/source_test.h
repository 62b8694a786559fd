#pragma once

#include <windows.h>

// Opens the Test Source dialog for the preset that `page` shows (template
// IDD_SOURCE_TEST), owned by the editor's window, and returns when it closes.
// The probe runs on a worker thread; what the dialog applies goes into the
// preset through the model's setters and shows on the page.
void testSource(HWND page, int presetIndex);

// Ends an open Test Source dialog of `owner`, stopping its test: the editor
// is closing.
void endSourceTest(HWND owner);
