#pragma once

#include <string>

// Trailing, then leading white space as iswspace sees it.
std::wstring TrimCommandLine(const std::wstring& text);
// The client starts hidden in the tray when its whole argument text is exactly "Auto".
bool IsAutoStart(const std::wstring& commandLine);
