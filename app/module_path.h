#pragma once

#include <string>

// The full path of `fileName` in the directory of the running executable;
// empty when the executable's own path does not fit the 510-unit buffer (a
// cut path would name some other directory).
std::wstring pathBesideExecutable(const wchar_t* fileName);
