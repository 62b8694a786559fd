#pragma once

// Text between UTF-16 and the bytes of a Windows code page (CP_ACP, CP_UTF8),
// as files and standard streams hold it.

#include <string>

std::wstring decodeBytes(const std::string& bytes, unsigned codePage);
std::string encodeText(const std::wstring& text, unsigned codePage);
